#pragma once

#include <sys/mount.h>
#include <sys/resource.h>

#include <csignal>

#include <QFile>
#include <QTemporaryDir>

namespace vocaset::test {

// A folder on a small file system of its own, filled to the last byte on request, so that writes
// there fail as on a full disk. Mounting needs the right to (root); mounted() says whether it
// worked, and a test without it skips.
class FullFolder
{
public:
    FullFolder()
    {
        m_mounted = m_dir.isValid() &&
                    ::mount("tmpfs", QFile::encodeName(m_dir.path()).constData(), "tmpfs", 0, "size=256k") == 0;
    }
    ~FullFolder()
    {
        if (m_mounted)
            ::umount2(QFile::encodeName(m_dir.path()).constData(), MNT_DETACH);
    }
    Q_DISABLE_COPY_MOVE(FullFolder)

    bool mounted() const { return m_mounted; }
    QString path() const { return m_dir.path(); }
    QString filePath(const QString& name) const { return m_dir.filePath(name); }

    // Takes every free block with one filler file.
    void fill()
    {
        QFile filler(m_dir.filePath(QStringLiteral(".filler")));
        if (!filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            return;
        const QByteArray block(4096, 'f');
        while (filler.write(block) == block.size()) {
        }
    }

private:
    QTemporaryDir m_dir;
    bool m_mounted = false;
};

// While it lives, no file of this process may grow beyond the given size: a write past it fails
// with EFBIG. Works without any privilege; the database must not grow meanwhile.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &m_old);
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_old;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }
    Q_DISABLE_COPY_MOVE(FileSizeLimit)

private:
    rlimit m_old = {};
    void (*m_oldHandler)(int) = nullptr;
};

} // namespace vocaset::test
