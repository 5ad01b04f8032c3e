#include "ChangeHistory.h"

#include <chrono>

#include <QCoreApplication>
#include <QDateTime>

#include "DbError.h"
#include "Sql.h"

namespace vocaset {
namespace {

// The same statement on both engines; the dialect turns nvarchar into the server's own type.
const QString kCreate =
    QStringLiteral("CREATE TABLE IF NOT EXISTS CHANGE_HISTORY (HI_TIME nvarchar(26) NOT NULL, HI_SEQ integer NOT NULL, "
                   "HI_USER nvarchar(50) NOT NULL, HI_PROGRAM nvarchar(20) NOT NULL, HI_SOURCE nvarchar(30) NOT NULL, "
                   "HI_OPERATION nvarchar(10) NOT NULL, HI_TABLE nvarchar(50) NOT NULL, HI_KEY nvarchar(255) NOT NULL, "
                   "HI_COLUMN nvarchar(50) NOT NULL, HI_OLD nvarchar(1000) NOT NULL, HI_NEW nvarchar(1000) NOT NULL, "
                   "HI_COMPANY nvarchar(50) NOT NULL, HI_PHONE nvarchar(50) NOT NULL)");

// Declared widths of the text columns, in the order of columns() without HI_SEQ: a value too long for the server's
// column is cut rather than refusing the change it records.
constexpr int kWidths[] = {26, 50, 20, 30, 10, 50, 255, 50, 1000, 1000, 50, 50};

const QStringList kSecretSettings = {QStringLiteral("$$PWD"), QStringLiteral("$$PWD2"), QStringLiteral("$$PROVAUTH")};

QString nowUtc()
{
    const auto micros =
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::system_clock::now().time_since_epoch())
            .count();
    const QDateTime t = QDateTime::fromMSecsSinceEpoch(micros / 1000, Qt::UTC);
    return t.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")) +
           QStringLiteral("%1").arg(micros % 1000, 3, 10, QLatin1Char('0'));
}

QString insertStatement()
{
    QStringList marks;
    marks.fill(QStringLiteral("?"), int(ChangeRecorder::columns().size()));
    return QStringLiteral("INSERT INTO CHANGE_HISTORY (") + ChangeRecorder::columns().join(QStringLiteral(", ")) +
           QStringLiteral(") VALUES ");
}

qsizetype indexOf(const QStringList& names, const QString& name)
{
    for (qsizetype i = 0; i < names.size(); ++i)
        if (name.compare(names[i], Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

bool historyExists(Database& db)
{
    return db.columns(QLatin1String(kHistoryTable)).count() > 0;
}

} // namespace

QString historyKey(const QStringList& values)
{
    QStringList parts;
    for (QString v : values) {
        v.replace(u'\\', QStringLiteral("\\\\"));
        v.replace(u'/', QStringLiteral("\\/"));
        parts.append(v);
    }
    return parts.join(u'/');
}

const QStringList& ChangeRecorder::columns()
{
    static const QStringList names = {
        QStringLiteral("HI_TIME"),    QStringLiteral("HI_SEQ"),    QStringLiteral("HI_USER"),
        QStringLiteral("HI_PROGRAM"), QStringLiteral("HI_SOURCE"), QStringLiteral("HI_OPERATION"),
        QStringLiteral("HI_TABLE"),   QStringLiteral("HI_KEY"),    QStringLiteral("HI_COLUMN"),
        QStringLiteral("HI_OLD"),     QStringLiteral("HI_NEW"),    QStringLiteral("HI_COMPANY"),
        QStringLiteral("HI_PHONE")};
    return names;
}

ChangeRecorder::ChangeRecorder(Session& s, QString source) : m_s(s), m_source(std::move(source)) {}

QString ChangeRecorder::Record::value(const char* column) const
{
    const qsizetype i = indexOf(columns, QString::fromLatin1(column));
    return i < 0 ? QString() : values.value(i);
}

void ChangeRecorder::added(const QString& table, const QStringList& columns, const QStringList& values, int keyCount)
{
    const Record r{table.toUpper(), columns, values, keyCount};
    add(r, historyKey(values.mid(0, keyCount)), QStringLiteral("new"), {}, {}, wholeRecord(r));
}

void ChangeRecorder::removed(const QString& table, const QStringList& columns, const QStringList& values, int keyCount)
{
    const Record r{table.toUpper(), columns, values, keyCount};
    add(r, historyKey(values.mid(0, keyCount)), QStringLiteral("delete"), {}, wholeRecord(r), {});
}

void ChangeRecorder::edited(const QString& table, const QStringList& columns, const QStringList& before,
                            const QStringList& after, int keyCount)
{
    const Record old{table.toUpper(), columns, before, keyCount};
    const Record now{table.toUpper(), columns, after, keyCount};
    for (int i = keyCount; i < columns.size(); ++i) {
        const QString& was = before.value(i);
        const QString& is = after.value(i);
        if (was == is)
            continue;
        const bool hide = secret(now, columns[i]) || secret(old, columns[i]);
        add(now, historyKey(after.mid(0, keyCount)), QStringLiteral("edit"), columns[i],
            hide && !was.isEmpty() ? SecretParameters::kMask : was,
            hide && !is.isEmpty() ? SecretParameters::kMask : is);
    }
}

void ChangeRecorder::renamed(const QString& table, const QStringList& keyColumns, const QStringList& keyValues,
                             const QString& column, const QString& to)
{
    Record r{table.toUpper(), keyColumns, keyValues, int(keyColumns.size())};
    const QString key = historyKey(keyValues);
    const qsizetype at = indexOf(keyColumns, column);
    const QString from = keyValues.value(at);
    // The filters find a record by its codes once changed: a renamed company under its new code.
    if (at >= 0)
        r.values[at] = to;
    add(r, key, QStringLiteral("rename"), column, from, to);
}

bool ChangeRecorder::secret(const Record& r, const QString& column)
{
    const QString c = column.toUpper();
    if (r.table == QLatin1String("SYSTEM_PARAMETERS"))
        return c == QLatin1String("SY_VALUE") && kSecretSettings.contains(r.value("SY_SUBCODE"));
    const bool parameterValue =
        (r.table == QLatin1String("PHONES_PARAMETERS") || r.table == QLatin1String("COMPANY_PARAMETERS")) &&
        c == QLatin1String("PA_VALUE");
    const bool parameterDefault = r.table == QLatin1String("EQUIPMENT_PARAMETERS") && c == QLatin1String("PA_DEFAULT");
    if (!parameterValue && !parameterDefault)
        return false;
    if (parameterDefault && SecretParameters::secretDescription(r.value("PA_DESC")))
        return true;
    const QString model = r.value("EQ_CODE");
    auto it = m_secrets.find(model);
    if (it == m_secrets.end())
        it = m_secrets.insert(model, SecretParameters(m_s.db, model));
    return it->value().contains(r.value("PA_CODE"));
}

QString ChangeRecorder::wholeRecord(const Record& r)
{
    QStringList parts;
    for (int i = r.keyCount; i < r.columns.size(); ++i) {
        const QString& v = r.values.value(i);
        parts.append(r.columns[i].toUpper() + u'=' +
                     (secret(r, r.columns[i]) && !v.isEmpty() ? SecretParameters::kMask : v));
    }
    return parts.join(QStringLiteral("; "));
}

void ChangeRecorder::add(const Record& r, const QString& key, const QString& operation, const QString& column,
                         const QString& oldValue, const QString& newValue)
{
    ensureTable();
    const QString row[] = {m_time, m_s.userName,     m_program, m_source, operation,          r.table,
                           key,    column.toUpper(), oldValue,  newValue, r.value("CO_CODE"), r.value("PH_CODE")};
    QVariantList values;
    values.reserve(int(std::size(row)) + 1);
    for (int i = 0; i < int(std::size(row)); ++i) {
        // A null text would be bound as NULL; the history holds empty texts.
        values.append(row[i].isNull() ? QStringLiteral("") : row[i].left(kWidths[i]));
        if (i == 0)
            values.append(m_seq++);
    }
    if (!m_blocks) {
        m_s.db.executeBound(insertStatement() + BlockShape::placeHolders(int(values.size())), values);
        return;
    }
    // A history row refused makes the change it records fail with it.
    m_blocks->add(m_kind, values, [](const DbError* refusal) {
        if (refusal)
            throw *refusal;
    });
}

void ChangeRecorder::useBlocks(BlockWriter* blocks)
{
    if (m_blocks)
        return;
    m_blocks = blocks ? blocks : &m_ownBlocks.emplace(m_s.db);
    m_kind = m_blocks->kind(BlockShape(QLatin1String(kHistoryTable))
                                .text(insertStatement())
                                .rows(BlockShape::placeHolders(int(columns().size())))
                                .independent()
                                .withoutStatistics());
}

void ChangeRecorder::ensureTable()
{
    if (m_ready)
        return;
    // Outside a transaction the history row and its change could part: one without the other.
    if (!m_s.db.transactionHeld())
        throw DbError(QStringLiteral("a change was recorded outside a transaction"));
    if (!historyExists(m_s.db))
        m_s.db.execute(kCreate);
    m_time = nowUtc();
    m_program = QCoreApplication::applicationName();
    m_ready = true;
}

void ChangeRecorder::flush()
{
    if (m_blocks)
        m_blocks->flush();
}

TableSnapshot::TableSnapshot(Database& db, const QString& table, const QString& where)
    : m_db(db), m_table(table.toUpper())
{
    QStringList keys;
    for (Recordset rs = db.primaryKeys(m_table); !rs.eof(); rs.moveNext())
        keys.append(rs.text(0).toUpper());
    QStringList others;
    for (Recordset rs = db.columns(m_table); !rs.eof(); rs.moveNext()) {
        const QString name = rs.text(0).toUpper();
        (keys.contains(name) ? m_columns : others).append(name);
    }
    m_keyCount = int(m_columns.size());
    const QString order = m_columns.join(QStringLiteral(", "));
    m_columns += others;
    m_select = QStringLiteral("SELECT ") + m_columns.join(QStringLiteral(", ")) + QStringLiteral(" FROM ") + m_table +
               QStringLiteral(" WHERE ") + where + QStringLiteral(" ORDER BY ") + order;
    m_before = read();
}

QList<QStringList> TableSnapshot::read()
{
    const Recordset rs = m_db.execute(m_select);
    QList<QStringList> out;
    out.reserve(rs.count());
    for (const QVariantList& row : rs.rows()) {
        QStringList values;
        values.reserve(row.size());
        for (const QVariant& v : row)
            values.append(v.toString());
        out.append(values);
    }
    return out;
}

void TableSnapshot::record(ChangeRecorder& history)
{
    QHash<QString, qsizetype> before;
    before.reserve(m_before.size());
    for (qsizetype i = 0; i < m_before.size(); ++i)
        before.insert(historyKey(m_before[i].mid(0, m_keyCount)), i);
    QList<bool> kept(m_before.size(), false);
    history.useBlocks();
    for (const QStringList& now : read()) {
        const auto was = before.constFind(historyKey(now.mid(0, m_keyCount)));
        if (was == before.constEnd()) {
            history.added(m_table, m_columns, now, m_keyCount);
            continue;
        }
        kept[*was] = true;
        if (m_before[*was] != now)
            history.edited(m_table, m_columns, m_before[*was], now, m_keyCount);
    }
    for (qsizetype i = 0; i < m_before.size(); ++i)
        if (!kept[i])
            history.removed(m_table, m_columns, m_before[i], m_keyCount);
    history.flush();
}

QList<HistoryEntry> readHistory(Database& db, const HistoryFilter& f)
{
    if (!historyExists(db))
        return {};
    QStringList where;
    const auto equal = [&where](const char* column, const QString& value) {
        if (!value.isEmpty())
            where.append(QLatin1String(column) + QStringLiteral(" = '") + sqlText(value) + u'\'');
    };
    equal("HI_COMPANY", f.company);
    equal("HI_PHONE", f.phone);
    equal("HI_TABLE", f.table.toUpper());
    equal("HI_USER", f.user.toUpper());
    equal("HI_KEY", f.key);
    if (!f.since.isEmpty())
        where.append(QStringLiteral("HI_TIME >= '") + sqlText(f.since) + u'\'');
    QString sql = QStringLiteral("SELECT HI_TIME, HI_USER, HI_PROGRAM, HI_SOURCE, HI_OPERATION, HI_TABLE, HI_KEY, "
                                 "HI_COLUMN, HI_OLD, HI_NEW, HI_COMPANY, HI_PHONE FROM CHANGE_HISTORY");
    if (!where.isEmpty())
        sql += QStringLiteral(" WHERE ") + where.join(QStringLiteral(" AND "));
    sql += QStringLiteral(" ORDER BY HI_TIME DESC, HI_SEQ DESC");
    if (f.limit > 0)
        sql += QStringLiteral(" LIMIT ") + QString::number(f.limit);
    const Recordset rs = db.execute(sql);
    QList<HistoryEntry> out;
    out.reserve(rs.count());
    for (const QVariantList& v : rs.rows()) {
        const auto t = [&v](int i) { return v.value(i).toString(); };
        out.append({t(0), t(1), t(2), t(3), t(4), t(5), t(6), t(7), t(8), t(9), t(10), t(11)});
    }
    return out;
}

std::optional<QString> historyTime(const QString& text)
{
    QString t = text.trimmed();
    if (t.endsWith(u'Z') || t.endsWith(u'z'))
        t.chop(1);
    t.replace(u'T', u' ');
    for (const char* format : {"yyyy-MM-dd", "yyyy-MM-dd HH:mm", "yyyy-MM-dd HH:mm:ss"}) {
        QDateTime parsed = QDateTime::fromString(t, QLatin1String(format));
        if (parsed.isValid()) {
            parsed.setTimeSpec(Qt::UTC);
            return parsed.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) + QStringLiteral(".000000");
        }
    }
    return std::nullopt;
}

QString historyLine(const HistoryEntry& e)
{
    QString change;
    if (e.operation == QLatin1String("new"))
        change = e.newValue;
    else if (e.operation == QLatin1String("delete"))
        change = e.oldValue;
    else
        change = e.column + QStringLiteral(": ") + e.oldValue + QStringLiteral(" → ") + e.newValue;
    return e.time.left(19) + QStringLiteral("  ") + e.user + QStringLiteral("  ") + e.program + u' ' + e.source +
           QStringLiteral("  ") + e.operation + QStringLiteral("  ") + e.table + u' ' + e.key +
           (change.isEmpty() ? QString() : QStringLiteral("  ") + change);
}

} // namespace vocaset
