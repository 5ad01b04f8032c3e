#pragma once

#include <sys/mount.h>
#include <sys/resource.h>

#include <csignal>

#include <QFile>
#include <QTemporaryDir>

#include "Database.h"

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
                    ::mount("tmpfs", QFile::encodeName(m_dir.path()).constData(), "tmpfs", 0, "size=2m") == 0;
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

// From now on the engine refuses the writes (event INSERT or UPDATE) of the rows of a table that
// the condition on NEW picks, without any privilege. FullDisk fails them the way a full disk does:
// SQLite rolls the whole transaction back by itself, the server raises its disk_full condition. Row
// refuses the statement alone, as a rule of the schema would. Returns the rule's name for allowWrites().
enum class Refusal { Row, FullDisk };
inline QString refuseWrites(Database& db, const QString& event, const QString& table, const QString& condition,
                            Refusal how)
{
    static int serial = 0;
    const QString name = QStringLiteral("REFUSE_%1").arg(++serial);
    const bool full = how == Refusal::FullDisk;
    if (db.engine() == Engine::SQLite) {
        db.execute(QStringLiteral("CREATE TRIGGER %1 BEFORE %2 ON %3 WHEN %4 BEGIN SELECT RAISE(%5); END")
                       .arg(name, event, table, condition,
                            full ? QStringLiteral("ROLLBACK, 'database or disk is full'")
                                 : QStringLiteral("ABORT, 'refused by a rule'")));
        return name;
    }
    db.execute(QStringLiteral("CREATE FUNCTION %1() RETURNS trigger AS $f$ BEGIN IF %2 THEN RAISE EXCEPTION %3; END "
                              "IF; RETURN NEW; END $f$ LANGUAGE plpgsql")
                   .arg(name, condition,
                        full ? QStringLiteral("'could not extend file: No space left on device' USING ERRCODE = "
                                              "'disk_full'")
                             : QStringLiteral("'refused by a rule'")));
    db.execute(
        QStringLiteral("CREATE TRIGGER %1 BEFORE %2 ON %3 FOR EACH ROW EXECUTE FUNCTION %1()").arg(name, event, table));
    return name;
}

inline void allowWrites(Database& db, const QString& rule)
{
    db.execute((db.engine() == Engine::SQLite ? QStringLiteral("DROP TRIGGER ") : QStringLiteral("DROP FUNCTION ")) +
               rule + (db.engine() == Engine::SQLite ? QString() : QStringLiteral(" CASCADE")));
}

// The lines of a text that give the engine's reason for a full disk, as refuseWrites(...,
// Refusal::FullDisk) and a real one give it.
inline qsizetype fullDiskLines(const QString& text)
{
    qsizetype n = 0;
    for (const QString& line : text.split(u'\n'))
        n += line.contains(QLatin1String("database or disk is full")) ||
             line.contains(QLatin1String("No space left on device"));
    return n;
}
inline bool isFullDiskText(const QString& text)
{
    return fullDiskLines(text) > 0;
}

} // namespace vocaset::test
