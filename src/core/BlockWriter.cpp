#include "BlockWriter.h"

#include <algorithm>

namespace vocaset {
namespace {

// SQLite takes at most 32 766 place-holders in a statement, the server 65 535.
constexpr int kMaxValues = 30000;

} // namespace

BlockShape BlockShape::insert(const QString& table, const QString& rowPiece)
{
    BlockShape shape(table);
    shape.text(QStringLiteral("INSERT INTO ") + table + QStringLiteral(" VALUES")).rows(rowPiece);
    return shape;
}

QString BlockShape::placeHolders(int count)
{
    QStringList marks;
    for (int i = 0; i < count; ++i)
        marks.append(QStringLiteral("?"));
    return u'(' + marks.join(QStringLiteral(", ")) + u')';
}

BlockShape BlockShape::update(const QString& table, const QString& set, int valuesPerRow, const QString& where,
                              const QVariantList& whereValues)
{
    BlockShape shape(table);
    shape.text(QStringLiteral("UPDATE ") + table + QStringLiteral(" SET ") + set + QStringLiteral(" FROM (VALUES "))
        .rows(placeHolders(valuesPerRow))
        .text(QStringLiteral(") AS v WHERE ") + where, whereValues);
    shape.m_inPlace = true;
    return shape;
}

BlockShape& BlockShape::text(const QString& sql, const QVariantList& values)
{
    m_parts.append({sql, values, {}, 0, false});
    return *this;
}

BlockShape& BlockShape::rows(const QString& piece, const QString& separator)
{
    const int marks = int(piece.count(u'?'));
    m_parts.append({piece, {}, separator, marks, true});
    m_perRow += marks;
    return *this;
}

int BlockShape::maxRows() const
{
    return std::clamp(kMaxValues / std::max(1, m_perRow), 1, BlockWriter::kRows);
}

QString BlockShape::sql(int rows) const
{
    QString out;
    for (const Part& part : m_parts) {
        if (!part.perRow) {
            out += part.sql;
            continue;
        }
        for (int i = 0; i < rows; ++i) {
            if (i > 0)
                out += part.separator;
            out += part.sql;
        }
    }
    return out;
}

QVariantList BlockShape::values(const std::vector<const QVariantList*>& rows) const
{
    QVariantList out;
    out.reserve(qsizetype(rows.size()) * m_perRow);
    int offset = 0;
    for (const Part& part : m_parts) {
        if (!part.perRow) {
            out += part.values;
            continue;
        }
        for (const QVariantList* row : rows) {
            if (offset == 0 && part.placeHolders == row->size())
                out += *row;
            else
                for (int i = 0; i < part.placeHolders; ++i)
                    out.append(row->value(offset + i));
        }
        offset += part.placeHolders;
    }
    return out;
}

BlockWriter::Kind BlockWriter::kind(BlockShape shape)
{
    m_shapes.push_back(std::move(shape));
    m_waiting.push_back(0);
    return Kind(m_shapes.size() - 1);
}

void BlockWriter::add(Kind kind, QVariantList values, RowStatement alone, Done done)
{
    const BlockShape& shape = m_shapes[size_t(kind)];
    // Kinds go in the order of their first row. A row of a kind that must keep its place would overtake
    // the rows of a later kind that must too: it starts a new segment, sent after the rows before it.
    const auto at = std::find(m_order.begin(), m_order.end(), kind);
    if (at == m_order.end()) {
        m_order.push_back(kind);
    } else if (!shape.isIndependent() &&
               std::any_of(at + 1, m_order.end(), [&](Kind k) { return !m_shapes[size_t(k)].isIndependent(); })) {
        ++m_segment;
        m_order = {kind};
    }
    m_queue.push_back({kind, m_segment, std::move(values), std::move(alone), std::move(done), {}});
    if (++m_waiting[size_t(kind)] >= shape.maxRows() * kBlocksPerFlush)
        flush();
}

void BlockWriter::add(Kind kind, const QVariantList& values, Done done)
{
    // The statement alone is built only if the row ever goes alone.
    add(kind, values, {}, std::move(done));
}

void BlockWriter::then(std::function<void()> step)
{
    if (m_queue.empty()) {
        step();
        return;
    }
    m_queue.push_back({-1, m_segment, {}, {}, {}, std::move(step)});
}

void BlockWriter::flush()
{
    // Rows added while outcomes are told go once the telling is over.
    if (m_reporting)
        return;
    while (!m_queue.empty()) {
        std::vector<Entry> entries = std::move(m_queue);
        m_queue.clear();
        m_queue.reserve(entries.size()); // the next block is as large, most likely
        m_order.clear();
        m_segment = 0;
        std::fill(m_waiting.begin(), m_waiting.end(), 0);
        std::vector<std::optional<DbError>> refusals(entries.size());
        try {
            send(entries, refusals);
            m_reporting = true;
            for (size_t i = 0; i < entries.size(); ++i) {
                if (entries[i].kind < 0)
                    entries[i].step();
                else if (entries[i].done)
                    entries[i].done(refusals[i] ? &*refusals[i] : nullptr);
            }
            m_reporting = false;
        } catch (...) {
            // The run stops here: what it queued meanwhile is never sent.
            m_reporting = false;
            m_queue.clear();
            m_order.clear();
            std::fill(m_waiting.begin(), m_waiting.end(), 0);
            throw;
        }
    }
}

void BlockWriter::send(std::vector<Entry>& entries, std::vector<std::optional<DbError>>& refusals)
{
    // The rows of each kind within a segment, kinds in the order of their first row.
    struct Group
    {
        int segment;
        Kind kind;
        std::vector<size_t> rows;
    };
    std::vector<Group> groups;
    for (size_t i = 0; i < entries.size(); ++i) {
        const Entry& e = entries[i];
        if (e.kind < 0)
            continue;
        auto group = std::find_if(groups.begin(), groups.end(),
                                  [&](const Group& g) { return g.segment == e.segment && g.kind == e.kind; });
        if (group == groups.end())
            group = groups.insert(groups.end(), Group{e.segment, e.kind, {}});
        group->rows.push_back(i);
    }
    if (!groups.empty() && !m_settled) {
        m_settled = true;
        if (const QString sql = Dialect::bulkWriteSetting(m_db.engine()); !sql.isEmpty()) {
            try {
                m_db.execute(sql);
            } catch (const TransactionLost&) {
                throw;
            } catch (const DbError&) {
                // A server without the setting writes the same rows, only slower.
            }
        }
    }
    // Every statement of the flush in one series: a block's rows, or a row alone. The engine takes
    // them until it refuses one; a refused block's rows then go alone, and the series goes on after it.
    struct Unit
    {
        const BlockShape* shape;
        std::vector<size_t> rows;
    };
    std::vector<Unit> units;
    QList<BoundStatement> series;
    for (const Group& group : groups) {
        const BlockShape& shape = m_shapes[size_t(group.kind)];
        const size_t step = size_t(shape.maxRows());
        for (size_t first = 0; first < group.rows.size(); first += step) {
            const size_t n = std::min(step, group.rows.size() - first);
            Unit unit{&shape,
                      {group.rows.begin() + std::ptrdiff_t(first), group.rows.begin() + std::ptrdiff_t(first + n)}};
            if (n == 1) {
                Entry& e = entries[unit.rows.front()];
                if (e.alone.sql.isEmpty())
                    e.alone = {shape.sql(1), shape.values({&e.values})};
                series.append({e.alone.sql, e.alone.values});
            } else {
                std::vector<const QVariantList*> rows;
                rows.reserve(n);
                for (size_t k : unit.rows)
                    rows.push_back(&entries[k].values);
                series.append({shape.sql(int(n)), shape.values(rows)});
            }
            units.push_back(std::move(unit));
        }
    }
    for (qsizetype next = 0; next < series.size();) {
        std::optional<DbError> refusal;
        const int went = m_db.executeSeries(series.mid(next), refusal);
        for (qsizetype k = next; k < next + went; ++k)
            written(*units[size_t(k)].shape, int(units[size_t(k)].rows.size()));
        next += went;
        if (next >= series.size())
            break;
        // The engine undid the refused statement: a block's rows now go alone, to be refused alone.
        const Unit& unit = units[size_t(next)];
        if (unit.rows.size() == 1)
            refusals[unit.rows.front()] = refusal;
        else
            for (size_t k : unit.rows)
                sendAlone(entries[k], refusals[k]);
        ++next;
    }
}

void BlockWriter::sendAlone(Entry& entry, std::optional<DbError>& refusal)
{
    if (entry.alone.sql.isEmpty()) {
        const BlockShape& shape = m_shapes[size_t(entry.kind)];
        entry.alone = {shape.sql(1), shape.values({&entry.values})};
    }
    try {
        if (entry.alone.values.isEmpty())
            m_db.execute(entry.alone.sql);
        else
            m_db.executeBound(entry.alone.sql, entry.alone.values);
        written(m_shapes[size_t(entry.kind)], 1);
    } catch (const TransactionLost&) {
        throw;
    } catch (const DbError& e) {
        refusal = e;
    }
}

void BlockWriter::written(const BlockShape& shape, int rows)
{
    if (shape.needsStatistics())
        m_written[shape.table()] += rows;
}

void BlockWriter::refreshStatistics()
{
    for (auto it = m_written.cbegin(); it != m_written.cend(); ++it) {
        const QString sql = Dialect::refreshStatistics(it.key(), m_db.engine());
        if (it.value() < kRows || sql.isEmpty())
            continue;
        try {
            const double counted = m_db.execute(Dialect::countedRows(it.key(), m_db.engine())).value(0).toDouble();
            if (counted < 0 || it.value() * 10 > counted)
                m_db.execute(sql);
        } catch (const DbError&) {
        }
    }
}

} // namespace vocaset
