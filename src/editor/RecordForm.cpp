#include "RecordForm.h"

#include "ChangeHistory.h"
#include "ColumnWidths.h"
#include "DbError.h"
#include "EditorMessages.h"
#include "Lookups.h"
#include "MacIndex.h"
#include "Messages.h"
#include "RecordChecks.h"
#include "RefusalText.h"
#include "SelectionList.h"
#include "Sql.h"
#include "UiYield.h"

namespace vocaset {

QString EditRow::comboValue() const
{
    return entryCode(comboText());
}

QString EditRow::value() const
{
    if (textShown)
        return text;
    if (comboShown)
        return comboValue();
    return {};
}

QString recordHistoryKey(const TableCatalogue& cat, const QStringList& cells)
{
    QStringList keys;
    for (int i = 0; i < cat.columns.size(); ++i)
        if (cat.isKey(cat.columns[i].name))
            keys.append(cells.value(i));
    return historyKey(keys);
}

RecordForm::RecordForm(Session& s, TableCatalogue cat, AccessMode mode) : m_s(s), m_cat(std::move(cat)), m_mode(mode) {}

QString RecordForm::okCaption() const
{
    switch (m_op) {
    case Operation::Update:
        return textOr(m_s, QStringLiteral("OK_UPD"), QStringLiteral("Update"));
    case Operation::Insert:
        return textOr(m_s, QStringLiteral("OK_INS"), QStringLiteral("Insert"));
    case Operation::Delete:
        return textOr(m_s, QStringLiteral("OK_DEL"), QStringLiteral("Delete"));
    case Operation::None:
        break;
    }
    return {};
}

bool RecordForm::dirty() const
{
    for (const EditRow& r : m_rows) {
        if (m_op == Operation::Update && r.value() != r.original && (r.textShown || r.choice >= 0))
            return true;
        if (m_op == Operation::Insert && (!r.text.isEmpty() || r.choice >= 0))
            return true;
    }
    return false;
}

bool RecordForm::startEdit(const QStringList& cells)
{
    return start(Operation::Update, cells);
}

bool RecordForm::startNew()
{
    return start(Operation::Insert, {});
}

bool RecordForm::startDelete(const QStringList& cells)
{
    return start(Operation::Delete, cells);
}

bool RecordForm::start(Operation op, const QStringList& cells)
{
    // Without a key no statement could name one row; a tab without access lists nothing to open.
    if (m_cat.columns.isEmpty() || m_cat.keyCount() == 0 || m_mode == AccessMode::False)
        return false;
    m_op = op;
    m_lookupError.clear();
    m_rows.clear();
    for (int i = 0; i < m_cat.columns.size(); ++i) {
        EditRow r;
        r.column = m_cat.columns[i].name;
        r.caption = m_cat.columns[i].caption;
        r.key = m_cat.isKey(r.column);
        r.original = cells.value(i);
        m_rows.append(r);
    }
    if (op != Operation::Delete)
        readLookups();
    m_ok = op != Operation::Insert;

    bool filled = false; // an insert fills its first drop-down only; the chain fills the others
    for (int i = 0; i < m_rows.size(); ++i) {
        EditRow& r = m_rows[i];
        switch (op) {
        case Operation::Delete:
            r.text = r.original;
            r.textShown = true;
            break;
        case Operation::Update:
            r.text = r.original;
            // A key stays as listed: typing over it would leave the rows and settings that name the
            // code behind. Renaming a code is an operation of its own.
            if (r.key) {
                r.textShown = true;
            } else if (!r.lookup) {
                r.textShown = r.textEnabled = true;
            } else {
                fill(i);
                r.choice = -1;
                for (int e = 0; e < r.entries.size(); ++e)
                    if (entryCode(r.entries[e]) == r.original) {
                        r.choice = e;
                        break;
                    }
                r.comboShown = r.comboEnabled = true;
            }
            break;
        case Operation::Insert:
            if (!r.lookup) {
                r.textShown = r.textEnabled = true;
            } else {
                r.comboShown = true;
                if (!filled) {
                    fill(i);
                    r.comboEnabled = true;
                    filled = true;
                }
            }
            break;
        case Operation::None:
            break;
        }
    }
    checkReady();
    return true;
}

void RecordForm::readLookups()
{
    for (EditRow& r : m_rows) {
        // Keys of a listed record are typed in Edit: their lookups are not needed.
        if (m_op == Operation::Update && r.key)
            continue;
        try {
            r.lookup = lookupStatement(m_s.db, m_cat.table, r.column);
        } catch (const DbError& e) {
            m_lookupError = editorText(m_s, EditorText::LookupFailed, e.text());
        }
    }
}

void RecordForm::fill(int row)
{
    EditRow& r = m_rows[row];
    r.entries.clear();
    r.choice = -1;
    if (!r.lookup)
        return;
    const QString sql = expandPlaceholders(*r.lookup, [this](const QString& name) {
        for (const EditRow& other : m_rows)
            if (other.column == name)
                return other.value();
        return QString();
    });
    try {
        const Recordset rs = m_s.db.execute(sql);
        r.entries.reserve(rs.count());
        // A code table holds its descriptions in one language; the user's language may have its own.
        const QHash<QString, QString> own =
            rs.fieldCount() > 1 ? codeDescriptions(m_s.db, rs.fieldName(0), m_s.language) : QHash<QString, QString>();
        for (const QVariantList& v : rs.rows()) {
            const QString code = v.value(0).toString();
            r.entries.append(v.size() > 1 ? listEntry(code, own.value(code, v.at(1).toString())) : code);
            giveUiTurn();
        }
    } catch (const DbError& e) {
        m_lookupError = editorText(m_s, EditorText::LookupFailed, e.text());
    }
}

void RecordForm::setText(int row, const QString& text)
{
    if (row < 0 || row >= m_rows.size() || m_op == Operation::None)
        return;
    m_rows[row].text = text;
    if (!text.isEmpty())
        openAfter(row);
    checkReady();
}

void RecordForm::openAfter(int row)
{
    if (row + 1 >= m_rows.size())
        return;
    EditRow& next = m_rows[row + 1];
    next.textEnabled = next.textEnabled || next.textShown;
    next.comboEnabled = next.comboEnabled || next.comboShown;
}

void RecordForm::choose(int row, int entry)
{
    if (row < 0 || row >= m_rows.size() || m_op == Operation::None)
        return;
    m_rows[row].choice = entry >= 0 && entry < m_rows[row].entries.size() ? entry : -1;
    if (m_op != Operation::Insert)
        return;
    int next = -1;
    for (int j = row + 1; j < m_rows.size(); ++j) {
        EditRow& r = m_rows[j];
        if (!r.comboShown)
            continue;
        if (next < 0)
            next = j;
        r.entries.clear();
        r.choice = -1;
        r.comboEnabled = false;
    }
    if (next >= 0)
        fill(next);
    if (row + 1 < m_rows.size() && !m_rows[row].comboText().isEmpty()) {
        EditRow& after = m_rows[row + 1];
        after.textEnabled = after.textEnabled || after.textShown;
        after.comboEnabled = after.comboShown;
    }
    checkReady();
}

bool RecordForm::setValue(int row, const QString& value)
{
    if (row < 0 || row >= m_rows.size())
        return false;
    const EditRow& r = m_rows[row];
    if (r.textShown && r.textEnabled) {
        setText(row, value);
        // A value given, even an empty one, counts as filled in: the field after it opens, as it
        // does for an operator who typed and cleared the text.
        if (value.isEmpty()) {
            openAfter(row);
            checkReady();
        }
        return true;
    }
    if (!r.comboShown || !r.comboEnabled)
        return false;
    for (int e = 0; e < r.entries.size(); ++e)
        if (entryCode(r.entries[e]) == value) {
            choose(row, e);
            return true;
        }
    return false;
}

QString RecordForm::waitingFor(int row) const
{
    if (row <= 0 || row >= m_rows.size())
        return {};
    const EditRow& r = m_rows[row];
    // During an insert a drop-down is filled when the one before it is chosen.
    if (m_op == Operation::Insert && r.comboShown) {
        for (int j = row - 1; j >= 0; --j) {
            if (!m_rows[j].comboShown)
                continue;
            if (m_rows[j].choice < 0)
                return m_rows[j].column;
            break;
        }
    }
    const bool open = (r.textShown && r.textEnabled) || (r.comboShown && r.comboEnabled);
    return open ? QString() : m_rows[row - 1].column;
}

QStringList RecordForm::missing() const
{
    QStringList out;
    for (const EditRow& r : m_rows)
        if ((r.textShown && r.key && r.text.isEmpty()) || (r.comboShown && r.comboText().isEmpty()))
            out.append(r.column);
    return out;
}

int RecordForm::rowOf(const QString& column) const
{
    for (int i = 0; i < m_rows.size(); ++i)
        if (m_rows[i].column.compare(column, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

void RecordForm::checkReady()
{
    if (m_op != Operation::Insert)
        return;
    // Every key typed and every drop-down chosen; other texts may stay empty. Unlike a one-way
    // switch, a key emptied again disables Ok, so no record is inserted with an empty key.
    int count = 0;
    for (const EditRow& r : m_rows) {
        if (r.textEnabled && (!r.key || !r.text.isEmpty()))
            ++count;
        if (r.comboEnabled && !r.comboText().isEmpty())
            ++count;
    }
    m_ok = count >= m_rows.size();
}

QStringList RecordForm::values() const
{
    // What an update does not write keeps its listed value, a drop-down without choice included.
    const QList<bool> write = written();
    QStringList out;
    for (int i = 0; i < m_rows.size(); ++i)
        out.append(m_op == Operation::Update && !write[i] ? m_rows[i].original : m_rows[i].value());
    return out;
}

QList<bool> RecordForm::written() const
{
    QList<bool> out;
    for (const EditRow& r : m_rows) {
        if (m_op == Operation::Insert)
            out.append(true);
        else if (m_op == Operation::Update)
            out.append(!r.key && (r.textShown || r.choice >= 0) && r.value() != r.original);
        else
            out.append(false);
    }
    return out;
}

QString RecordForm::keyCondition() const
{
    QStringList parts;
    for (const EditRow& r : m_rows)
        if (r.key)
            parts.append(r.column + QStringLiteral(" = '") + sqlText(r.original) + u'\'');
    return QStringLiteral(" WHERE ") + parts.join(QStringLiteral(" AND "));
}

QString RecordForm::statement(bool* changed) const
{
    if (changed)
        *changed = true;
    switch (m_op) {
    case Operation::Update: {
        QStringList sets;
        const QList<bool> write = written();
        for (int i = 0; i < m_rows.size(); ++i)
            if (write[i])
                sets.append(m_rows[i].column + QStringLiteral(" = '") + sqlText(m_rows[i].value()) + u'\'');
        if (changed)
            *changed = !sets.isEmpty();
        return QStringLiteral("UPDATE ") + m_cat.table + QStringLiteral(" SET ") + sets.join(QStringLiteral(", ")) +
               keyCondition();
    }
    case Operation::Delete:
        return QStringLiteral("DELETE FROM ") + m_cat.table + keyCondition();
    case Operation::Insert: {
        QStringList quoted;
        for (const QString& v : values())
            quoted.append(sqlText(v));
        return QStringLiteral("INSERT INTO ") + m_cat.table + QStringLiteral(" VALUES('") +
               quoted.join(QStringLiteral("', '")) + QStringLiteral("' )");
    }
    case Operation::None:
        break;
    }
    return {};
}

SaveResult RecordForm::save()
{
    SaveResult result;
    bool changed = false;
    const QString sql = statement(&changed);
    if (m_op == Operation::None || !changed) {
        end();
        return result;
    }
    if (m_op != Operation::Delete) {
        const QStringList record = values();
        const QList<bool> write = written();
        std::optional<QString> refusal = recordRefusal(m_s, m_cat, m_mode, record, write);
        const ColumnWidths widths(m_s.db, m_cat.table);
        for (int i = 0; i < m_rows.size() && !refusal; ++i) {
            if (write[i])
                refusal = widths.refusal(m_s, m_rows[i].column, record[i]);
        }
        if (refusal) {
            result.outcome = SaveResult::Refused;
            result.message = *refusal;
            return result;
        }
    }
    // The database keeps a MAC to one telephone: a MAC another telephone has is refused by it.
    if (m_op != Operation::Delete && m_cat.table.compare(QLatin1String("PHONES"), Qt::CaseInsensitive) == 0)
        MacIndex::ensure(m_s.db);
    m_s.db.reached(u"record.save");
    try {
        // In a transaction, so that a failure of the engine itself (a full disk, a lost connection)
        // is told apart from a refusal of the record: it throws TransactionLost to the caller.
        Transaction transaction(m_s.db);
        const std::optional<QStringList> stored = m_op == Operation::Insert ? std::nullopt : storedRecord();
        m_s.db.reached(u"record.read");
        // Where the index is missing (telephones already share a MAC), the check of a MAC written is
        // the program's.
        const int mac = m_cat.columnIndex(QStringLiteral("PH_MAC"));
        if (const std::optional<QString> taken =
                mac >= 0 && written().value(mac) ? macRefusal(m_s, m_cat, m_op, values()) : std::nullopt) {
            result.outcome = SaveResult::Refused;
            result.message = *taken;
            return result;
        }
        const bool found = m_op == Operation::Insert || stored;
        if (found)
            m_s.db.execute(sql);
        if (!found || (m_op != Operation::Insert && m_s.db.changedRows() == 0)) {
            result.outcome = SaveResult::Failed;
            result.gone = true;
            result.message = editorText(m_s, EditorText::RecordGone);
            return result;
        }
        recordHistory(stored);
        transaction.commit();
    } catch (const TransactionLost&) {
        throw;
    } catch (const DbError& e) {
        result.outcome = SaveResult::Failed;
        result.message = refusalInWords(m_s, m_cat, m_op, values(), e.text());
        result.detail = editorText(m_s, EditorText::EngineReason, e.text());
        return result;
    }
    result.outcome = SaveResult::Saved;
    result.cells = values();
    end();
    return result;
}

std::optional<QStringList> RecordForm::storedRecord() const
{
    QStringList names;
    for (const EditRow& r : m_rows)
        names.append(r.column);
    const Recordset rs =
        m_s.db.execute(QStringLiteral("SELECT ") + names.join(QStringLiteral(", ")) + QStringLiteral(" FROM ") +
                       m_cat.table + keyCondition() + Dialect::forUpdate(m_s.db.engine()));
    if (rs.count() == 0)
        return std::nullopt;
    QStringList out;
    for (const QVariant& v : rs.rows().first())
        out.append(v.toString());
    return out;
}

void RecordForm::recordHistory(const std::optional<QStringList>& stored) const
{
    // The record as it was read and held in the transaction and as the statement leaves it, key
    // columns first.
    const QStringList now = values();
    const QList<bool> write = written();
    QList<int> order;
    for (int pass = 0; pass < 2; ++pass)
        for (int i = 0; i < m_rows.size(); ++i)
            if (m_rows[i].key == (pass == 0))
                order.append(i);
    QStringList columns, before, after;
    int keyCount = 0;
    for (int i : std::as_const(order)) {
        columns.append(m_rows[i].column);
        keyCount += m_rows[i].key ? 1 : 0;
        if (stored)
            before.append(stored->value(i));
        after.append(m_op == Operation::Update && !write[i] ? stored->value(i) : now[i]);
    }
    ChangeRecorder history(m_s, QStringLiteral("editor"));
    if (m_op == Operation::Insert)
        history.added(m_cat.table, columns, after, keyCount);
    else if (m_op == Operation::Update)
        history.edited(m_cat.table, columns, before, after, keyCount);
    else
        history.removed(m_cat.table, columns, before, keyCount);
}

void RecordForm::end()
{
    m_op = Operation::None;
    m_rows.clear();
    m_ok = false;
}

} // namespace vocaset
