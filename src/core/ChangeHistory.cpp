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

bool g_recording = true;

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

// A null text would be bound as NULL; the history holds empty texts.
QString stored(const QString& text)
{
    return text.isNull() ? QStringLiteral("") : text;
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

void ChangeRecorder::setRecordingForBenchmark(bool on)
{
    g_recording = on;
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
    // The columns that hold a value: an empty one says nothing a reader would miss.
    QStringList parts;
    for (int i = r.keyCount; i < r.columns.size(); ++i) {
        const QString& v = r.values.value(i);
        if (!v.isEmpty())
            parts.append(r.columns[i].toUpper() + u'=' + (secret(r, r.columns[i]) ? SecretParameters::kMask : v));
    }
    return parts.join(QStringLiteral("; "));
}

void ChangeRecorder::add(const Record& r, const QString& key, const QString& operation, const QString& column,
                         const QString& oldValue, const QString& newValue)
{
    if (!g_recording)
        return;
    ensureTable();
    const QString row[] = {m_time, m_s.userName,     m_program, m_source, operation,          r.table,
                           key,    column.toUpper(), oldValue,  newValue, r.value("CO_CODE"), r.value("PH_CODE")};
    QVariantList values;
    values.reserve(int(std::size(row)) + 1);
    for (int i = 0; i < int(std::size(row)); ++i) {
        values.append(stored(row[i].left(kWidths[i])));
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

bool ChangeRecorder::maySecret(const QString& table)
{
    static const QStringList tables = {QStringLiteral("SYSTEM_PARAMETERS"), QStringLiteral("PHONES_PARAMETERS"),
                                       QStringLiteral("COMPANY_PARAMETERS"), QStringLiteral("EQUIPMENT_PARAMETERS")};
    return tables.contains(table.toUpper());
}

void ChangeRecorder::insertSelected(const QString& select, const QVariantList& values)
{
    if (!g_recording)
        return;
    ensureTable();
    flush();
    // The rows of one statement share a sequence number; the history lists them by key.
    m_s.db.executeBound(QStringLiteral("INSERT INTO CHANGE_HISTORY (") + columns().join(QStringLiteral(", ")) +
                            QStringLiteral(") SELECT ?, ?, ?, ?, ?, ") + select,
                        QVariantList{m_time, m_seq++, stored(m_s.userName), stored(m_program), stored(m_source)} +
                            values);
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
    // A second operator's first change waits for the first one's to commit, then finds the table.
    if (!historyExists(m_s.db)) {
        m_s.db.lockName(QStringLiteral("create ") + QLatin1String(kHistoryTable));
        m_s.db.execute(kCreate);
        m_s.db.reached(u"history.created");
    }
    m_time = nowUtc();
    m_program = QCoreApplication::applicationName();
    m_ready = true;
}

void ChangeRecorder::flush()
{
    if (m_blocks)
        m_blocks->flush();
}

namespace {

// The copy of the records a bulk run may change, private to the connection and gone with the run.
const QString kBefore = QStringLiteral("CHANGE_HISTORY_BEFORE");

QString quoted(const QString& text)
{
    return u'\'' + sqlText(text) + u'\'';
}

// Cuts an expression to the history column's width unless its longest value fits.
QString fitted(const QString& expr, int longest, int width)
{
    if (longest >= 0 && longest <= width)
        return expr;
    return QStringLiteral("SUBSTR(") + expr + QStringLiteral(", 1, ") + QString::number(width) + u')';
}

} // namespace

// A statement's text with its place-holders' values beside it, in order.
struct TableSnapshot::Bound
{
    QString sql;
    QVariantList values;
    Bound& operator<<(const QString& text)
    {
        sql += text;
        return *this;
    }
    Bound& value(const QVariant& v)
    {
        sql += u'?';
        values.append(v);
        return *this;
    }
};

TableSnapshot::TableSnapshot(Database& db, const QString& table, const QString& column, const QString& value,
                             const std::optional<Scope>& scope)
    : m_db(db), m_table(table.toUpper()), m_value(value)
{
    if (!g_recording)
        return;
    if (!isPlainIdentifier(m_table) || ChangeRecorder::maySecret(m_table))
        throw DbError(QStringLiteral("the changes of ") + m_table + QStringLiteral(" cannot be recorded in bulk"));
    QStringList keys;
    for (Recordset rs = db.primaryKeys(m_table); !rs.eof(); rs.moveNext())
        keys.append(rs.text(0).toUpper());
    QList<Column> others;
    for (Recordset rs = db.columns(m_table); !rs.eof(); rs.moveNext()) {
        const int type = rs.value(3).toInt();
        const Column c{rs.text(0).toUpper(), type == AdoType::WChar || type == AdoType::Char,
                       rs.isNull(4) ? -1 : rs.value(4).toInt()};
        (keys.contains(c.name) ? m_columns : others).append(c);
    }
    m_keyCount = int(m_columns.size());
    m_columns += others;
    const auto existing = [this](const QString& name) {
        const int at = columnAt(name);
        if (at < 0)
            throw DbError(m_table + QStringLiteral(" has no column ") + name);
        return at;
    };
    m_fixed = existing(column);
    if (scope) {
        QStringList values;
        for (const QString& v : scope->values)
            values.append(quoted(v));
        m_scopeColumn = m_columns[existing(scope->column)].name;
        m_scope = QStringLiteral(" IN (") +
                  (values.isEmpty() ? QStringLiteral("NULL") : values.join(QStringLiteral(", "))) + u')';
    }
    const QString where = QStringLiteral(" FROM ") + m_table + QStringLiteral(" t WHERE t.") + m_columns[m_fixed].name +
                          QStringLiteral(" = ") + quoted(m_value) + inScope(QStringLiteral("t"));
    // With no record yet, every record the run leaves was added by it: nothing to copy or compare.
    if (m_db.execute(QStringLiteral("SELECT 1") + where + QStringLiteral(" LIMIT 1")).eof())
        return;
    QStringList names;
    for (const Column& c : m_columns)
        names.append(c.name);
    m_db.execute(QStringLiteral("CREATE TEMP TABLE ") + kBefore + QStringLiteral(" AS SELECT ") +
                 names.join(QStringLiteral(", ")) + where);
    m_copied = true;
    m_db.execute(QStringLiteral("CREATE INDEX ") + kBefore + QStringLiteral("_KEY ON ") + kBefore + u'(' +
                 names.mid(0, m_keyCount).join(QStringLiteral(", ")) + u')');
}

TableSnapshot::~TableSnapshot()
{
    // A run that ends early rolls its transaction back, the copy with it; this only keeps the name free
    // should a caller commit without recording.
    if (!m_copied)
        return;
    try {
        m_db.execute(QStringLiteral("DROP TABLE ") + kBefore);
    } catch (...) {
        // Nothing may leave a destructor; a lost connection took the copy with it.
    }
}

QString TableSnapshot::text(const QString& alias, int i) const
{
    const QString name = alias + u'.' + m_columns[i].name;
    return QStringLiteral("COALESCE(") + (m_columns[i].text ? name : Dialect::asText(name, m_db.engine())) +
           QStringLiteral(", '')");
}

void TableSnapshot::key(Bound& out, const QString& alias) const
{
    // The longest key the columns' widths allow, each character escaped: cut only when it may not fit.
    int longest = m_keyCount - 1;
    for (int i = 0; i < m_keyCount && longest >= 0; ++i)
        longest = m_columns[i].width < 0 ? -1 : longest + 2 * m_columns[i].width;
    const bool cut = longest < 0 || longest > kWidths[6];
    if (cut)
        out << QStringLiteral("SUBSTR(");
    QStringList parts;
    for (int i = 0; i < m_keyCount; ++i)
        parts.append(i == m_fixed ? QStringLiteral("?") : alias + u'.' + m_columns[i].name);
    out << Dialect::recordKey(parts, m_db.engine());
    if (m_fixed < m_keyCount)
        out.values.append(m_value);
    if (cut)
        out << QStringLiteral(", 1, ") + QString::number(kWidths[6]) + u')';
}

QString TableSnapshot::whole(const QString& alias) const
{
    if (m_keyCount == m_columns.size())
        return QStringLiteral("''");
    QStringList names, values;
    int longest = 0;
    for (int i = m_keyCount; i < m_columns.size(); ++i) {
        names.append(m_columns[i].name);
        values.append(alias + u'.' + m_columns[i].name);
        longest = m_columns[i].width < 0 || longest < 0
                      ? -1
                      : longest + int(m_columns[i].name.size()) + 3 + m_columns[i].width;
    }
    return fitted(Dialect::namedValues(names, values, m_db.engine()), longest, kWidths[9]);
}

int TableSnapshot::columnAt(const QString& name) const
{
    for (int i = 0; i < m_columns.size(); ++i) {
        if (m_columns[i].name == name.toUpper())
            return i;
    }
    return -1;
}

QString TableSnapshot::owner(const QString& alias, const char* column) const
{
    const int i = columnAt(QLatin1String(column));
    if (i < 0)
        return QStringLiteral("''");
    // Every record copied or compared holds the run's value there.
    if (i == m_fixed && m_columns[i].text && m_value.size() <= kWidths[10])
        return quoted(m_value);
    return fitted(text(alias, i), m_columns[i].width, kWidths[10]);
}

QString TableSnapshot::inScope(const QString& alias) const
{
    if (m_scope.isEmpty())
        return {};
    return QStringLiteral(" AND ") + alias + u'.' + m_scopeColumn + m_scope;
}

QString TableSnapshot::sameKey(const QString& a, const QString& b) const
{
    QStringList equal;
    for (int i = 0; i < m_keyCount; ++i)
        equal.append(a + u'.' + m_columns[i].name + QStringLiteral(" = ") + b + u'.' + m_columns[i].name);
    return equal.join(QStringLiteral(" AND "));
}

void TableSnapshot::record(ChangeRecorder& history)
{
    if (!g_recording)
        return;
    const QString table = quoted(m_table);
    const QString fixed = m_columns[m_fixed].name + QStringLiteral(" = ");
    // Records the run added: in the table, not in the copy.
    Bound added;
    added << QStringLiteral("'new', ") + table + QStringLiteral(", ");
    key(added, QStringLiteral("a"));
    added << QStringLiteral(", '', '', ") + whole(QStringLiteral("a")) + QStringLiteral(", ") +
                 owner(QStringLiteral("a"), "CO_CODE") + QStringLiteral(", ") + owner(QStringLiteral("a"), "PH_CODE") +
                 QStringLiteral(" FROM ") + m_table + QStringLiteral(" a WHERE a.") + fixed;
    added.value(m_value) << inScope(QStringLiteral("a"));
    if (m_copied) {
        const QString copied = QStringLiteral("NOT EXISTS (SELECT 1 FROM ") + kBefore + QStringLiteral(" b WHERE ") +
                               sameKey(QStringLiteral("b"), QStringLiteral("a")) + u')';
        // A record whose first free key lies outside the copy's span is not in the copy: it needs no
        // search there, which saves one per record when a run adds codes beside those a company had.
        const int firstFree = m_fixed == 0 ? 1 : 0;
        if (firstFree < m_keyCount) {
            const QString& c = m_columns[firstFree].name;
            const auto outside = [&c](const char* comparison, const char* end) -> QString {
                return QStringLiteral("a.") + c + QLatin1String(comparison) + QLatin1String(end) + u'(' + c +
                       QStringLiteral(") FROM ") + kBefore + QStringLiteral(") OR ");
            };
            added << QStringLiteral(" AND (") + outside(" < (SELECT ", "MIN") + outside(" > (SELECT ", "MAX") + copied +
                         u')';
        } else {
            added << QStringLiteral(" AND ") + copied;
        }
    }
    history.insertSelected(added.sql, added.values);
    if (!m_copied)
        return;

    // Records it changed: one row per column whose value differs, the pairs found in one join.
    if (m_keyCount < m_columns.size()) {
        Bound edited;
        QString column, old, now, differs, changed;
        for (int i = m_keyCount; i < m_columns.size(); ++i) {
            const QString n = QString::number(i);
            const QString when = QStringLiteral(" WHEN ") + n + QStringLiteral(" THEN ");
            column += when + quoted(m_columns[i].name);
            old += when + fitted(QStringLiteral("d.o") + n, m_columns[i].width, kWidths[8]);
            now += when + fitted(QStringLiteral("d.n") + n, m_columns[i].width, kWidths[9]);
            differs += when + QStringLiteral("d.o") + n + QStringLiteral(" <> d.n") + n;
            changed += (changed.isEmpty() ? QString() : QStringLiteral(" OR ")) + text(QStringLiteral("a"), i) +
                       QStringLiteral(" <> ") + text(QStringLiteral("b"), i);
        }
        edited << QStringLiteral("'edit', ") + table + QStringLiteral(", d.hk, CASE c.column1") + column +
                      QStringLiteral(" END, CASE c.column1") + old + QStringLiteral(" END, CASE c.column1") + now +
                      QStringLiteral(" END, d.co, d.ph FROM (SELECT ");
        key(edited, QStringLiteral("a"));
        edited << QStringLiteral(" AS hk, ") + owner(QStringLiteral("a"), "CO_CODE") + QStringLiteral(" AS co, ") +
                      owner(QStringLiteral("a"), "PH_CODE") + QStringLiteral(" AS ph");
        QStringList rows;
        for (int i = m_keyCount; i < m_columns.size(); ++i) {
            const QString n = QString::number(i);
            edited << QStringLiteral(", ") + text(QStringLiteral("b"), i) + QStringLiteral(" AS o") + n +
                          QStringLiteral(", ") + text(QStringLiteral("a"), i) + QStringLiteral(" AS n") + n;
            rows.append(u'(' + n + u')');
        }
        edited << QStringLiteral(" FROM ") + m_table + QStringLiteral(" a JOIN ") + kBefore + QStringLiteral(" b ON ") +
                      sameKey(QStringLiteral("b"), QStringLiteral("a")) + QStringLiteral(" WHERE a.") + fixed;
        edited.value(m_value) << QStringLiteral(" AND (") + changed + QStringLiteral(")) d CROSS JOIN (VALUES ") +
                                     rows.join(QStringLiteral(", ")) + QStringLiteral(") AS c WHERE CASE c.column1") +
                                     differs + QStringLiteral(" END");
        history.insertSelected(edited.sql, edited.values);
    }

    // Records it removed: in the copy, no longer in the table.
    Bound removed;
    removed << QStringLiteral("'delete', ") + table + QStringLiteral(", ");
    key(removed, QStringLiteral("b"));
    removed << QStringLiteral(", '', ") + whole(QStringLiteral("b")) + QStringLiteral(", '', ") +
                   owner(QStringLiteral("b"), "CO_CODE") + QStringLiteral(", ") +
                   owner(QStringLiteral("b"), "PH_CODE") + QStringLiteral(" FROM ") + kBefore +
                   QStringLiteral(" b WHERE NOT EXISTS (SELECT 1 FROM ") + m_table + QStringLiteral(" a WHERE a.") +
                   fixed;
    removed.value(m_value) << QStringLiteral(" AND ") + sameKey(QStringLiteral("a"), QStringLiteral("b")) + u')';
    history.insertSelected(removed.sql, removed.values);

    m_db.execute(QStringLiteral("DROP TABLE ") + kBefore);
    m_copied = false;
}

namespace {

QString columnIs(const char* column, const QString& value)
{
    return QLatin1String(column) + QStringLiteral(" = '") + sqlText(value) + u'\'';
}

// The rows of a telephone under its code, and under each code it was renamed from for as long as it
// bore that code: a rename is kept with the old and the new code, so the codes are followed back, each
// only up to its rename (it may name another telephone since).
QString phoneCondition(Database& db, const HistoryFilter& f)
{
    struct Code
    {
        QString company; // empty: any
        QString phone;
        QString until; // empty: now
    };
    QStringList any = {columnIs("HI_PHONE", f.phone)};
    std::vector<Code> pending = {{f.company, f.phone, {}}};
    while (!pending.empty()) {
        const Code c = pending.back();
        pending.pop_back();
        QString sql = QStringLiteral("SELECT HI_COMPANY, HI_OLD, HI_TIME FROM CHANGE_HISTORY WHERE HI_OPERATION = "
                                     "'rename' AND HI_TABLE = 'PHONES' AND HI_COLUMN = 'PH_CODE' AND ") +
                      columnIs("HI_NEW", c.phone);
        if (!c.company.isEmpty())
            sql += QStringLiteral(" AND ") + columnIs("HI_COMPANY", c.company);
        if (!c.until.isEmpty())
            sql += QStringLiteral(" AND HI_TIME < '") + sqlText(c.until) + u'\'';
        const Recordset renames = db.execute(sql);
        for (const QVariantList& r : renames.rows()) {
            const Code older{r[0].toString(), r[1].toString(), r[2].toString()};
            any.append(u'(' + columnIs("HI_COMPANY", older.company) + QStringLiteral(" AND ") +
                       columnIs("HI_PHONE", older.phone) + QStringLiteral(" AND HI_TIME < '") + sqlText(older.until) +
                       QStringLiteral("')"));
            pending.push_back(older);
        }
    }
    return u'(' + any.join(QStringLiteral(" OR ")) + u')';
}

} // namespace

QList<HistoryEntry> readHistory(Database& db, const HistoryFilter& f)
{
    if (!historyExists(db))
        return {};
    QStringList where;
    const auto equal = [&where](const char* column, const QString& value) {
        if (!value.isEmpty())
            where.append(columnIs(column, value));
    };
    equal("HI_COMPANY", f.company);
    if (!f.phone.isEmpty())
        where.append(phoneCondition(db, f));
    equal("HI_TABLE", f.table.toUpper());
    equal("HI_USER", f.user.toUpper());
    equal("HI_KEY", f.key);
    if (!f.since.isEmpty())
        where.append(QStringLiteral("HI_TIME >= '") + sqlText(f.since) + u'\'');
    QString sql = QStringLiteral("SELECT HI_TIME, HI_USER, HI_PROGRAM, HI_SOURCE, HI_OPERATION, HI_TABLE, HI_KEY, "
                                 "HI_COLUMN, HI_OLD, HI_NEW, HI_COMPANY, HI_PHONE FROM CHANGE_HISTORY");
    if (!where.isEmpty())
        sql += QStringLiteral(" WHERE ") + where.join(QStringLiteral(" AND "));
    sql += QStringLiteral(" ORDER BY HI_TIME DESC, HI_SEQ DESC, HI_KEY DESC, HI_COLUMN DESC");
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
