#include <QSet>
#include <QTextStream>

#include <gtest/gtest.h>

#include "FullDisk.h"
#include "Interleaving.h"
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

// Where a telephone's value comes from and what it turns into once its code and description are put
// in: the check refuses what the generation would refuse, each at its line and column, before
// anything is written. 103 has no description, 110 and 111 put theirs into their file through 35.
TEST(PhoneImport, WhatTheGenerationWouldRefuseIsRefusedAtItsLineAndColumn)
{
    Phones f;
    for (const char* row :
         {"LEVELS VALUES('E', 'Equipment')", "LEVELS VALUES('C', 'Company')",
          "EQUIPMENT_PARAMETERS VALUES('GXP2000', '13', 'Screen', 'E', 'Desk', 'S', '')",
          "EQUIPMENT_PARAMETERS VALUES('GXP2000', '30', 'Server', 'C', '', 'S', '')", "RANGES VALUES('AC', '110')",
          "RANGES VALUES('AC', '111')", "PHONES VALUES('AC', '110', 'GXP2000', 'Hall', '000B82000010')",
          "PHONES VALUES('AC', '111', 'GXP2000', 'Lift', '000B82000011')",
          "PHONES_PARAMETERS VALUES('AC', 'GXP2000', '110', '35', 'Hi $$N')",
          "PHONES_PARAMETERS VALUES('AC', 'GXP2000', '111', '35', 'Hi $$N')"})
        f.t.exec(QStringLiteral("INSERT INTO ") + QLatin1String(row));
    f.t.exec(QStringLiteral("UPDATE PHONES SET PH_DESC = '' WHERE CO_CODE = 'AC' AND PH_CODE = '101'"));
    const struct
    {
        QByteArray line;
        const char* column; // nullptr: the line is accepted
        const char* reason;
    } cases[] = {
        {"104;New;000B82000004;x;;;", "13", "belongs to level E, not to the telephone level P"},
        {"105;New;000B82000005;;x;;", "30", "belongs to level C, not to the telephone level P"},
        {"106;New;000B82000006;;;$$Q;", "35", "holds the place-holder $$Q, which cannot be expanded"},
        {"107;New;000B82000007;;;$$P,-1,1;", "35", "holds the place-holder $$P,-1,1, which cannot be expanded"},
        {"108;A & B;000B82000008;;;Hi $$N;", "35",
         "takes the telephone's code or description through a place-holder, and then holds \"&\""},
        {"109;New;000B82000009;;;;" + QByteArray("a\0b", 3), "3", "holds a NUL character"},
        {"110;A & B;000B82000010;;;;", "description",
         "goes into parameter 35 through a place-holder, and its value then holds \"&\""},
        {"111;A & B;000B82000011;;;Hi;", nullptr, ""}, // its $$N is replaced
        {"112;\"\";000B82000012;;;;pw", "description", "a telephone needs a description"},
        {"113;;000B82000013;;;;", "description", "a telephone needs a description"},
        {"103;\"\";000B82000003;;;;", "description", "a telephone needs a description"},
        {"101;;000B82000001;;;;", nullptr, ""}, // it has none already
    };
    QByteArray file = "code;description;mac;13;30;35;3\r\n";
    QSet<QString> expected;
    for (int i = 0; i < int(std::size(cases)); ++i) {
        file += cases[i].line + "\r\n";
        if (cases[i].column)
            expected.insert(QString::number(i + 2) + u' ' + QLatin1String(cases[i].column));
    }
    f.t.exec(QStringLiteral("UPDATE PHONES SET PH_DESC = 'Fax' WHERE CO_CODE = 'AC' AND PH_CODE = '103'"));
    const QString before = telephonesDump(f.t.tdb.db);
    const PhoneImportRequest r = f.request(file);
    const PhoneImportPlan plan = f.import.plan(r);
    QSet<QString> found;
    for (const ImportProblem& p : plan.problems) {
        found.insert(QString::number(p.line) + u' ' + p.column);
        const auto& c = cases[p.line - 2];
        EXPECT_TRUE(p.reason.startsWith(QLatin1String(c.reason))) << p.line << ": " << p.reason.toStdString();
    }
    EXPECT_EQ(found, expected);
    EXPECT_EQ(plan.problemCount, expected.size());
    EXPECT_EQ(f.import.run(r), PhoneImportOutcome::Refused);
    EXPECT_EQ(telephonesDump(f.t.tdb.db), before);

    // A default of the model reaches every telephone's file.
    f.t.exec(QStringLiteral("UPDATE EQUIPMENT_PARAMETERS SET PA_DEFAULT = '$$N desk' WHERE PA_CODE = '13'"));
    const PhoneImportPlan shared = f.import.plan(f.request("code;description;mac\r\n101;R & D;000B82000001\r\n"));
    ASSERT_EQ(shared.problems.size(), 1);
    EXPECT_EQ(f.import.problemLines(shared).first(),
              QStringLiteral("Line 2, column description: goes into parameter 13 through a place-holder, and its "
                             "value then holds \"&\", which starts a new parameter in a GXP2000 file"));
}

// Millions of wrong lines: the check lists the first problems and stops, reading on only to count
// the lines; its memory stays that of the lines before the stop, not of the file.
TEST(PhoneImport, AHugeFileIsRefusedInBoundedMemory)
{
    Phones f;
    constexpr int kLines = 2000000;
    const QString path = f.dir.filePath(QStringLiteral("huge.csv"));
    {
        QFile out(path);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write("code;description;mac\r\n");
        const QByteArray block = QByteArray("1\r\n").repeated(10000);
        for (int i = 0; i < kLines / 10000; ++i)
            out.write(block);
    }
    // The peak resident size: reset before the run where the kernel allows it, else the peak so far.
    const auto peakKiB = [] {
        QFile status(QStringLiteral("/proc/self/status"));
        status.open(QIODevice::ReadOnly);
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (line.startsWith("VmHWM:"))
                return line.mid(6).trimmed().split(' ').first().toLongLong();
        }
        return 0LL;
    };
    QFile reset(QStringLiteral("/proc/self/clear_refs"));
    if (reset.open(QIODevice::WriteOnly))
        reset.write("5");
    reset.close();
    const qint64 before = peakKiB();
    const PhoneImportPlan plan = f.import.plan({QStringLiteral("AC"), QStringLiteral("GXP2000"), path});
    const qint64 grown = peakKiB() - before;
    std::printf("peak grew by %lld KiB checking %d lines\n", grown, kLines);

    EXPECT_LT(grown, 64 * 1024); // the file's lines as records took over 300 MiB
    EXPECT_EQ(plan.problems.size(), PhoneImport::kMaxProblems);
    EXPECT_GE(plan.problemCount, PhoneImport::kMaxProblems);
    EXPECT_LT(plan.phones.size(), PhoneImport::kMaxProblems);
    EXPECT_EQ(plan.lines, kLines + 1);
    // The line it stopped at held more problems than the list had room for: the summary's count is told.
    const QStringList listed = f.import.problemLines(plan);
    ASSERT_EQ(listed.size(), PhoneImport::kMaxProblems + 2);
    EXPECT_EQ(listed.at(PhoneImport::kMaxProblems), QStringLiteral("The first %1 of %2 problems are listed.")
                                                        .arg(PhoneImport::kMaxProblems)
                                                        .arg(plan.problemCount));
    EXPECT_EQ(listed.last(), QStringLiteral("The check stopped at line %1 of %2: the lines after it were not checked.")
                                 .arg(plan.stoppedAt)
                                 .arg(kLines + 1));
    EXPECT_EQ(f.import.run({QStringLiteral("AC"), QStringLiteral("GXP2000"), path}), PhoneImportOutcome::Refused);

    // A quote that never closes makes the rest of the file one cell: the check stops at its line.
    const PhoneImportPlan open =
        f.import.plan(f.request("code;description;mac\r\n101;\"Desk" + QByteArray(PhoneImport::kMaxRecord, 'x')));
    ASSERT_EQ(open.problems.size(), 1);
    EXPECT_EQ(open.problems.first().line, 2);
    EXPECT_TRUE(open.problems.first().reason.startsWith(QStringLiteral("the line is longer than")));
}

// Cells a spreadsheet would run as formulas go out behind an apostrophe, quotes doubled, and read
// back as they were; a value kept for a telephone of another model adds no column.
TEST(PhoneImport, CellsASpreadsheetWouldMisreadExportAndImportBackUnchanged)
{
    Phones f;
    const QStringList tricky = {
        QStringLiteral("=cmd|' /C calc'!A0"),
        QStringLiteral("@SUM(1+1)"),
        QStringLiteral("+1"),
        QStringLiteral("-1"),
        QStringLiteral("=HYPERLINK(\"x\")"),
        QStringLiteral("'quoted"),
        QStringLiteral("''"),
        QStringLiteral("'=x"),
        QStringLiteral("'"),
        QStringLiteral("\"start"),
        QStringLiteral("a\"b"),
        QStringLiteral("\""),
        QStringLiteral("a;b"),
        QStringLiteral("\" lead"),
    };
    for (int i = 0; i < tricky.size(); ++i) {
        const QString code = QString::number(200 + i);
        const QString mac = QStringLiteral("000B8201%1").arg(i, 4, 10, QLatin1Char('0'));
        f.t.exec(QStringLiteral("INSERT INTO RANGES VALUES('AC', '%1')").arg(code));
        f.t.tdb.db.executeBound(QStringLiteral("INSERT INTO PHONES VALUES('AC', ?, 'GXP2000', ?, ?)"),
                                {code, tricky[i], mac});
        f.t.tdb.db.executeBound(QStringLiteral("INSERT INTO PHONES_PARAMETERS VALUES('AC', 'GXP2000', ?, '35', ?)"),
                                {code, tricky[(i + 1) % tricky.size()]});
    }
    f.t.exec(QStringLiteral("INSERT INTO PHONES_PARAMETERS VALUES('AC', 'GXP2000', '102', '2', 'of the PAP2')"));
    // A tab may begin a value (a description refuses it).
    f.t.exec(QStringLiteral("INSERT INTO PHONES_PARAMETERS VALUES('AC', 'GXP2000', '200', '3', '\tTab')"));

    const PhoneExportText exported = exportPhones(f.t.tdb.db, QStringLiteral("AC"), QStringLiteral("GXP2000"));
    const QStringList lines = exported.text.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    EXPECT_EQ(lines.first(), QStringLiteral("code;description;mac;3;35"));
    // No cell, quoted or not, begins with what a spreadsheet reads as a formula.
    for (const QString& line : lines) {
        for (QString cell : line.split(u';')) {
            if (cell.startsWith(u'"'))
                cell.remove(0, 1);
            EXPECT_FALSE(!cell.isEmpty() && QStringLiteral("=+-@\t").contains(cell.front())) << line.toStdString();
        }
    }
    const PhoneImportPlan again = f.import.plan(f.request(exportFileBytes(exported.text)));
    EXPECT_EQ(f.import.summaryLine(again).toStdString(),
              QStringLiteral("0 added, 0 updated, %1 unchanged").arg(tricky.size() + 1).toStdString())
        << f.import.problemLines(again).join(u'\n').toStdString();
}

// A run stopped by the operator once rows went to the database keeps none of them.
TEST(PhoneImport, AStoppedImportKeepsNothing)
{
    Phones f;
    struct StopLog final : RunLog
    {
        void append(const QString&) override {}
        void progress(int done, int) override
        {
            if (done > 0)
                import->requestStop();
        }
        PhoneImport* import = nullptr;
    } log;
    PhoneImport import(f.t.s, log);
    log.import = &import;
    const QString before = telephonesDump(f.t.tdb.db);
    EXPECT_EQ(import.run(f.request(kExportedFile)), PhoneImportOutcome::Aborted);
    EXPECT_EQ(telephonesDump(f.t.tdb.db), before);
}

// Two operators import one MAC into two companies at once, the second one once the first has checked
// its file: one telephone gets the MAC. On the server the second import commits first and the first
// is refused at its line in the check's own words, nothing kept; on SQLite the first one's write
// transaction keeps the second out until it has committed.
TEST(PhoneImport, TwoImportsOfOneMacAtOnceGiveItToOneTelephone)
{
    Phones f;
    f.t.exec(QStringLiteral("INSERT INTO RANGES VALUES('BC', '102')"));
    OtherOperator other(f.t.tdb);
    PhoneImport theirs(other.s, other.log);
    PhoneImportOutcome second = PhoneImportOutcome::Refused;
    QString secondFailure;
    other.at(QStringLiteral("import.checked"), [&] {
        try {
            second = theirs.run({QStringLiteral("BC"), QStringLiteral("GXP2000"),
                                 writeFile(f.dir, QStringLiteral("theirs.csv"),
                                           "code;description;mac\r\n102;Skew B;000b82000077\r\n")});
        } catch (const DbError& e) {
            secondFailure = e.text();
        }
    });
    PhoneImportPlan done;
    const PhoneImportOutcome first =
        f.import.run(f.request("code;description;mac\r\n103;Skew A;000B82000077\r\n"), nullptr, &done);
    ASSERT_TRUE(other.passed.contains(QStringLiteral("import.checked")));
    const Recordset owners =
        f.t.tdb.db.execute(QStringLiteral("SELECT CO_CODE, PH_CODE FROM PHONES WHERE UPPER(PH_MAC) = '000B82000077'"));
    ASSERT_EQ(owners.count(), 1);
    if (f.t.tdb.engine() == Engine::PostgreSQL) {
        EXPECT_EQ(second, PhoneImportOutcome::Written) << secondFailure.toStdString();
        EXPECT_EQ(first, PhoneImportOutcome::Refused);
        EXPECT_EQ(f.import.problemLines(done),
                  QStringList{QStringLiteral(
                      "Line 2, column mac: the MAC address 000B82000077 is that of telephone 102 of company BC")});
        EXPECT_EQ(owners.text(0), QStringLiteral("BC"));
        EXPECT_EQ(f.t.value(QStringLiteral("SELECT COUNT(*) FROM PHONES WHERE CO_CODE = 'AC'")), QStringLiteral("2"));
    } else {
        EXPECT_TRUE(OtherOperator::lockedOut(secondFailure)) << secondFailure.toStdString();
        EXPECT_EQ(first, PhoneImportOutcome::Written);
        EXPECT_EQ(owners.text(0), QStringLiteral("AC"));
        EXPECT_EQ(owners.text(1), QStringLiteral("103"));
    }
}

} // namespace
} // namespace vocaset::test
