#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>

#include <gtest/gtest.h>

#include "CliCommand.h"
#include "DemoCli.h"
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
    EXPECT_TRUE(err.startsWith(QStringLiteral("1 entries selected, 1 written, 0 left out: ") +
                               book(QStringLiteral("gs_phonebook.xml"))))
        << err.toStdString();
    EXPECT_TRUE(read(QStringLiteral("gs_phonebook.xml")).contains("<LastName>Anna</LastName>"));

    QFile list(book(QStringLiteral("confUsers.ini")));
    ASSERT_TRUE(list.open(QIODevice::WriteOnly));
    list.write("[Users]\r\n[User1]\r\nName=Cleo\r\nSurname=Dunn\r\nExtension=202\r\n");
    list.close();
    ASSERT_EQ(run(QStringList{QStringLiteral("phonebook"), QStringLiteral("import")} + kAc + kGxp), cli::Ok)
        << err.toStdString();
    EXPECT_EQ(out, QStringLiteral("202 - Cleo Dunn  - Added\n"));

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
