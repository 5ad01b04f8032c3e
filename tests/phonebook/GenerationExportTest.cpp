#include <gtest/gtest.h>

#include <QDir>

#include "PhoneBookExport.h"
#include "PhoneBookFixture.h"
#include "PhoneBookGeneration.h"
#include "XlsxReader.h"

namespace vocaset::test {
namespace {

const QString AC = QStringLiteral("AC");
const QString GXP = QStringLiteral("GXP2000");

struct Books : PhoneBookData
{
    PhoneBookSummary generate(const QString& folder = QString())
    {
        PhoneBookGeneration run(s, log);
        return run.run({AC, GXP, folder.isNull() ? files.path() : folder});
    }
    PhoneBookSummary exportBook(ExportFormat format, const QString& co = QStringLiteral("AC"))
    {
        PhoneBookExport run(s, log);
        return run.run({co, QString(), files.path()}, format);
    }
};

QByteArray contact(const char* name, const char* num, int index)
{
    return QByteArray("<Contact>\r\n<LastName>") + name + "</LastName>\r\n<FirstName></FirstName>\r\n<Phone>\r\n" +
           "<phonenumber>" + num + "</phonenumber>\r\n<accountindex>" + QByteArray::number(index) +
           "</accountindex>\r\n</Phone>\r\n</Contact>\r\n";
}

// Published entries (any flag but "H") of the company only, in name order, escaped for XML, in
// Windows-1252; an entry that would break the file is left out but keeps its place in the count.
TEST(PhoneBookGeneration, WritesThePublishedEntriesOfTheCompany)
{
    Books b;
    b.entry(AC, QStringLiteral("200"), QStringLiteral("Zoë & <Partners>"), QStringLiteral("V"));
    b.entry(AC, QStringLiteral("201"), QStringLiteral("Hidden"), QStringLiteral("H"));
    b.entry(AC, QStringLiteral("202"), QStringLiteral("Anna"), QStringLiteral("M"));
    b.entry(AC, QStringLiteral("203"), QStringLiteral("Bad\r\nName"), QStringLiteral("V"));
    b.entry(AC, QStringLiteral("1&2"), QStringLiteral("O'Brien"), QStringLiteral("W"));
    b.entry(QStringLiteral("BC"), QStringLiteral("300"), QStringLiteral("Other company"), QStringLiteral("V"));

    const PhoneBookSummary first = b.generate();
    EXPECT_EQ(first.outcome, PhoneBookOutcome::Completed);
    EXPECT_EQ(first.selected, 4);
    EXPECT_EQ(first.succeeded, 3);
    EXPECT_EQ(first.failed, 1);
    const QByteArray expected = "<?xml version=\"1.0\"?>\r\n<AddressBook>\r\n" + contact("Anna", "202", 0) +
                                contact("O'Brien", "1&amp;2", 2) + contact("Zo\xEB &amp; &lt;Partners&gt;", "200", 3) +
                                "</AddressBook>\r\n";
    EXPECT_EQ(b.read(QStringLiteral("gs_phonebook.xml")), expected);
    EXPECT_EQ(b.log.lines, (QStringList{QStringLiteral("202 - Anna"), QStringLiteral("M290:203 - Bad\r\nName"),
                                        QStringLiteral("1&2 - O'Brien"), QStringLiteral("200 - Zoë & <Partners>")}));

    // A second run replaces the file; with nothing published it holds the frame alone. The folder
    // may name the program's folder.
    b.exec(QStringLiteral("UPDATE PHONE_BOOK SET BK_FLAG = 'H'"));
    b.s.appDir = b.files.path();
    EXPECT_EQ(b.generate(QStringLiteral("$$APPPATH$$")).selected, 0);
    EXPECT_EQ(b.read(QStringLiteral("gs_phonebook.xml")),
              QByteArray("<?xml version=\"1.0\"?>\r\n<AddressBook>\r\n</AddressBook>\r\n"));
    EXPECT_EQ(QDir(b.files.path()).entryList(QDir::Files | QDir::Hidden), QStringList{PhoneBookGeneration::fileName()});
}

// Each refusal shows its message and writes nothing; a file that cannot be written keeps the old one.
TEST(PhoneBookGeneration, RefusalsWriteNothing)
{
    Books b;
    b.exec(QStringLiteral("INSERT INTO EQUIPMENT VALUES('GXP2100', 'Other', 'GRANDSTREAM')"));
    b.phone(AC, QStringLiteral("103"), QStringLiteral("GXP2100"));
    const struct
    {
        QString company, model, folder, message;
        PhoneBookOutcome outcome;
    } cases[] = {
        {AC, QStringLiteral("PAP2"), b.files.path(), QStringLiteral("M8:"), PhoneBookOutcome::NoTelephones},
        {AC, GXP, b.path(QStringLiteral("missing")), QStringLiteral("M7:"), PhoneBookOutcome::FolderMissing},
        {AC, GXP, QString(), QStringLiteral("M7:"), PhoneBookOutcome::FolderMissing},
        {QStringLiteral("BC"), QStringLiteral("PAP2"), b.files.path(), QStringLiteral("M10:"),
         PhoneBookOutcome::NotSupported},
        {AC, QStringLiteral("GXP2100"), b.files.path(), QStringLiteral("M10:"), PhoneBookOutcome::NotSupported},
    };
    for (const auto& c : cases) {
        b.op.messages.clear();
        PhoneBookGeneration run(b.s, b.log);
        EXPECT_EQ(run.run({c.company, c.model, c.folder}).outcome, c.outcome) << c.model.toStdString();
        EXPECT_EQ(b.op.messages, QStringList{c.message}) << c.model.toStdString();
    }
    EXPECT_TRUE(QDir(b.files.path()).isEmpty());

    // A folder standing where the file should be: the run reports the file system's refusal.
    ASSERT_TRUE(QDir(b.files.path()).mkdir(PhoneBookGeneration::fileName()));
    b.op.messages.clear();
    const PhoneBookSummary failed = b.generate();
    EXPECT_EQ(failed.outcome, PhoneBookOutcome::WriteFailed);
    ASSERT_EQ(b.op.messages.size(), 1);
    EXPECT_TRUE(b.op.messages[0].startsWith(QStringLiteral("M292:")) &&
                b.op.messages[0].contains(b.path(PhoneBookGeneration::fileName())))
        << b.op.messages[0].toStdString();
}

QStringList sortedLines(const QByteArray& bytes)
{
    QStringList lines = QString::fromLatin1(bytes).split(QStringLiteral("\r\n"));
    EXPECT_EQ(lines.takeLast(), QString()); // the last line ends too
    lines.sort();
    return lines;
}

// Every entry of the company, hidden ones too, with all eight columns; no header, no quoting.
TEST(PhoneBookExport, CsvHoldsEveryEntryOfTheCompany)
{
    Books b;
    b.entry(AC, QStringLiteral("200"), QStringLiteral("Anna"), QStringLiteral("V"), QStringLiteral("a@x.example"));
    b.entry(AC, QStringLiteral("201"), QStringLiteral("Hidden"), QStringLiteral("H"));
    b.entry(AC, QStringLiteral("202"), QStringLiteral("Semi;colon é"), QStringLiteral("M"));
    b.entry(AC, QStringLiteral("203"), QStringLiteral("Line\nbreak"), QStringLiteral("V"));
    // What a spreadsheet would run as a formula goes behind an apostrophe.
    b.entry(AC, QStringLiteral("204"), QStringLiteral("=cmd|' /C calc'!A0"), QStringLiteral("V"),
            QStringLiteral("@SUM(1+1)"));
    b.entry(AC, QStringLiteral("-205"), QStringLiteral("+1"), QStringLiteral("V"));
    b.entry(QStringLiteral("BC"), QStringLiteral("300"), QStringLiteral("Other"), QStringLiteral("V"));

    const PhoneBookSummary first = b.exportBook(ExportFormat::Csv);
    EXPECT_EQ(first.outcome, PhoneBookOutcome::Completed);
    EXPECT_EQ(first.file, b.path(QStringLiteral("Phone_Book.csv")));
    EXPECT_EQ(sortedLines(b.read(QStringLiteral("Phone_Book.csv"))),
              (QStringList{QStringLiteral("AC;'-205;'+1;V;;;;"), QStringLiteral("AC;200;Anna;V;;;;a@x.example"),
                           QStringLiteral("AC;201;Hidden;H;;;;"), QStringLiteral("AC;202;Semi;colon \xE9;M;;;;"),
                           QStringLiteral("AC;204;'=cmd|' /C calc'!A0;V;;;;'@SUM(1+1)")}));
    EXPECT_TRUE(b.log.lines.contains(QStringLiteral("M290:203 - Line\nbreak")));
    EXPECT_EQ(b.log.lines.last(), QStringLiteral("M33:5"));
    EXPECT_TRUE(b.op.questions.isEmpty());

    // The file exists now: No keeps it and reports 0, Yes replaces it.
    b.exec(QStringLiteral("DELETE FROM PHONE_BOOK WHERE BK_NUM <> '200'"));
    b.op.yesNo << false << true;
    b.log.lines.clear();
    EXPECT_EQ(b.exportBook(ExportFormat::Csv).outcome, PhoneBookOutcome::Declined);
    EXPECT_EQ(b.op.questions, QStringList{QStringLiteral("M32:") + first.file});
    EXPECT_EQ(b.log.lines, QStringList{QStringLiteral("M33:0")});
    EXPECT_EQ(sortedLines(b.read(QStringLiteral("Phone_Book.csv"))).size(), 5);
    EXPECT_EQ(b.exportBook(ExportFormat::Csv).succeeded, 1);
    EXPECT_EQ(b.read(QStringLiteral("Phone_Book.csv")), QByteArray("AC;200;Anna;V;;;;a@x.example\r\n"));

    // A read-only file is kept even when the operator agrees.
    QFile::setPermissions(first.file, QFile::ReadOwner | QFile::ReadGroup);
    b.op.messages.clear();
    EXPECT_EQ(b.exportBook(ExportFormat::Csv).outcome, PhoneBookOutcome::WriteFailed);
    EXPECT_EQ(b.op.messages, QStringList{QStringLiteral("M302:") + first.file});
}

// The workbook holds the column names, then one text row per entry; a company without telephones
// and a missing folder are refused for both formats.
TEST(PhoneBookExport, WorkbookReadsBackWithHeaderAndRows)
{
    Books b;
    b.entry(AC, QStringLiteral("0200"), QStringLiteral("Anna & Co"), QStringLiteral("V"), QStringLiteral("a@x"));
    b.entry(AC, QStringLiteral("201"), QStringLiteral("Two\nlines"), QStringLiteral("H"));
    // The header takes the captions the editor shows for the columns, the name where there is none.
    b.exec(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'BK_NUM', 'Number')"));
    b.exec(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'BK_NAME', 'Name')"));

    const PhoneBookSummary done = b.exportBook(ExportFormat::Xlsx);
    EXPECT_EQ(done.outcome, PhoneBookOutcome::Completed);
    EXPECT_EQ(done.file, b.path(QStringLiteral("AC.xlsx")));
    EXPECT_EQ(b.log.lines.last(), QStringLiteral("M33:2"));
    XlsxReader r(done.file);
    ASSERT_TRUE(r.ok()) << r.error().toStdString();
    ASSERT_EQ(r.rows().size(), 3);
    EXPECT_EQ(r.rows()[0],
              (QStringList{QStringLiteral("CO_CODE"), QStringLiteral("Number"), QStringLiteral("Name"),
                           QStringLiteral("BK_FLAG"), QStringLiteral("BK_EXTNUM"), QStringLiteral("BK_FAX"),
                           QStringLiteral("BK_GSM"), QStringLiteral("BK_MAIL")}));
    QList<QStringList> rows = r.rows().mid(1);
    std::sort(rows.begin(), rows.end(), [](const QStringList& x, const QStringList& y) { return x[1] < y[1]; });
    EXPECT_EQ(rows[0], (QStringList{AC,
                                    QStringLiteral("0200"),
                                    QStringLiteral("Anna & Co"),
                                    QStringLiteral("V"),
                                    {},
                                    {},
                                    {},
                                    QStringLiteral("a@x")}));
    EXPECT_EQ(r.type(1, 1), QStringLiteral("s")); // the number stays text, with its zero
    EXPECT_TRUE(r.entry(QStringLiteral("docProps/core.xml")).contains("<dc:creator>Vocaset</dc:creator>"));
    EXPECT_EQ(rows[1].value(2), QStringLiteral("Two\nlines"));

    b.exec(QStringLiteral("DELETE FROM PHONE_BOOK"));
    b.op.yesNo << true;
    EXPECT_EQ(b.exportBook(ExportFormat::Xlsx).succeeded, 0);
    EXPECT_EQ(b.op.questions, QStringList{QStringLiteral("M32:") + done.file});
    EXPECT_EQ(XlsxReader(done.file).rows().size(), 1);

    b.exec(QStringLiteral("INSERT INTO COMPANY VALUES('EMPTY', 'No telephones')"));
    b.op.messages.clear();
    for (ExportFormat f : {ExportFormat::Csv, ExportFormat::Xlsx}) {
        EXPECT_EQ(b.exportBook(f, QStringLiteral("EMPTY")).outcome, PhoneBookOutcome::NoTelephones);
        PhoneBookExport run(b.s, b.log);
        EXPECT_EQ(run.run({AC, QString(), b.path(QStringLiteral("nowhere"))}, f).outcome,
                  PhoneBookOutcome::FolderMissing);
    }
    EXPECT_EQ(b.op.messages, (QStringList{QStringLiteral("M8:"), QStringLiteral("M7:"), QStringLiteral("M8:"),
                                          QStringLiteral("M7:")}));
}

} // namespace
} // namespace vocaset::test
