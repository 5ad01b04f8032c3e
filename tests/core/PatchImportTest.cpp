#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>

#include "ChangeHistory.h"
#include "FullDisk.h"
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
                            "All;LEVELS;$$Z;Wider than the column\r\n"
                            "All;TYPES;B\r\n"
                            "All;COMPANY;AC;Caf\xe9\n";
    writeFile(path, text);
    const PatchReport r = importDataPatch(t.s, path, t.log);
    EXPECT_TRUE(r.fileFound);
    EXPECT_EQ(r.applied, 3);
    EXPECT_EQ(r.failed, 6);
    EXPECT_TRUE(t.log.lines.filter(QStringLiteral("the line has 1 value for 2 columns")).size() == 1)
        << t.log.lines.join(u'\n').toStdString();
    // Refused alike on both engines, by the column's declared width.
    EXPECT_TRUE(t.log.lines.contains(QStringLiteral("Error : INSERT INTO LEVELS VALUES('$$Z', 'Wider than the column') "
                                                    "The value of LE_CODE is longer than the 1 character the column "
                                                    "holds.")))
        << t.log.lines.join(u'\n').toStdString();
    EXPECT_EQ(t.count(QStringLiteral("SELECT * FROM LEVELS")), 2);
    EXPECT_EQ(t.value(QStringLiteral("SELECT LE_DESC FROM LEVELS WHERE LE_CODE = 'C'")),
              QStringLiteral("Company's level"));
    EXPECT_EQ(t.value(QStringLiteral("SELECT TY_DESC FROM TYPES WHERE TY_CODE = 'S'")), QStringLiteral("Text"));
    EXPECT_EQ(t.count(QStringLiteral("SELECT * FROM TYPES WHERE TY_CODE = 'N'")), 0);
    EXPECT_EQ(t.value(QStringLiteral("SELECT CO_DESC FROM COMPANY")), QStringLiteral("Café"));
    // The rows that went in, and only those, in the history.
    QStringList recorded;
    for (const HistoryEntry& e : readHistory(t.s.db, {}))
        recorded.append(e.source + u' ' + e.operation + u' ' + e.table + u' ' + e.key + u' ' + e.newValue);
    EXPECT_EQ(recorded, QStringList({QStringLiteral("patch new COMPANY AC CO_DESC=Café"),
                                     QStringLiteral("patch new TYPES S TY_DESC=Text"),
                                     QStringLiteral("patch new LEVELS C LE_DESC=Company's level")}));
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

// A failure that ends the transaction applies nothing and keeps the file for the next start; the
// next run applies every line.
TEST(PatchImport, AllOrNothingAndTheFileStaysUntilApplied)
{
    TestSession t;
    const QString path = defaultPatchPath(t.s);
    const QByteArray text = "All;LEVELS;A;First\r\nAll;LEVELS;F;Full\r\nAll;NO_TABLE;x\r\nAll;LEVELS;C;Last\r\n";
    writeFile(path, text);
    const QString rule = test::refuseWrites(t.tdb.db, QStringLiteral("INSERT"), QStringLiteral("LEVELS"),
                                            QStringLiteral("NEW.LE_CODE = 'F'"), test::Refusal::FullDisk);
    try {
        importDataPatch(t.s, path, t.log);
        FAIL() << "the patch went on without its transaction";
    } catch (const TransactionLost& e) {
        EXPECT_TRUE(test::isFullDiskText(e.text())) << e.text().toStdString();
    }
    EXPECT_EQ(t.count(QStringLiteral("SELECT * FROM LEVELS")), 0);
    EXPECT_TRUE(QFile::exists(path));
    EXPECT_FALSE(QFile::exists(patchArchivePath(path, t.s.programVersion)));

    test::allowWrites(t.tdb.db, rule);
    const PatchReport again = importDataPatch(t.s, path, t.log);
    EXPECT_EQ(again.applied, 3);
    EXPECT_EQ(again.failed, 1);
    EXPECT_TRUE(again.archived);
}

// Lines of a table go in blocks, each row after the rows it refers to: a line refused inside a block
// is logged in its place (and shown when tagged with the version) while the rest of its block goes in.
TEST(PatchImport, ALineRefusedInsideABlockLeavesTheOthersIn)
{
    TestSession t;
    t.exec(QStringLiteral("INSERT INTO COMPANY VALUES('C5', 'There already')"));
    t.exec(QStringLiteral("INSERT INTO EQUIPMENT VALUES('GXP2000', 'Desk', 'GRANDSTREAM')"));
    QByteArray text;
    for (int n = 0; n < 700; ++n) {
        const QByteArray code = 'C' + QByteArray::number(n);
        const QByteArray tag = n == 5 ? "V010142" : "All";
        text += tag + ";COMPANY;" + code + ";Company " + code + "\r\n";
        // A telephone of some companies right after them, so the tables alternate.
        if (n % 100 == 0)
            text += "All;RANGES;" + code + ";1\r\nAll;PHONES;" + code + ";1;GXP2000;Desk;000B82000001\r\n";
    }
    writeFile(defaultPatchPath(t.s), text);
    const PatchReport r = importDataPatch(t.s, defaultPatchPath(t.s), t.log);
    EXPECT_EQ(r.applied, 699 + 7 + 7);
    EXPECT_EQ(r.failed, 1);
    EXPECT_EQ(r.reported, 1);
    ASSERT_EQ(t.log.lines.size(), 1);
    EXPECT_TRUE(t.log.lines[0].startsWith(QStringLiteral("Error : INSERT INTO COMPANY VALUES('C5', 'Company C5') ")))
        << t.log.lines[0].toStdString();
    EXPECT_EQ(t.op.messages, t.log.lines);
    EXPECT_EQ(t.count(QStringLiteral("SELECT * FROM COMPANY")), 700);
    EXPECT_EQ(t.value(QStringLiteral("SELECT CO_DESC FROM COMPANY WHERE CO_CODE = 'C5'")),
              QStringLiteral("There already"));
    EXPECT_EQ(t.count(QStringLiteral("SELECT * FROM PHONES")), 7);
}

// The archive is on disk, synced before it takes its name, before the patch file goes. A line of
// exactly the limit is a line; one byte more refuses the file.
TEST(PatchImport, TheArchiveIsSyncedBeforeThePatchGoes)
{
    TestSession t;
    const QString path = defaultPatchPath(t.s);
    const QString archive = patchArchivePath(path, t.s.programVersion);
    QByteArray longest = "All;LEVELS;L;Longest;";
    longest += QByteArray(kMaxPatchLine - longest.size(), 'x');
    writeFile(path, longest + "\r\n");

    QStringList syncs;
    setSyncObserver([&](const QString& synced) {
        // Where the file is synced, what the archive's name and the patch hold at that moment.
        syncs.append(QStringLiteral("%1 archive:%2 patch:%3")
                         .arg(synced == QFileInfo(archive).absolutePath() ? QStringLiteral("folder")
                                                                          : QFileInfo(synced).fileName().left(20),
                              QString::number(QFileInfo(archive).size()), QString::number(QFileInfo(path).size())));
    });
    const auto reset = qScopeGuard([] { setSyncObserver({}); });
    const PatchReport r = importDataPatch(t.s, path, t.log);
    EXPECT_FALSE(r.refused) << t.op.messages.join(u'\n').toStdString();
    EXPECT_EQ(r.applied, 1);
    const QString size = QString::number(kMaxPatchLine + 2);
    EXPECT_EQ(syncs, (QStringList{QStringLiteral(".vocaset_010142.csv. archive:0 patch:") + size,
                                  QStringLiteral("folder archive:") + size + QStringLiteral(" patch:") + size}));
    EXPECT_FALSE(QFile::exists(path));

    writeFile(path, longest + "x\r\n");
    EXPECT_TRUE(importDataPatch(t.s, path, t.log).refused);
    EXPECT_EQ(t.op.messages.value(0),
              QStringLiteral("Error : ") + path + QStringLiteral(": line 1 is longer than 1 MiB; nothing applied"));
}
