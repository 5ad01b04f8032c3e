#include "FileBatch.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <QSet>

namespace vocaset {
namespace {

// Flushes everything written to the file system that holds the folder, in one call. Where the
// system cannot, every pending file is synced by itself.
bool syncFileSystem(const QString& folder, const QList<QList<PendingFile>>& groups, QString* error)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        const int result = ::syncfs(fd);
        const int code = errno;
        ::close(fd);
        if (result == 0)
            return true;
        if (code != ENOSYS) {
            if (error)
                *error = QStringLiteral("Cannot sync ") + folder + QStringLiteral(": ") +
                         QString::fromLocal8Bit(std::strerror(code));
            return false;
        }
    }
    for (const QList<PendingFile>& group : groups) {
        for (const PendingFile& file : group) {
            if (!syncFile(file.temporary, error))
                return false;
        }
    }
    return true;
}

} // namespace

FileBatch::~FileBatch()
{
    for (const QList<PendingFile>& group : std::as_const(m_groups)) {
        for (const PendingFile& file : group)
            discardPending(file);
    }
}

bool FileBatch::add(const QList<File>& group, QString* error)
{
    QList<PendingFile> written;
    for (const File& file : group) {
        std::optional<PendingFile> pending = writeBeside(file.path, file.bytes, false, error);
        if (!pending) {
            for (const PendingFile& done : std::as_const(written))
                discardPending(done);
            return false;
        }
        written.append(std::move(*pending));
    }
    if (m_groups.isEmpty())
        m_age.start();
    m_groups.append(std::move(written));
    return true;
}

bool FileBatch::due() const
{
    return m_groups.size() >= kMaxGroups || (!m_groups.isEmpty() && m_age.elapsed() >= kMaxAgeMs);
}

int FileBatch::commit(QString* error)
{
    if (m_groups.isEmpty())
        return 0;
    const QList<QList<PendingFile>> groups = std::exchange(m_groups, {});
    // The folders, and one of them per file system: a sync covers a whole file system.
    QStringList folders;
    QSet<dev_t> devices;
    QStringList toSync;
    for (const QList<PendingFile>& group : groups) {
        for (const PendingFile& file : group) {
            const QString folder = QFileInfo(file.target).absolutePath();
            if (folders.contains(folder))
                continue;
            folders.append(folder);
            struct stat st = {};
            if (::stat(QFile::encodeName(folder).constData(), &st) != 0 || !devices.contains(st.st_dev)) {
                devices.insert(st.st_dev);
                toSync.append(folder);
            }
        }
    }

    // Every file's data is on disk before any target is replaced; otherwise nothing is.
    for (const QString& folder : std::as_const(toSync)) {
        if (!syncFileSystem(folder, groups, error)) {
            for (const QList<PendingFile>& group : groups) {
                for (const PendingFile& file : group)
                    discardPending(file);
            }
            return int(groups.size());
        }
    }
    int failed = 0;
    QString reason;
    for (const QList<PendingFile>& group : groups) {
        bool whole = true;
        for (const PendingFile& file : group) {
            QString why;
            if (!replaceTarget(file, &why)) {
                whole = false;
                if (reason.isEmpty())
                    reason = why;
            }
        }
        failed += whole ? 0 : 1;
    }
    // The new entries themselves are made durable too.
    for (const QString& folder : std::as_const(folders)) {
        QString why;
        if (!syncFolder(folder, &why) && reason.isEmpty()) {
            reason = why;
            failed = int(groups.size());
        }
    }
    if (error && !reason.isEmpty())
        *error = reason;
    return failed;
}

} // namespace vocaset
