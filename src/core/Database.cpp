#include "Database.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

#include <fcntl.h>
#include <libpq-fe.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlRecord>
#include <QStringEncoder>
#include <QVarLengthArray>

#include "Sql.h"

namespace vocaset {
namespace {

sqlite3* sqliteHandle(const QSqlDatabase& db)
{
    const QVariant handle = db.driver()->handle();
    return qstrcmp(handle.typeName(), "sqlite3*") == 0 ? *static_cast<sqlite3* const*>(handle.constData()) : nullptr;
}

// A new database file is made readable by its owner only, whatever the umask, before the engine
// writes its first page: it will hold every password. The engine gives its -wal and -shm files the
// mode of the database. True when the file was made here.
bool createPrivately(const QString& file)
{
    if (file == u":memory:" || file.startsWith(QLatin1String("file:")))
        return false;
    const int fd = ::open(QFile::encodeName(file).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW,
                          S_IRUSR | S_IWUSR);
    if (fd < 0)
        return false; // it exists, or the engine says why it cannot be made
    ::fchmod(fd, S_IRUSR | S_IWUSR);
    ::close(fd);
    return true;
}

} // namespace

ConnectionString::ConnectionString(const QString& text)
{
    for (const QString& part : text.split(u';', Qt::SkipEmptyParts)) {
        const qsizetype eq = part.indexOf(u'=');
        if (eq < 0)
            continue;
        m_values.insert(part.left(eq).trimmed().toLower(), part.mid(eq + 1).trimmed());
    }
}

QString ConnectionString::masked(const QString& text)
{
    QStringList parts = text.split(u';');
    for (QString& part : parts) {
        const qsizetype eq = part.indexOf(u'=');
        if (eq >= 0) {
            const QString key = part.left(eq).trimmed().toLower();
            if (key == u"password" || key == u"pwd")
                part = part.left(eq + 1) + QStringLiteral("****");
        }
    }
    return parts.join(u';');
}

Database::Database()
{
    static std::atomic<int> serial{0};
    m_name = QStringLiteral("vocaset-") + QString::number(++serial);
}

Database::~Database()
{
    close();
}

void Database::open(const QString& connectionString, Access access)
{
    close();
    const ConnectionString cs(connectionString);
    const QString provider = cs.value(QStringLiteral("Provider")).toLower();
    QString created; // a new file made here, removed again when the engine cannot open it
    if (provider == u"sqlite") {
        // The library counts the memory it holds under one lock that every allocation of every
        // connection takes: the server's threads would wait on each other for it. Nothing reads the
        // counts. Set once, before the library starts with the first connection.
        static const int kNoMemoryCounts = sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
        Q_UNUSED(kNoMemoryCounts);
        m_engine = Engine::SQLite;
        m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        QString file = cs.value(QStringLiteral("Data Source"));
        if (file.isEmpty())
            file = cs.value(QStringLiteral("Database"));
        if (file.isEmpty())
            throw DbError(QStringLiteral("the connection string names no Data Source"));
        // The engine would take the name up to the NUL and open (or create) another file.
        if (file.contains(QChar(u'\0')))
            throw DbError(QStringLiteral("the Data Source holds a NUL character"));
        if (access == Access::Existing && !QFileInfo(file).isFile())
            throw DbError(file + QStringLiteral(": no such database file"));
        if (access == Access::ReadWrite && createPrivately(file))
            created = file;
        m_db.setDatabaseName(file);
        // Read-only: a missing file is not created, and the file's bytes never change.
        m_db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=") + QString::number(m_boundMs) +
                               (access == Access::ReadOnly ? QStringLiteral(";QSQLITE_OPEN_READONLY") : QString()));
    } else if (provider == u"postgresql" || provider == u"postgres") {
        m_engine = Engine::PostgreSQL;
        m_db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), m_name);
        m_db.setHostName(cs.value(QStringLiteral("Host")));
        if (cs.has(QStringLiteral("Port")))
            m_db.setPort(cs.value(QStringLiteral("Port")).toInt());
        m_db.setDatabaseName(cs.value(QStringLiteral("Database")));
        m_db.setUserName(cs.value(QStringLiteral("User ID")));
        m_db.setPassword(cs.value(QStringLiteral("Password")));
        const int connectSeconds = std::clamp((m_boundMs + 999) / 1000, 2, kConnectTimeoutSeconds);
        m_db.setConnectOptions(QStringLiteral("connect_timeout=") + QString::number(connectSeconds) +
                               QStringLiteral(";application_name=vocaset"));
    } else {
        throw DbError(QStringLiteral("unknown provider '") + cs.value(QStringLiteral("Provider")) + u'\'');
    }
    if (!m_db.open()) {
        const QSqlError error = m_db.lastError();
        close();
        if (!created.isEmpty())
            QFile::remove(created);
        fail(error);
    }
    if (m_engine == Engine::SQLite) {
        // The schema's cascades and refusals depend on foreign keys; LIKE compares case-sensitively
        // as on the server engine.
        // A read-only source keeps its journal mode: switching it to WAL would rewrite its header.
        QStringList pragmas = {QStringLiteral("PRAGMA foreign_keys = ON"),
                               QStringLiteral("PRAGMA case_sensitive_like = ON")};
        // A new file takes 16 KiB pages, before the journal mode writes its header; an existing one keeps
        // its own. A bulk run writes each page twice, to the log and then to the file, with a system call
        // or two per page each time: larger pages make those four times fewer. Its pages stay in memory
        // until it commits, up to 32 MiB taken only as pages are used, rather than going to the log
        // mid-run and being read back from there.
        if (access != Access::ReadOnly)
            pragmas << QStringLiteral("PRAGMA page_size = 16384") << QStringLiteral("PRAGMA journal_mode = WAL")
                    << QStringLiteral("PRAGMA synchronous = NORMAL") << QStringLiteral("PRAGMA cache_size = -32768");
        for (const QString& pragma : pragmas) {
            QSqlQuery q(m_db);
            if (!q.exec(pragma)) {
                const QSqlError error = q.lastError();
                close();
                fail(error);
            }
        }
        sqlite3* handle = sqliteHandle(m_db);
        if (!handle || !Dialect::addSqliteFunctions(handle)) {
            close();
            throw DbError(QStringLiteral("the SQLite library refused the functions the program adds"));
        }
    } else {
        // Session settings, so they hold across transactions: the statement time-out, literals that
        // keep a backslash as typed (folder names) whatever the server's default, and no notices
        // (such as "already exists, skipping") printed by the client library on standard error.
        QStringList settings = {QStringLiteral("SET statement_timeout = ") + QString::number(m_boundMs),
                                QStringLiteral("SET standard_conforming_strings = on"),
                                QStringLiteral("SET client_min_messages = warning")};
        if (access == Access::ReadOnly)
            settings << QStringLiteral("SET default_transaction_read_only = on");
        for (const QString& setting : settings) {
            QSqlQuery q(m_db);
            if (!q.exec(setting)) {
                const QSqlError error = q.lastError();
                close();
                fail(error);
            }
        }
    }
}

void Database::dropPrepared()
{
    m_prepared.clear();
    m_onServer.clear();
    for (sqlite3_stmt* statement : std::as_const(m_direct))
        sqlite3_finalize(statement);
    m_direct.clear();
    for (sqlite3_stmt* statement : std::as_const(m_directReads))
        sqlite3_finalize(statement);
    m_directReads.clear();
}

void Database::close()
{
    dropPrepared();
    m_inTransaction = false;
    m_snapshots = 0;
    m_snapshotOwn = false;
    m_lost = false;
    m_ended.clear();
    if (m_db.isValid()) {
        m_db.close();
        m_db = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_name);
    }
}

bool Database::isOpen() const
{
    return m_db.isValid() && m_db.isOpen() && !m_lost;
}

QString Database::describe(const QSqlError& error)
{
    QString text = error.databaseText().trimmed();
    if (m_engine == Engine::PostgreSQL) {
        // The driver appends the SQLSTATE code in parentheses; the server's own text ends before it.
        static const QRegularExpression sqlState(QStringLiteral("\\s*\\([0-9A-Z]{5}\\)$"));
        text.remove(sqlState);
        // A session the server ended (stopped, restarted, or the session killed): connection errors
        // (class 08), operator intervention (57P..), or a connection the driver already closed. Say
        // so, and treat the connection as closed, since every later statement on it fails as well.
        const QString code = error.nativeErrorCode();
        if (m_db.isValid() &&
            (!m_db.isOpen() || m_lost || code.startsWith(QLatin1String("08")) ||
             code.startsWith(QLatin1String("57P")) || text.contains(QLatin1String("server closed the connection")) ||
             text.contains(QLatin1String("no connection to the server")))) {
            m_lost = true;
            text = QStringLiteral("The connection to the database server was lost: ") + text;
        }
    }
    if (text.isEmpty())
        text = error.text().trimmed();
    if (text.isEmpty())
        text = QStringLiteral("database error");
    return text;
}

void Database::fail(const QSqlError& error)
{
    const QString text = describe(error);
    // Inside a transaction, a failure of the engine itself, or a refusal that says nothing about the
    // statement (another session's lock, a time-out), ends it: whatever the engine still holds of it
    // is rolled back, and the caller is told. Sent again row by row, the statement would wait as
    // long once per row and leave a transaction that holds only some of its rows.
    if (m_inTransaction && (m_lost || isEngineFailure(error) || isContention(error) || !engineHoldsTransaction()))
        endTransaction(text);
    throw DbError(text, error.nativeErrorCode());
}

void Database::endTransaction(const QString& reason)
{
    m_ended = reason;
    dropPrepared();
    if (engineHoldsTransaction())
        m_db.rollback();
    throw TransactionLost(reason);
}

namespace {

PGconn* serverHandle(const QSqlDatabase& db)
{
    const QVariant handle = db.driver()->handle();
    // The driver registers the handle under the structure's own name.
    if (qstrcmp(handle.typeName(), "pg_conn*") != 0 && qstrcmp(handle.typeName(), "PGconn*") != 0)
        return nullptr;
    return *static_cast<PGconn* const*>(handle.constData());
}

} // namespace

bool Database::engineHoldsTransaction()
{
    if (!m_db.isValid() || !m_db.isOpen() || m_lost)
        return false;
    const QVariant handle = m_db.driver()->handle();
    if (m_engine == Engine::SQLite) {
        if (qstrcmp(handle.typeName(), "sqlite3*") != 0)
            return m_inTransaction;
        sqlite3* db = *static_cast<sqlite3* const*>(handle.constData());
        return db && sqlite3_get_autocommit(db) == 0;
    }
    PGconn* connection = serverHandle(m_db);
    if (!connection)
        return m_inTransaction;
    // An aborted transaction (a failed statement whose savepoint could not be rolled back to) holds
    // nothing that can still be committed.
    const PGTransactionStatusType status = PQtransactionStatus(connection);
    return status == PQTRANS_INTRANS || status == PQTRANS_ACTIVE;
}

bool Database::isEngineFailure(const QSqlError& error) const
{
    const QString code = error.nativeErrorCode();
    if (m_engine == Engine::PostgreSQL) {
        // Insufficient resources (a full disk), system errors (I/O), internal errors (corruption).
        return code.startsWith(QLatin1String("53")) || code.startsWith(QLatin1String("58")) ||
               code.startsWith(QLatin1String("XX"));
    }
    bool ok = false;
    const int primary = code.toInt(&ok) & 0xff;
    return ok && (primary == SQLITE_NOMEM || primary == SQLITE_IOERR || primary == SQLITE_CORRUPT ||
                  primary == SQLITE_FULL || primary == SQLITE_CANTOPEN || primary == SQLITE_NOTADB);
}

bool Database::isContention(const QSqlError& error) const
{
    const QString code = error.nativeErrorCode();
    if (m_engine == Engine::PostgreSQL) {
        // A lock or statement time-out, a deadlock, a serialization failure.
        return code == u"55P03" || code == u"57014" || code == u"40P01" || code == u"40001";
    }
    bool ok = false;
    const int primary = code.toInt(&ok) & 0xff;
    return ok && (primary == SQLITE_BUSY || primary == SQLITE_LOCKED || primary == SQLITE_INTERRUPT);
}

bool Database::transactionHeld()
{
    return m_inTransaction && m_ended.isEmpty() && engineHoldsTransaction();
}

void Database::checkUsable() const
{
    if (!m_ended.isEmpty())
        throw TransactionLost(m_ended);
    if (!isOpen())
        throw DbError(QStringLiteral("the database is not open"));
}

Recordset Database::fetch(QSqlQuery& query, StatementGuard& guard)
{
    if (!query.isSelect())
        return {};
    const QSqlRecord rec = query.record();
    QStringList names;
    for (int i = 0; i < rec.count(); ++i)
        names.append(m_engine == Engine::PostgreSQL ? rec.fieldName(i).toUpper() : rec.fieldName(i));
    QList<QVariantList> rows;
    while (query.next()) {
        QVariantList row;
        row.reserve(rec.count());
        for (int i = 0; i < rec.count(); ++i)
            row.append(query.value(i));
        rows.append(std::move(row));
    }
    // The server sends a result row by row and may refuse the statement after its first rows (a row
    // lock waited for too long): what came so far is no answer.
    if (query.lastError().type() != QSqlError::NoError)
        guard.fail(query.lastError());
    return Recordset(std::move(names), std::move(rows));
}

QString Database::storedTableSql(const QString& table)
{
    QSqlQuery q(m_db);
    q.prepare(QStringLiteral("SELECT sql FROM sqlite_master WHERE type = 'table' AND name = ? COLLATE NOCASE"));
    q.addBindValue(table);
    if (!q.exec())
        fail(q.lastError());
    return q.next() ? q.value(0).toString() : QString();
}

QStringList Database::storedIndexSql(const QString& table)
{
    // Indexes the engine makes for keys have no text: the rebuilt table makes them itself.
    QSqlQuery q(m_db);
    q.prepare(QStringLiteral(
        "SELECT sql FROM sqlite_master WHERE type = 'index' AND tbl_name = ? COLLATE NOCASE AND sql IS NOT NULL"));
    q.addBindValue(table);
    if (!q.exec())
        fail(q.lastError());
    QStringList statements;
    while (q.next())
        statements.append(q.value(0).toString());
    return statements;
}

Recordset Database::execute(const QString& sql)
{
    checkUsable();
    const QStringList statements = Dialect::translate(
        sql, m_engine, [this](const QString& table) { return storedTableSql(table); },
        [this](const QString& table) { return storedIndexSql(table); });
    StatementGuard guard(*this);
    Recordset result;
    for (const QString& statement : statements) {
        QSqlQuery query(m_db);
        query.setForwardOnly(true);
        ++m_exchanges;
        if (!query.exec(statement))
            guard.fail(query.lastError());
        m_changed = query.isSelect() ? 0 : std::max(0, query.numRowsAffected());
        result = fetch(query, guard);
    }
    guard.release();
    return result;
}

void Database::forEachRow(const QString& sql, const std::function<void(const QVariantList&)>& each)
{
    checkUsable();
    // The server's client library reads a whole result at once, and a statement sent from `each`
    // could not be sent while a result were pending: in a transaction a cursor gives the rows in
    // blocks, outside one they all come as one result.
    if (m_engine == Engine::PostgreSQL) {
        if (!m_inTransaction && m_snapshots == 0) {
            const Recordset all = execute(sql);
            for (const QVariantList& row : all.rows())
                each(row);
            return;
        }
        execute(QStringLiteral("DECLARE vocaset_rows NO SCROLL CURSOR FOR ") + sql);
        try {
            for (;;) {
                const Recordset block = execute(QStringLiteral("FETCH 1000 FROM vocaset_rows"));
                for (const QVariantList& row : block.rows())
                    each(row);
                if (block.count() < 1000)
                    break;
            }
        } catch (...) {
            // Stopped by `each` or a refused statement: the transaction goes on without the cursor.
            try {
                execute(QStringLiteral("CLOSE vocaset_rows"));
            } catch (const DbError&) {
            }
            throw;
        }
        execute(QStringLiteral("CLOSE vocaset_rows"));
        return;
    }
    const QStringList statements = Dialect::translate(
        sql, m_engine, [this](const QString& table) { return storedTableSql(table); },
        [this](const QString& table) { return storedIndexSql(table); });
    StatementGuard guard(*this);
    QSqlQuery query(m_db);
    query.setForwardOnly(true);
    ++m_exchanges;
    if (!query.exec(statements.value(0)))
        guard.fail(query.lastError());
    m_changed = 0;
    const int columns = query.record().count();
    QVariantList row;
    while (query.next()) {
        row.clear();
        for (int i = 0; i < columns; ++i)
            row.append(query.value(i));
        each(row);
    }
    if (query.lastError().type() != QSqlError::NoError)
        guard.fail(query.lastError());
    guard.release();
}

namespace {

// Binds the values as the driver would; false for a type it converts in its own way. Texts go in
// as UTF-8, the database's own encoding, converted here into one buffer rather than one by one by
// the library; the buffer outlives the step.
bool bindDirect(sqlite3_stmt* statement, const QVariantList& values, QByteArray& buffer)
{
    QStringEncoder utf8(QStringEncoder::Utf8, QStringConverter::Flag::Stateless);
    qsizetype space = 0;
    for (const QVariant& v : values)
        if (v.typeId() == QMetaType::QString)
            space += utf8.requiredSpace(static_cast<const QString*>(v.constData())->size());
    if (buffer.size() < space)
        buffer.resize(space);
    char* out = buffer.data();
    for (int i = 0; i < values.size(); ++i) {
        const QVariant& v = values[i];
        int rc = SQLITE_OK;
        // A null of any type is NULL, as the driver binds it, not the type's zero.
        switch (v.isNull() ? QMetaType::UnknownType : v.typeId()) {
        case QMetaType::QString: {
            const auto* text = static_cast<const QString*>(v.constData());
            if (text->isNull()) {
                rc = sqlite3_bind_null(statement, i + 1);
                break;
            }
            char* const start = out;
            out = utf8.appendToBuffer(out, *text);
            rc = sqlite3_bind_text(statement, i + 1, start, int(out - start), SQLITE_STATIC);
            break;
        }
        case QMetaType::Int:
        case QMetaType::Bool:
        case QMetaType::UInt:
        case QMetaType::LongLong:
            rc = sqlite3_bind_int64(statement, i + 1, v.toLongLong());
            break;
        case QMetaType::Double:
            rc = sqlite3_bind_double(statement, i + 1, v.toDouble());
            break;
        case QMetaType::QByteArray: {
            const auto* bytes = static_cast<const QByteArray*>(v.constData());
            rc = bytes->isNull()
                     ? sqlite3_bind_null(statement, i + 1)
                     : sqlite3_bind_blob(statement, i + 1, bytes->constData(), int(bytes->size()), SQLITE_STATIC);
            break;
        }
        default:
            if (!v.isNull())
                return false;
            rc = sqlite3_bind_null(statement, i + 1);
        }
        if (rc != SQLITE_OK)
            return false;
    }
    return true;
}

} // namespace

// The driver's binding costs more than the statement itself for a block of a few hundred rows:
// every value is filed under a generated name before it is bound.
bool Database::executeDirect(const QString& sql, const QVariantList& values)
{
    sqlite3* db = sqliteHandle(m_db);
    if (!db || m_prepared.contains(sql))
        return false;
    auto it = m_direct.find(sql);
    if (it == m_direct.end()) {
        const QStringList statements = Dialect::translate(sql, m_engine);
        if (statements.size() != 1)
            return false;
        sqlite3_stmt* statement = nullptr;
        const QString& text = statements.first();
        if (sqlite3_prepare16_v2(db, text.utf16(), int(text.size() * 2), &statement, nullptr) != SQLITE_OK ||
            !statement || sqlite3_column_count(statement) != 0 ||
            sqlite3_bind_parameter_count(statement) != values.size()) {
            sqlite3_finalize(statement);
            return false;
        }
        ++m_exchanges;
        it = m_direct.insert(sql, statement);
    }
    sqlite3_stmt* statement = it.value();
    if (!bindDirect(statement, values, m_texts)) {
        sqlite3_clear_bindings(statement);
        return false;
    }
    ++m_exchanges;
    const int rc = sqlite3_step(statement);
    if (rc == SQLITE_DONE || rc == SQLITE_ROW) {
        m_changed = sqlite3_changes(db);
        sqlite3_reset(statement);
        sqlite3_clear_bindings(statement);
        return true;
    }
    // The driver's own error for a failed step, so callers see the same text and code.
    const QSqlError error(QStringLiteral("Unable to fetch row"),
                          QString(reinterpret_cast<const QChar*>(sqlite3_errmsg16(db))), QSqlError::ConnectionError,
                          QString::number(sqlite3_extended_errcode(db)));
    sqlite3_reset(statement);
    sqlite3_clear_bindings(statement);
    StatementGuard(*this).fail(error);
}

namespace {

// The type a column's values are read as, as the driver reads them; none for a type it reads in a
// way of its own (dates and times, bytes, exact numbers), whose statements go through the driver.
std::optional<int> metaTypeOfServerType(Oid type)
{
    switch (type) {
    case 16: // bool
        return QMetaType::Bool;
    case 20: // int8: read as the driver does, unsigned unless negative
        return QMetaType::LongLong;
    case 21: // int2
    case 23: // int4
    case 26: // oid
        return QMetaType::Int;
    case 700: // float4
    case 701: // float8
        return QMetaType::Double;
    case 18:   // char
    case 19:   // name
    case 25:   // text
    case 1042: // bpchar
    case 1043: // varchar
        return QMetaType::QString;
    default:
        return std::nullopt;
    }
}

QVariant serverValue(const char* text, int type)
{
    switch (type) {
    case QMetaType::Bool:
        return QVariant(text[0] == 't');
    case QMetaType::LongLong: {
        const QByteArray digits = QByteArray::fromRawData(text, qsizetype(qstrlen(text)));
        return text[0] == '-' ? QVariant(digits.toLongLong()) : QVariant(digits.toULongLong());
    }
    case QMetaType::Int:
        return QVariant(int(std::strtol(text, nullptr, 10)));
    case QMetaType::Double:
        return QVariant(std::strtod(text, nullptr));
    default:
        return QVariant(QString::fromUtf8(text));
    }
}

} // namespace

namespace {

// The values as the server takes them: texts as UTF-8, the session's encoding; numbers in decimal.
// False for a value the driver writes in its own way (the statement then goes through the driver).
bool serverParameters(const QVariantList& values, QList<QByteArray>& texts, QList<bool>& nulls)
{
    texts.resize(values.size());
    nulls.resize(values.size());
    for (qsizetype i = 0; i < values.size(); ++i) {
        const QVariant& v = values[i];
        nulls[i] = false;
        switch (v.isNull() ? QMetaType::UnknownType : v.typeId()) {
        case QMetaType::QString: {
            const auto* text = static_cast<const QString*>(v.constData());
            texts[i] = text->toUtf8();
            nulls[i] = text->isNull();
            break;
        }
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::LongLong:
        case QMetaType::ULongLong:
            texts[i] = v.toByteArray();
            break;
        default:
            if (!v.isNull())
                return false;
            nulls[i] = true;
        }
    }
    return true;
}

// The driver's own error for a refused request, so callers see the same text and code.
QSqlError serverError(PGconn* connection, const PGresult* result)
{
    QString code = result ? QString::fromLatin1(PQresultErrorField(result, PG_DIAG_SQLSTATE)) : QString();
    if (code.isEmpty() && PQstatus(connection) == CONNECTION_BAD)
        code = QStringLiteral("08006");
    const char* message = result ? PQresultErrorMessage(result) : "";
    if (!message || !*message)
        message = PQerrorMessage(connection);
    return QSqlError(QStringLiteral("QPSQL: Unable to execute statement"),
                     QString::fromUtf8(message) + u'(' + code + u')', QSqlError::StatementError, code);
}

bool answered(const PGresult* result)
{
    const ExecStatusType status = PQresultStatus(result);
    return result && (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK);
}

void clearAll(std::vector<PGresult*>& results)
{
    for (PGresult*& r : results) {
        PQclear(r);
        r = nullptr;
    }
}

// A prepared statement's columns and their types, as its description gives them; usable only when
// the library path reads every column's type.
template <typename Statement>
void takeDescription(Statement& s, const PGresult* described)
{
    s.usable = true;
    for (int i = 0; i < PQnfields(described); ++i) {
        const std::optional<int> type = metaTypeOfServerType(PQftype(described, i));
        s.usable = s.usable && type.has_value();
        s.columns.append(QString::fromUtf8(PQfname(described, i)).toUpper());
        s.types.append(type.value_or(QMetaType::QString));
    }
}

} // namespace

int Database::pipeline(PGconn* connection, const std::vector<ServerCommand>& commands, std::vector<PGresult*>& results,
                       bool& sent)
{
    results.assign(commands.size(), nullptr);
    sent = PQenterPipelineMode(connection) == 1;
    if (!sent)
        return -1;
    ++m_exchanges;
    bool queued = true;
    for (const ServerCommand& c : commands) {
        QVarLengthArray<const char*, 16> params(c.values.size());
        for (qsizetype i = 0; i < c.values.size(); ++i)
            params[i] = c.nulls[i] ? nullptr : c.values[i].constData();
        const int n = int(params.size());
        switch (c.kind) {
        case ServerCommand::Query:
            queued = PQsendQueryParams(connection, c.text.constData(), n, nullptr, params.constData(), nullptr, nullptr,
                                       0) == 1;
            break;
        case ServerCommand::Prepare:
            queued = PQsendPrepare(connection, c.name.constData(), c.text.constData(), 0, nullptr) == 1;
            break;
        case ServerCommand::Describe:
            queued = PQsendDescribePrepared(connection, c.name.constData()) == 1;
            break;
        case ServerCommand::Execute:
            queued =
                PQsendQueryPrepared(connection, c.name.constData(), n, params.constData(), nullptr, nullptr, 0) == 1;
            break;
        }
        if (!queued)
            break;
    }
    queued = queued && PQpipelineSync(connection) == 1;
    // Each command's answer ends with a null result; the sync's answer ends the exchange. After a
    // refusal the server skips the commands up to the sync.
    int refused = -1;
    size_t at = 0;
    for (;;) {
        PGresult* r = PQgetResult(connection);
        if (!r) {
            if (++at > commands.size() || PQstatus(connection) == CONNECTION_BAD)
                break;
            continue;
        }
        const ExecStatusType status = PQresultStatus(r);
        if (status == PGRES_PIPELINE_SYNC) {
            PQclear(r);
            break;
        }
        // The client library keeps the driver's single-row mode for the first command of a pipeline:
        // its rows then come one result each, gathered here into one result of all of them.
        if (at < commands.size() && status == PGRES_SINGLE_TUPLE) {
            if (!results[at]) {
                results[at] = PQcopyResult(r, PG_COPYRES_ATTRS | PG_COPYRES_TUPLES);
            } else {
                const int row = PQntuples(results[at]);
                for (int c = 0; c < PQnfields(r); ++c)
                    PQsetvalue(results[at], row, c, PQgetisnull(r, 0, c) ? nullptr : PQgetvalue(r, 0, c),
                               PQgetisnull(r, 0, c) ? -1 : PQgetlength(r, 0, c));
            }
            PQclear(r);
            continue;
        }
        if (at < commands.size() && !results[at] && status != PGRES_PIPELINE_ABORTED) {
            results[at] = r;
            if (refused < 0 && !answered(r))
                refused = int(at);
        } else {
            PQclear(r);
        }
    }
    PQexitPipelineMode(connection);
    if (refused < 0 && (!queued || PQstatus(connection) == CONNECTION_BAD)) {
        const auto missing = std::find(results.begin(), results.end(), nullptr);
        refused = int(missing == results.end() ? 0 : missing - results.begin());
    }
    return refused;
}

std::optional<Recordset> Database::executeOnServer(const QString& sql, const QVariantList& values)
{
    PGconn* connection = serverHandle(m_db);
    if (!connection || m_prepared.contains(sql))
        return std::nullopt;
    auto it = m_onServer.constFind(sql);
    if (it != m_onServer.cend() && !it->usable)
        return std::nullopt;
    ServerCommand execute{ServerCommand::Execute, {}, {}, {}, {}};
    if (!serverParameters(values, execute.values, execute.nulls))
        return std::nullopt;
    QString text;
    if (it == m_onServer.cend()) {
        const QStringList statements = Dialect::translate(sql, m_engine);
        if (statements.size() != 1)
            throw DbError(QStringLiteral("a bound statement must translate to one statement: ") + sql);
        text = Dialect::numberedParameters(statements.first());
    }
    // The savepoint, the statement and the release go in one exchange; a new statement is prepared
    // and described first, in an exchange of its own, since its columns say how its rows are read.
    StatementGuard guard(*this, StatementGuard::InPipeline);
    std::vector<ServerCommand> commands;
    if (guard.active())
        commands.push_back({ServerCommand::Query, "SAVEPOINT vocaset_statement", {}, {}, {}});
    std::vector<PGresult*> results;
    bool sent = false;
    const auto refuse = [&](int at) {
        const QSqlError error = serverError(connection, results[size_t(at)]);
        clearAll(results);
        guard.fail(error);
    };
    if (it == m_onServer.cend()) {
        ServerStatement s;
        s.name = "vocaset_" + QByteArray::number(++m_serverSerial);
        commands.push_back({ServerCommand::Prepare, text.toUtf8(), s.name, {}, {}});
        commands.push_back({ServerCommand::Describe, {}, s.name, {}, {}});
        const int refused = pipeline(connection, commands, results, sent);
        if (!sent) {
            guard.released(); // nothing went
            return std::nullopt;
        }
        if (refused >= 0)
            refuse(refused);
        const PGresult* described = results.back();
        takeDescription(s, described);
        clearAll(results);
        it = m_onServer.insert(sql, s);
        if (!it->usable) {
            guard.release();
            return std::nullopt;
        }
        commands.clear();
    }
    execute.name = it->name;
    commands.push_back(std::move(execute));
    const size_t executed = commands.size() - 1;
    if (guard.active())
        commands.push_back({ServerCommand::Query, "RELEASE SAVEPOINT vocaset_statement", {}, {}, {}});
    const int refused = pipeline(connection, commands, results, sent);
    if (!sent)
        guard.fail(QSqlError(QStringLiteral("QPSQL: Unable to execute statement"),
                             QStringLiteral("the connection took no pipeline"), QSqlError::StatementError));
    if (refused >= 0)
        refuse(refused);
    guard.released();
    PGresult* result = results[executed];
    const ExecStatusType status = PQresultStatus(result);
    m_changed = status == PGRES_COMMAND_OK ? std::atoi(PQcmdTuples(result)) : 0;
    Recordset rows;
    if (status == PGRES_TUPLES_OK) {
        const int columns = PQnfields(result);
        QList<QVariantList> read;
        read.reserve(PQntuples(result));
        for (int r = 0; r < PQntuples(result); ++r) {
            QVariantList row;
            row.reserve(columns);
            for (int c = 0; c < columns; ++c) {
                const int type = it->types.value(c, QMetaType::QString);
                const char* value = PQgetvalue(result, r, c);
                if (PQgetisnull(result, r, c))
                    row.append(QVariant(QMetaType(type)));
                // A joined row repeats its parent's values on every row: they share the first's text.
                else if (r > 0 && !PQgetisnull(result, r - 1, c) && qstrcmp(value, PQgetvalue(result, r - 1, c)) == 0)
                    row.append(read.last().at(c));
                else
                    row.append(serverValue(value, type));
            }
            read.append(std::move(row));
        }
        rows = Recordset(it->columns, std::move(read));
    }
    clearAll(results);
    return rows;
}

void Database::refuseOnServer(PGconn* connection, PGresult* result, StatementGuard& guard)
{
    const QSqlError error = serverError(connection, result);
    PQclear(result);
    guard.fail(error);
}

QHash<QString, Database::ServerStatement>::const_iterator Database::prepareOnServer(PGconn* connection,
                                                                                  const QString& sql,
                                                                                  StatementGuard& guard)
{
    const QStringList statements = Dialect::translate(sql, m_engine);
    if (statements.size() != 1)
        throw DbError(QStringLiteral("a bound statement must translate to one statement: ") + sql);
    ServerStatement s;
    s.name = "vocaset_" + QByteArray::number(++m_serverSerial);
    ++m_exchanges;
    PGresult* prepared = PQprepare(connection, s.name.constData(),
                                   Dialect::numberedParameters(statements.first()).toUtf8().constData(), 0, nullptr);
    if (PQresultStatus(prepared) != PGRES_COMMAND_OK)
        refuseOnServer(connection, prepared, guard);
    PQclear(prepared);
    ++m_exchanges;
    PGresult* described = PQdescribePrepared(connection, s.name.constData());
    if (PQresultStatus(described) != PGRES_COMMAND_OK)
        refuseOnServer(connection, described, guard);
    takeDescription(s, described);
    PQclear(described);
    return m_onServer.insert(sql, s);
}

namespace {

// An empty text that is not null, as the driver reads an empty value.
const QChar kNoCharacter{};

} // namespace

std::optional<TextRows> Database::selectTextsOnServer(const QString& sql, const QStringList& values)
{
    PGconn* connection = serverHandle(m_db);
    if (!connection || m_prepared.contains(sql))
        return std::nullopt;
    const auto textColumns = [](const ServerStatement& s) {
        return s.usable && std::all_of(s.types.begin(), s.types.end(), [](int t) { return t == QMetaType::QString; });
    };
    auto it = m_onServer.constFind(sql);
    if (it != m_onServer.cend() && !textColumns(*it))
        return std::nullopt;
    QVarLengthArray<QByteArray, 8> texts(values.size());
    QVarLengthArray<const char*, 8> params(values.size());
    for (qsizetype i = 0; i < values.size(); ++i) {
        texts[i] = values[i].toUtf8();
        params[i] = values[i].isNull() ? nullptr : texts[i].isEmpty() ? "" : texts[i].constData();
    }
    StatementGuard guard(*this);
    if (it == m_onServer.cend()) {
        it = prepareOnServer(connection, sql, guard);
        if (!textColumns(*it)) {
            guard.release();
            return std::nullopt;
        }
    }
    ++m_exchanges;
    PGresult* result =
        PQexecPrepared(connection, it->name.constData(), int(values.size()), params.constData(), nullptr, nullptr, 0);
    if (PQresultStatus(result) != PGRES_TUPLES_OK)
        refuseOnServer(connection, result, guard);
    m_changed = 0;
    TextRows rows;
    rows.columns = PQnfields(result);
    const int count = PQntuples(result);
    rows.cells.reserve(qsizetype(count) * rows.columns);
    for (int r = 0; r < count; ++r) {
        for (int c = 0; c < rows.columns; ++c) {
            const char* text = PQgetvalue(result, r, c);
            const int size = PQgetlength(result, r, c);
            if (PQgetisnull(result, r, c))
                rows.cells.append(QString());
            // A value the row before had in the same column (the key of the rows' parent) shares its text.
            else if (r > 0 && !PQgetisnull(result, r - 1, c) && PQgetlength(result, r - 1, c) == size &&
                     std::memcmp(text, PQgetvalue(result, r - 1, c), size_t(size)) == 0)
                rows.cells.append(rows.cells.at(rows.cells.size() - rows.columns));
            else
                rows.cells.append(size == 0 ? QString(&kNoCharacter, 0) : QString::fromUtf8(text, size));
        }
    }
    PQclear(result);
    guard.release();
    return rows;
}

std::optional<TextRows> Database::selectTextsDirect(const QString& sql, const QStringList& values)
{
    sqlite3* db = sqliteHandle(m_db);
    if (!db || m_prepared.contains(sql))
        return std::nullopt;
    auto it = m_directReads.find(sql);
    if (it == m_directReads.end()) {
        const QStringList statements = Dialect::translate(sql, m_engine);
        sqlite3_stmt* statement = nullptr;
        if (statements.size() == 1) {
            const QString& text = statements.first();
            ++m_exchanges;
            // One the library refuses goes to the driver, which reports why; it is tried again next time.
            if (sqlite3_prepare16_v3(db, text.utf16(), int(text.size() * 2), SQLITE_PREPARE_PERSISTENT, &statement,
                                     nullptr) != SQLITE_OK) {
                sqlite3_finalize(statement);
                return std::nullopt;
            }
            if (!statement || sqlite3_column_count(statement) == 0 ||
                sqlite3_bind_parameter_count(statement) != values.size()) {
                sqlite3_finalize(statement);
                statement = nullptr;
            }
        }
        it = m_directReads.insert(sql, statement);
    }
    sqlite3_stmt* statement = it.value();
    if (!statement)
        return std::nullopt;
    QStringEncoder utf8(QStringEncoder::Utf8, QStringConverter::Flag::Stateless);
    qsizetype space = 0;
    for (const QString& v : values)
        space += utf8.requiredSpace(v.size());
    if (m_texts.size() < space)
        m_texts.resize(space);
    char* out = m_texts.data();
    for (int i = 0; i < values.size(); ++i) {
        char* const start = out;
        out = utf8.appendToBuffer(out, values[i]);
        if ((values[i].isNull() ? sqlite3_bind_null(statement, i + 1)
                                : sqlite3_bind_text(statement, i + 1, start, int(out - start), SQLITE_STATIC)) !=
            SQLITE_OK) {
            sqlite3_clear_bindings(statement);
            return std::nullopt;
        }
    }
    ++m_exchanges;
    TextRows rows;
    rows.columns = sqlite3_column_count(statement);
    // A value the row before had in the same column (the key of the rows' parent) shares its text.
    QVarLengthArray<std::string, 8> before(rows.columns);
    int rc = SQLITE_OK;
    for (qsizetype r = 0; (rc = sqlite3_step(statement)) == SQLITE_ROW; ++r) {
        for (int c = 0; c < rows.columns; ++c) {
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, c));
            const int size = sqlite3_column_bytes(statement, c);
            if (!text) {
                rows.cells.append(QString());
            } else if (r > 0 && !rows.cells.at(rows.cells.size() - rows.columns).isNull() &&
                       before[c].compare(0, std::string::npos, text, size_t(size)) == 0) {
                rows.cells.append(rows.cells.at(rows.cells.size() - rows.columns));
            } else {
                rows.cells.append(size == 0 ? QString(&kNoCharacter, 0) : QString::fromUtf8(text, size));
                before[c].assign(text, size_t(size));
            }
        }
    }
    if (rc != SQLITE_DONE) {
        const QSqlError error(QStringLiteral("Unable to fetch row"),
                              QString(reinterpret_cast<const QChar*>(sqlite3_errmsg16(db))), QSqlError::ConnectionError,
                              QString::number(sqlite3_extended_errcode(db)));
        sqlite3_reset(statement);
        sqlite3_clear_bindings(statement);
        StatementGuard(*this).fail(error);
    }
    m_changed = 0;
    sqlite3_reset(statement);
    sqlite3_clear_bindings(statement);
    return rows;
}

TextRows Database::selectTexts(const QString& sql, const QStringList& values)
{
    checkUsable();
    std::optional<TextRows> rows =
        m_engine == Engine::SQLite ? selectTextsDirect(sql, values) : selectTextsOnServer(sql, values);
    if (rows)
        return std::move(*rows);
    QVariantList bound;
    bound.reserve(values.size());
    for (const QString& v : values)
        bound.append(v);
    const Recordset rs = executeBound(sql, bound);
    TextRows texts;
    texts.columns = rs.fieldCount();
    texts.cells.reserve(qsizetype(rs.count()) * texts.columns);
    for (const QVariantList& row : rs.rows()) {
        for (const QVariant& v : row)
            texts.cells.append(v.isNull() ? QString() : v.toString());
    }
    return texts;
}

int Database::executeSeries(const QList<BoundStatement>& statements, std::optional<DbError>& refusal)
{
    checkUsable();
    refusal.reset();
    // Only inside a transaction: there each statement has its savepoint, as when it goes alone.
    PGconn* connection = m_engine == Engine::PostgreSQL && m_inTransaction ? serverHandle(m_db) : nullptr;
    const QByteArray savepoint = "SAVEPOINT vocaset_statement";
    const QByteArray release = "RELEASE SAVEPOINT vocaset_statement";
    int done = 0;
    while (done < statements.size()) {
        // The statements from here on that can go together: bound values the server takes as they are.
        std::vector<ServerCommand> commands;
        std::vector<size_t> starts, executes; // per statement, its first command and its execution
        struct Fresh
        {
            QString sql;
            ServerStatement statement;
            size_t described;
        };
        std::vector<Fresh> fresh;
        int end = done;
        for (; connection && end < statements.size(); ++end) {
            const BoundStatement& st = statements[end];
            ServerCommand execute{ServerCommand::Execute, {}, {}, {}, {}};
            if (st.values.isEmpty() || m_prepared.contains(st.sql) ||
                !serverParameters(st.values, execute.values, execute.nulls))
                break;
            if (const auto known = m_onServer.constFind(st.sql); known != m_onServer.cend()) {
                execute.name = known->name;
            } else if (const auto same =
                           std::find_if(fresh.begin(), fresh.end(), [&](const Fresh& f) { return f.sql == st.sql; });
                       same != fresh.end()) {
                execute.name = same->statement.name;
            } else {
                const QStringList translated = Dialect::translate(st.sql, m_engine);
                if (translated.size() != 1)
                    break;
                Fresh f{st.sql, {}, 0};
                f.statement.name = "vocaset_" + QByteArray::number(++m_serverSerial);
                execute.name = f.statement.name;
                starts.push_back(commands.size());
                commands.push_back({ServerCommand::Query, savepoint, {}, {}, {}});
                commands.push_back({ServerCommand::Prepare,
                                    Dialect::numberedParameters(translated.first()).toUtf8(),
                                    execute.name,
                                    {},
                                    {}});
                commands.push_back({ServerCommand::Describe, {}, execute.name, {}, {}});
                f.described = commands.size() - 1;
                fresh.push_back(std::move(f));
            }
            if (starts.size() == executes.size()) {
                starts.push_back(commands.size());
                commands.push_back({ServerCommand::Query, savepoint, {}, {}, {}});
            }
            executes.push_back(commands.size());
            commands.push_back(std::move(execute));
            commands.push_back({ServerCommand::Query, release, {}, {}, {}});
        }
        if (end == done) {
            const BoundStatement& st = statements[done];
            try {
                if (st.values.isEmpty())
                    execute(st.sql);
                else
                    executeBound(st.sql, st.values);
            } catch (const TransactionLost&) {
                throw;
            } catch (const DbError& e) {
                refusal = e;
                return done;
            }
            ++done;
            continue;
        }
        std::vector<PGresult*> results;
        bool sent = false;
        const int refused = pipeline(connection, commands, results, sent);
        if (!sent) {
            connection = nullptr; // the rest goes one by one
            continue;
        }
        for (Fresh& f : fresh) {
            const PGresult* described = results[f.described];
            if (!answered(described))
                continue;
            takeDescription(f.statement, described);
            m_onServer.insert(f.sql, f.statement);
        }
        for (const size_t e : executes) {
            if (answered(results[e]))
                m_changed = std::atoi(PQcmdTuples(results[e]));
        }
        if (refused < 0) {
            clearAll(results);
            done = end;
            continue;
        }
        const size_t failed =
            size_t(std::upper_bound(starts.begin(), starts.end(), size_t(refused)) - starts.begin() - 1);
        const QSqlError error = serverError(connection, results[size_t(refused)]);
        clearAll(results);
        StatementGuard guard(*this, StatementGuard::InPipeline);
        if (size_t(refused) == starts[failed])
            guard.released(); // the savepoint itself was refused: nothing of the statement to undo
        try {
            guard.fail(error);
        } catch (const TransactionLost&) {
            throw;
        } catch (const DbError& e) {
            refusal = e;
        }
        return done + int(failed);
    }
    return done;
}

Recordset Database::executeBound(const QString& sql, const QVariantList& values)
{
    checkUsable();
    if (m_engine == Engine::SQLite && executeDirect(sql, values))
        return {};
    if (m_engine == Engine::PostgreSQL) {
        if (std::optional<Recordset> rows = executeOnServer(sql, values))
            return std::move(*rows);
    }
    StatementGuard guard(*this);
    auto it = m_prepared.find(sql);
    if (it == m_prepared.end()) {
        const QStringList statements = Dialect::translate(sql, m_engine);
        if (statements.size() != 1)
            throw DbError(QStringLiteral("a bound statement must translate to one statement: ") + sql);
        QSqlQuery query(m_db);
        query.setForwardOnly(true);
        ++m_exchanges;
        if (!query.prepare(statements.first()))
            guard.fail(query.lastError());
        it = m_prepared.insert(sql, query);
    }
    QSqlQuery& query = it.value();
    for (int i = 0; i < values.size(); ++i)
        query.bindValue(i, values[i]);
    ++m_exchanges;
    if (!query.exec())
        guard.fail(query.lastError());
    m_changed = query.isSelect() ? 0 : std::max(0, query.numRowsAffected());
    Recordset result = fetch(query, guard);
    query.finish();
    guard.release();
    return result;
}

namespace {

int adoTypeOf(const QString& declared)
{
    const QString t = declared.toUpper();
    if (t.contains(u"INT"))
        return AdoType::Integer;
    if (t.contains(u"REAL") || t.contains(u"FLOA") || t.contains(u"DOUB") || t.contains(u"NUMERIC") ||
        t.contains(u"DECIMAL"))
        return AdoType::Double;
    if (t.contains(u"DATE") || t.contains(u"TIME"))
        return AdoType::Timestamp;
    if (t.startsWith(u"CHAR") || t.startsWith(u"CHARACTER(") || t == u"CHARACTER" || t.startsWith(u"BPCHAR"))
        return AdoType::Char;
    return AdoType::WChar;
}

// The width of a declared text type such as nvarchar(50) or CHAR(1): SQLite keeps the declaration
// but not the limit. Null for any other type.
QVariant declaredWidth(const QString& declared)
{
    if (const int ado = adoTypeOf(declared); ado != AdoType::WChar && ado != AdoType::Char)
        return {};
    static const QRegularExpression width(QStringLiteral("^[^(]*\\(\\s*([0-9]+)\\s*\\)\\s*$"));
    const QRegularExpressionMatch m = width.match(declared);
    return m.hasMatch() ? QVariant(m.captured(1).toInt()) : QVariant();
}

// The server's type names (as format_type and information_schema spell them), mapped as SQLite's
// declared types are above, so the same CREATE TABLE gives the same codes on both engines.
int adoTypeOfServer(const QString& dataType)
{
    static const QHash<QString, int> types = {
        {QStringLiteral("smallint"), AdoType::Integer},
        {QStringLiteral("integer"), AdoType::Integer},
        {QStringLiteral("bigint"), AdoType::Integer},
        {QStringLiteral("real"), AdoType::Double},
        {QStringLiteral("double precision"), AdoType::Double},
        {QStringLiteral("numeric"), AdoType::Double},
        {QStringLiteral("date"), AdoType::Timestamp},
        {QStringLiteral("time without time zone"), AdoType::Timestamp},
        {QStringLiteral("time with time zone"), AdoType::Timestamp},
        {QStringLiteral("timestamp without time zone"), AdoType::Timestamp},
        {QStringLiteral("timestamp with time zone"), AdoType::Timestamp},
        {QStringLiteral("character"), AdoType::Char},
    };
    return types.value(dataType, AdoType::WChar);
}

// The server's catalogue is read from pg_catalog: the rows information_schema would give, at a
// fraction of the cost (its key views took some 70 ms a call). to_regclass finds the table the way a
// statement does, through the search path, so a connection's temporary EQ_TEMP hides the shared one.
const char* const kServerColumns =
    "SELECT a.attname, format_type(a.atttypid, NULL), "
    "CASE WHEN a.atttypid IN ('varchar'::regtype, 'bpchar'::regtype) AND a.atttypmod > 4 THEN a.atttypmod - 4 END "
    "FROM pg_catalog.pg_attribute a "
    "JOIN pg_catalog.pg_class c ON c.oid = a.attrelid AND c.relkind IN ('r', 'p', 'v', 'm', 'f') "
    "WHERE a.attrelid = to_regclass(?) AND a.attnum > 0 AND NOT a.attisdropped ORDER BY a.attnum";
const char* const kServerPrimaryKey =
    "SELECT a.attname, k.n FROM pg_catalog.pg_index i "
    "CROSS JOIN LATERAL unnest(i.indkey::int2[]) WITH ORDINALITY AS k(attnum, n) "
    "JOIN pg_catalog.pg_attribute a ON a.attrelid = i.indrelid AND a.attnum = k.attnum "
    "WHERE i.indrelid = to_regclass(?) AND i.indisprimary ORDER BY k.n";

const char* const kServerForeignKeyColumns =
    "SELECT a.attname FROM pg_catalog.pg_constraint c "
    "JOIN pg_catalog.pg_attribute a ON a.attrelid = c.conrelid AND a.attnum = ANY (c.conkey) "
    "WHERE c.conrelid = to_regclass(?) AND c.contype = 'f'";

} // namespace

Recordset Database::columns(const QString& table, const QString& column)
{
    QList<QVariantList> rows;
    if (m_engine == Engine::SQLite) {
        const Recordset info =
            executeBound(QStringLiteral("SELECT cid, name, type FROM pragma_table_info(?)"), {table});
        for (const QVariantList& r : info.rows()) {
            const QString name = r[1].toString().toUpper();
            if (!column.isEmpty() && name.compare(column, Qt::CaseInsensitive) != 0)
                continue;
            const QString declared = r[2].toString();
            rows.append({name, r[0].toInt() + 1, QVariant(), adoTypeOf(declared), declaredWidth(declared)});
        }
    } else if (isPlainIdentifier(table)) {
        const Recordset info = executeBound(QLatin1String(kServerColumns), {table});
        // Positions are counted afresh, as SQLite does: a dropped column leaves no gap.
        int position = 0;
        for (const QVariantList& r : info.rows()) {
            const QString name = r[0].toString().toUpper();
            ++position;
            if (!column.isEmpty() && name.compare(column, Qt::CaseInsensitive) != 0)
                continue;
            rows.append({name, position, QVariant(), adoTypeOfServer(r[1].toString()),
                         r[2].isNull() ? QVariant() : QVariant(r[2].toInt())});
        }
    }
    return Recordset({QStringLiteral("COLUMN_NAME"), QStringLiteral("ORDINAL_POSITION"), QStringLiteral("DESCRIPTION"),
                      QStringLiteral("DATA_TYPE"), QStringLiteral("CHARACTER_MAXIMUM_LENGTH")},
                     std::move(rows));
}

Recordset Database::primaryKeys(const QString& table)
{
    QList<QVariantList> rows;
    if (m_engine == Engine::SQLite) {
        Recordset info =
            executeBound(QStringLiteral("SELECT name, pk FROM pragma_table_info(?) WHERE pk > 0 ORDER BY pk"), {table});
        for (const QVariantList& r : info.rows())
            rows.append({r[0].toString().toUpper(), r[1].toInt()});
    } else if (isPlainIdentifier(table)) {
        Recordset info = executeBound(QLatin1String(kServerPrimaryKey), {table});
        for (const QVariantList& r : info.rows())
            rows.append({r[0].toString().toUpper(), r[1].toInt()});
    }
    return Recordset({QStringLiteral("COLUMN_NAME"), QStringLiteral("ORDINAL")}, std::move(rows));
}

QStringList Database::foreignKeyColumns(const QString& table)
{
    QStringList names;
    Recordset rs;
    if (m_engine == Engine::SQLite)
        rs = executeBound(QStringLiteral("SELECT \"from\" FROM pragma_foreign_key_list(?)"), {table});
    else if (isPlainIdentifier(table))
        rs = executeBound(QLatin1String(kServerForeignKeyColumns), {table});
    for (const QVariantList& r : rs.rows()) {
        const QString name = r[0].toString().toUpper();
        if (!names.contains(name))
            names.append(name);
    }
    return names;
}

void Database::beginSnapshot()
{
    checkUsable();
    if (m_snapshots > 0 || m_inTransaction) {
        ++m_snapshots;
        return;
    }
    sendPlain(Dialect::snapshotBegin(m_engine));
    m_snapshots = 1;
    m_snapshotOwn = true;
}

void Database::endSnapshot()
{
    if (m_snapshots == 0 || --m_snapshots > 0 || !std::exchange(m_snapshotOwn, false))
        return;
    // Committed rather than rolled back: what the run wrote into its private scratch table stays. A
    // refused statement leaves the server's transaction aborted, which the commit ends as well; a
    // lost session has nothing left to end.
    if (!m_db.isValid() || !m_db.isOpen() || m_lost)
        return;
    if (m_engine == Engine::SQLite) {
        sqlite3* handle = sqliteHandle(m_db);
        if (!handle || sqlite3_get_autocommit(handle) != 0)
            return;
    } else if (PGconn* connection = serverHandle(m_db);
               !connection || PQtransactionStatus(connection) == PQTRANS_IDLE ||
               PQtransactionStatus(connection) == PQTRANS_UNKNOWN) {
        return;
    }
    QSqlQuery query(m_db);
    ++m_exchanges;
    query.exec(QStringLiteral("COMMIT"));
}

std::optional<quint32> Database::fileDataVersion()
{
    sqlite3* handle = m_engine == Engine::SQLite && isOpen() ? sqliteHandle(m_db) : nullptr;
    unsigned int version = 0;
    if (!handle || sqlite3_file_control(handle, "main", SQLITE_FCNTL_DATA_VERSION, &version) != SQLITE_OK)
        return std::nullopt;
    return version;
}

void Database::begin()
{
    checkUsable();
    // The snapshot's transaction is another run's: a write inside it would break what that run reads.
    if (m_snapshots > 0)
        throw DbError(QStringLiteral("another run is reading the database on this connection; start this one "
                                     "when it has ended"));
    if (m_engine == Engine::SQLite) {
        sendPlain(QStringLiteral("BEGIN IMMEDIATE"));
    } else {
        ++m_exchanges;
        if (!m_db.transaction())
            fail(m_db.lastError());
    }
    m_inTransaction = true;
    reached(u"transaction.begun");
}

void Database::lockName(const QString& name)
{
    if (const QString sql = Dialect::writerLock(m_engine); !sql.isEmpty())
        executeBound(sql, {name});
}

void Database::commit()
{
    checkUsable();
    // A commit the engine refuses (a full disk when the pages are written) keeps nothing.
    ++m_exchanges;
    if (!m_db.commit())
        endTransaction(describe(m_db.lastError()));
    m_inTransaction = false;
}

void Database::rollback()
{
    m_inTransaction = false;
    dropPrepared();
    // A transaction the engine ended has been rolled back already.
    if (!std::exchange(m_ended, QString()).isEmpty())
        return;
    if (!isOpen())
        throw DbError(QStringLiteral("the database is not open"));
    ++m_exchanges;
    if (!m_db.rollback())
        fail(m_db.lastError());
}

void Database::sendPlain(const QString& sql)
{
    QSqlQuery query(m_db);
    ++m_exchanges;
    if (!query.exec(sql))
        fail(query.lastError());
}

Database::StatementGuard::StatementGuard(Database& db)
    : m_db(db), m_active(db.m_engine == Engine::PostgreSQL && db.m_inTransaction)
{
    if (m_active)
        m_db.sendPlain(QStringLiteral("SAVEPOINT vocaset_statement"));
}

Database::StatementGuard::StatementGuard(Database& db, Pipelined)
    : m_db(db), m_active(db.m_engine == Engine::PostgreSQL && db.m_inTransaction)
{
}

Database::StatementGuard::~StatementGuard()
{
    if (m_active) {
        try {
            undo();
        } catch (const DbError&) {
        }
    }
}

void Database::StatementGuard::undo()
{
    m_active = false;
    m_db.sendPlain(QStringLiteral("ROLLBACK TO SAVEPOINT vocaset_statement"));
    m_db.sendPlain(QStringLiteral("RELEASE SAVEPOINT vocaset_statement"));
}

void Database::StatementGuard::fail(const QSqlError& error)
{
    if (m_active) {
        try {
            undo();
        } catch (const DbError&) {
            // The connection itself is gone; the statement's own error says more.
        }
    }
    m_db.fail(error);
}

void Database::StatementGuard::release()
{
    if (m_active) {
        m_active = false;
        m_db.sendPlain(QStringLiteral("RELEASE SAVEPOINT vocaset_statement"));
    }
}

} // namespace vocaset
