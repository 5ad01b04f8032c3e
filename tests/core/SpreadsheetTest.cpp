#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "SpreadsheetFile.h"
#include "XlsxReader.h"

namespace vocaset::test {
namespace {

QStringList filesIn(const QString& dir)
{
    return QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::System);
}

TEST(SpreadsheetFile, CellsOfEveryKindReadBackWithTheirFormats)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("out.xlsx"));
    {
        SpreadsheetFile book(path, QStringLiteral("Phones"));
        ASSERT_TRUE(book.writeHeader(0, {QStringLiteral("Code"), QStringLiteral("Amount"), QStringLiteral("Day")}));
        EXPECT_TRUE(book.writeText(1, 0, QStringLiteral("Müller & <Söhne> \"A;B\"")));
        EXPECT_TRUE(book.writeNumber(1, 1, 1234.5, QStringLiteral("# ##0.00")));
        EXPECT_TRUE(book.writeDate(1, 2, QDateTime(QDate(2024, 2, 29), QTime(0, 0))));
        EXPECT_TRUE(book.writeValue(2, 0, QVariant(42)));
        EXPECT_TRUE(book.writeValue(2, 1, QVariant()));                       // null: empty cell
        EXPECT_TRUE(book.writeValue(2, 2, QVariant(QStringLiteral("0012")))); // text keeps its zeros
        EXPECT_TRUE(book.writeValue(3, 0, QVariant(QDate(1850, 1, 2))));      // before the format's dates: text
        EXPECT_TRUE(book.setColumnWidth(0, 30));
        ASSERT_TRUE(book.save()) << book.error().toStdString();
    }
    EXPECT_EQ(filesIn(dir.path()), QStringList{QStringLiteral("out.xlsx")}); // no temporary file left

    const XlsxReader r(path);
    ASSERT_TRUE(r.ok()) << r.error().toStdString();
    EXPECT_EQ(r.rows().value(0),
              (QStringList{QStringLiteral("Code"), QStringLiteral("Amount"), QStringLiteral("Day")}));
    EXPECT_TRUE(r.bold(0, 2));
    EXPECT_FALSE(r.bold(1, 0));
    EXPECT_EQ(r.cell(1, 0), QStringLiteral("Müller & <Söhne> \"A;B\""));
    EXPECT_EQ(r.cell(1, 1).toDouble(), 1234.5);
    EXPECT_EQ(r.type(1, 1), QStringLiteral("n"));
    EXPECT_EQ(r.format(1, 1), QStringLiteral("# ##0.00"));
    EXPECT_EQ(r.cell(1, 2).toDouble(), 45351.0); // days since 1899-12-30
    EXPECT_EQ(r.format(1, 2), QStringLiteral("yyyy/mm/dd"));
    EXPECT_EQ(r.cell(2, 0), QStringLiteral("42"));
    EXPECT_EQ(r.type(2, 1), QString()); // no cell
    EXPECT_EQ(r.cell(2, 2), QStringLiteral("0012"));
    EXPECT_EQ(r.type(2, 2), QStringLiteral("s"));
    EXPECT_EQ(r.cell(3, 0), QStringLiteral("1850-01-02T00:00:00"));
    EXPECT_TRUE(r.entry(QStringLiteral("xl/workbook.xml")).contains("name=\"Phones\""));
}

// A failure anywhere leaves the old file as it was and no temporary file, and names file and cell.
TEST(SpreadsheetFile, FailuresLeaveTheOldFileAndNameTheCause)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("book.xlsx"));
    {
        QFile old(path);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("old");
    }
    struct Case
    {
        const char* what;
        std::function<bool(SpreadsheetFile&)> write;
        const char* reasonPart;
    };
    const QList<Case> cases = {
        {"text over the cell limit", [](SpreadsheetFile& b) { return b.writeText(4, 1, QString(40000, u'x')); },
         "row 5, column 2"},
        {"row beyond the sheet", [](SpreadsheetFile& b) { return b.writeNumber(1048576, 0, 1); }, "row 1048577"},
        {"negative column", [](SpreadsheetFile& b) { return b.writeText(0, -1, QStringLiteral("a")); }, "column 0"},
        {"invalid date", [](SpreadsheetFile& b) { return b.writeDate(2, 0, QDateTime()); }, "not a valid date"},
    };
    for (const Case& c : cases) {
        SpreadsheetFile book(path);
        EXPECT_TRUE(book.writeText(0, 0, QStringLiteral("fine")));
        EXPECT_FALSE(c.write(book)) << c.what;
        EXPECT_FALSE(book.writeText(1, 0, QStringLiteral("after"))) << c.what; // the failure sticks
        EXPECT_FALSE(book.save()) << c.what;
        EXPECT_TRUE(book.error().startsWith(path + QStringLiteral(": "))) << book.error().toStdString();
        EXPECT_TRUE(book.error().contains(QLatin1String(c.reasonPart))) << book.error().toStdString();
        QFile old(path);
        ASSERT_TRUE(old.open(QIODevice::ReadOnly));
        EXPECT_EQ(old.readAll(), QByteArray("old")) << c.what;
        EXPECT_EQ(filesIn(dir.path()), QStringList{QStringLiteral("book.xlsx")}) << c.what;
    }

    SpreadsheetFile nowhere(dir.filePath(QStringLiteral("missing/book.xlsx")));
    EXPECT_FALSE(nowhere.ok());
    EXPECT_FALSE(nowhere.save());
    EXPECT_TRUE(nowhere.error().startsWith(dir.filePath(QStringLiteral("missing/book.xlsx: "))));

    SpreadsheetFile badSheet(dir.filePath(QStringLiteral("b.xlsx")), QStringLiteral("a/b"));
    EXPECT_FALSE(badSheet.save());
    EXPECT_TRUE(badSheet.error().contains(QLatin1String("a/b")));
    EXPECT_EQ(filesIn(dir.path()), QStringList{QStringLiteral("book.xlsx")});
}

// A workbook abandoned before save leaves nothing; a link at the target is replaced, not followed.
TEST(SpreadsheetFile, AbandonedWorkbookLeavesNothingAndLinksAreReplaced)
{
    QTemporaryDir dir;
    {
        SpreadsheetFile book(dir.filePath(QStringLiteral("gone.xlsx")));
        book.writeText(0, 0, QStringLiteral("x"));
    }
    EXPECT_TRUE(filesIn(dir.path()).isEmpty());

    QTemporaryDir elsewhere;
    const QString outside = elsewhere.filePath(QStringLiteral("keep.txt"));
    {
        QFile f(outside);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("keep");
    }
    const QString link = dir.filePath(QStringLiteral("linked.xlsx"));
    ASSERT_TRUE(QFile::link(outside, link));
    SpreadsheetFile book(link);
    book.writeText(0, 0, QStringLiteral("x"));
    ASSERT_TRUE(book.save());
    EXPECT_FALSE(QFileInfo(link).isSymLink());
    QFile f(outside);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("keep"));
    EXPECT_EQ(XlsxReader(link).cell(0, 0), QStringLiteral("x"));
}

// What a spreadsheet application shows for a stored text: each _xHHHH_ is the character of that code.
QString asShown(const QString& stored)
{
    static const QRegularExpression escape(QStringLiteral("_x([0-9A-Fa-f]{4})_"));
    QString shown;
    qsizetype from = 0;
    for (auto it = escape.globalMatch(stored); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        shown += stored.mid(from, m.capturedStart() - from) + QChar(m.captured(1).toUShort(nullptr, 16));
        from = m.capturedEnd();
    }
    return shown + stored.mid(from);
}

// A text that looks like the workbook's own escape of a character is shown as typed, in the header
// and in the cells, and control characters come back as they were.
TEST(SpreadsheetFile, TextsThatLookLikeEscapesAreShownAsTyped)
{
    const QStringList texts = {
        QStringLiteral("_x0041_"),       QStringLiteral("a_x00e9_b_X0041_"),   QStringLiteral("__x0041__x0042_"),
        QStringLiteral("_x0041_x0042_"), QStringLiteral("_x004_ and _x00G1_"), QStringLiteral("tab\there") + QChar(1)};
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("escapes.xlsx"));
    SpreadsheetFile book(path);
    ASSERT_TRUE(book.writeHeader(0, texts));
    for (int i = 0; i < texts.size(); ++i)
        ASSERT_TRUE(book.writeText(1, i, texts[i]));
    ASSERT_TRUE(book.save()) << book.error().toStdString();
    const XlsxReader r(path);
    ASSERT_TRUE(r.ok());
    for (int i = 0; i < texts.size(); ++i) {
        EXPECT_EQ(asShown(r.cell(0, i)), texts[i]) << r.cell(0, i).toStdString();
        EXPECT_EQ(asShown(r.cell(1, i)), texts[i]) << r.cell(1, i).toStdString();
    }
}

} // namespace
} // namespace vocaset::test
