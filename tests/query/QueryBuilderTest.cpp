// The query tool's pure pieces: the catalogue values, the statements, the filter rows' events and
// the list's sorting and number format.

#include <gtest/gtest.h>

#include "Database.h"
#include "FilterRow.h"
#include "QueryBuilder.h"
#include "QueryResult.h"
#include "ResultModel.h"

using namespace vocaset;

namespace {

QueryField field(const QString& name, int index, Aggregate aggregate = Aggregate::None, int type = AdoType::WChar,
                 DataClass cls = DataClass::Text)
{
    QueryField f;
    f.name = name;
    f.alias = QString::number(index) + QStringLiteral("FLD");
    f.aggregate = aggregate;
    f.columnType = type;
    f.dataClass = cls;
    return f;
}

FieldChoice listed(const QString& value, const QString& op = QStringLiteral("="), bool checked = false)
{
    return {checked, value, 1, op};
}

FieldChoice typed(const QString& text, bool checked = false)
{
    return {checked, text, -1, QStringLiteral("=")};
}

FieldChoice ticked()
{
    return {true, QStringLiteral("(All)"), 0, QStringLiteral("=")};
}

// CODE text, NAME text, N double (SUM), C integer (COUNT), D timestamp, A integer (AVG).
QList<QueryField> catalogue()
{
    return {field(QStringLiteral("CODE"), 0),
            field(QStringLiteral("NAME"), 1),
            field(QStringLiteral("N"), 2, Aggregate::Sum, AdoType::Double, DataClass::Number),
            field(QStringLiteral("C"), 3, Aggregate::Count, AdoType::Integer),
            field(QStringLiteral("D"), 4, Aggregate::None, AdoType::Timestamp, DataClass::Date),
            field(QStringLiteral("A"), 5, Aggregate::Avg, AdoType::Integer)};
}

} // namespace

TEST(QueryCatalogue, ValuesGiveNameAndAggregate)
{
    struct Case
    {
        const char* value;
        const char* name;
        Aggregate aggregate;
        int start, length;
        bool bad;
    };
    const Case cases[] = {
        {"CALLS", "CALLS", Aggregate::None, 0, 0, false},
        {"CALLS:sum", "CALLS", Aggregate::Sum, 0, 0, false}, // the kind is compared upper-cased
        {"CALLS:Count", "CALLS", Aggregate::Count, 0, 0, false},
        {"CALLS:avg", "CALLS", Aggregate::Avg, 0, 0, false},
        {"CALLS:MAX", "CALLS", Aggregate::None, 0, 0, false},
        {"A:B:SUM", "A", Aggregate::None, 0, 0, false}, // the name ends at the first colon
        {"NUM:SUB", "NUM", Aggregate::Sub, 0, 0, false},
        {"NUM:sub(3,2)", "NUM", Aggregate::Sub, 3, 2, false},
        {"NUM:SUB( 1 , 40 )", "NUM", Aggregate::Sub, 1, 40, false},
        {"NUM:SUB(0,2)", "NUM", Aggregate::Sub, 0, 0, true},
        {"NUM:SUB(3)", "NUM", Aggregate::Sub, 0, 0, true},
        {"NUM:SUB(x,y)", "NUM", Aggregate::Sub, 0, 0, true},
        {":SUM", "", Aggregate::Sum, 0, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        const CatalogueValue v = parseCatalogueValue(QLatin1String(c.value));
        EXPECT_EQ(v.name, QLatin1String(c.name));
        EXPECT_EQ(v.aggregate, c.aggregate);
        EXPECT_EQ(v.subStart, c.start);
        EXPECT_EQ(v.subLength, c.length);
        EXPECT_EQ(v.badSubstring, c.bad);
    }
}

TEST(QueryBuilder, StatementsAsTheToolBuildsThem)
{
    const QueryBuilder b(QStringLiteral("T"), catalogue());
    struct Case
    {
        const char* what;
        QList<FieldChoice> choices;
        const char* sql;
    };
    const Case cases[] = {
        {"one grouping field with a listed value",
         {listed(QStringLiteral("A"), QStringLiteral("="), true)},
         "SELECT DISTINCT CODE AS 0FLD FROM T WHERE CODE = 'A' GROUP BY CODE ORDER BY CODE "},
        {"each further filter adds AND, typed text is a pattern, and unchecked fields filter too",
         {listed(QStringLiteral("A"), QStringLiteral("<>"), true), typed(QStringLiteral("AB*"))},
         "SELECT DISTINCT CODE AS 0FLD FROM T WHERE CODE <> 'A' AND NAME LIKE 'AB%' GROUP BY CODE ORDER BY CODE "},
        {"quotes are doubled in listed values and in patterns",
         {listed(QStringLiteral("O'NEIL"), QStringLiteral(">")), typed(QStringLiteral("*'s")), {}, ticked()},
         "SELECT DISTINCT COUNT(C) AS 3FLD FROM T WHERE CODE > 'O''NEIL' AND NAME LIKE '%''s' "},
        {"nothing checked queries field 0", {}, "SELECT DISTINCT CODE AS 0FLD FROM T GROUP BY CODE ORDER BY CODE "},
        {"only SUM, COUNT and AVG: neither GROUP BY nor ORDER BY",
         {{}, {}, ticked(), ticked(), {}, ticked()},
         "SELECT DISTINCT SUM(N) AS 2FLD, COUNT(C) AS 3FLD, AVG(DISTINCT A) AS 5FLD FROM T "},
        {"the first entry and an empty text filter nothing",
         {{true, QStringLiteral("(All)"), 0, QStringLiteral("<")}, typed({}, true), ticked()},
         "SELECT DISTINCT CODE AS 0FLD, NAME AS 1FLD, SUM(N) AS 2FLD FROM T GROUP BY CODE, NAME ORDER BY CODE, NAME "},
        {"a date is compared as the list shows it",
         {ticked(), {}, {}, {}, listed(QStringLiteral("2024/01/05"), QStringLiteral("<"))},
         "SELECT DISTINCT CODE AS 0FLD FROM T WHERE strftime('%Y/%m/%d', D) < '2024/01/05' GROUP BY CODE "
         "ORDER BY CODE "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QList<FieldChoice> choices = c.choices;
        choices.resize(6);
        EXPECT_EQ(b.statement(choices), QLatin1String(c.sql));
    }
}

TEST(QueryBuilder, WhereIsAddedOnceWhateverTheNames)
{
    // A table or value holding the word must not be taken for the clause.
    const QueryBuilder b(QStringLiteral("NOWHERE"), {field(QStringLiteral("WHEREABOUTS"), 0)});
    EXPECT_EQ(b.statement({listed(QStringLiteral("WHERE AND "), QStringLiteral("="), true)}),
              QStringLiteral("SELECT DISTINCT WHEREABOUTS AS 0FLD FROM NOWHERE WHERE WHEREABOUTS = 'WHERE AND ' "
                             "GROUP BY WHEREABOUTS ORDER BY WHEREABOUTS "));
}

TEST(QueryBuilder, SubstringGroupsAndOrdersByWhatItShows)
{
    QueryField sub = field(QStringLiteral("NUM"), 0, Aggregate::Sub);
    sub.subStart = 3;
    sub.subLength = 2;
    QueryField whole = field(QStringLiteral("NUM"), 1, Aggregate::Sub);
    const QueryBuilder b(QStringLiteral("T"), {sub, whole, field(QStringLiteral("C"), 2, Aggregate::Count)});
    EXPECT_EQ(b.statement({typed(QStringLiteral("4*"), true), {}, ticked()}),
              QStringLiteral("SELECT DISTINCT SUBSTRING(NUM, 3, 2) AS 0FLD, COUNT(C) AS 2FLD FROM T "
                             "WHERE SUBSTRING(NUM, 3, 2) LIKE '4%' GROUP BY SUBSTRING(NUM, 3, 2) "
                             "ORDER BY SUBSTRING(NUM, 3, 2) "));
    EXPECT_EQ(b.expression(1), QStringLiteral("NUM"));
    EXPECT_EQ(b.valuesStatement(0),
              QStringLiteral("SELECT DISTINCT SUBSTRING(NUM, 3, 2) AS 0FLD FROM T ORDER BY SUBSTRING(NUM, 3, 2)"));
    EXPECT_EQ(b.valuesStatement(1), QStringLiteral("SELECT DISTINCT NUM AS 1FLD FROM T ORDER BY T.NUM"));
}

TEST(QueryBuilder, ServerCastsWhatItWouldRefuseOrReadOtherwise)
{
    QList<QueryField> fields = catalogue();
    fields.append(field(QStringLiteral("UNITS"), 6, Aggregate::Sum));                   // text summed
    fields.append(field(QStringLiteral("SECS"), 7, Aggregate::None, AdoType::Integer)); // LIKE on a number
    const QueryBuilder b(QStringLiteral("T"), fields, Engine::PostgreSQL);
    QList<FieldChoice> choices(8);
    choices[0] = ticked();
    choices[4] = listed(QStringLiteral("2024/01/05"));
    choices[5] = ticked();
    choices[6] = ticked();
    choices[7] = typed(QStringLiteral("1*"));
    EXPECT_EQ(b.statement(choices),
              QStringLiteral("SELECT DISTINCT CODE AS 0FLD, AVG(DISTINCT CAST(A AS double precision)) AS 5FLD, "
                             "SUM(CAST(UNITS AS double precision)) AS 6FLD FROM T "
                             "WHERE to_char(D, 'YYYY/MM/DD') = '2024/01/05' AND CAST(SECS AS varchar) LIKE '1%' "
                             "GROUP BY CODE ORDER BY CODE NULLS FIRST "));
    // A listed number compares as a number; a double is averaged as it is.
    choices[7] = listed(QStringLiteral("10"), QStringLiteral(">"));
    EXPECT_TRUE(b.statement(choices).contains(QStringLiteral("AND SECS > '10' ")));
    EXPECT_EQ(QueryBuilder(QStringLiteral("T"), {field(QStringLiteral("N"), 0, Aggregate::Avg, AdoType::Double)},
                           Engine::PostgreSQL)
                  .expression(0),
              QStringLiteral("AVG(DISTINCT N)"));
}

TEST(FilterRow, EventsEnableAndCycleTheComparison)
{
    // Each step: an event, then the expected entry, button state and caption.
    enum Event { Typed, Picked, Clicked, Button };
    struct Step
    {
        Event event;
        int entry;
        bool enabled;
        const char* op;
    };
    const Step steps[] = {
        {Picked, 2, true, "="},    {Button, 2, true, "<>"}, {Button, 2, true, ">"},   {Button, 2, true, "<"},
        {Button, 2, true, "="},    {Button, 2, true, "<>"}, {Typed, -1, false, "<>"}, // typing disables
        {Button, -1, false, "<>"}, // and the button then does nothing
        {Picked, 1, true, "="},    // a listed value resets it to "="
        {Picked, 0, false, "="},   // the first entry leaves nothing to compare
        {Clicked, 0, false, "="},  {Button, 0, false, "="}, {Clicked, 3, true, "="},
    };
    FilterRow row;
    row.reset(QStringLiteral("(All)"));
    EXPECT_FALSE(row.buttonEnabled());
    int i = 0;
    for (const Step& s : steps) {
        SCOPED_TRACE(i++);
        switch (s.event) {
        case Typed:
            row.textChanged(QStringLiteral("AB*"), -1);
            break;
        case Picked: // the text changes, then the click arrives
            row.textChanged(QStringLiteral("V") + QString::number(s.entry), s.entry);
            row.entryClicked(s.entry);
            break;
        case Clicked:
            row.entryClicked(s.entry);
            break;
        case Button:
            row.buttonClicked();
            break;
        }
        EXPECT_EQ(row.entry(), s.entry);
        EXPECT_EQ(row.buttonEnabled(), s.enabled);
        EXPECT_EQ(row.op(), QLatin1String(s.op));
    }
    EXPECT_EQ(FilterRow::nextOperator(QStringLiteral("?")), QStringLiteral("="));
}

TEST(ResultList, SortsNumbersAsNumbersAndTextAsShownAndFormatsCells)
{
    QueryResult r;
    r.fields = {field(QStringLiteral("CODE"), 0),
                field(QStringLiteral("N"), 1, Aggregate::Sum, AdoType::Double, DataClass::Number)};
    r.rows =
        Recordset({QStringLiteral("0FLD"), QStringLiteral("1FLD")},
                  {{QStringLiteral("b"), 1234.5}, {QStringLiteral("A"), 999.0}, {QStringLiteral("c"), QVariant()}});
    r.valueColumns = {0, 1};
    for (const QVariantList& row : r.rows.rows())
        r.texts << displayText(row[0], DataClass::Text) << displayText(row[1], DataClass::Number);
    ResultModel m;
    m.setResult(r);
    const auto column = [&](int c) {
        QStringList out;
        for (int i = 0; i < m.rowCount(); ++i)
            out << m.data(m.index(i, c)).toString();
        return out.join(u',');
    };
    m.sort(2, Qt::AscendingOrder);
    EXPECT_EQ(column(2), QStringLiteral(",999.00,1 234.50"));
    EXPECT_EQ(column(0), QStringLiteral("3,2,1")); // positions in the result travel with their rows
    m.sort(1, Qt::DescendingOrder);
    EXPECT_EQ(column(1), QStringLiteral("c,b,A"));
    EXPECT_EQ(m.rowAt(0), 2);
    EXPECT_EQ(m.data(m.index(0, 2), Qt::TextAlignmentRole).toInt() & Qt::AlignRight, int(Qt::AlignRight));

    EXPECT_EQ(formatNumber(-1234567.891), QStringLiteral("-1 234 567.89"));
    EXPECT_EQ(formatNumber(-0.001), QStringLiteral("0.00"));
    EXPECT_EQ(displayText(QStringLiteral("2024-01-05T10:11:12.000"), DataClass::Date), QStringLiteral("2024/01/05"));
    EXPECT_EQ(displayText(QStringLiteral("n/a"), DataClass::Number), QStringLiteral("n/a"));
}
