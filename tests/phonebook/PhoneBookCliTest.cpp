#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>

#include <gtest/gtest.h>

#include "CliCommand.h"
#include "DemoCli.h"
#include "FullDisk.h"
#include "TestDatabase.h"
#include "XlsxReader.h"

namespace vocaset::test {
namespace {

// A working database created from a source with one company (GXP2000 telephones 101 and 102, two
// phone-book entries), the phone-book folders as settings relative to the program's folder.
class PhoneBookCli : public CliFixture
{
protected:
    void SetUp() override
    {
        Database& db = source.db;
        seedSource({
            QStringLiteral("SYSTEM_PARAMETERS VALUES('ACGXP2000', '$$PBGEN', 'book/')"),
            QStringLiteral("SYSTEM_PARAMETERS VALUES('ACGXP2000', '$$PBIMP', '$$APPPATH$$/book')"),
            QStringLiteral("SYSTEM_PARAMETERS VALUES('AC', '$$PBExp', 'book')"),
            QStringLiteral("CREATION_FLAGS VALUES('V', 'Visible', 'N')"),
            QStringLiteral("CREATION_FLAGS VALUES('H', 'Hidden', 'N')"),
            QStringLiteral("CREATION_FLAGS VALUES('W', 'Work', 'Y')"),
            QStringLiteral("COMPANY VALUES('AC', 'Acme')"),
            QStringLiteral("COMPANY VALUES('NB', 'No phones')"),
            QStringLiteral("EQUIPMENT VALUES('GXP2000', 'Desk telephone', 'GRANDSTREAM')"),
            QStringLiteral("RANGES VALUES('AC', '101')"),
            QStringLiteral("RANGES VALUES('AC', '102')"),
            QStringLiteral("PHONES VALUES('AC', '101', 'GXP2000', 'Desk', '000B82000001')"),
            QStringLiteral("PHONES VALUES('AC', '102', 'GXP2000', 'Desk', '000B82000002')"),
            QStringLiteral("PHONE_BOOK VALUES('AC', '200', 'Anna', 'V', '', '', '', '')"),
            QStringLiteral("PHONE_BOOK VALUES('AC', '201', 'Ben', 'H', '', '', '', '')"),
        });
        for (const char* m : {"M25", "M26", "M27", "M29", "M30", "M31", "M32", "M33"})
            db.execute(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', '%1', '%1 $$')")
                           .arg(QLatin1String(m)));
        createFrom(source.connectionString());
        ASSERT_TRUE(QDir(working.dir()).mkdir(QStringLiteral("book")));
    }

    QString book(const QString& name) const { return working.dir() + QStringLiteral("/book/") + name; }
    QByteArray read(const QString& name) const
    {
        QFile f(book(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

};

const QStringList kAc = {QStringLiteral("--company"), QStringLiteral("AC")};
const QStringList kGxp = {QStringLiteral("--model"), QStringLiteral("GXP2000")};

TEST_F(PhoneBookCli, PhoneBookCommandsUseTheFolderSettings)
{
    ASSERT_EQ(run(QStringList{QStringLiteral("phonebook"), QStringLiteral("generate")} + kAc + kGxp), cli::Ok)
        << err.toStdString();
    EXPECT_EQ(out, QStringLiteral("200 - Anna\n"));
    EXPECT_TRUE(err.startsWith(QStringLiteral("1 entry selected, 1 written, 0 left out: ") +
                               book(QStringLiteral("gs_phonebook.xml"))))
        << err.toStdString();
    EXPECT_TRUE(read(QStringLiteral("gs_phonebook.xml")).contains("<LastName>Anna</LastName>"));

    QFile list(book(QStringLiteral("confUsers.ini")));
    ASSERT_TRUE(list.open(QIODevice::WriteOnly));
    list.write("[Users]\r\n[User1]\r\nName=Cleo\r\nSurname=Dunn\r\nExtension=202\r\n");
    list.close();
    // Anna is not listed any more: hiding the only visible entry needs --yes, and says so.
    const QStringList import = QStringList{QStringLiteral("phonebook"), QStringLiteral("import")} + kAc + kGxp;
    EXPECT_EQ(run(import), cli::RunFailed);
    EXPECT_TRUE(err.contains(QStringLiteral("This import would hide the only visible entry of company AC.")))
        << err.toStdString();
    EXPECT_TRUE(out.endsWith(QStringLiteral("Import not confirmed: nothing was changed.\n"))) << out.toStdString();
    ASSERT_EQ(run(import + QStringList{QStringLiteral("--yes")}), cli::Ok) << err.toStdString();
    EXPECT_EQ(out.split(u'\n').mid(1), (QStringList{QStringLiteral("202 - Cleo Dunn  - Added"), QString()}));

    // Export: the file is new, then exists (No without a terminal, Yes with --yes).
    const QStringList exportCsv = QStringList{QStringLiteral("phonebook"), QStringLiteral("export")} + kAc;
    ASSERT_EQ(run(exportCsv), cli::Ok) << err.toStdString();
    EXPECT_EQ(read(QStringLiteral("Phone_Book.csv")).count('\n'), 3);
    EXPECT_EQ(run(exportCsv), cli::RunFailed);
    EXPECT_EQ(run(exportCsv + QStringList{QStringLiteral("--yes")}), cli::Ok);
    const QString other = working.dir() + QStringLiteral("/elsewhere");
    ASSERT_TRUE(QDir().mkdir(other));
    ASSERT_EQ(run(exportCsv +
                  QStringList{QStringLiteral("--format"), QStringLiteral("XLSX"), QStringLiteral("--out"), other}),
              cli::Ok)
        << err.toStdString();
    EXPECT_EQ(XlsxReader(other + QStringLiteral("/AC.xlsx")).rows().size(), 4);
}

TEST_F(PhoneBookCli, WrongUsageAndRefusedRuns)
{
    const QStringList generate = {QStringLiteral("phonebook"), QStringLiteral("generate")};
    const struct
    {
        QStringList args;
        int code;
    } cases[] = {
        {generate + kAc, cli::Usage},
        {generate + kAc + kGxp + kGxp, cli::Usage},
        {generate + QStringList{QStringLiteral("--company"), QStringLiteral("ZZ")} + kGxp, cli::Usage},
        {generate + QStringList{QStringLiteral("--company"), QStringLiteral("NB")} + kGxp, cli::Usage},
        {generate + kAc + kGxp + QStringList{QStringLiteral("--out"), QStringLiteral("/nonexistent/x")},
         cli::RunFailed},
        {QStringList{QStringLiteral("phonebook"), QStringLiteral("import")} + kAc + kGxp, cli::RunFailed},
        {QStringList{QStringLiteral("phonebook"), QStringLiteral("export"), QStringLiteral("--format"),
                     QStringLiteral("pdf")} +
             kAc,
         cli::Usage},
        {QStringList{QStringLiteral("ranges"), QStringLiteral("add"), QStringLiteral("--from"), QStringLiteral("1"),
                     QStringLiteral("--to"), QStringLiteral("2")},
         cli::Usage},
    };
    for (const auto& c : cases)
        EXPECT_EQ(run(c.args), c.code) << c.args.join(u' ').toStdString() << "\n" << err.toStdString();
    EXPECT_FALSE(QFile::exists(book(QStringLiteral("gs_phonebook.xml"))));

    // An export the file system refuses (a folder where the file belongs) is a failure.
    ASSERT_TRUE(QDir().mkpath(book(QStringLiteral("Phone_Book.csv/x"))));
    EXPECT_EQ(run(QStringList{QStringLiteral("phonebook"), QStringLiteral("export"), QStringLiteral("--yes")} + kAc),
              cli::RunFailed);
    EXPECT_TRUE(
        err.contains(QStringLiteral("could not be written: Cannot replace ") + book(QStringLiteral("Phone_Book.csv"))))
        << err.toStdString();
}

// A full disk during an import or a range run: the run stops, says the engine's reason once, exits
// 3 and leaves the database as it was; once space is back nothing of it appears. On both engines
// with a failure the engine raises as a full disk would, then on a real full file system.
TEST_F(PhoneBookCli, AFullDiskLeavesTheDatabaseAsItWas)
{
    const auto contents = [](Database& db) {
        QStringList rows;
        for (const char* table : {"RANGES", "PHONE_BOOK"}) {
            for (Recordset rs = db.execute(QStringLiteral("SELECT * FROM %1 ORDER BY 1, 2").arg(QLatin1String(table)));
                 !rs.eof(); rs.moveNext())
                rows.append(rs.text(0) + u'/' + rs.text(1));
        }
        return rows;
    };
    const QStringList before = contents(working.db);
    QByteArray users = "[Users]\r\n[User]\r\nName=Anna\r\nSurname=A\r\nExtension=200\r\n";
    for (int n = 1; n < 100000; ++n)
        users +=
            "[User]\r\nName=N\r\nSurname=" + QByteArray::number(n) + "\r\nExtension=" + QByteArray::number(n) + "\r\n";
    QFile list(book(QStringLiteral("confUsers.ini")));
    ASSERT_TRUE(list.open(QIODevice::WriteOnly));
    list.write(users);
    list.close();
    const QStringList runs[] = {
        QStringList{QStringLiteral("phonebook"), QStringLiteral("import")} + kAc + kGxp,
        QStringList{QStringLiteral("ranges"), QStringLiteral("add"), QStringLiteral("--from"), QStringLiteral("1"),
                    QStringLiteral("--to"), QStringLiteral("99999"), QStringLiteral("--yes")} +
            kAc,
    };
    const auto failsWhole = [&](const QStringList& args) {
        EXPECT_EQ(run(args), cli::DatabaseFailed) << args.join(u' ').toStdString() << '\n' << err.toStdString();
        EXPECT_EQ(fullDiskLines(err), 1) << err.toStdString();
        EXPECT_LE(out.count(QStringLiteral("M30")), 2) << "a failure reported as a code in use (only 101 and 102 are)";
    };

    QStringList rules;
    for (const char* table : {"PHONE_BOOK", "RANGES"})
        rules.append(refuseWrites(working.db, QStringLiteral("INSERT"), QLatin1String(table),
                                  QStringLiteral("NEW.CO_CODE = 'AC'"), Refusal::FullDisk));
    for (const QStringList& args : runs)
        failsWhole(args);
    EXPECT_EQ(contents(working.db), before);
    for (const QString& rule : rules)
        allowWrites(working.db, rule);

    if (working.engine() != Engine::SQLite)
        return;
    FullFolder full;
    if (!full.mounted())
        GTEST_SKIP() << "no right to mount a small file system; the real full disk is not tried";
    // The working database moves onto a small file system of its own, which is then filled. A
    // connection that has read it keeps its journal files in place.
    const QString moved = full.filePath(QStringLiteral("working.db"));
    working.db.execute(QStringLiteral("VACUUM INTO '") + moved + u'\'');
    const QString settings = working.dir() + QStringLiteral("/full.txt");
    QFile file(settings);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QStringLiteral("Provider=SQLite;Data Source=%1\r\n").arg(moved).toUtf8());
    file.close();
    Database onFull;
    onFull.open(QStringLiteral("Provider=SQLite;Data Source=") + moved);
    ASSERT_EQ(contents(onFull), before);
    full.fill();
    for (const QStringList& args : runs)
        failsWhole(QStringList{QStringLiteral("--settings"), settings} + args);
    ASSERT_TRUE(QFile::remove(full.filePath(QStringLiteral(".filler"))));
    EXPECT_EQ(contents(onFull), before);
}

TEST_F(PhoneBookCli, RangesAskOrTakeYes)
{
    const QStringList add = QStringList{QStringLiteral("ranges"), QStringLiteral("add")} + kAc;
    const QStringList remove = QStringList{QStringLiteral("ranges"), QStringLiteral("delete")} + kAc;
    const QStringList bounds = {QStringLiteral("--from"), QStringLiteral("100"), QStringLiteral("--to"),
                                QStringLiteral("103")};
    EXPECT_EQ(run(add + bounds), cli::RunFailed); // no terminal to ask: No
    EXPECT_TRUE(out.isEmpty());
    ASSERT_EQ(run(add + bounds + QStringList{QStringLiteral("--yes")}), cli::Ok) << err.toStdString();
    EXPECT_EQ(out.count(QLatin1Char('\n')), 8);
    EXPECT_TRUE(err.endsWith(QStringLiteral("4 codes selected, 2 created, 0 refused\n"))) << err.toStdString();
    // 101 and 102 are in use: deleting keeps them and reports the failure.
    EXPECT_EQ(run(remove + bounds + QStringList{QStringLiteral("--yes")}), cli::RunFailed);
    EXPECT_TRUE(err.endsWith(QStringLiteral("4 codes selected, 2 deleted, 2 kept in use\n"))) << err.toStdString();
    EXPECT_EQ(run(add + QStringList{QStringLiteral("--from"), QStringLiteral("9x"), QStringLiteral("--to"),
                                    QStringLiteral("10"), QStringLiteral("--yes")}),
              cli::RunFailed);
}

} // namespace
} // namespace vocaset::test
