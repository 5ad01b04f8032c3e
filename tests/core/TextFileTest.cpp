#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTemporaryDir>

#include "FullDisk.h"
#include "TextFile.h"

using namespace vocaset;

TEST(TextFile, Cp1252RoundTripsAndMarksWhatItCannotHold)
{
    const QString text = QStringLiteral("Caf\u00e9 \u20ac5 \u2013 \u0178");
    bool lossy = false;
    const QByteArray bytes = toCp1252(text, &lossy);
    EXPECT_EQ(bytes, QByteArray("Caf\xe9 \x80"
                                "5 \x96 \x9f"));
    EXPECT_FALSE(lossy);
    EXPECT_EQ(fromCp1252(bytes), text);
    EXPECT_EQ(toCp1252(QStringLiteral("a\u4e2db"), &lossy), QByteArray("a?b"));
    EXPECT_TRUE(lossy);
}

TEST(TextFile, AtomicWriteReplacesTheTargetWholeAndLeavesNoScratch)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("cfg000b82000001"));
    ASSERT_TRUE(writeFileAtomically(path, "first"));
    ASSERT_TRUE(writeFileAtomically(path, "second\r\n"));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("second\r\n"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("cfg000b82000001")});
    QString error;
    EXPECT_FALSE(writeFileAtomically(dir.filePath(QStringLiteral("missing/x")), "x", &error));
    EXPECT_FALSE(error.isEmpty());
}

TEST(TextFile, FoldersNamesAndLines)
{
    EXPECT_EQ(trimFolder(QStringLiteral("/srv/tftp/")), QStringLiteral("/srv/tftp"));
    EXPECT_EQ(trimFolder(QStringLiteral("C:\\cfg\\")), QStringLiteral("C:\\cfg"));
    EXPECT_TRUE(isSafeFileName(QStringLiteral("cfg000b82000001")));
    for (const QString& bad : {QStringLiteral("../etc"), QStringLiteral("a/b"), QStringLiteral("a\\b"), QString()})
        EXPECT_FALSE(isSafeFileName(bad)) << bad.toStdString();
    EXPECT_EQ(
        splitLines(QStringLiteral("a\r\nb\rc\n\nd")),
        (QStringList{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"), QString(), QStringLiteral("d")}));
}

namespace {

QByteArray contents(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

} // namespace

// A new file's bytes reach the disk before they take the target's name: one sync per file written,
// made while the target still holds its old text.
TEST(TextFile, BytesAreSyncedBeforeTheyTakeTheTargetsName)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("cfg000b82000001"));
    const QString copy = dir.filePath(QStringLiteral("copy"));
    ASSERT_TRUE(writeFileAtomically(path, "old"));
    QStringList seen;
    setSyncObserver([&](const QString& synced) {
        seen.append(QFileInfo(synced).fileName().section(u'.', 1, 1) + u':' + QString::fromLatin1(contents(path)) +
                    u':' + QString::fromLatin1(contents(copy)));
    });
    const auto reset = qScopeGuard([] { setSyncObserver({}); });
    ASSERT_TRUE(writeFileAtomically(path, "new"));
    ASSERT_TRUE(copyFileAtomically(path, copy));
    EXPECT_EQ(seen, (QStringList{QStringLiteral("cfg000b82000001:old:<unreadable>"),
                                 QStringLiteral("copy:new:<unreadable>")}));
}

// A write that fails part-way (the size limit here, a full disk below) leaves the old file as it was,
// no scratch file, and an error naming the file and the system's reason.
TEST(TextFile, FailedWriteKeepsTheOldFileWhole)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("cfg000b82000001"));
    ASSERT_TRUE(writeFileAtomically(path, "good"));
    QString error;
    {
        test::FileSizeLimit limit(64);
        EXPECT_FALSE(writeFileAtomically(path, QByteArray(1000, 'x'), &error));
    }
    EXPECT_EQ(contents(path), QByteArray("good"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("cfg000b82000001")});
    EXPECT_TRUE(error.contains(path)) << error.toStdString();
    EXPECT_TRUE(error.contains(QString::fromLocal8Bit(std::strerror(EFBIG)))) << error.toStdString();

    test::FullFolder full;
    if (!full.mounted())
        GTEST_SKIP() << "no right to mount a small file system; the full-disk case is not run";
    const QString onFull = full.filePath(QStringLiteral("cfg000b82000002"));
    ASSERT_TRUE(writeFileAtomically(onFull, "good"));
    full.fill();
    EXPECT_FALSE(writeFileAtomically(onFull, QByteArray(64 * 1024, 'x'), &error));
    EXPECT_EQ(contents(onFull), QByteArray("good"));
    EXPECT_TRUE(error.contains(QString::fromLocal8Bit(std::strerror(ENOSPC)))) << error.toStdString();
    EXPECT_EQ(QDir(full.path()).entryList(QDir::Files | QDir::Hidden),
              (QStringList{QStringLiteral(".filler"), QStringLiteral("cfg000b82000002")}));
}

// A link planted at the target is replaced by a file; what it pointed to is never written. A plain
// file keeps its permissions, so a file server that could read the old file reads the new one.
TEST(TextFile, ReplacesALinkItselfAndKeepsAFilesMode)
{
    QTemporaryDir dir;
    const QString victim = dir.filePath(QStringLiteral("victim"));
    const QString link = dir.filePath(QStringLiteral("cfg000b82000001"));
    ASSERT_TRUE(writeFileAtomically(victim, "precious"));
    ASSERT_TRUE(QFile::link(victim, link));
    ASSERT_TRUE(writeFileAtomically(link, "config"));
    EXPECT_FALSE(QFileInfo(link).isSymLink());
    EXPECT_EQ(contents(link), QByteArray("config"));
    EXPECT_EQ(contents(victim), QByteArray("precious"));

    const auto mode =
        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther;
    ASSERT_TRUE(QFile::setPermissions(victim, mode));
    ASSERT_TRUE(writeFileAtomically(victim, "again"));
    EXPECT_EQ(QFile::permissions(victim) & 0x7077, mode);
    // A folder where the file belongs is named in the error, and nothing is left beside it.
    QString error;
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("taken")));
    EXPECT_FALSE(writeFileAtomically(dir.filePath(QStringLiteral("taken")), "x", &error));
    EXPECT_TRUE(error.contains(dir.filePath(QStringLiteral("taken")))) << error.toStdString();
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System).size(), 2);
}

// Inputs are read only when they are regular files under the cap: a device, a FIFO or a folder is
// refused at once by name (a FIFO with no writer would block, /dev/zero would never end).
TEST(TextFile, InputFilesAreRegularAndCapped)
{
    QTemporaryDir dir;
    const QString small = dir.filePath(QStringLiteral("small.ini"));
    const QString fifo = dir.filePath(QStringLiteral("fifo.ini"));
    QFile f(small);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("[Users]\r\n");
    f.close();
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);

    QString error;
    EXPECT_EQ(readInputFile(small, 9, &error).value_or("<refused>"), QByteArray("[Users]\r\n")) << error.toStdString();
    struct Case
    {
        QString path;
        qint64 cap;
        const char* reason;
    };
    for (const Case& c :
         {Case{small, 8, "larger than 8 bytes"}, Case{QStringLiteral("/dev/zero"), 1 << 20, "not a regular"},
          Case{fifo, 1 << 20, "not a regular"}, Case{dir.path(), 1 << 20, "folder"},
          Case{dir.filePath(QStringLiteral("none")), 1 << 20, "No such file"}}) {
        error.clear();
        EXPECT_FALSE(readInputFile(c.path, c.cap, &error)) << c.path.toStdString();
        EXPECT_FALSE(isReadableInput(c.path, c.cap));
        EXPECT_TRUE(error.startsWith(c.path) && error.contains(QLatin1String(c.reason))) << error.toStdString();
    }
    // A file under /proc says it holds nothing: the cap still holds while it is read.
    const QString proc = QStringLiteral("/proc/self/status");
    ASSERT_TRUE(isReadableInput(proc, 16));
    EXPECT_FALSE(readInputFile(proc, 16, &error));
    EXPECT_EQ(error, proc + QStringLiteral(": is larger than 16 bytes"));
    EXPECT_TRUE(readInputFile(proc, 1 << 20).value_or(QByteArray()).startsWith("Name:"));
}

TEST(TextFile, InputTextIsUtf8WhenValidElseWindows1252)
{
    // In pieces as a whole: a sequence cut by a piece's end, a mark, a byte that is no UTF-8 late in
    // the file, a sequence the file ends in.
    QTemporaryDir dir;
    const QByteArray piece(65535, 'a');
    for (const QByteArray& bytes : QByteArrayList{QByteArray("\xEF\xBB\xBF") + piece + "\xC3\xAB\xE2\x82\xAC",
                                                  piece + "\xC3\xAB" + piece + "\xEB", piece + "a\xE2\x82"}) {
        QFile f(dir.filePath(QStringLiteral("in.txt")));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
        f.close();
        InputFile file(f.fileName(), 1 << 20);
        bool utf8 = false;
        const QString whole = decodeText(bytes, &utf8);
        QString text;
        for (const bool asUtf8 : {true, false}) {
            if (!asUtf8 && !file.rewind())
                break;
            InputText pieces(file, asUtf8);
            text.clear();
            while (pieces.readInto(text)) {
            }
            if (!pieces.invalidUtf8())
                break;
        }
        EXPECT_EQ(text, whole);
    }

    bool utf8 = false;
    EXPECT_EQ(decodeText("Zo\xC3\xAB", &utf8), QStringLiteral("Zo\u00EB"));
    EXPECT_TRUE(utf8);
    EXPECT_EQ(decodeText("\xEF\xBB\xBFZo\xC3\xAB", &utf8), QStringLiteral("Zo\u00EB")); // the mark is dropped
    EXPECT_TRUE(utf8);
    EXPECT_EQ(decodeText("Zo\xEB \x80", &utf8), QStringLiteral("Zo\u00EB \u20AC"));
    EXPECT_FALSE(utf8);
}
