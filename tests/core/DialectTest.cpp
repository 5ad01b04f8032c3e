#include <gtest/gtest.h>

#include "Dialect.h"

using namespace vocaset;

TEST(Dialect, PlusTouchingALiteralBecomesConcatenation)
{
    EXPECT_EQ(Dialect::concatenation(QStringLiteral(
                  "UPDATE SYSTEM_PARAMETERS SET SY_CODE = '$$' + SY_CODE WHERE SY_SUBCODE LIKE 'L%'")),
              QStringLiteral("UPDATE SYSTEM_PARAMETERS SET SY_CODE = '$$' || SY_CODE WHERE SY_SUBCODE LIKE 'L%'"));
    // The whole chain is text once any operand is a literal.
    EXPECT_EQ(Dialect::concatenation(QStringLiteral("SELECT A + B + ' ' + C FROM T")),
              QStringLiteral("SELECT A || B || ' ' || C FROM T"));
    // Numeric addition and a plus inside a literal stay.
    EXPECT_EQ(Dialect::concatenation(QStringLiteral("SELECT A + 1 FROM T WHERE X = 'a + b'")),
              QStringLiteral("SELECT A + 1 FROM T WHERE X = 'a + b'"));
    EXPECT_EQ(Dialect::concatenation(QStringLiteral("SELECT 'it''s' + X")), QStringLiteral("SELECT 'it''s' || X"));
}

TEST(Dialect, AliasStartingWithADigitIsQuoted)
{
    EXPECT_EQ(Dialect::digitAliases(QStringLiteral("SELECT CODE AS 0FLD, SUM(N) AS 1FLD FROM T WHERE V = '0FLD'")),
              QStringLiteral("SELECT CODE AS \"0FLD\", SUM(N) AS \"1FLD\" FROM T WHERE V = '0FLD'"));
    EXPECT_EQ(Dialect::digitAliases(QStringLiteral("SELECT 12, 1e5 FROM T")), QStringLiteral("SELECT 12, 1e5 FROM T"));
}

TEST(Dialect, SeveralColumnsInOneAddAreSplit)
{
    const QStringList out = Dialect::splitMultiColumnAdd(QStringLiteral(
        "ALTER TABLE PHONE_BOOK ADD BK_EXTNUM NVARCHAR(20) NOT NULL DEFAULT '', BK_MAIL NVARCHAR(100) NOT NULL DEFAULT ''"));
    ASSERT_EQ(out.size(), 2);
    EXPECT_EQ(out[0], QStringLiteral("ALTER TABLE PHONE_BOOK ADD BK_EXTNUM NVARCHAR(20) NOT NULL DEFAULT ''"));
    EXPECT_EQ(out[1], QStringLiteral("ALTER TABLE PHONE_BOOK ADD BK_MAIL NVARCHAR(100) NOT NULL DEFAULT ''"));
    const QString one = QStringLiteral("ALTER TABLE EQUIPMENT ADD EQ_MODULE NVARCHAR(20) NOT NULL DEFAULT ','");
    EXPECT_EQ(Dialect::splitMultiColumnAdd(one), QStringList{one});
}

TEST(Dialect, NvarcharBecomesByteOrderedVarcharOnTheServerOnly)
{
    const QString create = QStringLiteral("CREATE TABLE T (A nvarchar(5), B NVARCHAR(20) DEFAULT 'nvarchar(3)')");
    EXPECT_EQ(Dialect::postgresTypes(create),
              QStringLiteral("CREATE TABLE T (A varchar(5) COLLATE \"C\", B varchar(20) COLLATE \"C\" DEFAULT 'nvarchar(3)')"));
    EXPECT_EQ(Dialect::translate(create, Engine::SQLite), QStringList{create});
}

TEST(Dialect, ConstraintChangesRebuildTheTableOnSQLite)
{
    const QString stored = QStringLiteral(
        "CREATE TABLE PP (A nvarchar(5), B nvarchar(5), PRIMARY KEY (A), CONSTRAINT FK_X FOREIGN KEY (B) REFERENCES Q(B), "
        "CONSTRAINT FK_Y FOREIGN KEY (A) REFERENCES R (A) ON UPDATE CASCADE)");
    const auto reader = [&](const QString& t) { return t == u"PP" ? stored : QString(); };
    const QStringList drop =
        Dialect::translate(QStringLiteral("ALTER TABLE PP DROP CONSTRAINT FK_X "), Engine::SQLite, reader);
    ASSERT_EQ(drop.size(), 4);
    EXPECT_EQ(drop[0], QStringLiteral("CREATE TABLE PP__REBUILD (A nvarchar(5), B nvarchar(5), PRIMARY KEY (A), "
                                      "CONSTRAINT FK_Y FOREIGN KEY (A) REFERENCES R (A) ON UPDATE CASCADE)"));
    EXPECT_EQ(drop[3], QStringLiteral("ALTER TABLE PP__REBUILD RENAME TO PP"));
    const QStringList add = Dialect::translate(
        QStringLiteral("ALTER TABLE PP ADD CONSTRAINT FK_Z FOREIGN KEY (B) REFERENCES Q(B) ON UPDATE CASCADE  "),
        Engine::SQLite, reader);
    EXPECT_TRUE(add[0].endsWith(QStringLiteral(", CONSTRAINT FK_Z FOREIGN KEY (B) REFERENCES Q(B) ON UPDATE CASCADE)")));
    // The server runs constraint changes as written.
    const QString native = QStringLiteral("ALTER TABLE PP DROP CONSTRAINT FK_X ");
    EXPECT_EQ(Dialect::translate(native, Engine::PostgreSQL), QStringList{native});
}
