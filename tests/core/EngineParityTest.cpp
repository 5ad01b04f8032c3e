// What the programs rely on from the database, checked on whichever engine the suite runs against:
// the same statements must give the same results on SQLite and on the server.

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "BlockWriter.h"
#include "Database.h"
#include "Schema.h"
#include "SchemaUpgrade.h"
#include "Sql.h"
#include "TestDatabase.h"

using namespace vocaset;
using vocaset::test::TestDatabase;
using vocaset::test::TestSession;

namespace {

// Two models, a company with two telephones, values at every level and a phone book.
void seed(TestSession& t)
{
    for (const char* sql : {
             "INSERT INTO LEVELS VALUES('E', 'Equipment')",
             "INSERT INTO LEVELS VALUES('P', 'Phone')",
             "INSERT INTO TYPES VALUES('S', 'Text')",
             "INSERT INTO CREATION_FLAGS VALUES('V', 'Valid', 'N')",
             "INSERT INTO CREATION_FLAGS VALUES('H', 'Hidden', 'N')",
             "INSERT INTO COMPANY VALUES('AC', 'Acme')",
             "INSERT INTO EQUIPMENT VALUES('GXP2000', 'Desk', 'GRANDSTREAM')",
             "INSERT INTO EQUIPMENT VALUES('PAP2', 'Adapter', 'PAP2')",
             "INSERT INTO EQUIPMENT_PARAMETERS VALUES('GXP2000', '9', 'IP 1', 'P', '', 'S', '')",
             "INSERT INTO EQUIPMENT_PARAMETERS VALUES('GXP2000', '2', 'Password', 'E', 'admin', 'S', '')",
             "INSERT INTO RANGES VALUES('AC', '100')",
             "INSERT INTO RANGES VALUES('AC', '101')",
             "INSERT INTO PHONES VALUES('AC', '100', 'GXP2000', 'Reception', '000B82000001')",
             "INSERT INTO PHONES VALUES('AC', '101', 'GXP2000', 'Office', '000B82000002')",
             "INSERT INTO PHONES_PARAMETERS VALUES('AC', 'GXP2000', '100', '9', '10')",
             "INSERT INTO PHONES_PARAMETERS VALUES('AC', 'GXP2000', '101', '9', '11')",
             "INSERT INTO COMPANY_PARAMETERS VALUES('AC', 'GXP2000', '2', 'secret')",
             "INSERT INTO PHONE_BOOK VALUES('AC', '555', 'Ann', 'V', '', '', '', '')",
         })
        t.exec(QLatin1String(sql));
}

QStringList column(TestSession& t, const QString& sql)
{
    QStringList out;
    for (Recordset rs = t.tdb.db.execute(sql); !rs.eof(); rs.moveNext())
        out << rs.text(0);
    return out;
}

// Every catalogue row of a table as "NAME/position/type", then its key as "NAME/ordinal".
QStringList catalogue(Database& db, const QString& table)
{
    QStringList out;
    for (Recordset rs = db.columns(table); !rs.eof(); rs.moveNext())
        out << rs.text(QStringLiteral("COLUMN_NAME")) + u'/' + rs.text(QStringLiteral("ORDINAL_POSITION")) + u'/' +
                   rs.text(QStringLiteral("DATA_TYPE")) +
                   (rs.isNull(QStringLiteral("DESCRIPTION")) ? QString() : QStringLiteral("/described"));
    for (Recordset rs = db.primaryKeys(table); !rs.eof(); rs.moveNext())
        out << QStringLiteral("key ") + rs.text(QStringLiteral("COLUMN_NAME")) + u'/' +
                   rs.text(QStringLiteral("ORDINAL"));
    return out;
}

} // namespace

TEST(EngineParity, RenamesCascadeAlongEveryPathAndOrphansAreRefused)
{
    TestSession t;
    seed(t);
    // A telephone code is reached from RANGES both directly and through PHONES.
    t.exec(QStringLiteral("UPDATE RANGES SET PH_CODE = '200' WHERE CO_CODE = 'AC' AND PH_CODE = '100'"));
    EXPECT_EQ(column(t, QStringLiteral("SELECT PH_CODE FROM PHONES ORDER BY PH_CODE")),
              (QStringList{QStringLiteral("101"), QStringLiteral("200")}));
    EXPECT_EQ(column(t, QStringLiteral("SELECT PA_VALUE FROM PHONES_PARAMETERS WHERE PH_CODE = '200'")),
              QStringList{QStringLiteral("10")});
    // A model code reaches the telephones, the catalogue and the values of both levels.
    t.exec(QStringLiteral("UPDATE EQUIPMENT SET EQ_CODE = 'GXP2010' WHERE EQ_CODE = 'GXP2000'"));
    for (const char* table : {"PHONES", "EQUIPMENT_PARAMETERS", "PHONES_PARAMETERS", "COMPANY_PARAMETERS"}) {
        EXPECT_EQ(t.count(QStringLiteral("SELECT * FROM ") + QLatin1String(table) +
                          QStringLiteral(" WHERE EQ_CODE = 'GXP2000'")),
                  0)
            << table;
        EXPECT_GT(t.count(QStringLiteral("SELECT * FROM ") + QLatin1String(table) +
                          QStringLiteral(" WHERE EQ_CODE = 'GXP2010'")),
                  0)
            << table;
    }
    // A flag letter follows into the phone book.
    t.exec(QStringLiteral("UPDATE CREATION_FLAGS SET FL_CODE = 'A' WHERE FL_CODE = 'V'"));
    EXPECT_EQ(t.value(QStringLiteral("SELECT BK_FLAG FROM PHONE_BOOK")), QStringLiteral("A"));

    // Renaming a company cascades into PHONES, whose range key then points nowhere: refused whole.
    EXPECT_THROW(t.exec(QStringLiteral("UPDATE COMPANY SET CO_CODE = 'AX' WHERE CO_CODE = 'AC'")), DbError);
    EXPECT_EQ(t.count(QStringLiteral("SELECT * FROM PHONES WHERE CO_CODE = 'AC'")), 2);
    EXPECT_EQ(t.value(QStringLiteral("SELECT CO_CODE FROM COMPANY")), QStringLiteral("AC"));
    // Masters still referenced cannot go; unreferenced ones can.
    EXPECT_THROW(t.exec(QStringLiteral("DELETE FROM CREATION_FLAGS WHERE FL_CODE = 'A'")), DbError);
    EXPECT_THROW(t.exec(QStringLiteral("DELETE FROM EQUIPMENT_PARAMETERS WHERE PA_CODE = '9'")), DbError);
    EXPECT_THROW(t.exec(QStringLiteral("DELETE FROM LEVELS WHERE LE_CODE = 'E'")), DbError);
    EXPECT_NO_THROW(t.exec(QStringLiteral("DELETE FROM CREATION_FLAGS WHERE FL_CODE = 'H'")));
    EXPECT_NO_THROW(t.exec(QStringLiteral("DELETE FROM EQUIPMENT WHERE EQ_CODE = 'PAP2'")));
    // Values for a parameter the model does not have, or a telephone without a range.
    EXPECT_THROW(t.exec(QStringLiteral("INSERT INTO COMPANY_PARAMETERS VALUES('AC', 'GXP2010', '77', 'x')")), DbError);
    EXPECT_THROW(t.exec(QStringLiteral("INSERT INTO PHONES VALUES('AC', '102', 'GXP2010', 'Spare', '000B82000003')")),
                 DbError);
}

TEST(EngineParity, EmptyTextNullAndTypedTextStayApart)
{
    TestSession t;
    seed(t);
    t.exec(QStringLiteral("INSERT INTO RANGES VALUES('AC', '102')"));
    t.exec(QStringLiteral("INSERT INTO PHONES VALUES('AC', '102', NULL, 'Spare', '')"));
    t.exec(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('$$LNG', 'x', '')"));
    EXPECT_EQ(t.count(QStringLiteral("SELECT * FROM PHONES WHERE EQ_CODE IS NULL")), 1);
    EXPECT_EQ(t.count(QStringLiteral("SELECT * FROM PHONES WHERE EQ_CODE = ''")), 0);
    EXPECT_EQ(t.count(QStringLiteral("SELECT * FROM PHONES WHERE PH_MAC = ''")), 1);
    Recordset rs = t.tdb.db.execute(QStringLiteral("SELECT EQ_CODE, PH_MAC FROM PHONES WHERE PH_CODE = '102'"));
    EXPECT_TRUE(rs.isNull(QStringLiteral("EQ_CODE")));
    EXPECT_FALSE(rs.isNull(QStringLiteral("PH_MAC")));
    EXPECT_EQ(rs.text(QStringLiteral("PH_MAC")), QString());
    // An empty setting is a row: set and empty.
    rs = t.tdb.db.execute(QStringLiteral("SELECT SY_VALUE FROM SYSTEM_PARAMETERS WHERE SY_CODE = '$$LNG'"));
    ASSERT_EQ(rs.count(), 1);
    EXPECT_FALSE(rs.isNull(0));
    EXPECT_THROW(t.exec(QStringLiteral("INSERT INTO COMPANY VALUES('ZZ', NULL)")), DbError);

    // Values arrive exactly as typed: quotes, backslashes of folder names, "$$" marks, non-ASCII.
    const QStringList values = {QStringLiteral("O'Neil ''x''"), QStringLiteral("C:\\Phones\\AC\\"),
                                QStringLiteral("$$P,2,3 $$ $1"), QStringLiteral("Zürich – 5 €"),
                                QStringLiteral("a%_b")};
    for (int i = 0; i < values.size(); ++i)
        t.exec(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('T', '") + QString::number(i) +
               QStringLiteral("', '") + sqlText(values[i]) + QStringLiteral("')"));
    EXPECT_EQ(
        column(t, QStringLiteral("SELECT SY_VALUE FROM SYSTEM_PARAMETERS WHERE SY_CODE = 'T' ORDER BY SY_SUBCODE")),
        values);
    for (const QString& v : values)
        EXPECT_EQ(t.count(QStringLiteral("SELECT * FROM SYSTEM_PARAMETERS WHERE SY_VALUE = '") + sqlText(v) + u'\''), 1)
            << v.toStdString();
    // A filter on a folder: the backslash is a character of the pattern, not an escape.
    EXPECT_EQ(t.count(QStringLiteral("SELECT * FROM SYSTEM_PARAMETERS WHERE SY_VALUE LIKE 'C:\\Phones\\%'")), 1);
    EXPECT_EQ(t.count(QStringLiteral("SELECT * FROM SYSTEM_PARAMETERS WHERE SY_VALUE LIKE 'C:\\Phones%'")), 1);
    EXPECT_EQ(t.count(QStringLiteral("SELECT * FROM SYSTEM_PARAMETERS WHERE SY_VALUE LIKE 'a\\%'")), 0);
}

TEST(EngineParity, TextOrderAndComparisonsAreByteWise)
{
    TestSession t;
    const QStringList codes = {QStringLiteral(" 1"), QStringLiteral("$$A"), QStringLiteral("10"), QStringLiteral("9"),
                               QStringLiteral("A"),  QStringLiteral("B"),   QStringLiteral("_x"), QStringLiteral("a"),
                               QStringLiteral("b"),  QStringLiteral("é")};
    // Inserted in reverse so that no engine hands back insertion order by chance.
    for (qsizetype i = codes.size() - 1; i >= 0; --i)
        t.exec(QStringLiteral("INSERT INTO COMPANY VALUES('") + codes[i] + QStringLiteral("', 'x')"));
    EXPECT_EQ(column(t, QStringLiteral("SELECT CO_CODE FROM COMPANY ORDER BY CO_CODE")), codes);
    EXPECT_EQ(
        column(t,
               QStringLiteral(
                   "SELECT DISTINCT CO_CODE, CO_DESC FROM COMPANY WHERE CO_CODE BETWEEN 'A' AND 'Z' ORDER BY CO_CODE")),
        (QStringList{QStringLiteral("A"), QStringLiteral("B")}));
    EXPECT_EQ(column(t, QStringLiteral("SELECT CO_CODE FROM COMPANY WHERE CO_CODE >= 'b' ORDER BY CO_CODE DESC")),
              (QStringList{QStringLiteral("é"), QStringLiteral("b")}));
    // Rights and settings compare case-sensitively, LIKE included.
    t.exec(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('AUTHM', 'alice', '*')"));
    EXPECT_EQ(t.count(QStringLiteral(
                  "SELECT SY_VALUE FROM SYSTEM_PARAMETERS WHERE SY_CODE = 'AUTHM' AND SY_SUBCODE = 'ALICE'")),
              0);
    EXPECT_EQ(t.count(QStringLiteral("SELECT SY_VALUE FROM SYSTEM_PARAMETERS WHERE SY_CODE = 'authm'")), 0);
    EXPECT_EQ(t.count(QStringLiteral("SELECT SY_VALUE FROM SYSTEM_PARAMETERS WHERE SY_SUBCODE LIKE 'A%'")), 0);
    EXPECT_EQ(t.count(QStringLiteral("SELECT SY_VALUE FROM SYSTEM_PARAMETERS WHERE SY_SUBCODE LIKE 'a%'")), 1);
    EXPECT_EQ(t.count(QStringLiteral("SELECT SY_VALUE FROM SYSTEM_PARAMETERS WHERE SY_SUBCODE LIKE '_lice'")), 1);
    EXPECT_EQ(t.count(QStringLiteral("SELECT SY_VALUE FROM SYSTEM_PARAMETERS WHERE SY_SUBCODE LIKE '_LICE'")), 0);
}

TEST(EngineParity, EachRewriteGivesTheStatementItsMeaning)
{
    TestSession t;
    seed(t);
    // Concatenation: the lookup move of the upgrade, on real rows.
    t.exec(
        QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('PHONES', 'L_EQ_CODE', 'SELECT EQ_CODE FROM EQUIPMENT')"));
    t.exec(QStringLiteral(
        "INSERT INTO SYSTEM_PARAMETERS VALUES('$$COMPANY', 'L_CO_CODE', 'SELECT CO_CODE FROM COMPANY')"));
    t.exec(QStringLiteral(
        "UPDATE SYSTEM_PARAMETERS SET SY_CODE = '$$' + SY_CODE WHERE SY_SUBCODE LIKE 'L%' AND SY_CODE NOT LIKE '$$%'"));
    EXPECT_EQ(
        column(t, QStringLiteral("SELECT SY_CODE FROM SYSTEM_PARAMETERS WHERE SY_SUBCODE LIKE 'L%' ORDER BY SY_CODE")),
        (QStringList{QStringLiteral("$$COMPANY"), QStringLiteral("$$PHONES")}));
    EXPECT_EQ(t.value(QStringLiteral("SELECT PH_CODE + ' ' + PH_DESC FROM PHONES WHERE PH_CODE = '100'")),
              QStringLiteral("100 Reception"));
    // The schema's type name in a cast, as a lookup statement of the settings may write it.
    EXPECT_EQ(
        column(t, QStringLiteral("SELECT CAST(PH_DESC AS nvarchar(20)) + '-' + SUBSTRING(PH_CODE, 2, 2) FROM PHONES "
                                 "ORDER BY 1")),
        (QStringList{QStringLiteral("Office-01"), QStringLiteral("Reception-00")}));

    // Digit aliases: the query tool reads its columns back by them, with grouping and aggregates.
    Recordset rs = t.tdb.db.execute(QStringLiteral(
        "SELECT DISTINCT EQ_CODE AS 0FLD, COUNT(PH_CODE) AS 1FLD FROM PHONES WHERE CO_CODE = 'AC' GROUP BY EQ_CODE "
        "ORDER BY EQ_CODE"));
    ASSERT_EQ(rs.count(), 1);
    EXPECT_EQ(rs.fieldName(0).toUpper(), QStringLiteral("0FLD"));
    EXPECT_EQ(rs.text(QStringLiteral("0fld")), QStringLiteral("GXP2000"));
    EXPECT_EQ(rs.text(QStringLiteral("1FLD")), QStringLiteral("2"));
    rs = t.tdb.db.execute(
        QStringLiteral("SELECT DISTINCT SUBSTRING(PH_MAC, 11, 2) AS 12FLD, PH_DESC AS 3FLD FROM PHONES "
                       "ORDER BY 12FLD DESC"));
    ASSERT_EQ(rs.count(), 2);
    EXPECT_EQ(rs.text(QStringLiteral("12FLD")), QStringLiteral("02"));
    EXPECT_EQ(rs.text(QStringLiteral("3fld")), QStringLiteral("Office"));

    // Several columns in one ADD: every column arrives, filled with its default on existing rows.
    t.exec(
        QStringLiteral("CREATE TABLE BOOK (CO_CODE nvarchar(5), BK_NUM nvarchar(50), PRIMARY KEY (CO_CODE, BK_NUM))"));
    t.exec(QStringLiteral("INSERT INTO BOOK VALUES('AC', '1')"));
    t.exec(QStringLiteral(
        "ALTER TABLE BOOK ADD BK_EXTNUM NVARCHAR(20) NOT NULL DEFAULT '', BK_FAX NVARCHAR(20) NOT NULL DEFAULT '', "
        "BK_MAIL NVARCHAR(100) NOT NULL DEFAULT 'none'"));
    EXPECT_EQ(
        catalogue(t.tdb.db, QStringLiteral("BOOK")),
        (QStringList{QStringLiteral("CO_CODE/1/130"), QStringLiteral("BK_NUM/2/130"), QStringLiteral("BK_EXTNUM/3/130"),
                     QStringLiteral("BK_FAX/4/130"), QStringLiteral("BK_MAIL/5/130"), QStringLiteral("key CO_CODE/1"),
                     QStringLiteral("key BK_NUM/2")}));
    rs = t.tdb.db.execute(QStringLiteral("SELECT * FROM BOOK"));
    EXPECT_EQ(rs.text(QStringLiteral("BK_FAX")), QString());
    EXPECT_FALSE(rs.isNull(QStringLiteral("BK_FAX")));
    EXPECT_EQ(rs.text(QStringLiteral("BK_MAIL")), QStringLiteral("none"));

    // Dropping and adding a named constraint on a filled table keeps the rows and the rule.
    t.exec(QStringLiteral("ALTER TABLE PHONES_PARAMETERS DROP CONSTRAINT FK_PHOPAR_EQUPAR "));
    t.exec(QStringLiteral("INSERT INTO PHONES_PARAMETERS VALUES('AC', 'GXP2000', '100', '2', 'free')"));
    t.exec(QStringLiteral("DELETE FROM PHONES_PARAMETERS WHERE PA_VALUE = 'free'"));
    t.exec(
        QStringLiteral("ALTER TABLE PHONES_PARAMETERS ADD CONSTRAINT FK_PHOPAR_EQUPAR FOREIGN KEY (EQ_CODE, PA_CODE) "
                       "REFERENCES EQUIPMENT_PARAMETERS(EQ_CODE, PA_CODE) ON UPDATE CASCADE  "));
    EXPECT_EQ(t.count(QStringLiteral("SELECT * FROM PHONES_PARAMETERS")), 2);
    EXPECT_THROW(t.exec(QStringLiteral("INSERT INTO PHONES_PARAMETERS VALUES('AC', 'GXP2000', '100', '77', 'x')")),
                 DbError);
    t.exec(QStringLiteral("UPDATE EQUIPMENT_PARAMETERS SET PA_CODE = '09' WHERE PA_CODE = '9'"));
    EXPECT_EQ(t.count(QStringLiteral("SELECT * FROM PHONES_PARAMETERS WHERE PA_CODE = '09'")), 2);
    // Adding a constraint the table already has is refused, the table left as it was.
    EXPECT_THROW(t.exec(QStringLiteral(
                     "ALTER TABLE PHONES_PARAMETERS ADD CONSTRAINT FK_PHOPAR_EQUPAR FOREIGN KEY (EQ_CODE, PA_CODE) "
                     "REFERENCES EQUIPMENT_PARAMETERS(EQ_CODE, PA_CODE) ON UPDATE CASCADE")),
                 DbError);
    EXPECT_EQ(t.count(QStringLiteral("SELECT * FROM PHONES_PARAMETERS")), 2);
}

TEST(EngineParity, CatalogueMatchesTheEmbeddedEngine)
{
    // The embedded engine's catalogue is the reference the editor, the import and the query tool
    // were built against; the engine under test must give the same rows.
    QTemporaryDir dir;
    Database reference;
    reference.open(QStringLiteral("Provider=SQLite;Data Source=") + dir.path() + QStringLiteral("/reference.db"));
    TestDatabase t;
    const QString typed = QStringLiteral(
        "CREATE TABLE TYPED (ID INTEGER, BIG BIGINT, N NUMERIC(10,2), R REAL, D DOUBLE PRECISION, DT DATE, "
        "TS TIMESTAMP, C CHAR(3), V VARCHAR(10), T TEXT, W nvarchar(7), PRIMARY KEY (W, ID))");
    for (Database* db : {&reference, &t.db}) {
        for (const QString& statement : Schema::createStatements())
            db->execute(statement);
        db->execute(typed);
    }
    QStringList tables = Schema::copyOrder();
    tables << QStringLiteral("EQ_TEMP") << QStringLiteral("TYPED");
    for (const QString& table : std::as_const(tables)) {
        EXPECT_EQ(catalogue(t.db, table), catalogue(reference, table)) << table.toStdString();
        EXPECT_EQ(catalogue(t.db, table.toLower()), catalogue(reference, table)) << table.toStdString();
    }
    EXPECT_EQ(catalogue(reference, QStringLiteral("TYPED")).mid(0, 3),
              (QStringList{QStringLiteral("ID/1/3"), QStringLiteral("BIG/2/3"), QStringLiteral("N/3/5")}));
    EXPECT_EQ(
        t.db.columns(QStringLiteral("PHONE_BOOK"), QStringLiteral("bk_mail")).text(QStringLiteral("ORDINAL_POSITION")),
        QStringLiteral("8"));
    EXPECT_TRUE(catalogue(t.db, QStringLiteral("NO_SUCH_TABLE")).isEmpty());
    t.db.execute(QStringLiteral("CREATE INDEX IX_PHONES_MAC ON PHONES (PH_MAC)"));
    EXPECT_TRUE(catalogue(t.db, QStringLiteral("IX_PHONES_MAC")).isEmpty());
    EXPECT_TRUE(catalogue(t.db, QStringLiteral("PHONES; DROP TABLE PHONES")).isEmpty());
    EXPECT_EQ(t.db.columns(QStringLiteral("PHONES")).count(), 5);

    // Result field names come back as the schema spells them, whatever the statement's case.
    Recordset rs = t.db.execute(QStringLiteral("SELECT * FROM company"));
    EXPECT_EQ(rs.fieldName(0), QStringLiteral("CO_CODE"));
    EXPECT_EQ(rs.fieldName(1), QStringLiteral("CO_DESC"));
    rs = t.db.execute(QStringLiteral("SELECT sy_value FROM SYSTEM_PARAMETERS"));
    EXPECT_EQ(rs.fieldIndex(QStringLiteral("SY_VALUE")), 0);
}

TEST(EngineParity, TemporaryScratchTableIsPrivateToItsConnection)
{
    TestSession t;
    Database other;
    other.open(t.tdb.connectionString());
    const QString create =
        QStringLiteral("CREATE TEMPORARY TABLE EQ_TEMP (PA_CODE nvarchar(50), PA_DESC nvarchar(255), "
                       "PA_VALUE nvarchar(255), LE_CODE nvarchar(1), PRIMARY KEY (PA_CODE))");
    t.exec(create);
    other.execute(create);
    t.exec(QStringLiteral("INSERT INTO EQ_TEMP VALUES('1', 'one', 'mine', 'E')"));
    other.execute(QStringLiteral("INSERT INTO EQ_TEMP VALUES('1', 'one', 'theirs', 'E')"));
    other.execute(QStringLiteral("INSERT INTO EQ_TEMP VALUES('2', 'two', 'theirs', 'P')"));
    EXPECT_EQ(column(t, QStringLiteral("SELECT PA_VALUE FROM EQ_TEMP ORDER BY PA_CODE")),
              QStringList{QStringLiteral("mine")});
    EXPECT_EQ(other.execute(QStringLiteral("SELECT * FROM EQ_TEMP")).count(), 2);
    t.exec(QStringLiteral("DELETE FROM EQ_TEMP"));
    EXPECT_EQ(other.execute(QStringLiteral("SELECT * FROM EQ_TEMP")).count(), 2);
    // The shared table of the schema saw none of it, and the catalogue describes the private one.
    Database third;
    third.open(t.tdb.connectionString());
    EXPECT_EQ(third.execute(QStringLiteral("SELECT * FROM EQ_TEMP")).count(), 0);
    EXPECT_EQ(t.tdb.db.columns(QStringLiteral("EQ_TEMP")).count(), 4);
    EXPECT_EQ(t.tdb.db.primaryKeys(QStringLiteral("EQ_TEMP")).count(), 1);
    // Closing the connection ends its set.
    other.close();
    other.open(t.tdb.connectionString());
    EXPECT_EQ(other.execute(QStringLiteral("SELECT * FROM EQ_TEMP")).count(), 0);
}

TEST(EngineParity, ARefusedStatementInATransactionUndoesOnlyItself)
{
    TestSession t;
    seed(t);
    {
        Transaction tx(t.tdb.db);
        t.exec(QStringLiteral("INSERT INTO RANGES VALUES('AC', '300')"));
        // The range generation and the editor catch refusals like these and go on.
        EXPECT_THROW(t.exec(QStringLiteral("INSERT INTO RANGES VALUES('AC', '300')")), DbError);
        EXPECT_THROW(t.exec(QStringLiteral("DELETE FROM RANGES WHERE CO_CODE = 'AC' AND PH_CODE = '100'")), DbError);
        EXPECT_THROW(t.exec(QStringLiteral("SELECT * FROM NO_SUCH_TABLE")), DbError);
        EXPECT_THROW(t.tdb.db.executeBound(QStringLiteral("INSERT INTO RANGES VALUES(?, ?)"),
                                           {QStringLiteral("AC"), QStringLiteral("300")}),
                     DbError);
        t.tdb.db.executeBound(QStringLiteral("INSERT INTO RANGES VALUES(?, ?)"),
                              {QStringLiteral("AC"), QStringLiteral("301")});
        EXPECT_THROW(
            t.tdb.db.executeBound(QStringLiteral("SELECT * FROM NO_SUCH_TABLE WHERE A = ?"), {QStringLiteral("x")}),
            DbError);
        t.exec(QStringLiteral("INSERT INTO RANGES VALUES('AC', '302')"));
        tx.commit();
    }
    EXPECT_EQ(column(t, QStringLiteral("SELECT PH_CODE FROM RANGES WHERE PH_CODE >= '3' ORDER BY PH_CODE")),
              (QStringList{QStringLiteral("300"), QStringLiteral("301"), QStringLiteral("302")}));
    EXPECT_EQ(t.count(QStringLiteral("SELECT * FROM RANGES")), 5);
    // A transaction rolled back after a refusal leaves nothing of its good statements either.
    {
        Transaction tx(t.tdb.db);
        t.exec(QStringLiteral("INSERT INTO RANGES VALUES('AC', '400')"));
        EXPECT_THROW(t.exec(QStringLiteral("INSERT INTO RANGES VALUES('AC', '400')")), DbError);
    }
    EXPECT_EQ(t.count(QStringLiteral("SELECT * FROM RANGES WHERE PH_CODE = '400'")), 0);
    // Outside a transaction every statement stands alone.
    EXPECT_THROW(t.exec(QStringLiteral("INSERT INTO RANGES VALUES('AC', '100')")), DbError);
    t.exec(QStringLiteral("INSERT INTO RANGES VALUES('AC', '500')"));
    EXPECT_EQ(t.count(QStringLiteral("SELECT * FROM RANGES WHERE PH_CODE = '500'")), 1);
}

TEST(EngineParity, ASeriesStopsAtItsRefusedStatementAndKeepsWhatWentBefore)
{
    TestSession t;
    seed(t);
    const auto range = [](const char* code) {
        return BoundStatement{QStringLiteral("INSERT INTO RANGES VALUES(?, ?)"),
                              {QStringLiteral("AC"), QLatin1String(code)}};
    };
    const BoundStatement badText{QStringLiteral("INSERT INTO NO_SUCH_TABLE VALUES(?)"), {QStringLiteral("x")}};
    const BoundStatement inUse{QStringLiteral("DELETE FROM RANGES WHERE CO_CODE = ? AND PH_CODE = ?"),
                               {QStringLiteral("AC"), QStringLiteral("100")}};
    const struct
    {
        const char* what;
        QList<BoundStatement> series;
        int went;         // -1: all
        const char* kept; // the codes it leaves, before the rest of the series goes
    } cases[] = {
        {"all go", {range("200"), range("201"), range("202")}, -1, "200 201 202"},
        {"a key taken", {range("210"), range("211"), range("210"), range("212")}, 2, "210 211"},
        {"a text the engine refuses", {range("220"), badText, range("221")}, 1, "220"},
        {"a reference kept", {range("230"), inUse, range("231")}, 1, "230"},
        {"the first refused", {range("100"), range("240")}, 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        t.exec(QStringLiteral("DELETE FROM RANGES WHERE PH_CODE >= '2'"));
        Transaction tx(t.tdb.db);
        std::optional<DbError> refusal;
        const int went = t.tdb.db.executeSeries(c.series, refusal);
        EXPECT_EQ(went, c.went < 0 ? int(c.series.size()) : c.went);
        EXPECT_EQ(refusal.has_value(), c.went >= 0);
        // The transaction goes on after a refusal: the rest of the series, then a statement of its own.
        if (c.went >= 0) {
            EXPECT_EQ(t.tdb.db.executeSeries(c.series.mid(c.went + 1), refusal), int(c.series.size()) - c.went - 1);
        }
        t.exec(QStringLiteral("INSERT INTO RANGES VALUES('AC', '299')"));
        tx.commit();
        QStringList expected = QString::fromLatin1(c.kept).split(u' ', Qt::SkipEmptyParts);
        for (qsizetype i = c.went + 1; c.went >= 0 && i < c.series.size(); ++i)
            if (c.series[i].sql.startsWith(QLatin1String("INSERT INTO RANGES")))
                expected << c.series[i].values.at(1).toString();
        expected << QStringLiteral("299");
        EXPECT_EQ(column(t, QStringLiteral("SELECT PH_CODE FROM RANGES WHERE PH_CODE >= '2' ORDER BY PH_CODE")),
                  expected);
        EXPECT_EQ(t.count(QStringLiteral("SELECT * FROM RANGES WHERE PH_CODE = '100'")), 1);
    }
}

TEST(EngineParity, ABlockWriterRefusesOnlyTheRowAtFaultAmongManyBlocks)
{
    TestSession t;
    seed(t);
    t.exec(QStringLiteral("INSERT INTO RANGES VALUES('AC', '3100')"));
    Transaction tx(t.tdb.db);
    BlockWriter blocks(t.tdb.db);
    const auto kind = blocks.kind(BlockShape::insert(QStringLiteral("RANGES"), BlockShape::placeHolders(2)));
    // More rows than one flush takes, the taken code in a block in the middle of the first.
    const int rows = BlockWriter::kRows * (BlockWriter::kBlocksPerFlush + 3);
    QStringList refused;
    int done = 0;
    for (int n = 1000; n < 1000 + rows; ++n)
        blocks.add(kind, {QStringLiteral("AC"), QString::number(n)}, [&, n](const DbError* refusal) {
            EXPECT_EQ(done++, n - 1000); // in the order the rows were added
            if (refusal)
                refused << QString::number(n);
        });
    blocks.flush();
    tx.commit();
    EXPECT_EQ(refused, QStringList{QStringLiteral("3100")});
    EXPECT_EQ(done, rows);
    EXPECT_EQ(t.count(QStringLiteral("SELECT * FROM RANGES WHERE CO_CODE = 'AC'")), rows + 2);
}
