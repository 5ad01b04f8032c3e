#include <gtest/gtest.h>

#include <QFile>

#include "PatchImport.h"
#include "TestDatabase.h"
#include "TextFile.h"

using namespace vocaset;
using vocaset::test::TestSession;

namespace {

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

} // namespace

TEST(PatchImport, AppliesTaggedLinesAndArchivesTheFile)
{
    TestSession t;
    t.exec(QStringLiteral("INSERT INTO LEVELS VALUES('E', 'Equipment')"));
    const QString path = defaultPatchPath(t.s);
    const QByteArray text = "Tag;Table;Values\r\n"
                            "All;LEVELS;C;Company's level\r\n"
                            "V010142;TYPES;S;Text;extra;fields\r\n"
                            "V010140;TYPES;N;Number\r\n"
                            "\r\n"
                            "All;NO_TABLE;x\r\n"
                            "V010142;NO_TABLE;x\r\n"
                            "V010142;TYPES x;y\r\n"
                            "All;LEVELS;E;Duplicate\r\n"
                            "All;COMPANY;AC;Caf\xe9\n";
    writeFile(path, text);
    const PatchReport r = importDataPatch(t.s, path, t.log);
    EXPECT_TRUE(r.fileFound);
    EXPECT_EQ(r.applied, 3);
    EXPECT_EQ(r.failed, 4);
    EXPECT_EQ(t.value(QStringLiteral("SELECT LE_DESC FROM LEVELS WHERE LE_CODE = 'C'")), QStringLiteral("Company's level"));
    EXPECT_EQ(t.value(QStringLiteral("SELECT TY_DESC FROM TYPES WHERE TY_CODE = 'S'")), QStringLiteral("Text"));
    EXPECT_EQ(t.count(QStringLiteral("SELECT * FROM TYPES WHERE TY_CODE = 'N'")), 0);
    EXPECT_EQ(t.value(QStringLiteral("SELECT CO_DESC FROM COMPANY")), QStringLiteral("Café"));
    // Only the lines tagged with the version are shown; nothing of a bad table name reaches a statement.
    ASSERT_EQ(t.op.messages.size(), 2);
    EXPECT_EQ(t.op.messages[0], QStringLiteral("Error : INSERT INTO NO_TABLE VALUES(' no such table: NO_TABLE"));
    EXPECT_TRUE(t.op.messages[1].startsWith(QStringLiteral("Error : INSERT INTO TYPES x VALUES(' no such table")));
    EXPECT_EQ(t.count(QStringLiteral("SELECT * FROM TYPES")), 1);

    EXPECT_FALSE(QFile::exists(path));
    QFile archive(t.s.appDir + QStringLiteral("/vocaset_010142.csv"));
    ASSERT_TRUE(archive.open(QIODevice::ReadOnly));
    EXPECT_EQ(archive.readAll(), text);
}

TEST(PatchImport, NoFileNoArchiveAndAnOldArchiveIsReplaced)
{
    TestSession t;
    const QString path = defaultPatchPath(t.s);
    EXPECT_FALSE(importDataPatch(t.s, path, t.log).fileFound);
    EXPECT_FALSE(QFile::exists(t.s.appDir + QStringLiteral("/vocaset_010142.csv")));

    writeFile(t.s.appDir + QStringLiteral("/vocaset_010142.csv"), "old");
    writeFile(path, "All;LEVELS;P;Phone\r\n");
    importDataPatch(t.s, path, t.log);
    QFile archive(t.s.appDir + QStringLiteral("/vocaset_010142.csv"));
    ASSERT_TRUE(archive.open(QIODevice::ReadOnly));
    EXPECT_EQ(archive.readAll(), QByteArray("All;LEVELS;P;Phone\r\n"));
}
