#include <QSet>

#include <gtest/gtest.h>

#include "FullDisk.h"
#include "PhoneExport.h"
#include "PhoneImport.h"
#include "PhonesFixture.h"
#include "TestDatabase.h"

namespace vocaset::test {
namespace {

struct Phones
{
    Phones()
    {
        for (const QString& row : kPhonesRows)
            t.exec(QStringLiteral("INSERT INTO ") + row);
    }
    PhoneImportRequest request(const QByteArray& bytes)
    {
        return {QStringLiteral("AC"), QStringLiteral("GXP2000"), writeFile(dir, QStringLiteral("phones.csv"), bytes)};
    }

    TestSession t;
    QTemporaryDir dir;
    PhoneImport import{t.s, t.log};
};

TEST(PhoneImport, EveryProblemOfAFileIsReportedAndNothingIsWritten)
{
    Phones f;
    const QByteArray longDesc(51, 'd');
    const QByteArray longValue(256, 'v');
    const QByteArray file = "code;description;mac;3;99;3\r\n" // 1: 99 unknown, 3 twice
                            "101;Desk;000B8200000G;;;\r\n"    // 2: not a MAC
                            "103;New;000B82000003;a&b;;\r\n"  // 3: & in a GXP2000 value
                            "104;New;000b82000003;;;\r\n"     // 4: MAC of line 3, in another case
                            "105;New;000B820000aa;;;\r\n"     // 5: MAC of BC's telephone
                            "123456;Long;000B82000006;;;\r\n" // 6: code too long
                            "103;Again;000B82000007;;;\r\n"   // 7: code of line 3
                            "102;Fax;000B82000008;;;\r\n"     // 8: a PAP2 telephone
                            "0109;Zero;000B82000009;;;\r\n"   // 9: no range, not a range code
                            ";Empty;000B8200000A;;;\r\n"      // 10: no code
                            "110;" +
                            longDesc +
                            ";000B8200000B;;;\r\n"                     // 11: description too long
                            "111;\"two\r\nlines\";000B8200000C;;;\r\n" // 12-13: a line break
                            "112;V;000B8200000D;" +
                            longValue +
                            ";;\r\n"                          // 14: value too long
                            "113;Extra;000B8200000E;;;;x\r\n" // 15: one field too many
                            "114;\"open;000B8200000F;;;\r\n"; // 16: a quote never closed
    const QString before = telephonesDump(f.t.tdb.db);
    const PhoneImportRequest r = f.request(file);
    const PhoneImportPlan plan = f.import.plan(r);

    const QSet<QString> expected = {QStringLiteral("1 99"),           QStringLiteral("1 3"),
                                    QStringLiteral("2 mac"),          QStringLiteral("3 3"),
                                    QStringLiteral("4 mac"),          QStringLiteral("5 mac"),
                                    QStringLiteral("6 code"),         QStringLiteral("7 code"),
                                    QStringLiteral("8 code"),         QStringLiteral("9 code"),
                                    QStringLiteral("10 code"),        QStringLiteral("11 description"),
                                    QStringLiteral("12 description"), QStringLiteral("14 3"),
                                    QStringLiteral("15 7"),           QStringLiteral("16 2")};
    QSet<QString> found;
    for (const ImportProblem& p : plan.problems) {
        found.insert(QString::number(p.line) + u' ' + p.column);
        EXPECT_FALSE(p.reason.isEmpty());
    }
    EXPECT_EQ(found, expected);
    EXPECT_EQ(plan.problems.size(), expected.size()); // one line per problem, none twice
    const QStringList lines = f.import.problemLines(plan);
    EXPECT_EQ(lines
                  .filter(QStringLiteral("Line 5, column mac: the MAC address 000B820000aa is that of telephone 101 of "
                                         "company BC"))
                  .size(),
              1)
        << lines.join(u'\n').toStdString();
    EXPECT_EQ(lines.filter(QStringLiteral("Line 4, column mac: \"000b82000003\" is also on line 3")).size(), 1);
    EXPECT_EQ(lines.filter(QStringLiteral("Line 8, column code: telephone 102 is of model PAP2, not GXP2000")).size(),
              1);
    EXPECT_EQ(lines.filter(QStringLiteral("which starts a new parameter")).size(), 1);
    EXPECT_EQ(lines.filter(QStringLiteral("50 characters")).size(), 1);
    EXPECT_TRUE(f.import.summaryLine(plan).contains(QStringLiteral("was refused with 16 problems")));

    EXPECT_EQ(f.import.run(r), PhoneImportOutcome::Refused);
    EXPECT_EQ(telephonesDump(f.t.tdb.db), before);

    // A header without the fixed columns refuses the file without reading its lines.
    const PhoneImportPlan noHeader = f.import.plan(f.request("number;mac\r\n101;000B82000001\r\n"));
    QStringList columns;
    for (const ImportProblem& p : noHeader.problems)
        columns.append(QString::number(p.line) + u' ' + p.column);
    EXPECT_EQ(columns,
              (QStringList{QStringLiteral("1 code"), QStringLiteral("1 description"), QStringLiteral("1 number")}));
}

TEST(PhoneImport, AnyEncodingAndSeparatorImportsAndExportsBackTheSameFile)
{
    Phones f;
    // The same telephones as the export writes them, in Windows-1252 with commas.
    const QByteArray cp1252 = "code,description,mac,2,3\r\n"
                              "101,R\xE9"
                              "ception,000B82000001,,u101\r\n"
                              "103,\"Salle \"\"A\"\"; \xE9tage 2\",000b82000003,s3cret,u103\r\n"
                              "104,\" Hall \",000B82000004,,\r\n";
    const PhoneImportRequest r = f.request(cp1252);
    const PhoneImportPlan plan = f.import.plan(r);
    ASSERT_FALSE(plan.refused()) << f.import.problemLines(plan).join(u'\n').toStdString();
    EXPECT_FALSE(plan.utf8);
    EXPECT_EQ(f.import.summaryLine(plan), QStringLiteral("2 added, 1 updated, 0 unchanged"));
    // The password is masked in what the operator is shown; 104 needs a range code, 103 has one.
    EXPECT_EQ(f.import.changeLine(plan.phones[1]),
              QStringLiteral("Line 3, 103 Added: description \"Salle \"A\"; \u00e9tage 2\", mac \"000b82000003\"; "
                             "2 ***; 3 \"u103\""));
    EXPECT_TRUE(f.import.changeLine(plan.phones[2]).contains(QStringLiteral("new range code")));
    EXPECT_EQ(f.import.changeLine(plan.phones[0]),
              QStringLiteral("Line 2, 101 Updated: description \"Desk\" \u2192 \"R\u00e9ception\""));

    EXPECT_EQ(f.import.run(r, &plan), PhoneImportOutcome::Written);
    EXPECT_EQ(f.t.count(QStringLiteral("SELECT * FROM RANGES WHERE CO_CODE = 'AC'")), 4);
    EXPECT_EQ(
        f.t.value(QStringLiteral("SELECT PA_VALUE FROM PHONES_PARAMETERS WHERE PH_CODE = '103' AND PA_CODE = '2'")),
        QStringLiteral("s3cret"));

    const PhoneExportText exported = exportPhones(f.t.tdb.db, QStringLiteral("AC"), QStringLiteral("GXP2000"));
    EXPECT_EQ(exported.phones, 3);
    EXPECT_EQ(exportFileBytes(exported.text), kExportedFile);

    // The export imports back without a change.
    const PhoneImportPlan again = f.import.plan(f.request(kExportedFile));
    EXPECT_TRUE(again.utf8);
    EXPECT_EQ(f.import.summaryLine(again), QStringLiteral("0 added, 0 updated, 3 unchanged"));
}

TEST(PhoneImport, OnlyThePlanSeenIsWrittenAndAFailureLeavesTheDatabaseAsItWas)
{
    Phones f;
    // 101 takes the MAC the new 103 gives up: a swap inside one file is no conflict.
    const PhoneImportRequest r = f.request("code;description;mac;3\r\n"
                                           "101;Desk;000B82000003;u101\r\n"
                                           "103;New;000B82000001;x\r\n");
    const PhoneImportPlan plan = f.import.plan(r);
    ASSERT_FALSE(plan.refused()) << f.import.problemLines(plan).join(u'\n').toStdString();
    EXPECT_EQ(plan.changes().size(), 3);

    // The last row written is refused, as a rule would or as a full disk does (which ends the
    // transaction on SQLite): nothing of the import stays.
    const QString before = telephonesDump(f.t.tdb.db);
    for (const Refusal how : {Refusal::Row, Refusal::FullDisk}) {
        const QString rule = refuseWrites(f.t.tdb.db, QStringLiteral("INSERT"), QStringLiteral("PHONES_PARAMETERS"),
                                          QStringLiteral("NEW.PH_CODE = '103'"), how);
        try {
            f.import.run(r, &plan);
            ADD_FAILURE() << "the refused row was not reported";
        } catch (const DbError& e) {
            EXPECT_TRUE(how == Refusal::FullDisk ? isFullDiskText(e.text())
                                                 : e.text().startsWith(QStringLiteral("Line 3, telephone 103: ")))
                << e.text().toStdString();
        }
        allowWrites(f.t.tdb.db, rule);
        EXPECT_EQ(telephonesDump(f.t.tdb.db), before);
    }

    // Another operator changes 101 after the check: the plan seen is no longer the one to write.
    f.t.exec(QStringLiteral("UPDATE PHONES SET PH_DESC = 'Desk 2' WHERE CO_CODE = 'AC' AND PH_CODE = '101'"));
    const QString changed = telephonesDump(f.t.tdb.db);
    PhoneImportPlan fresh;
    EXPECT_EQ(f.import.run(r, &plan, &fresh), PhoneImportOutcome::Changed);
    EXPECT_EQ(telephonesDump(f.t.tdb.db), changed);

    EXPECT_EQ(f.import.run(r, &fresh), PhoneImportOutcome::Written);
    EXPECT_EQ(f.t.value(QStringLiteral("SELECT PH_MAC FROM PHONES WHERE CO_CODE = 'AC' AND PH_CODE = '103'")),
              QStringLiteral("000B82000001"));
    EXPECT_EQ(f.t.value(QStringLiteral("SELECT PH_DESC FROM PHONES WHERE CO_CODE = 'AC' AND PH_CODE = '101'")),
              QStringLiteral("Desk"));
}

// Hundreds of telephones go in blocks of rows; a row the database refuses inside a block still names
// its line and keeps nothing, and without the refusal every row lands where it belongs.
TEST(PhoneImport, ARowRefusedInsideABlockNamesItsLine)
{
    Phones f;
    QByteArray file = "code;description;mac;3;35\r\n101;Front desk;000B82000001;u101b;Front\r\n";
    for (int n = 200; n < 900; ++n) {
        const QByteArray code = QByteArray::number(n);
        file += code + ";Room " + code + ";000B82010" + code + ";u" + code + ";\r\n";
    }
    const PhoneImportRequest r = f.request(file);
    const QString before = telephonesDump(f.t.tdb.db);
    const QString rule = refuseWrites(f.t.tdb.db, QStringLiteral("INSERT"), QStringLiteral("PHONES_PARAMETERS"),
                                      QStringLiteral("NEW.PH_CODE = '450'"), Refusal::Row);
    try {
        f.import.run(r);
        ADD_FAILURE() << "the refused row was not reported";
    } catch (const DbError& e) {
        EXPECT_TRUE(e.text().startsWith(QStringLiteral("Line 253, telephone 450: "))) << e.text().toStdString();
    }
    EXPECT_EQ(telephonesDump(f.t.tdb.db), before);

    allowWrites(f.t.tdb.db, rule);
    EXPECT_EQ(f.import.run(r), PhoneImportOutcome::Written);
    EXPECT_EQ(f.t.count(QStringLiteral("SELECT * FROM PHONES p JOIN RANGES r ON r.CO_CODE = p.CO_CODE AND "
                                       "r.PH_CODE = p.PH_CODE JOIN PHONES_PARAMETERS v ON v.CO_CODE = p.CO_CODE AND "
                                       "v.PH_CODE = p.PH_CODE AND v.PA_CODE = '3' AND v.PA_VALUE = 'u' || p.PH_CODE "
                                       "WHERE p.CO_CODE = 'AC' AND p.PH_DESC = 'Room ' || p.PH_CODE AND p.PH_MAC = "
                                       "'000B82010' || p.PH_CODE")),
              700);
    EXPECT_EQ(f.t.value(QStringLiteral("SELECT PH_DESC FROM PHONES WHERE CO_CODE = 'AC' AND PH_CODE = '101'")),
              QStringLiteral("Front desk"));
    EXPECT_EQ(f.t.value(QStringLiteral("SELECT PA_CODE || '=' || PA_VALUE FROM PHONES_PARAMETERS WHERE CO_CODE = 'AC' "
                                       "AND PH_CODE = '101' ORDER BY PA_CODE")),
              QStringLiteral("3=u101b"));
    EXPECT_EQ(f.t.count(QStringLiteral("SELECT * FROM PHONES_PARAMETERS WHERE CO_CODE = 'AC' AND PH_CODE = '101'")), 2);
}

} // namespace
} // namespace vocaset::test
