#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QDir>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

#include "ColumnWidths.h"
#include "Database.h"
#include "FullDisk.h"
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

// What cannot be opened is an open failure that creates nothing: a NUL would cut the file name short
// and the engine would create the shorter name; an existing database is never made afresh.
TEST(Database, ConnectionsThatCannotBeOpenedCreateNothing)
{
    QTemporaryDir dir;
    const QString sqlite = QStringLiteral("Provider=SQLite;Data Source=") + dir.path();
    const std::pair<QString, Database::Access> cases[] = {
        {QStringLiteral("Provider=Jet;Data Source=") + dir.filePath(QStringLiteral("x.mdb")),
         Database::Access::ReadWrite},
        {QStringLiteral("Provider=SQLite"), Database::Access::ReadWrite},
        {sqlite + QStringLiteral("/voca") + QChar(u'\0') + QStringLiteral("set.db"), Database::Access::ReadWrite},
        {sqlite + QStringLiteral("/missing.db"), Database::Access::Existing},
        {sqlite + QStringLiteral("/missing.db"), Database::Access::ReadOnly},
    };
    for (const auto& [connection, access] : cases) {
        Database db;
        EXPECT_THROW(db.open(connection, access), DbError) << connection.toStdString();
        EXPECT_FALSE(db.isOpen());
        EXPECT_TRUE(QDir(dir.path()).isEmpty()) << QDir(dir.path()).entryList().join(u' ').toStdString();
    }
}

// A new file is made with large pages, which make writing many rows cheaper; a file made
// elsewhere with other pages keeps them and its rows.
TEST(Database, ANewFileTakesLargePagesAnExistingOneKeepsItsOwn)
{
    QTemporaryDir dir;
    const QString old = dir.filePath(QStringLiteral("old.db"));
    {
        QSqlDatabase raw = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("elsewhere"));
        raw.setDatabaseName(old);
        ASSERT_TRUE(raw.open());
        QSqlQuery q(raw);
        for (const char* sql :
             {"PRAGMA page_size = 4096", "CREATE TABLE T (A nvarchar(5))", "INSERT INTO T VALUES('kept')"})
            ASSERT_TRUE(q.exec(QLatin1String(sql))) << sql;
    }
    QSqlDatabase::removeDatabase(QStringLiteral("elsewhere"));
    const QString made = dir.filePath(QStringLiteral("new.db"));
    {
        Database db;
        db.open(QStringLiteral("Provider=SQLite;Data Source=") + made);
        db.execute(QStringLiteral("CREATE TABLE T (A nvarchar(5))"));
        db.execute(QStringLiteral("INSERT INTO T VALUES('kept')"));
    }
    for (const auto& [file, pageSize] : {std::pair{made, 16384}, std::pair{old, 4096}}) {
        // A connection of its own: the size is the file's, not a setting of the connection that made it.
        Database db;
        db.open(QStringLiteral("Provider=SQLite;Data Source=") + file, Database::Access::Existing);
        EXPECT_EQ(db.execute(QStringLiteral("PRAGMA page_size")).text(0).toInt(), pageSize) << file.toStdString();
        EXPECT_EQ(db.execute(QStringLiteral("SELECT A FROM T")).text(0), QStringLiteral("kept"));
    }
}

// A database holds every password: a new file, its log and its shared memory are readable by their
// owner only, whatever the umask; an existing file keeps the mode it has.
TEST(Database, ANewFileIsReadableByItsOwnerOnly)
{
    QTemporaryDir dir;
    const QString kept = dir.filePath(QStringLiteral("kept.db"));
    QFile(kept).open(QIODevice::WriteOnly);
    ASSERT_EQ(::chmod(QFile::encodeName(kept).constData(), 0644), 0);
    const mode_t umask = ::umask(022);
    for (const QString& file : {dir.filePath(QStringLiteral("new.db")), kept}) {
        Database db;
        db.open(QStringLiteral("Provider=SQLite;Data Source=") + file);
        db.execute(QStringLiteral("CREATE TABLE T (A nvarchar(5))"));
        const mode_t expected = file == kept ? 0644 : 0600;
        for (const QString& name : QStringList{file, file + QStringLiteral("-wal"), file + QStringLiteral("-shm")}) {
            struct stat st = {};
            ASSERT_EQ(::stat(QFile::encodeName(name).constData(), &st), 0) << name.toStdString();
            EXPECT_EQ(st.st_mode & 0777, expected) << name.toStdString();
        }
    }
    ::umask(umask);
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
    EXPECT_EQ(t.db.columns(QStringLiteral("PHONES"), QStringLiteral("PH_MAC"))
                  .value(QStringLiteral("CHARACTER_MAXIMUM_LENGTH")),
              QVariant(12));

    Recordset keys = t.db.primaryKeys(QStringLiteral("PHONES_PARAMETERS"));
    QStringList names;
    for (; !keys.eof(); keys.moveNext())
        names << keys.text(QStringLiteral("COLUMN_NAME")) + u'/' + keys.text(QStringLiteral("ORDINAL"));
    EXPECT_EQ(names, (QStringList{QStringLiteral("CO_CODE/1"), QStringLiteral("EQ_CODE/2"), QStringLiteral("PH_CODE/3"),
                                  QStringLiteral("PA_CODE/4")}));
}

// SQLite keeps a text of any length in an nvarchar(n) column, the server refuses it: the widths the
// writers check come from the schema on both engines, counted in characters.
TEST(Database, DeclaredWidthsComeFromTheSchema)
{
    test::TestSession t;
    t.exec(QStringLiteral("CREATE TABLE T (N integer, C char(3), V varchar(4), W nvarchar(5), X text)"));
    const ColumnWidths t2(t.tdb.db, QStringLiteral("t"));
    EXPECT_EQ((QList<int>{t2.width(QStringLiteral("N")), t2.width(QStringLiteral("c")), t2.width(QStringLiteral("V")),
                          t2.width(QStringLiteral("W")), t2.width(QStringLiteral("X")), t2.width(QStringLiteral("Y"))}),
              (QList<int>{0, 3, 4, 5, 0, 0}));
    const ColumnWidths phones(t.tdb.db, QStringLiteral("PHONES"));
    EXPECT_EQ(phones.width(QStringLiteral("PH_DESC")), 50);
    EXPECT_TRUE(phones.fits(QStringLiteral("PH_DESC"), QString(50, u'\u00e9')));
    EXPECT_TRUE(phones.fits(QStringLiteral("PH_CODE"), QStringLiteral("\U0001F4DE\U0001F4DE\U0001F4DE12")));
    EXPECT_FALSE(phones.fits(QStringLiteral("PH_CODE"), QStringLiteral("123456")));
    EXPECT_EQ(phones.refusal(t.s, QStringLiteral("ph_desc"), QString(50, u'x')), std::nullopt);
    EXPECT_EQ(phones.refusal(t.s, QStringLiteral("ph_desc"), QString(51, u'x')),
              QStringLiteral("The value of PH_DESC is longer than the 50 characters the column holds."));
    // What the check lets through, the server stores.
    t.exec(QStringLiteral("INSERT INTO T VALUES(1, 'abc', 'abcd', '\U0001F4DE\U0001F4DE\U0001F4DEab', '')"));
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

// A refused statement leaves the transaction open; a failure after which the engine holds no
// transaction any more stops every later statement, which would otherwise commit on its own.
TEST(Database, ATransactionTheEngineEndedTakesNoMoreStatements)
{
    TestDatabase t;
    t.db.execute(QStringLiteral("CREATE TABLE T (A nvarchar(10) PRIMARY KEY)"));
    t.db.execute(QStringLiteral("INSERT INTO T VALUES('before')"));
    test::refuseWrites(t.db, QStringLiteral("INSERT"), QStringLiteral("T"), QStringLiteral("NEW.A = 'full'"),
                       test::Refusal::FullDisk);
    const auto rows = [&] {
        Database other;
        other.open(t.connectionString());
        return other.execute(QStringLiteral("SELECT A FROM T ORDER BY A")).count();
    };
    {
        Transaction tx(t.db);
        t.db.execute(QStringLiteral("INSERT INTO T VALUES('a')"));
        try {
            t.db.execute(QStringLiteral("INSERT INTO T VALUES('a')"));
            FAIL() << "a duplicate key was stored";
        } catch (const TransactionLost&) {
            FAIL() << "a refused row ended the transaction";
        } catch (const DbError&) {
        }
        EXPECT_TRUE(t.db.transactionHeld());
        try {
            t.db.execute(QStringLiteral("INSERT INTO T VALUES('full')"));
            FAIL() << "the injected failure did not happen";
        } catch (const TransactionLost& e) {
            EXPECT_TRUE(test::isFullDiskText(e.text())) << e.text().toStdString();
        }
        EXPECT_FALSE(t.db.transactionHeld());
        EXPECT_THROW(t.db.execute(QStringLiteral("INSERT INTO T VALUES('after')")), TransactionLost);
        EXPECT_THROW(t.db.executeBound(QStringLiteral("INSERT INTO T VALUES(?)"), {QStringLiteral("bound")}),
                     TransactionLost);
        EXPECT_THROW(tx.commit(), TransactionLost);
        EXPECT_EQ(rows(), 1);
    }
    // Once rolled back, the connection works again, with or without a transaction.
    EXPECT_FALSE(t.db.transactionHeld());
    t.db.execute(QStringLiteral("INSERT INTO T VALUES('later')"));
    Transaction tx(t.db);
    EXPECT_TRUE(t.db.transactionHeld());
    t.db.execute(QStringLiteral("INSERT INTO T VALUES('b')"));
    tx.commit();
    EXPECT_FALSE(t.db.transactionHeld());
    EXPECT_EQ(rows(), 3);

    // The engine is asked, not the connection's own idea: a transaction a statement ended is ended.
    Transaction ended(t.db);
    try {
        t.db.execute(QStringLiteral("COMMIT"));
    } catch (const TransactionLost&) {
        // On the server the statement's own savepoint went with the transaction.
    }
    EXPECT_FALSE(t.db.transactionHeld());
    EXPECT_THROW(t.db.execute(QStringLiteral("INSERT INTO T VALUES('b')")), TransactionLost);
}

TEST(Database, BoundStatementIsReusedWithNewValues)
{
    TestDatabase t;
    t.db.execute(QStringLiteral("CREATE TABLE T (A nvarchar(10), B nvarchar(10))"));
    for (int i = 0; i < 3; ++i)
        t.db.executeBound(QStringLiteral("INSERT INTO T VALUES(?, ?)"), {QString::number(i), QStringLiteral("it's")});
    const Recordset rs =
        t.db.executeBound(QStringLiteral("SELECT COUNT(*) FROM T WHERE B = ?"), {QStringLiteral("it's")});
    EXPECT_EQ(rs.text(0), QStringLiteral("3"));
}

// A '?' or ':' inside a quoted text is part of the text, not a place-holder, on every way a bound
// statement takes: one that writes, one that reads. A null of any type is bound as NULL.
TEST(Database, AQuestionMarkInsideAQuotedTextIsNoPlaceHolder)
{
    TestDatabase t;
    t.db.execute(QStringLiteral("CREATE TABLE T (A nvarchar(20), B nvarchar(20), R real)"));
    t.db.executeBound(QStringLiteral("INSERT INTO T VALUES(?, 'Reception?', ?)"), {QStringLiteral("1?"), 1.5});
    t.db.executeBound(QStringLiteral("INSERT INTO T SELECT ?, B || '?:x', ? FROM T WHERE B = 'Reception?'"),
                      {QStringLiteral("2"), QVariant(QMetaType(QMetaType::Double))});
    t.db.executeBound(QStringLiteral("INSERT INTO T VALUES('3', ?, ?)"),
                      {QVariant(QMetaType(QMetaType::Int)), QVariant(QMetaType(QMetaType::LongLong))});
    EXPECT_EQ(t.db.execute(QStringLiteral("SELECT COUNT(*) FROM T WHERE B IS NULL AND R IS NULL")).text(0),
              QStringLiteral("1"));
    EXPECT_EQ(t.db.execute(QStringLiteral("SELECT COUNT(*) FROM T WHERE R IS NULL")).text(0), QStringLiteral("2"));
    const Recordset rs = t.db.executeBound(
        QStringLiteral("SELECT A, B, 'it''s?' AS Q FROM T WHERE B LIKE 'Reception?%' AND A <> ? ORDER BY A"),
        {QStringLiteral("?")});
    ASSERT_EQ(rs.count(), 2);
    EXPECT_EQ(rs.rows().at(0),
              (QVariantList{QStringLiteral("1?"), QStringLiteral("Reception?"), QStringLiteral("it's?")}));
    EXPECT_EQ(rs.rows().at(1).at(1), QStringLiteral("Reception??:x"));
}

// A bound statement reads every value as the same statement sent as text does: the same type and
// value, a null apart from an empty text, whatever the engine or the way the statement takes to it;
// a refusal carries the same text and, inside a transaction, undoes only itself.
TEST(Database, BoundStatementsReadAndFailAsTextStatementsDo)
{
    TestDatabase t;
    t.db.execute(QStringLiteral("CREATE TABLE T (K integer PRIMARY KEY, A nvarchar(20), B bigint, R real)"));
    const QVariantList rows[] = {
        {1, QStringLiteral("it's"), qlonglong(-9000000000), 1.5},
        {2, QStringLiteral(""), qlonglong(9000000000), -0.25},
        {3, QString(), QVariant(), QVariant()},
        {4, QStringLiteral("Zürich?"), 0, QVariant()},
    };
    for (const QVariantList& row : rows)
        t.db.executeBound(QStringLiteral("INSERT INTO T VALUES(?, ?, ?, ?)"), row);

    const QString select = QStringLiteral("SELECT K, A, B, R, 'why' AS Q, K * 2 AS D FROM T WHERE K >= %1 ORDER BY K");
    const Recordset text = t.db.execute(select.arg(2));
    const Recordset bound = t.db.executeBound(select.arg(QStringLiteral("?")), {2});
    ASSERT_EQ(bound.count(), 3);
    ASSERT_EQ(bound.rows().size(), text.rows().size());
    for (qsizetype r = 0; r < text.rows().size(); ++r) {
        for (qsizetype c = 0; c < text.rows().at(r).size(); ++c) {
            const QVariant& expected = text.rows().at(r).at(c);
            const QVariant& got = bound.rows().at(r).at(c);
            EXPECT_EQ(got.typeId(), expected.typeId()) << r << ',' << c;
            EXPECT_EQ(got.isNull(), expected.isNull()) << r << ',' << c;
            EXPECT_EQ(got, expected) << r << ',' << c << ' ' << got.toString().toStdString();
        }
    }
    EXPECT_EQ(bound.text(QStringLiteral("q")), QStringLiteral("why"));
    EXPECT_EQ(bound.text(QStringLiteral("A")), QString());
    EXPECT_FALSE(bound.isNull(QStringLiteral("A")));
    EXPECT_EQ(t.db.executeBound(QStringLiteral("SELECT COUNT(*) FROM T WHERE A = ? OR A = 'it''s'"),
                                {QStringLiteral("Zürich?")})
                  .text(0),
              QStringLiteral("2"));

    Transaction tx(t.db);
    QString refused;
    try {
        t.db.execute(QStringLiteral("INSERT INTO T VALUES(1, 'again', 0, 0)"));
    } catch (const DbError& e) {
        refused = e.text();
    }
    EXPECT_FALSE(refused.isEmpty());
    try {
        t.db.executeBound(QStringLiteral("INSERT INTO T VALUES(?, ?, ?, ?)"), {1, QStringLiteral("again"), 0, 0});
        ADD_FAILURE() << "a duplicate key was taken";
    } catch (const DbError& e) {
        EXPECT_EQ(e.text(), refused);
    }
    ASSERT_TRUE(t.db.transactionHeld());
    t.db.executeBound(QStringLiteral("INSERT INTO T VALUES(?, ?, ?, ?)"), {5, QStringLiteral("after"), 0, 0});
    tx.commit();
    EXPECT_EQ(t.db.execute(QStringLiteral("SELECT COUNT(*) FROM T")).text(0), QStringLiteral("5"));
}

// Texts read straight through the engine's library are the driver's texts: nulls stay null, empty
// texts stay empty, quotes and accents as stored; a statement with a column of another type reads
// through the driver; a refusal is the driver's and leaves the transaction usable.
TEST(Database, TextSelectsReadWhatBoundStatementsRead)
{
    TestDatabase t;
    t.db.execute(QStringLiteral("CREATE TABLE T (K integer PRIMARY KEY, A nvarchar(20), B nvarchar(20))"));
    const QVariantList rows[] = {
        {1, QStringLiteral("it's"), QStringLiteral("")},
        {2, QString(), QStringLiteral("Z\u00fcrich \u20ac")},
        {3, QStringLiteral("a$$P b"), QString()},
    };
    const auto same = [&](const QString& sql, const QStringList& values) {
        QVariantList bound;
        for (const QString& v : values)
            bound.append(v);
        const Recordset expected = t.db.executeBound(sql, bound);
        const TextRows got = t.db.selectTexts(sql, values);
        ASSERT_EQ(got.count(), expected.count()) << sql.toStdString();
        ASSERT_EQ(got.columns, expected.fieldCount());
        for (int r = 0; r < got.count(); ++r) {
            for (int c = 0; c < got.columns; ++c) {
                const QVariant& v = expected.rows().at(r).at(c);
                EXPECT_EQ(got.at(r, c), v.toString()) << r << ',' << c;
                EXPECT_EQ(got.at(r, c).isNull(), v.isNull()) << r << ',' << c;
            }
        }
    };
    const QString texts = QStringLiteral("SELECT A, B FROM T WHERE K >= ? ORDER BY K");
    same(texts, {QStringLiteral("1")});
    for (const QVariantList& row : rows) {
        t.db.executeBound(QStringLiteral("INSERT INTO T VALUES(?, ?, ?)"), row);
        same(texts, {QStringLiteral("1")}); // the kept statement reads the rows added since
    }
    same(QStringLiteral("SELECT K, A FROM T WHERE A = ? OR K = 2 ORDER BY K"), {QStringLiteral("it's")});

    Transaction tx(t.db);
    QString expected;
    try {
        t.db.executeBound(QStringLiteral("SELECT A FROM MISSING WHERE A = ?"), {QStringLiteral("x")});
    } catch (const DbError& e) {
        expected = e.text();
    }
    EXPECT_FALSE(expected.isEmpty());
    try {
        t.db.selectTexts(QStringLiteral("SELECT A FROM MISSING WHERE A = ?"), {QStringLiteral("x")});
        ADD_FAILURE() << "a missing table was read";
    } catch (const DbError& e) {
        EXPECT_EQ(e.text(), expected);
    }
    ASSERT_TRUE(t.db.transactionHeld());
    EXPECT_EQ(t.db.selectTexts(texts, {QStringLiteral("3")}).count(), 1);
}
