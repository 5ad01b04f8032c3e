#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "TextFile.h"

using namespace vocaset;

TEST(TextFile, Cp1252RoundTripsAndMarksWhatItCannotHold)
{
    const QString text = QStringLiteral("Caf\u00e9 \u20ac5 \u2013 \u0178");
    bool lossy = false;
    const QByteArray bytes = toCp1252(text, &lossy);
    EXPECT_EQ(bytes, QByteArray("Caf\xe9 \x80" "5 \x96 \x9f"));
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
    EXPECT_EQ(splitLines(QStringLiteral("a\r\nb\rc\n\nd")),
              (QStringList{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"), QString(), QStringLiteral("d")}));
}
