#include "ChangeHistory.h"

#include <chrono>

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

// Declared widths, in the order of columns(): a value too long for the server's column is cut
// rather than refusing the change it records.
constexpr int kWidths[] = {26, 0, 50, 20, 30, 10, 50, 255, 50, 1000, 1000, 50, 50};

// Rows per multi-row statement: 13 values each stays far below both engines' limit on bound values.
constexpr int kBlockRows = 200;

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

QString insertStatement(int rows)
{
    QStringList marks;
    marks.fill(QStringLiteral("?"), int(ChangeRecorder::columns().size()));
    const QString one = u'(' + marks.join(QStringLiteral(", ")) + u')';
    QStringList all;
    all.fill(one, rows);
    return QStringLiteral("INSERT INTO CHANGE_HISTORY (") + ChangeRecorder::columns().join(QStringLiteral(", ")) +
           QStringLiteral(") VALUES ") + all.join(QStringLiteral(", "));
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
    m_pending.append({m_time, m_seq++, m_s.userName, m_s.program, m_source, operation, r.table, key, column.toUpper(),
                      oldValue, newValue, r.value("CO_CODE"), r.value("PH_CODE")});
    if (!m_batching || m_pending.size() >= kBlockRows)
        flush();
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
    m_ready = true;
}

void ChangeRecorder::flush()
{
    while (m_pending.size() >= kBlockRows)
        send(kBlockRows);
    while (!m_pending.isEmpty())
        send(1);
}

void ChangeRecorder::send(int rows)
{
    QVariantList values;
    values.reserve(rows * columns().size());
    for (int r = 0; r < rows; ++r) {
        const QVariantList& row = m_pending.at(r);
        for (int c = 0; c < row.size(); ++c) {
            if (kWidths[c] == 0) {
                values.append(row[c]);
                continue;
            }
            // A null text would be bound as NULL; the history holds empty texts.
            const QString text = row[c].toString();
            values.append(text.isNull() ? QStringLiteral("") : text.left(kWidths[c]));
        }
    }
    m_s.db.executeBound(insertStatement(rows), values);
    m_pending.remove(0, rows);
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
