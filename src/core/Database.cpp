#include "Database.h"

#include <atomic>

#include <QSqlError>
#include <QSqlRecord>

namespace vocaset {

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

void Database::open(const QString& connectionString)
{
    close();
    const ConnectionString cs(connectionString);
    const QString provider = cs.value(QStringLiteral("Provider")).toLower();
    if (provider == u"sqlite") {
        m_engine = Engine::SQLite;
        m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        QString file = cs.value(QStringLiteral("Data Source"));
        if (file.isEmpty())
            file = cs.value(QStringLiteral("Database"));
        if (file.isEmpty())
            throw DbError(QStringLiteral("the connection string names no Data Source"));
        m_db.setDatabaseName(file);
        m_db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=") + QString::number(kStatementTimeoutSeconds * 1000));
    } else if (provider == u"postgresql" || provider == u"postgres") {
        m_engine = Engine::PostgreSQL;
        m_db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), m_name);
        m_db.setHostName(cs.value(QStringLiteral("Host")));
        if (cs.has(QStringLiteral("Port")))
            m_db.setPort(cs.value(QStringLiteral("Port")).toInt());
        m_db.setDatabaseName(cs.value(QStringLiteral("Database")));
        m_db.setUserName(cs.value(QStringLiteral("User ID")));
        m_db.setPassword(cs.value(QStringLiteral("Password")));
        m_db.setConnectOptions(QStringLiteral("connect_timeout=") + QString::number(kConnectTimeoutSeconds));
    } else {
        throw DbError(QStringLiteral("unknown provider '") + cs.value(QStringLiteral("Provider")) + u'\'');
    }
    if (!m_db.open()) {
        const QSqlError error = m_db.lastError();
        close();
        fail(error);
    }
    if (m_engine == Engine::SQLite) {
        // The schema's cascades and refusals depend on foreign keys; LIKE compares case-sensitively
        // as on the server engine.
        for (const char* pragma : {"PRAGMA foreign_keys = ON", "PRAGMA journal_mode = WAL", "PRAGMA synchronous = NORMAL",
                                   "PRAGMA case_sensitive_like = ON"}) {
            QSqlQuery q(m_db);
            if (!q.exec(QLatin1String(pragma)))
                fail(q.lastError());
        }
    } else {
        QSqlQuery q(m_db);
        if (!q.exec(QStringLiteral("SET statement_timeout = ") + QString::number(kStatementTimeoutSeconds * 1000)))
            fail(q.lastError());
    }
}

void Database::close()
{
    m_prepared.clear();
    if (m_db.isValid()) {
        m_db.close();
        m_db = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_name);
    }
}

bool Database::isOpen() const
{
    return m_db.isValid() && m_db.isOpen();
}

void Database::fail(const QSqlError& error) const
{
    QString text = error.databaseText().trimmed();
    if (text.isEmpty())
        text = error.text().trimmed();
    if (text.isEmpty())
        text = QStringLiteral("database error");
    throw DbError(text);
}

Recordset Database::fetch(QSqlQuery& query) const
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

Recordset Database::execute(const QString& sql)
{
    if (!isOpen())
        throw DbError(QStringLiteral("the database is not open"));
    const QStringList statements =
        Dialect::translate(sql, m_engine, [this](const QString& table) { return storedTableSql(table); });
    Recordset result;
    for (const QString& statement : statements) {
        QSqlQuery query(m_db);
        query.setForwardOnly(true);
        if (!query.exec(statement))
            fail(query.lastError());
        result = fetch(query);
    }
    return result;
}

Recordset Database::executeBound(const QString& sql, const QVariantList& values)
{
    if (!isOpen())
        throw DbError(QStringLiteral("the database is not open"));
    auto it = m_prepared.find(sql);
    if (it == m_prepared.end()) {
        const QStringList statements = Dialect::translate(sql, m_engine);
        if (statements.size() != 1)
            throw DbError(QStringLiteral("a bound statement must translate to one statement: ") + sql);
        QSqlQuery query(m_db);
        query.setForwardOnly(true);
        if (!query.prepare(statements.first()))
            fail(query.lastError());
        it = m_prepared.insert(sql, query);
    }
    QSqlQuery& query = it.value();
    for (int i = 0; i < values.size(); ++i)
        query.bindValue(i, values[i]);
    if (!query.exec())
        fail(query.lastError());
    Recordset result = fetch(query);
    query.finish();
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

} // namespace

Recordset Database::columns(const QString& table, const QString& column)
{
    QList<QVariantList> rows;
    if (m_engine == Engine::SQLite) {
        const Recordset info = executeBound(QStringLiteral("SELECT cid, name, type FROM pragma_table_info(?)"), {table});
        for (const QVariantList& r : info.rows()) {
            const QString name = r[1].toString().toUpper();
            if (!column.isEmpty() && name.compare(column, Qt::CaseInsensitive) != 0)
                continue;
            rows.append({name, r[0].toInt() + 1, QVariant(), adoTypeOf(r[2].toString())});
        }
    } else {
        const Recordset info = executeBound(
            QStringLiteral("SELECT column_name, ordinal_position, data_type FROM information_schema.columns "
                           "WHERE table_schema = ANY (current_schemas(true)) AND upper(table_name) = upper(?) "
                           "ORDER BY ordinal_position"),
            {table});
        for (const QVariantList& r : info.rows()) {
            const QString name = r[0].toString().toUpper();
            if (!column.isEmpty() && name.compare(column, Qt::CaseInsensitive) != 0)
                continue;
            rows.append({name, r[1].toInt(), QVariant(), adoTypeOf(r[2].toString())});
        }
    }
    return Recordset({QStringLiteral("COLUMN_NAME"), QStringLiteral("ORDINAL_POSITION"), QStringLiteral("DESCRIPTION"),
                      QStringLiteral("DATA_TYPE")},
                     std::move(rows));
}

Recordset Database::primaryKeys(const QString& table)
{
    QList<QVariantList> rows;
    if (m_engine == Engine::SQLite) {
        Recordset info = executeBound(
            QStringLiteral("SELECT name, pk FROM pragma_table_info(?) WHERE pk > 0 ORDER BY pk"), {table});
        for (const QVariantList& r : info.rows())
            rows.append({r[0].toString().toUpper(), r[1].toInt()});
    } else {
        Recordset info = executeBound(
            QStringLiteral("SELECT k.column_name, k.ordinal_position FROM information_schema.table_constraints c "
                           "JOIN information_schema.key_column_usage k ON k.constraint_name = c.constraint_name "
                           "AND k.table_schema = c.table_schema AND k.table_name = c.table_name "
                           "WHERE c.constraint_type = 'PRIMARY KEY' AND c.table_schema = ANY (current_schemas(true)) "
                           "AND upper(c.table_name) = upper(?) ORDER BY k.ordinal_position"),
            {table});
        for (const QVariantList& r : info.rows())
            rows.append({r[0].toString().toUpper(), r[1].toInt()});
    }
    return Recordset({QStringLiteral("COLUMN_NAME"), QStringLiteral("ORDINAL")}, std::move(rows));
}

void Database::begin()
{
    if (!m_db.transaction())
        fail(m_db.lastError());
}

void Database::commit()
{
    if (!m_db.commit())
        fail(m_db.lastError());
}

void Database::rollback()
{
    m_prepared.clear();
    if (!m_db.rollback())
        fail(m_db.lastError());
}

} // namespace vocaset
