// What only the shared server can show: its connection settings, a session the server ends, column
// types under a linguistic default collation, a site moving from the embedded engine to the server
// and back, and the planner's statistics after bulk writes. Each test skips when the suite runs on SQLite alone.

#include <optional>

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "BlockWriter.h"
#include "Database.h"
#include "DatabaseCreation.h"
#include "Dialect.h"
#include "Schema.h"
#include "SchemaUpgrade.h"
#include "Sql.h"
#include "TestDatabase.h"

using namespace vocaset;
using vocaset::test::RecordingLog;
using vocaset::test::ScriptedOperator;
using vocaset::test::TestDatabase;
using vocaset::test::TestSession;

#define REQUIRE_SERVER()                                                                                               \
    if (TestDatabase::server().isEmpty())                                                                              \
    GTEST_SKIP() << "needs the PostgreSQL server named by VOCASET_TEST_DB"

namespace {

// The connection string with one key replaced (or added).
QString withKey(const QString& connection, const QString& key, const QString& value)
{
    QStringList parts;
    for (const QString& part : connection.split(u';', Qt::SkipEmptyParts)) {
        if (!part.trimmed().startsWith(key + u'=', Qt::CaseInsensitive))
            parts << part;
    }
    parts << key + u'=' + value;
    return parts.join(u';');
}

// Every row of every copied table, as "TABLE|v1|v2|..." with nulls read as empty texts, sorted.
QStringList dump(Database& db)
{
    QStringList out;
    for (const QString& table : Schema::copyOrder()) {
        for (Recordset rs = db.execute(QStringLiteral("SELECT * FROM ") + table); !rs.eof(); rs.moveNext()) {
            QString line = table;
            for (int i = 0; i < rs.fieldCount(); ++i)
                line += u'|' + rs.text(i);
            out << line;
        }
    }
    out.sort();
    return out;
}

QString setting(Database& db, const QString& sql)
{
    const Recordset rs = db.execute(sql);
    return rs.eof() ? QStringLiteral("<none>") : rs.text(0);
}

} // namespace

TEST(PostgresDialect, ConcatenationReachesCallsAndParenthesesOnEitherSide)
{
    EXPECT_EQ(Dialect::concatenation(QStringLiteral("SELECT SUBSTRING(A, 1, 2) + ' ' + CAST(B AS nvarchar(3)) FROM T")),
              QStringLiteral("SELECT SUBSTRING(A, 1, 2) || ' ' || CAST(B AS nvarchar(3)) FROM T"));
    EXPECT_EQ(Dialect::concatenation(QStringLiteral("SELECT (B + 'a') + C, UPPER('x' + B) + '.' FROM T")),
              QStringLiteral("SELECT (B || 'a') + C, UPPER('x' || B) || '.' FROM T"));
    // Sums of calls and numbers stay sums.
    const QString sums = QStringLiteral("SELECT COUNT(A) + 1, (B + 2) * 3 FROM T WHERE C = LENGTH(D) + 4");
    EXPECT_EQ(Dialect::concatenation(sums), sums);
}

TEST(PostgresDialect, CastsTakeTheByteOrderAfterTheirParentheses)
{
    // A collation cannot stand inside CAST( ... ); a column definition carries it with its type.
    EXPECT_EQ(Dialect::postgresTypes(QStringLiteral(
                  "SELECT CAST(SUBSTRING(A, 1, 2) AS nvarchar(2)) + ' ' + CAST(B AS NVARCHAR (9)) FROM T ORDER BY 1")),
              QStringLiteral("SELECT CAST(SUBSTRING(A, 1, 2) AS varchar(2)) COLLATE \"C\" + ' ' + "
                             "CAST(B AS varchar (9)) COLLATE \"C\" FROM T ORDER BY 1"));
    EXPECT_EQ(
        Dialect::postgresTypes(QStringLiteral("ALTER TABLE T ADD C nvarchar(4) DEFAULT CAST('x' AS nvarchar(1))")),
        QStringLiteral("ALTER TABLE T ADD C varchar(4) COLLATE \"C\" DEFAULT CAST('x' AS varchar(1)) COLLATE \"C\""));
    // Words that only look like the type, and the type inside a literal, stay.
    const QString other = QStringLiteral("SELECT nvarchar_count, 'nvarchar(3)' FROM nvarchars WHERE nvarchar(x) = 1");
    EXPECT_EQ(Dialect::postgresTypes(other), other);
}

TEST(PostgresDialect, BackslashesInLikePatternsAreJustCharacters)
{
    EXPECT_EQ(Dialect::postgresLike(
                  QStringLiteral("SELECT * FROM T WHERE A LIKE 'C:\\P%' AND B NOT like '\\_' AND C LIKE '%'")),
              QStringLiteral(
                  "SELECT * FROM T WHERE A LIKE 'C:\\P%' ESCAPE '' AND B NOT like '\\_' ESCAPE '' AND C LIKE '%'"));
    // An explicit escape, a backslash elsewhere, and the word inside a literal stay as written.
    const QString kept = QStringLiteral("SELECT 'LIKE \\' FROM T WHERE A LIKE '!%\\' ESCAPE '!' OR B = 'x\\'");
    EXPECT_EQ(Dialect::postgresLike(kept), kept);
    // A doubled quote stays inside its literal: the pattern still holds the backslash.
    EXPECT_EQ(Dialect::postgresLike(QStringLiteral("SELECT * FROM T WHERE A LIKE 'it''s\\%'")),
              QStringLiteral("SELECT * FROM T WHERE A LIKE 'it''s\\%' ESCAPE ''"));
    const QString embedded = QStringLiteral("SELECT A FROM T WHERE A LIKE 'x\\%'");
    EXPECT_EQ(Dialect::translate(embedded, Engine::SQLite), QStringList{embedded});
}

TEST(Server, ConnectionStringKeysTimeoutsAndRefusals)
{
    REQUIRE_SERVER();
    TestDatabase t;
    // Keys in any case, blanks around them, a password the loopback server does not ask for.
    QString relaxed = t.connectionString();
    relaxed.replace(QStringLiteral("Provider="), QStringLiteral(" provider = "));
    relaxed.replace(QStringLiteral("User ID="), QStringLiteral("USER ID="));
    Database db;
    db.open(withKey(relaxed, QStringLiteral("Password"), QStringLiteral("unused")));
    EXPECT_EQ(db.engine(), Engine::PostgreSQL);
    EXPECT_EQ(setting(db, QStringLiteral("SHOW statement_timeout")), QStringLiteral("3min"));
    EXPECT_EQ(setting(db, QStringLiteral("SHOW standard_conforming_strings")), QStringLiteral("on"));
    // The settings are the session's: a transaction rolled back does not undo them.
    {
        Transaction tx(db);
        db.execute(QStringLiteral("CREATE TABLE T (A nvarchar(3))"));
    }
    EXPECT_EQ(setting(db, QStringLiteral("SHOW statement_timeout")), QStringLiteral("3min"));
    EXPECT_EQ(db.columns(QStringLiteral("T")).count(), 0);

    // The width of a column is enforced, with the server's own words and without the driver's code.
    db.execute(QStringLiteral("CREATE TABLE T (A nvarchar(3) NOT NULL, PRIMARY KEY (A))"));
    db.execute(QStringLiteral("INSERT INTO T VALUES('abc')"));
    try {
        db.execute(QStringLiteral("INSERT INTO T VALUES('abc')"));
        FAIL() << "duplicate accepted";
    } catch (const DbError& e) {
        EXPECT_TRUE(e.text().contains(QStringLiteral("duplicate key"))) << e.text().toStdString();
        EXPECT_FALSE(e.text().contains(QRegularExpression(QStringLiteral("\\([0-9A-Z]{5}\\)$"))))
            << e.text().toStdString();
    }
    EXPECT_THROW(db.execute(QStringLiteral("INSERT INTO T VALUES('abcd')")), DbError);

    // A database that does not exist, and a port nobody listens on, fail to open with the reason.
    Database missing;
    try {
        missing.open(withKey(t.connectionString(), QStringLiteral("Database"), QStringLiteral("vt_no_such_database")));
        FAIL() << "opened a database that does not exist";
    } catch (const DbError& e) {
        EXPECT_TRUE(e.text().contains(QStringLiteral("vt_no_such_database"))) << e.text().toStdString();
    }
    EXPECT_FALSE(missing.isOpen());
    Database closedPort;
    EXPECT_THROW(
        closedPort.open(withKey(withKey(t.connectionString(), QStringLiteral("Host"), QStringLiteral("127.0.0.1")),
                                QStringLiteral("Port"), QStringLiteral("1"))),
        DbError);
    EXPECT_FALSE(closedPort.isOpen());
}

TEST(Server, ASessionEndedByTheServerFailsClearlyAndKeepsNothingHalfDone)
{
    REQUIRE_SERVER();
    TestSession t;
    Database admin;
    admin.open(TestDatabase::server());
    const auto endSession = [&] {
        const QString pid = t.value(QStringLiteral("SELECT pg_backend_pid()"));
        // What a server shutdown does to every session: the same signal, the same message.
        admin.execute(QStringLiteral("SELECT pg_terminate_backend(") + pid + QStringLiteral(", 10000)"));
    };

    t.exec(QStringLiteral("INSERT INTO COMPANY VALUES('AC', 'Acme')"));
    {
        Transaction tx(t.tdb.db);
        t.exec(QStringLiteral("INSERT INTO COMPANY VALUES('BX', 'Half done')"));
        endSession();
        try {
            t.exec(QStringLiteral("INSERT INTO COMPANY VALUES('CY', 'After')"));
            FAIL() << "a statement on an ended session succeeded";
        } catch (const DbError& e) {
            EXPECT_TRUE(e.text().startsWith(QStringLiteral("The connection to the database server was lost: ")))
                << e.text().toStdString();
            EXPECT_GT(e.text().size(), 50) << e.text().toStdString();
        }
        EXPECT_FALSE(t.tdb.db.isOpen());
        // Every later statement fails too, never an empty result taken for an answer.
        EXPECT_THROW(t.exec(QStringLiteral("SELECT * FROM COMPANY")), DbError);
        EXPECT_THROW(t.tdb.db.columns(QStringLiteral("COMPANY")), DbError);
    } // the rollback of a lost transaction must not throw out of the destructor

    t.tdb.db.open(t.tdb.connectionString());
    EXPECT_EQ(t.value(QStringLiteral("SELECT CO_CODE FROM COMPANY")), QStringLiteral("AC"));
    EXPECT_EQ(t.count(QStringLiteral("SELECT * FROM COMPANY")), 1);
}

TEST(Server, UpgradedColumnsAreByteOrderedTextOfTheirWidthWithCascadingKeys)
{
    REQUIRE_SERVER();
    TestSession t(false);
    // The first release's tables: no writer module, no phone-book contact columns, and value tables
    // whose catalogue key does not cascade.
    for (QString statement : Schema::createStatements()) {
        statement.replace(QStringLiteral(", EQ_MODULE nvarchar(20) NOT NULL "), QString());
        statement.replace(QStringLiteral("REFERENCES EQUIPMENT_PARAMETERS(EQ_CODE, PA_CODE) ON UPDATE CASCADE"),
                          QStringLiteral("REFERENCES EQUIPMENT_PARAMETERS(EQ_CODE, PA_CODE)"));
        if (statement.startsWith(QStringLiteral("CREATE TABLE PHONE_BOOK")))
            statement = statement.left(statement.indexOf(QStringLiteral(", BK_EXTNUM"))) +
                        statement.mid(statement.indexOf(QStringLiteral(", PRIMARY KEY")));
        t.exec(statement);
    }
    t.exec(QStringLiteral("INSERT INTO EQUIPMENT VALUES('PAP2', 'Adapter')"));
    t.exec(QStringLiteral("INSERT INTO CREATION_FLAGS VALUES('V', 'Valid', 'N')"));
    t.exec(QStringLiteral("INSERT INTO COMPANY VALUES('AC', 'Acme')"));
    t.exec(QStringLiteral("INSERT INTO PHONE_BOOK VALUES('AC', '555', 'Ann', 'V')"));
    EXPECT_EQ(upgradeSchema(t.s).stepsRun.size(), 4);

    // Every column of the schema, the upgraded ones included, is varchar(n) in byte order.
    Database& db = t.tdb.db;
    QStringList wrong;
    for (Recordset rs = db.execute(
             QStringLiteral("SELECT table_name, column_name, data_type, character_maximum_length, collation_name "
                            "FROM information_schema.columns WHERE table_schema = 'public'"));
         !rs.eof(); rs.moveNext()) {
        if (rs.text(2) != u"character varying" || rs.text(4) != u"C")
            wrong << rs.text(0) + u'.' + rs.text(1) + u' ' + rs.text(2) + u' ' + rs.text(4);
    }
    EXPECT_TRUE(wrong.isEmpty()) << wrong.join(u'\n').toStdString();
    EXPECT_EQ(setting(db, QStringLiteral("SELECT character_maximum_length FROM information_schema.columns "
                                         "WHERE table_name = 'equipment' AND column_name = 'eq_module'")),
              QStringLiteral("20"));
    EXPECT_EQ(setting(db, QStringLiteral("SELECT character_maximum_length FROM information_schema.columns "
                                         "WHERE table_name = 'phone_book' AND column_name = 'bk_mail'")),
              QStringLiteral("100"));
    EXPECT_EQ(db.columns(QStringLiteral("PHONE_BOOK")).count(), 8);
    EXPECT_EQ(t.value(QStringLiteral("SELECT EQ_MODULE FROM EQUIPMENT")), QStringLiteral("PAP2"));

    // The constraints were dropped and added back by name, once each, now cascading.
    const Recordset keys = db.execute(QStringLiteral(
        "SELECT constraint_name, update_rule, delete_rule FROM information_schema.referential_constraints "
        "WHERE constraint_name IN ('fk_phopar_equpar', 'fk_compar_equpar') ORDER BY constraint_name"));
    ASSERT_EQ(keys.count(), 2);
    for (const QVariantList& row : keys.rows()) {
        EXPECT_EQ(row[1].toString(), QStringLiteral("CASCADE")) << row[0].toString().toStdString();
        EXPECT_EQ(row[2].toString(), QStringLiteral("NO ACTION")) << row[0].toString().toStdString();
    }
    EXPECT_EQ(setting(db, QStringLiteral("SELECT count(*) FROM information_schema.referential_constraints")),
              QStringLiteral("14"));
}

TEST(Server, TextOrderIsByteOrderOnAServerWithALinguisticDefault)
{
    REQUIRE_SERVER();
    Database admin;
    admin.open(TestDatabase::server());
    if (admin.execute(QStringLiteral("SELECT collname FROM pg_collation WHERE collname = 'en-US-x-icu'")).eof())
        GTEST_SKIP() << "the server was built without ICU collations";
    // Most servers are set up with a language's collation, where 'a' sorts before 'B' and blanks and
    // punctuation barely count; the schema's columns must not inherit that.
    const QString name = QStringLiteral("vt_icu_%1").arg(QCoreApplication::applicationPid());
    admin.execute(QStringLiteral("DROP DATABASE IF EXISTS ") + name + QStringLiteral(" WITH (FORCE)"));
    admin.execute(QStringLiteral("CREATE DATABASE ") + name +
                  QStringLiteral(" TEMPLATE template0 LOCALE_PROVIDER icu ICU_LOCALE 'en-US' LOCALE 'C.UTF-8'"));
    struct Drop
    {
        Database& admin;
        QString name;
        ~Drop() { admin.execute(QStringLiteral("DROP DATABASE IF EXISTS ") + name + QStringLiteral(" WITH (FORCE)")); }
    } drop{admin, name};

    Database db;
    db.open(withKey(TestDatabase::server(), QStringLiteral("Database"), name));
    // The server really does sort linguistically here.
    EXPECT_EQ(setting(db, QStringLiteral("SELECT x FROM (VALUES ('B'), ('a')) v(x) ORDER BY x")), QStringLiteral("a"));
    for (const QString& statement : Schema::createStatements())
        db.execute(statement);
    const QStringList codes = {QStringLiteral(" Z"),  QStringLiteral("$$B"), QStringLiteral("B"), QStringLiteral("a"),
                               QStringLiteral("a b"), QStringLiteral("ab"),  QStringLiteral("é")};
    for (qsizetype i = codes.size() - 1; i >= 0; --i)
        db.execute(QStringLiteral("INSERT INTO COMPANY VALUES('") + codes[i] + QStringLiteral("', 'x')"));
    QStringList ordered;
    for (Recordset rs = db.execute(QStringLiteral("SELECT CO_CODE FROM COMPANY ORDER BY CO_CODE")); !rs.eof();
         rs.moveNext())
        ordered << rs.text(0);
    EXPECT_EQ(ordered, codes);
    // Expressions over a column keep its order: the concatenation and the query tool's substring.
    EXPECT_EQ(setting(db, QStringLiteral("SELECT '#' + CO_CODE AS 0FLD FROM COMPANY WHERE CO_CODE IN ('a', 'B') "
                                         "ORDER BY 0FLD")),
              QStringLiteral("#B"));
    EXPECT_EQ(setting(db, QStringLiteral("SELECT DISTINCT SUBSTRING(CO_CODE, 1, 1) AS 1FLD FROM COMPANY "
                                         "WHERE CO_CODE IN ('a', 'B') ORDER BY 1FLD")),
              QStringLiteral("B"));
    EXPECT_EQ(setting(db, QStringLiteral("SELECT count(*) FROM COMPANY WHERE CO_CODE BETWEEN 'A' AND 'Z'")),
              QStringLiteral("1"));
    EXPECT_EQ(setting(db, QStringLiteral("SELECT CAST('x' + CO_CODE AS nvarchar(3)) AS 2FLD FROM COMPANY "
                                         "WHERE CO_CODE IN ('a', 'B') ORDER BY 2FLD")),
              QStringLiteral("xB"));
}

TEST(Server, CreationRunMovesASiteToTheServerAndBack)
{
    REQUIRE_SERVER();
    QTemporaryDir dir;
    const QString embedded = QStringLiteral("Provider=SQLite;Data Source=") + dir.path() + QStringLiteral("/site.db");
    Database site;
    site.open(embedded);
    for (const QString& statement : Schema::createStatements())
        site.execute(statement);
    const QString version = programVersion();
    const QStringList rows = {
        QString(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('$$BASEVER', '$', '") + version +
                QStringLiteral("')")),
        QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'M8', 'Téléphone ''$$'' absent')"),
        QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('ACGXP2000', '$$GENPATH', 'C:\\Phones\\AC\\')"),
        // SQLite lets a key column without NOT NULL hold a null: it arrives as an empty text.
        QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('$$X', NULL, 'null key')"),
        QStringLiteral("INSERT INTO CREATION_FLAGS VALUES('V', 'Valid', 'N')"),
        QStringLiteral("INSERT INTO LEVELS VALUES('E', 'Equipment')"),
        QStringLiteral("INSERT INTO RANGES VALUES('AC', '100')"),
        QStringLiteral("INSERT INTO RANGES VALUES('AC', '101')"),
        QStringLiteral("INSERT INTO RANGES VALUES('ZZ', '1')"),
        QStringLiteral("INSERT INTO TYPES VALUES('S', 'Text')"),
        QStringLiteral("INSERT INTO COMPANY VALUES('AC', 'O''Hara & Sons – Zürich')"),
        QStringLiteral("INSERT INTO EQUIPMENT VALUES('', 'No model yet', 'NONE')"),
        QStringLiteral("INSERT INTO EQUIPMENT VALUES('GXP2000', 'Desk', 'GRANDSTREAM')"),
        QStringLiteral("INSERT INTO PHONES VALUES('AC', '100', 'GXP2000', 'Reception', '000B82000001')"),
        // The model column is nullable: the null becomes the empty model code.
        QStringLiteral("INSERT INTO PHONES VALUES('AC', '101', NULL, 'It''s new', '000B82000002')"),
        QStringLiteral(
            "INSERT INTO EQUIPMENT_PARAMETERS VALUES('GXP2000', '3', 'Name', 'E', '$$N,1,4 ''x''', 'S', '')"),
        QStringLiteral("INSERT INTO PHONES_PARAMETERS VALUES('AC', 'GXP2000', '100', '3', '')"),
        QStringLiteral("INSERT INTO COMPANY_PARAMETERS VALUES('AC', 'GXP2000', '3', 'a;b')"),
        QStringLiteral("INSERT INTO PHONE_BOOK VALUES('AC', '555', 'D''Arcy', 'V', '', '', '', 'x@example.com')"),
    };
    for (const QString& sql : rows)
        site.execute(sql);

    // To the server.
    TestSession server(false);
    ASSERT_EQ(server.tdb.engine(), Engine::PostgreSQL);
    ASSERT_EQ(createDatabase(server.s, embedded, server.log), CreationOutcome::Created);
    EXPECT_EQ(server.op.messages, QStringList{QStringLiteral("DATABASE CREATED --> RUN PROGRAM AGAIN")});
    const QStringList onServer = dump(server.tdb.db);
    EXPECT_EQ(onServer, dump(site));
    EXPECT_TRUE(onServer.contains(QStringLiteral("SYSTEM_PARAMETERS|$$X||null key")));
    EXPECT_TRUE(onServer.contains(QStringLiteral("PHONES|AC|101||It's new|000B82000002")));
    EXPECT_TRUE(onServer.contains(QStringLiteral("SYSTEM_PARAMETERS|ACGXP2000|$$GENPATH|C:\\Phones\\AC\\")));
    EXPECT_EQ(server.count(QStringLiteral("SELECT * FROM PHONES WHERE EQ_CODE IS NULL")), 0);
    EXPECT_EQ(server.count(QStringLiteral("SELECT * FROM EQ_TEMP")), 0);

    // And back to a new embedded database, as a desk taking a copy of the server.
    Database back;
    back.open(QStringLiteral("Provider=SQLite;Data Source=") + dir.path() + QStringLiteral("/back.db"));
    ScriptedOperator op;
    RecordingLog log;
    Session desk(back, op);
    ASSERT_EQ(createDatabase(desk, server.tdb.connectionString(), log), CreationOutcome::Created);
    EXPECT_EQ(dump(back), onServer);
    EXPECT_EQ(log.lines.size(), Schema::copyOrder().size());
    // The copy is a working database: its keys hold and cascade as on the server.
    back.execute(QStringLiteral("UPDATE EQUIPMENT SET EQ_CODE = 'GXP2010' WHERE EQ_CODE = 'GXP2000'"));
    EXPECT_EQ(back.execute(QStringLiteral("SELECT * FROM PHONES_PARAMETERS WHERE EQ_CODE = 'GXP2010'")).count(), 1);
    EXPECT_THROW(back.execute(QStringLiteral("DELETE FROM RANGES WHERE PH_CODE = '100'")), DbError);
}

TEST(Server, StatisticsAreTakenWhenManyRowsWentInOrOutNotForChangesInPlace)
{
    REQUIRE_SERVER();
    TestDatabase t;
    t.createSchema();
    Database& db = t.db;
    db.execute(QStringLiteral("INSERT INTO CREATION_FLAGS VALUES('V', 'Visible', 'N')"));
    enum Write { Add, Rename, Remove };
    // The planner's count after each run: it moves only when the run took the statistics.
    const struct
    {
        const char* what;
        Write write;
        int from, to;
        double counted;
    } steps[] = {
        {"a table never counted", Add, 1, 600, 600},    {"fewer rows than a block", Add, 601, 700, 600},
        {"rows changed in place", Rename, 1, 700, 600}, {"more than a tenth", Add, 701, 5700, 5700},
        {"a tenth or less", Add, 5701, 6200, 5700},     {"rows taken out", Remove, 1, 1000, 5200},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.what);
        Transaction tx(db);
        BlockWriter blocks(db);
        const BlockWriter::Kind kind =
            blocks.kind(step.write == Add ? BlockShape::insert(QStringLiteral("PHONE_BOOK"),
                                                               QStringLiteral("('C', ?, 'Name', 'V', '', '', '', '')"))
                        : step.write == Rename
                            ? BlockShape::update(QStringLiteral("PHONE_BOOK"), QStringLiteral("BK_NAME = v.column1"), 2,
                                                 QStringLiteral("CO_CODE = 'C' AND BK_NUM = v.column2"))
                            : BlockShape(QStringLiteral("PHONE_BOOK"))
                                  .text(QStringLiteral("DELETE FROM PHONE_BOOK WHERE CO_CODE = 'C' AND BK_NUM IN ("))
                                  .rows(QStringLiteral("?"))
                                  .text(QStringLiteral(")")));
        int refused = 0;
        for (int n = step.from; n <= step.to; ++n) {
            const QString number = QString::number(n);
            blocks.add(kind,
                       step.write == Rename ? QVariantList{QStringLiteral("Other"), number} : QVariantList{number},
                       [&](const DbError* refusal) { refused += refusal ? 1 : 0; });
        }
        blocks.flush();
        tx.commit();
        blocks.refreshStatistics();
        EXPECT_EQ(refused, 0);
        EXPECT_EQ(db.execute(QStringLiteral("SELECT reltuples FROM pg_class WHERE oid = 'phone_book'::regclass"))
                      .value(0)
                      .toDouble(),
                  step.counted);
    }
}

// A SELECT that the server refuses after its first rows (here a row lock it waits for too long)
// fails as a whole: its first rows are never taken for the answer, through either way of sending it,
// and inside a transaction the error is the server's reason, not a later "transaction is aborted".
TEST(Server, AReadRefusedAfterItsFirstRowsFailsWhole)
{
    REQUIRE_SERVER();
    TestDatabase t;
    t.createSchema();
    for (int code = 100; code < 200; ++code)
        t.db.execute(QStringLiteral("INSERT INTO RANGES VALUES('AC', '%1')").arg(code));
    Database other;
    other.open(t.connectionString());
    Transaction held(other);
    other.execute(QStringLiteral("UPDATE RANGES SET PH_CODE = PH_CODE WHERE PH_CODE = '150'"));
    t.db.execute(QStringLiteral("SET lock_timeout = 200"));
    const QString sql = QStringLiteral("SELECT PH_CODE FROM RANGES WHERE CO_CODE = 'AC' ORDER BY PH_CODE FOR UPDATE");
    for (const bool inTransaction : {false, true}) {
        for (const bool bound : {false, true}) {
            SCOPED_TRACE(std::string(inTransaction ? "in a transaction, " : "alone, ") + (bound ? "bound" : "text"));
            std::optional<Transaction> tx;
            if (inTransaction)
                tx.emplace(t.db);
            try {
                const Recordset rs = bound ? t.db.executeBound(sql, {}) : t.db.execute(sql);
                ADD_FAILURE() << rs.count() << " rows taken for the answer";
            } catch (const DbError& e) {
                EXPECT_TRUE(e.text().contains(QLatin1String("lock timeout"))) << e.text().toStdString();
            }
            tx.reset();
            EXPECT_EQ(t.db.execute(QStringLiteral("SELECT COUNT(*) FROM RANGES")).text(0), QStringLiteral("100"));
        }
    }
}
