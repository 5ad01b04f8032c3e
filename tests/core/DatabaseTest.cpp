#include <gtest/gtest.h>

#include "Database.h"
#include "Sql.h"
#include "TestDatabase.h"

using namespace vocaset;
using vocaset::test::TestDatabase;

TEST(ConnectionString, KeysAreCaseInsensitiveAndPasswordIsMasked)
{
    const ConnectionString cs(QStringLiteral("provider=SQLite; DATA SOURCE=/tmp/x.db;"));
    EXPECT_EQ(cs.value(QStringLiteral("Provider")), QStringLiteral("SQLite"));
    EXPECT_EQ(cs.value(QStringLiteral("Data Source")), QStringLiteral("/tmp/x.db"));
    EXPECT_EQ(ConnectionString::masked(QStringLiteral("Provider=PostgreSQL;Host=h;PASSWORD=s3cr;et;User ID=u")),
              QStringLiteral("Provider=PostgreSQL;Host=h;PASSWORD=****;et;User ID=u"));
}

TEST(Database, UnknownProviderFailsToOpen)
{
    Database db;
    EXPECT_THROW(db.open(QStringLiteral("Provider=Jet;Data Source=x.mdb")), DbError);
    EXPECT_FALSE(db.isOpen());
}

TEST(Database, RecordsetKnowsCountPositionAndFieldsByName)
{
    TestDatabase t;
    t.db.execute(QStringLiteral("CREATE TABLE T (A nvarchar(5), B nvarchar(5))"));
    t.db.execute(QStringLiteral("INSERT INTO T VALUES('x', NULL)"));
    t.db.execute(QStringLiteral("INSERT INTO T VALUES('y', 'z')"));
    Recordset rs = t.db.execute(QStringLiteral("SELECT A, B AS Second FROM T ORDER BY A"));
    EXPECT_EQ(rs.count(), 2);
    EXPECT_EQ(rs.position(), 1);
    EXPECT_EQ(rs.text(QStringLiteral("a")), QStringLiteral("x"));
    EXPECT_TRUE(rs.isNull(QStringLiteral("SECOND")));
    rs.moveNext();
    EXPECT_EQ(rs.position(), 2);
    EXPECT_EQ(rs.text(1), QStringLiteral("z"));
    rs.moveNext();
    EXPECT_TRUE(rs.eof());
    EXPECT_EQ(rs.position(), 0);
}

TEST(Database, RefusedStatementCarriesTheEngineText)
{
    TestDatabase t;
    try {
        t.db.execute(QStringLiteral("SELECT * FROM NO_SUCH_TABLE"));
        FAIL() << "no error";
    } catch (const DbError& e) {
        EXPECT_TRUE(e.text().contains(QStringLiteral("no_such_table"), Qt::CaseInsensitive)) << e.text().toStdString();
    }
}

TEST(Database, QuotedValuesAreStoredAsTyped)
{
    TestDatabase t;
    t.db.execute(QStringLiteral("CREATE TABLE T (A nvarchar(50))"));
    const QString nasty = QStringLiteral("O'Brien'); DELETE FROM T; --");
    t.db.execute(QStringLiteral("INSERT INTO T VALUES('") + sqlText(nasty) + QStringLiteral("')"));
    const Recordset rs = t.db.execute(QStringLiteral("SELECT A FROM T WHERE A = '") + sqlText(nasty) + u'\'');
    ASSERT_EQ(rs.count(), 1);
    EXPECT_EQ(rs.text(0), nasty);
    EXPECT_EQ(sqlText(QStringLiteral("plain")), QStringLiteral("plain"));
}

TEST(Database, CatalogueListsColumnsAndKeysUpperCase)
{
    TestDatabase t;
    t.createSchema();
    Recordset cols = t.db.columns(QStringLiteral("phones"));
    ASSERT_EQ(cols.count(), 5);
    EXPECT_EQ(cols.text(QStringLiteral("COLUMN_NAME")), QStringLiteral("CO_CODE"));
    EXPECT_EQ(cols.value(QStringLiteral("ORDINAL_POSITION")).toInt(), 1);
    EXPECT_EQ(cols.value(QStringLiteral("DATA_TYPE")).toInt(), AdoType::WChar);
    cols.moveTo(5);
    EXPECT_EQ(cols.text(0), QStringLiteral("PH_MAC"));
    EXPECT_EQ(t.db.columns(QStringLiteral("PHONES"), QStringLiteral("ph_desc")).count(), 1);
    EXPECT_EQ(t.db.columns(QStringLiteral("NO_SUCH_TABLE")).count(), 0);

    Recordset keys = t.db.primaryKeys(QStringLiteral("PHONES_PARAMETERS"));
    QStringList names;
    for (; !keys.eof(); keys.moveNext())
        names << keys.text(QStringLiteral("COLUMN_NAME")) + u'/' + keys.text(QStringLiteral("ORDINAL"));
    EXPECT_EQ(names, (QStringList{QStringLiteral("CO_CODE/1"), QStringLiteral("EQ_CODE/2"), QStringLiteral("PH_CODE/3"),
                                  QStringLiteral("PA_CODE/4")}));
}

TEST(Database, ConcatenationAndDigitAliasesWorkOnTheEngine)
{
    TestDatabase t;
    t.db.execute(QStringLiteral("CREATE TABLE T (A nvarchar(10))"));
    t.db.execute(QStringLiteral("INSERT INTO T VALUES('abc')"));
    EXPECT_EQ(t.db.execute(QStringLiteral("SELECT '$$' + A AS 0FLD FROM T")).text(QStringLiteral("0FLD")),
              QStringLiteral("$$abc"));
}

TEST(Database, TransactionRollsBackUnlessCommitted)
{
    TestDatabase t;
    t.db.execute(QStringLiteral("CREATE TABLE T (A nvarchar(10))"));
    {
        Transaction tx(t.db);
        t.db.execute(QStringLiteral("INSERT INTO T VALUES('gone')"));
    }
    EXPECT_EQ(t.db.execute(QStringLiteral("SELECT A FROM T")).count(), 0);
    {
        Transaction tx(t.db);
        t.db.execute(QStringLiteral("INSERT INTO T VALUES('kept')"));
        tx.commit();
    }
    EXPECT_EQ(t.db.execute(QStringLiteral("SELECT A FROM T")).count(), 1);
}

TEST(Database, BoundStatementIsReusedWithNewValues)
{
    TestDatabase t;
    t.db.execute(QStringLiteral("CREATE TABLE T (A nvarchar(10), B nvarchar(10))"));
    for (int i = 0; i < 3; ++i)
        t.db.executeBound(QStringLiteral("INSERT INTO T VALUES(?, ?)"), {QString::number(i), QStringLiteral("it's")});
    const Recordset rs = t.db.executeBound(QStringLiteral("SELECT COUNT(*) FROM T WHERE B = ?"), {QStringLiteral("it's")});
    EXPECT_EQ(rs.text(0), QStringLiteral("3"));
}
