// The query tool on a database: its start-up and catalogue, filter lists, queries whose rows are
// checked against what the sample data holds (the same on SQLite and on the server), and the export.

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <set>

#include <QTemporaryDir>

#include "QueryExport.h"
#include "QueryFixture.h"
#include "QueryTool.h"
#include "ResultModel.h"
#include "XlsxReader.h"

using namespace vocaset;
using namespace vocaset::test;

namespace {

const QStringList kCallFields = {
    QStringLiteral("CO_CODE"),     QStringLiteral("CL_SECS:sum"),  QStringLiteral("CL_ID:COUNT"),
    QStringLiteral("CL_COST:Avg"), QStringLiteral("CL_UNITS:SUM"), QStringLiteral("CL_NUM:SUB(1,3)"),
    QStringLiteral("CL_DATE"),     QStringLiteral("CL_SECS"),      QStringLiteral("CL_COST"),
};
enum { Company, SecsSum, Count, CostAvg, UnitsSum, Prefix, Date, Secs, Cost };

struct CallsTool
{
    CallsTool()
    {
        createCalls(t, calls);
        addQueryMessages(t);
        addCatalogue(t, QStringLiteral("calls"), QStringLiteral("CALLS"), kCallFields);
        EXPECT_EQ(tool.loadSetup(), QueryStart::Ready);
    }
    // Rows of a query as the list shows them.
    QList<QStringList> rows(QList<FieldChoice>& choices)
    {
        const QueryResult r = tool.run(choices, t.log);
        QList<QStringList> out;
        for (int row = 0; row < r.rowCount(); ++row) {
            QStringList line;
            for (int c = 0; c < r.columnCount(); ++c)
                line << r.text(row, c);
            out << line;
        }
        return out;
    }
    QList<FieldChoice> checked(std::initializer_list<int> fields) const
    {
        QList<FieldChoice> choices(kCallFields.size());
        for (int f : fields)
            choices[f].checked = true;
        return choices;
    }

    TestSession t;
    QList<Call> calls = sampleCalls();
    QueryTool tool{t.s, QStringLiteral("calls")};
};

// Groups the sample calls that pass a test by a key (nullopt sorts first, as NULL does), in key order.
template <typename Key>
std::map<std::optional<Key>, QList<Call>> groups(const QList<Call>& calls, const std::function<bool(const Call&)>& keep,
                                                 const std::function<std::optional<Key>(const Call&)>& key)
{
    std::map<std::optional<Key>, QList<Call>> out;
    for (const Call& c : calls) {
        if (keep(c))
            out[key(c)].append(c);
    }
    return out;
}

const auto all = [](const Call&) { return true; };
const auto byCompany = [](const Call& c) { return std::optional<QString>(c.company); };

} // namespace

TEST(QueryTool, StartupReadsCatalogueTypesAndCaptions)
{
    TestSession t;
    createCalls(t, {});
    addQueryMessages(t);
    t.exec(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('$$LNG', '$', 'FR')"));
    for (const char* row :
         {"'$$DESC_FR', 'CO_CODE', 'Société'", "'$$DESC_EN', 'CO_CODE', 'Company'", "'$$DESC_EN', 'CL_NUM', 'Number'",
          "'$$DESC_FR', 'calls', 'Appels'", "'$$DESC_FR', 'ALL', '(Tous)'"})
        t.exec(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES(") + QString::fromUtf8(row) + u')');
    addCatalogue(t, QStringLiteral("calls"), QStringLiteral("CALLS"),
                 {QStringLiteral("CO_CODE"), QStringLiteral("CL_DATE"), QStringLiteral("CL_SECS:sum"),
                  QStringLiteral("CL_COST"), QStringLiteral("NO_COLUMN"), QStringLiteral("CL_NUM:SUB(1,3)"),
                  QStringLiteral("BAD NAME:SUM"), QStringLiteral("CL_UNITS:SUB(0,1)")});
    QueryTool tool(t.s, QStringLiteral("calls"));
    ASSERT_EQ(tool.loadSetup(), QueryStart::Ready);
    const QuerySetup& setup = tool.setup();
    EXPECT_EQ(t.s.language, QStringLiteral("FR"));
    EXPECT_EQ(setup.table, QStringLiteral("CALLS"));
    EXPECT_EQ(setup.caption, QStringLiteral("Appels"));
    EXPECT_EQ(setup.allText, QStringLiteral("(Tous)"));
    struct Expect
    {
        const char* caption; // French, else English, else the column name
        DataClass dataClass;
        bool filterable;
    };
    const Expect expected[] = {
        {"Société", DataClass::Text, true},      {"CL_DATE", DataClass::Date, true},
        {"CL_SECS", DataClass::Text, false},     {"CL_COST", DataClass::Number, false},
        {"NO_COLUMN", DataClass::Number, false}, {"Number", DataClass::Text, true},
        {"CL_UNITS", DataClass::Text, true}, // SUB without a valid start: the column whole
    };
    ASSERT_EQ(setup.fields.size(), 7); // the value without a plain name is left out
    for (int i = 0; i < 7; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(setup.fields[i].caption, QString::fromUtf8(expected[i].caption));
        EXPECT_EQ(setup.fields[i].dataClass, expected[i].dataClass);
        EXPECT_EQ(setup.fields[i].filterable(), expected[i].filterable);
        EXPECT_EQ(setup.fields[i].alias, QString::number(i) + QStringLiteral("FLD"));
    }
    EXPECT_EQ(t.op.messages.size(), 2);
    EXPECT_TRUE(t.op.messages.value(0).contains(QStringLiteral("BAD NAME:SUM")));
    EXPECT_TRUE(t.op.messages.value(1).contains(QStringLiteral("CL_UNITS:SUB(0,1)")));
}

TEST(QueryTool, StartupStopsOrLimitsOnBadCatalogues)
{
    TestSession t;
    addQueryMessages(t);
    QueryTool none(t.s, QStringLiteral("calls"));
    EXPECT_EQ(none.loadSetup(), QueryStart::NoCatalogue);
    EXPECT_EQ(t.op.messages, QStringList{QStringLiteral("Paramètre Table Inexistante")});

    // 23 fields: the first 21 are kept and the message says how many were left out.
    QStringList many;
    for (int i = 0; i < 23; ++i)
        many << QStringLiteral("F%1").arg(i);
    addCatalogue(t, QStringLiteral("wide"), QStringLiteral("T"), many);
    QueryTool wide(t.s, QStringLiteral("wide"));
    t.op.messages.clear();
    EXPECT_EQ(wide.loadSetup(), QueryStart::Ready);
    EXPECT_EQ(wide.setup().fields.size(), QueryTool::kMaxFields);
    EXPECT_EQ(wide.setup().fields.last().name, QStringLiteral("F20"));
    ASSERT_EQ(t.op.messages.size(), 1);
    EXPECT_TRUE(t.op.messages[0].startsWith(QStringLiteral("2 field(s)")));

    addCatalogue(t, QStringLiteral("odd"), QStringLiteral("T; DROP TABLE X"), {QStringLiteral("A")});
    QueryTool odd(t.s, QStringLiteral("odd"));
    EXPECT_EQ(odd.loadSetup(), QueryStart::NoCatalogue);
}

TEST(QueryTool, QueriesGiveTheGroupsTheDataHolds)
{
    CallsTool q;
    const QList<Call>& calls = q.calls;

    // Per company: SUM of an integer, COUNT, AVG(DISTINCT) of a double, SUM of numbers held as text.
    QList<QStringList> expected;
    for (const auto& [company, group] : groups<QString>(calls, all, byCompany)) {
        int seconds = 0;
        double units = 0;
        std::set<double> costs;
        for (const Call& c : group) {
            seconds += c.seconds;
            units += c.units.toDouble();
            costs.insert(c.cost);
        }
        double costSum = 0;
        for (double c : costs)
            costSum += c;
        expected << QStringList{*company, QString::number(seconds), QString::number(group.size()),
                                formatNumber(costSum / double(costs.size())), QVariant(units).toString()};
    }
    QList<FieldChoice> choices = q.checked({Company, SecsSum, Count, CostAvg, UnitsSum});
    EXPECT_EQ(q.rows(choices), expected);

    // Numbers by prefix on one day picked from the list; a null number is its own group, first.
    const auto jan2 = [](const Call& c) { return c.when.date() == QDate(2024, 1, 2); };
    const auto prefix = [](const Call& c) {
        return c.number.isNull() ? std::nullopt : std::optional<QString>(c.number.left(3));
    };
    expected.clear();
    for (const auto& [key, group] : groups<QString>(calls, jan2, prefix))
        expected << QStringList{QString::number(group.size()), key.value_or(QString())};
    choices = q.checked({Prefix, Count});
    choices[Date] = {false, QStringLiteral("2024/01/02"), 1, QStringLiteral("=")};
    ASSERT_GE(expected.size(), 2);
    EXPECT_EQ(q.rows(choices), expected);

    // A pattern on an integer column, and a listed value holding a quote under "<>".
    const auto kept = [](const Call& c) {
        return QString::number(c.seconds).startsWith(u'1') && c.company != QStringLiteral("O'N");
    };
    expected.clear();
    for (const auto& [company, group] : groups<QString>(calls, kept, byCompany))
        expected << QStringList{*company, QString::number(group.size())};
    choices = q.checked({Company, Count});
    choices[Secs] = {false, QStringLiteral("1*"), -1, QStringLiteral("=")};
    choices[Company].text = QStringLiteral("O'N");
    choices[Company].entry = 2;
    choices[Company].op = QStringLiteral("<>");
    EXPECT_EQ(q.rows(choices), expected);

    // Grouped by timestamp: one row per time, shown as its day, nulls first; dates before a day.
    const auto when = [](const Call& c) { return c.when.isValid() ? std::optional<QDateTime>(c.when) : std::nullopt; };
    const auto early = [](const Call& c) { return !c.when.isValid() || c.when.date() < QDate(2024, 1, 3); };
    expected.clear();
    for (const auto& [key, group] : groups<QDateTime>(calls, early, when))
        expected << QStringList{QString::number(group.size()),
                                key ? key->toString(QStringLiteral("yyyy/MM/dd")) : QString()};
    choices = q.checked({Date, Count});
    choices[Date] = {true, QStringLiteral("2024/01/03"), 1, QStringLiteral("<")};
    const QList<QStringList> timed = q.rows(choices);
    // Rows of a NULL date fail the comparison on both engines.
    expected.removeFirst();
    EXPECT_EQ(timed, expected);

    // Nothing checked: field 0, and its box is ticked.
    choices = q.checked({});
    EXPECT_EQ(q.rows(choices),
              (QList<QStringList>{{QStringLiteral("AC")}, {QStringLiteral("BE")}, {QStringLiteral("O'N")}}));
    EXPECT_TRUE(choices[Company].checked);
}

TEST(QueryTool, RunMatchesTheSameQueryWrittenByHand)
{
    CallsTool q;
    QList<FieldChoice> choices = q.checked({Company, Count, Prefix});
    const QueryResult r = q.tool.run(choices, q.t.log);
    Recordset direct = q.t.tdb.db.execute(
        QStringLiteral("SELECT CO_CODE, COUNT(CL_ID), SUBSTRING(CL_NUM, 1, 3) FROM CALLS GROUP BY CO_CODE, "
                       "SUBSTRING(CL_NUM, 1, 3) ORDER BY CO_CODE, SUBSTRING(CL_NUM, 1, 3) NULLS FIRST"));
    ASSERT_EQ(r.rowCount(), direct.count());
    for (int row = 0; !direct.eof(); direct.moveNext(), ++row)
        EXPECT_EQ((QStringList{r.text(row, 0), r.text(row, 1), r.text(row, 2)}),
                  (QStringList{direct.text(0), direct.text(1), direct.text(2)}));
    EXPECT_EQ(q.t.log.done, r.rowCount()); // progress reached the end
}

TEST(QueryTool, FilterListsHoldDistinctValuesAndRefusalsThrow)
{
    CallsTool q;
    EXPECT_EQ(q.tool.filterValues(Company),
              (QStringList{QStringLiteral("AC"), QStringLiteral("BE"), QStringLiteral("O'N")}));
    // One entry per day, however many times it holds; nulls are left out.
    EXPECT_EQ(q.tool.filterValues(Date), (QStringList{QStringLiteral("2024/01/01"), QStringLiteral("2024/01/02"),
                                                      QStringLiteral("2024/01/03"), QStringLiteral("2024/01/04")}));
    const QStringList prefixes = q.tool.filterValues(Prefix);
    EXPECT_EQ(prefixes, (QStringList{QStringLiteral("041"), QStringLiteral("042"), QStringLiteral("043"),
                                     QStringLiteral("044")}));

    // A catalogue naming a column the table lacks: the query is refused with the engine's text.
    addCatalogue(q.t, QStringLiteral("broken"), QStringLiteral("CALLS"), {QStringLiteral("NO_COLUMN")});
    QueryTool broken(q.t.s, QStringLiteral("broken"));
    ASSERT_EQ(broken.loadSetup(), QueryStart::Ready);
    QList<FieldChoice> choices(1);
    try {
        broken.run(choices, q.t.log);
        FAIL() << "the statement ran";
    } catch (const DbError& e) {
        EXPECT_TRUE(e.text().contains(QStringLiteral("no_column"), Qt::CaseInsensitive)) << e.text().toStdString();
    }
}

TEST(QueryTool, ExportHoldsTheListInItsOrderWithNumbersAndDates)
{
    CallsTool q;
    ResultModel list;
    QList<FieldChoice> choices = q.checked({Company, Date, Cost, Count});
    list.setResult(q.tool.run(choices, q.t.log));
    ASSERT_GT(list.rowCount(), 10);
    // Columns in catalogue order: company, count, date, cost.
    list.sort(4, Qt::DescendingOrder); // by cost, highest first
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("calls.xlsx"));
    QString error;
    ASSERT_TRUE(exportList(list, path, &error)) << error.toStdString();

    const XlsxReader book(path);
    ASSERT_TRUE(book.ok()) << book.error().toStdString();
    EXPECT_EQ(book.rows().value(0), (QStringList{QStringLiteral("CO_CODE"), QStringLiteral("CL_ID"),
                                                 QStringLiteral("CL_DATE"), QStringLiteral("CL_COST")}));
    ASSERT_EQ(book.rows().size(), list.rowCount() + 1);
    const QueryResult& r = list.result();
    for (int shown = 0; shown < list.rowCount(); ++shown) {
        SCOPED_TRACE(shown);
        const int row = list.rowAt(shown);
        const int line = shown + 1;
        EXPECT_EQ(book.cell(line, 0), r.text(row, 0));
        EXPECT_EQ(book.type(line, 1), QStringLiteral("n")); // a count stays a number
        if (r.value(row, 2).isNull()) {
            EXPECT_EQ(book.type(line, 2), QString());
        } else {
            EXPECT_EQ(book.format(line, 2), QStringLiteral("yyyy/mm/dd"));
            const QDateTime when = *dateOf(r.value(row, 2));
            EXPECT_DOUBLE_EQ(book.cell(line, 2).toDouble(),
                             QDate(1899, 12, 30).daysTo(when.date()) + when.time().msecsSinceStartOfDay() / 86400000.0);
        }
        EXPECT_EQ(book.type(line, 3), QStringLiteral("n"));
        EXPECT_EQ(book.format(line, 3), QStringLiteral("# ##0.00"));
        EXPECT_DOUBLE_EQ(book.cell(line, 3).toDouble(), r.value(row, 3).toDouble());
    }
    // Highest cost first, as the list shows it.
    EXPECT_GT(book.cell(1, 3).toDouble(), book.cell(2, 3).toDouble());

    // A folder that does not exist: refused, with the file named.
    EXPECT_FALSE(exportList(list, dir.filePath(QStringLiteral("no/such/calls.xlsx")), &error));
    EXPECT_TRUE(error.contains(QStringLiteral("calls.xlsx"))) << error.toStdString();
}
