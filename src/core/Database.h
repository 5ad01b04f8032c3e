#pragma once

#include <functional>
#include <optional>
#include <vector>

#include <QHash>
#include <QMap>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QStringView>
#include <QVariantList>

#include "DbError.h"
#include "Dialect.h"
#include "Recordset.h"

struct sqlite3_stmt;
struct pg_conn;
struct pg_result;

namespace vocaset {

// The rows of a SELECT as texts, row after row: a null value is a null QString.
struct TextRows
{
    int columns = 0;
    QList<QString> cells;

    int count() const { return columns > 0 ? int(cells.size() / columns) : 0; }
    const QString& at(int row, int column) const { return cells.at(qsizetype(row) * columns + column); }
};

// A statement with its '?' place-holders' values.
struct BoundStatement
{
    QString sql;
    QVariantList values;
};

// "Key=Value;Key=Value" as connection strings are written; keys compare case-insensitively.
class ConnectionString
{
public:
    explicit ConnectionString(const QString& text);
    QString value(const QString& key) const { return m_values.value(key.toLower()); }
    bool has(const QString& key) const { return m_values.contains(key.toLower()); }

    // The text with the value of Password replaced by asterisks, for messages.
    static QString masked(const QString& text);

private:
    QMap<QString, QString> m_values;
};

// One connection to the working or the source database. Statements are sent as the program writes
// them; the dialect module rewrites what the engine would refuse. Every refusal throws DbError
// carrying the engine's text.
class Database final
{
public:
    static constexpr int kConnectTimeoutSeconds = 30;
    static constexpr int kStatementTimeoutSeconds = 180;

    Database();
    ~Database();
    Q_DISABLE_COPY_MOVE(Database)

    enum class Access {
        ReadWrite,
        Existing, // read-write, but a missing file is an open failure rather than a new, empty database
        ReadOnly  // a source to copy from: a missing file is an open failure, nothing is written to it
    };

    // Opens the database a connection string names; throws DbError when it cannot.
    void open(const QString& connectionString, Access access = Access::ReadWrite);
    // From the next open on, a statement that waits for a lock or runs longer than ms fails, and so
    // does a connection to a server that takes longer (at least 2 s); kStatementTimeoutSeconds by
    // default. For a server that must answer within a bound.
    void setTimeBound(int ms) { m_boundMs = ms; }
    void close();
    bool isOpen() const;
    Engine engine() const { return m_engine; }
    QSqlDatabase& handle() { return m_db; }

    // Sends a statement; a SELECT returns all its rows.
    Recordset execute(const QString& sql);
    // Same, with '?' place-holders bound to values. The prepared statement is kept for the next call
    // with the same text, so hot loops compile it once.
    Recordset executeBound(const QString& sql, const QVariantList& values);
    // A SELECT of text columns with '?' place-holders bound to texts, read straight through the
    // engine's client library: no QVariant per value, for a statement sent once per telephone. The
    // statement is prepared once per text, as executeBound keeps it; a statement or a column type
    // the library path does not take goes through executeBound.
    TextRows selectTexts(const QString& sql, const QStringList& values);

    // Bound statements that return no rows (writes), in order, until the engine refuses one: those
    // before it stay, the refused one leaves nothing, those after it are not sent. Returns how many went
    // in; the refusal goes to `refusal`. A failure that ends the transaction throws TransactionLost. On a
    // server inside a transaction they go together in one round trip, each under its own savepoint, so
    // a bulk writer pays one exchange for several blocks of rows.
    int executeSeries(const QList<BoundStatement>& statements, std::optional<DbError>& refusal);

    // Sends one SELECT and hands each row to `each` as it is read, none of them kept: for a listing of
    // every telephone. Other statements may be sent from `each`.
    void forEachRow(const QString& sql, const std::function<void(const QVariantList&)>& each);

    // The rows the last statement sent by execute() or executeBound() inserted, changed or deleted; 0
    // after a SELECT. A writer checks that its UPDATE or DELETE found the rows it meant.
    int changedRows() const { return m_changed; }

    // Column catalogue of one table (COLUMN_NAME, ORDINAL_POSITION, DESCRIPTION, DATA_TYPE with the
    // ADO codes, CHARACTER_MAXIMUM_LENGTH: the declared width of a text column such as nvarchar(50),
    // null without one), optionally restricted to one column. Names come back upper-case.
    Recordset columns(const QString& table, const QString& column = {});
    // Primary-key catalogue of one table (COLUMN_NAME, ORDINAL).
    Recordset primaryKeys(const QString& table);
    // The columns of a table that belong to one of its foreign keys, upper-case.
    QStringList foreignKeyColumns(const QString& table);

    // A run that only reads (a generation, a dry run, a survey, an export) reads one state of the
    // database from its first statement to its last: a change another operator commits meanwhile is
    // wholly in or wholly out of what it reads. Within a write transaction or another snapshot, a
    // snapshot reads theirs; no write transaction may begin while one is open on the connection.
    // Statements in it run without the server's savepoint each: a refused one ends the run.
    void beginSnapshot();
    void endSnapshot();
    bool inSnapshot() const { return m_snapshots > 0; }
    // On SQLite: the data version of the file as this connection's last statement read it, which
    // every change committed to it moves, read without a statement. Nothing on a server.
    std::optional<quint32> fileDataVersion();

    // A write transaction. On SQLite it takes the write lock at once, waiting for another writer up
    // to the statement time-out: a transaction that first read and then wanted to write would be
    // refused at once ("database is locked") when another connection wrote meanwhile.
    void begin();
    // A commit the engine refuses leaves nothing of the transaction and throws TransactionLost.
    void commit();
    void rollback();
    // Inside a write transaction: holds off every other writer that asks for the same name (a table and
    // a company, say) until this transaction ends, for rows no row lock can take because they do not
    // exist yet. Nothing to do on SQLite, whose write transaction keeps every other writer out.
    void lockName(const QString& name);
    // True while the transaction begun with begin() is still open on the engine. An engine ends it by
    // itself on some failures (SQLite on a full disk or an I/O error, the server when the session is
    // lost); a statement that fails then throws TransactionLost, as does every later one until
    // rollback(), so nothing is written outside the transaction the caller believes it is in.
    bool transactionHeld();

    // Exchanges with the engine so far: statements, preparations, savepoints, transaction control. On a
    // server each is one round trip, which is what a bulk writer over a network pays for; commands
    // sent together in one pipeline count once.
    quint64 exchanges() const { return m_exchanges; }

    // Named points inside runs, where a test acts at a known moment: another connection commits a
    // change, or tries to write what the run holds, between the run's reading and its writing. Without
    // a hook, reaching a point does nothing. The points:
    //   record.save         the editor (or config) saves a record it checked; no transaction yet
    //   record.read         the save has read and holds the record; its statement is not sent yet
    //   telephone.done      a generation, dry run or fleet survey is done with one telephone
    //   request.found       the server has found the telephone a request names by its MAC
    //   import.checked      a telephone import has checked its file under its lock; nothing written
    //   ranges.read         a range run has read and holds the company's codes; nothing written
    //   phonebook.read      a phone-book import has read and holds the company's entries
    //   history.created     the first change recorded has created the history table, not committed
    //   counting.created    a starting server has set up the change count, not committed
    //   transaction.begun   a write transaction has just begun (on SQLite it holds the write lock)
    //   upgrade.step        a step of the schema upgrade has run; the version is not stamped yet
    //   fetches.read        the server's recorder has read which telephones have the MACs it writes
    //   rename.read         a rename has checked and holds the row it renames; nothing written
    //   rename.written      a rename has changed every row it changes, not committed yet
    using InterleavingHook = std::function<void(QStringView point)>;
    void setInterleavingHook(InterleavingHook hook) { m_hook = std::move(hook); }
    void reached(QStringView point)
    {
        if (m_hook)
            m_hook(point);
    }

private:
    // On the server a refused statement would abort the whole open transaction; a savepoint around
    // each statement inside a transaction undoes only that statement, as SQLite does, so a caller
    // that catches the refusal can go on.
    class StatementGuard final
    {
    public:
        explicit StatementGuard(Database& db);
        // The caller sends the savepoint itself, first in a pipeline, when active() says one is due.
        enum Pipelined { InPipeline };
        StatementGuard(Database& db, Pipelined);
        bool active() const { return m_active; }
        // The pipeline released the savepoint.
        void released() { m_active = false; }
        ~StatementGuard();
        Q_DISABLE_COPY_MOVE(StatementGuard)
        [[noreturn]] void fail(const QSqlError& error);
        void release();

    private:
        void undo();
        Database& m_db;
        bool m_active;
    };

    // All the rows of a statement sent; a failure after the first rows fails the statement.
    Recordset fetch(QSqlQuery& query, StatementGuard& guard);
    // A bound statement that returns no rows, straight through the SQLite library; false when the
    // statement is not one (it then goes through the driver).
    bool executeDirect(const QString& sql, const QVariantList& values);
    // A bound statement on the server straight through its client library: prepared there once, then
    // each call sends the values alone and reads all rows in one result. Nothing when the statement or
    // a value is one the driver converts in its own way (it then goes through the driver).
    std::optional<Recordset> executeOnServer(const QString& sql, const QVariantList& values);
    [[noreturn]] void refuseOnServer(pg_conn* connection, pg_result* result, StatementGuard& guard);
    std::optional<TextRows> selectTextsDirect(const QString& sql, const QStringList& values);
    std::optional<TextRows> selectTextsOnServer(const QString& sql, const QStringList& values);
    // One command of a pipeline to the server: a query with its parameters, the preparation of a
    // named statement or its description, or the execution of one with its parameters.
    struct ServerCommand
    {
        enum Kind { Query, Prepare, Describe, Execute } kind = Query;
        QByteArray text; // the query, or the statement that Prepare names
        QByteArray name; // of the prepared statement
        QList<QByteArray> values;
        QList<bool> nulls;
    };
    // Sends the commands and a sync in one exchange and reads every answer: results[i] is command i's
    // result (nullptr when the server skipped it after a refusal), for the caller to clear. Returns the
    // index of the refused command, or -1. False in `sent` when the connection cannot take a pipeline.
    int pipeline(pg_conn* connection, const std::vector<ServerCommand>& commands, std::vector<pg_result*>& results,
                 bool& sent);
    void dropPrepared();
    bool engineHoldsTransaction();
    bool isEngineFailure(const QSqlError& error) const;
    // Another session kept the statement from finishing: a lock or statement time-out, a deadlock, a
    // serialization failure.
    bool isContention(const QSqlError& error) const;
    QString storedTableSql(const QString& table);
    QStringList storedIndexSql(const QString& table);
    void sendPlain(const QString& sql);
    void checkUsable() const;
    // The engine's text of an error; marks a server session that ended as lost.
    QString describe(const QSqlError& error);
    [[noreturn]] void fail(const QSqlError& error);
    [[noreturn]] void endTransaction(const QString& reason);

    QString m_name;
    QSqlDatabase m_db;
    Engine m_engine = Engine::SQLite;
    bool m_inTransaction = false;
    bool m_lost = false; // the server ended the session
    QString m_ended;     // why the engine ended the open transaction; empty while it holds it
    int m_boundMs = kStatementTimeoutSeconds * 1000;
    QHash<QString, QSqlQuery> m_prepared;
    QHash<QString, sqlite3_stmt*> m_direct;
    QHash<QString, sqlite3_stmt*> m_directReads; // selectTexts' statements; nullptr: one the library path does not take
    // A statement prepared on the server under its own name, with its columns' names and the types
    // their values are read as; unusable when a column has a type read otherwise.
    struct ServerStatement
    {
        QByteArray name;
        bool usable = false;
        QStringList columns;
        QList<int> types; // QMetaType ids
    };
    QHash<QString, ServerStatement> m_onServer;
    QHash<QString, ServerStatement>::const_iterator prepareOnServer(pg_conn* connection, const QString& sql,
                                                                    StatementGuard& guard);
    quint64 m_serverSerial = 0;
    QByteArray m_texts; // the texts of a direct statement, as it binds them
    quint64 m_exchanges = 0;
    int m_changed = 0;
    int m_snapshots = 0;        // snapshots open, nested ones included
    bool m_snapshotOwn = false; // the outermost one began a transaction of its own
    InterleavingHook m_hook;
};

// Rolls back unless committed: a failing step leaves the database as it was.
class Transaction final
{
public:
    explicit Transaction(Database& db) : m_db(db) { m_db.begin(); }
    ~Transaction()
    {
        if (!m_done) {
            try {
                m_db.rollback();
            } catch (const DbError&) {
            }
        }
    }
    void commit()
    {
        m_db.commit();
        m_done = true;
    }
    Q_DISABLE_COPY_MOVE(Transaction)

private:
    Database& m_db;
    bool m_done = false;
};

// The name (Database::lockName) that every bulk run of a company's rows holds: range generation, the
// phone-book and telephone imports, a rename of the company.
inline QString companyWriters(const QString& company)
{
    return QStringLiteral("company ") + company;
}

// A run's read snapshot (Database::beginSnapshot), ended when the run ends however it ends.
class ReadSnapshot final
{
public:
    explicit ReadSnapshot(Database& db) : m_db(db) { m_db.beginSnapshot(); }
    ~ReadSnapshot() { m_db.endSnapshot(); }
    Q_DISABLE_COPY_MOVE(ReadSnapshot)

private:
    Database& m_db;
};

// ADO data-type codes the catalogue reports.
namespace AdoType {
constexpr int Double = 5;
constexpr int Integer = 3;
constexpr int Char = 129;
constexpr int WChar = 130;
constexpr int Timestamp = 135;
} // namespace AdoType

} // namespace vocaset
