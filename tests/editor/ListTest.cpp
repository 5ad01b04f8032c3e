// The table catalogue of a tab and the record list built from it.

#include <gtest/gtest.h>

#include "DbError.h"
#include "EditorFixture.h"
#include "RecordList.h"

namespace vocaset::test {
namespace {

class ListTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        for (const char* co : {"BB", "AC", "O'H"})
            d.exec(QStringLiteral("INSERT INTO COMPANY VALUES('%1', 'Company')").arg(sqlText(QLatin1String(co))));
        d.exec(QStringLiteral("INSERT INTO EQUIPMENT VALUES('GXP', 'Grand', 'GRANDSTREAM')"));
        d.exec(QStringLiteral("INSERT INTO LEVELS VALUES('P', 'Phone')"));
        d.exec(QStringLiteral("INSERT INTO TYPES VALUES('T', 'Text')"));
        for (const char* pa : {"1", "2"})
            d.exec(QStringLiteral("INSERT INTO EQUIPMENT_PARAMETERS VALUES('GXP', '%1', 'd', 'P', '', 'T', '')")
                       .arg(QLatin1String(pa)));
        for (const char* co : {"AC", "O'H"})
            for (const char* ph : {"101", "102"}) {
                const QString c = sqlText(QLatin1String(co));
                d.exec(QStringLiteral("INSERT INTO RANGES VALUES('%1', '%2')").arg(c, QLatin1String(ph)));
                d.exec(QStringLiteral("INSERT INTO PHONES VALUES('%1', '%2', 'GXP', 'Desk', '001122334455')")
                           .arg(c, QLatin1String(ph)));
                for (const char* pa : {"1", "2"})
                    d.exec(QStringLiteral("INSERT INTO PHONES_PARAMETERS VALUES('%1', 'GXP', '%2', '%3', 'v')")
                               .arg(c, QLatin1String(ph), QLatin1String(pa)));
            }
        d.setting(QStringLiteral("$$DESC_EN"), QStringLiteral("CO_CODE"), QStringLiteral("Company"));
        d.setting(QStringLiteral("$$DESC_EN"), QStringLiteral("PA_VALUE"), QStringLiteral("Value"));
    }

    EditorData d;
};

TEST_F(ListTest, CatalogueFollowsTheTableOfTheTab)
{
    const TableCatalogue four = readCatalogue(d.s, QStringLiteral("PHONES_PARAMETERS"));
    ASSERT_EQ(four.keyCount(), 4);
    EXPECT_EQ(four.orderClause, QStringLiteral(" ORDER BY CO_CODE, EQ_CODE, PH_CODE, PA_CODE"));
    EXPECT_EQ(four.filters[0].column, QStringLiteral("CO_CODE"));
    EXPECT_EQ(four.filters[0].caption, QStringLiteral("Company"));
    EXPECT_EQ(four.filters[0].values, (QStringList{QStringLiteral("AC"), QStringLiteral("O'H")}));
    EXPECT_EQ(four.filters[3].values, (QStringList{QStringLiteral("1"), QStringLiteral("2")}));
    ASSERT_EQ(four.columns.size(), 5);
    EXPECT_EQ(four.columns[4].name, QStringLiteral("PA_VALUE"));
    EXPECT_EQ(four.columns[4].caption, QStringLiteral("Value"));
    EXPECT_EQ(four.columns[2].name, QStringLiteral("PH_CODE"));
    EXPECT_EQ(four.columns[2].caption, QString()) << "no description: empty caption, name kept";

    const TableCatalogue one = readCatalogue(d.s, QStringLiteral("COMPANY"));
    EXPECT_EQ(one.keyCount(), 1);
    EXPECT_EQ(one.orderClause, QStringLiteral(" ORDER BY CO_CODE"));
    EXPECT_EQ(one.filters[0].values, (QStringList{QStringLiteral("AC"), QStringLiteral("BB"), QStringLiteral("O'H")}));
    EXPECT_EQ(one.ruleColumn(), QStringLiteral("CO_CODE"));

    d.exec(QStringLiteral("CREATE TABLE LOOSE (A nvarchar(5), B nvarchar(5))"));
    const TableCatalogue none = readCatalogue(d.s, QStringLiteral("LOOSE"));
    EXPECT_EQ(none.keyCount(), 0);
    EXPECT_EQ(none.orderClause, QString());
    EXPECT_EQ(none.ruleColumn(), QStringLiteral("A"));

    for (const char* bad : {"NOPE", "COMPANY; DROP TABLE RANGES", ""}) {
        try {
            readCatalogue(d.s, QLatin1String(bad));
            ADD_FAILURE() << bad;
        } catch (const DbError& e) {
            EXPECT_TRUE(e.text().contains(QLatin1String(bad))) << e.text().toStdString();
        }
    }
}

TEST_F(ListTest, StatementForFiltersAndModes)
{
    const TableCatalogue cat = readCatalogue(d.s, QStringLiteral("PHONES_PARAMETERS"));
    const QString select = QStringLiteral("SELECT CO_CODE, EQ_CODE, PH_CODE, PA_CODE, PA_VALUE FROM PHONES_PARAMETERS");
    const QString order = QStringLiteral(" ORDER BY CO_CODE, EQ_CODE, PH_CODE, PA_CODE");
    struct Case
    {
        AccessMode mode;
        FilterChoice filters;
        QString where;
        int rows;
    };
    const Case cases[] = {
        {AccessMode::True, {}, QStringLiteral(" WHERE CO_CODE NOT LIKE '$$%'"), 8},
        {AccessMode::Admin, {}, QStringLiteral(" WHERE CO_CODE LIKE '$$%'"), 0},
        {AccessMode::True,
         {QStringLiteral("AC"), std::nullopt, std::nullopt, QStringLiteral("2")},
         QStringLiteral(" WHERE CO_CODE NOT LIKE '$$%' AND CO_CODE = 'AC' AND PA_CODE = '2'"),
         2},
        {AccessMode::True,
         {QStringLiteral("O'H"), std::nullopt, QStringLiteral("102")},
         QStringLiteral(" WHERE CO_CODE NOT LIKE '$$%' AND CO_CODE = 'O''H' AND PH_CODE = '102'"),
         2},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(listStatement(cat, c.mode, c.filters), select + c.where + order);
        const ListedRecords listed = listRecords(d.s, cat, c.mode, c.filters);
        EXPECT_EQ(listed.rows.size(), c.rows) << c.where.toStdString();
    }
}

TEST_F(ListTest, NullCellsAndStop)
{
    d.exec(QStringLiteral("CREATE TABLE LOOSE (A nvarchar(5), B nvarchar(5))"));
    d.exec(QStringLiteral("INSERT INTO LOOSE VALUES('k', NULL)"));
    d.exec(QStringLiteral("INSERT INTO LOOSE VALUES('$$k', 'x')"));

    const ListedRecords loose = listRecords(d.s, readCatalogue(d.s, QStringLiteral("LOOSE")), AccessMode::True, {});
    ASSERT_EQ(loose.rows.size(), 1);
    EXPECT_EQ(cellTexts(loose.rows[0]), (QStringList{QStringLiteral("k"), QString()}));

    const TableCatalogue cat = readCatalogue(d.s, QStringLiteral("PHONES_PARAMETERS"));
    int seen = 0;
    const ListedRecords stopped = listRecords(d.s, cat, AccessMode::True, {}, [&](int done, int total) {
        EXPECT_EQ(total, 8);
        seen = done;
        return done < 3;
    });
    EXPECT_TRUE(stopped.stopped);
    EXPECT_EQ(seen, 3);
}

} // namespace
} // namespace vocaset::test
