#pragma once

#include <functional>
#include <optional>
#include <vector>

#include <QHash>
#include <QString>
#include <QVariantList>

#include "Database.h"

namespace vocaset {

// How the rows of one kind go into one statement: fixed texts and pieces repeated once per row, such
// as "INSERT INTO RANGES VALUES" then "(?, ?)" joined by ", ". Each piece takes, from every row's
// values, as many as it has place-holders, in order; a fixed text may carry values of its own.
class BlockShape final
{
public:
    explicit BlockShape(QString table) : m_table(std::move(table)) {}

    // "INSERT INTO table VALUES" followed by one row piece per row.
    static BlockShape insert(const QString& table, const QString& rowPiece);
    // A row piece of place-holders only: "(?, ?, ?)" for three.
    static QString placeHolders(int count);
    // "UPDATE table SET set FROM (VALUES (?, ...), ...) AS v WHERE where": each row gives the values
    // v.column1, v.column2, ... that set and where name; where's own place-holders take whereValues.
    // One statement on both engines, each row matching its own target row.
    static BlockShape update(const QString& table, const QString& set, int valuesPerRow, const QString& where,
                             const QVariantList& whereValues = {});

    BlockShape& text(const QString& sql, const QVariantList& values = {});
    BlockShape& rows(const QString& piece, const QString& separator = QStringLiteral(", "));
    // Rows of this kind neither need nor hinder the rows of other kinds sent in the same flush (each
    // row its own key), so they may go before or after them.
    BlockShape& independent()
    {
        m_independent = true;
        return *this;
    }

    // Rows of a log that only grows and that no bulk statement reads: the server's background
    // statistics serve it, where taking them after each run would cost more than the run's rows.
    BlockShape& withoutStatistics()
    {
        m_statistics = false;
        return *this;
    }

    const QString& table() const { return m_table; }
    bool isIndependent() const { return m_independent; }
    // Rows that go in or out move the planner's counts; rows changed in place do not.
    bool needsStatistics() const { return m_statistics && !m_inPlace; }
    int valuesPerRow() const { return m_perRow; }
    // How many rows one statement takes: a few hundred, fewer for wide rows (the engines bound the
    // number of place-holders of a statement).
    int maxRows() const;
    QString sql(int rows) const;
    // The values of a statement over these rows.
    QVariantList values(const std::vector<const QVariantList*>& rows) const;

private:
    struct Part
    {
        QString sql;
        QVariantList values; // of a fixed text
        QString separator;
        int placeHolders = 0; // of a row piece
        bool perRow = false;
    };
    QString m_table;
    QList<Part> m_parts;
    int m_perRow = 0;
    bool m_independent = false;
    bool m_statistics = true;
    bool m_inPlace = false; // an UPDATE
};

// A statement sent on its own: bound values when there are any, else the text as it stands.
struct RowStatement
{
    QString sql;
    QVariantList values;
};

// Sends the rows of a bulk writer in blocks: one multi-row statement for a few hundred rows, under one
// savepoint on the server, where each row alone would cost a savepoint, the statement and a release.
// The statements of a flush go to the engine as one series (Database::executeSeries): on a server, one
// round trip for several blocks.
// When the engine refuses a block, its rows are sent again one by one, each with its own statement,
// so the row at fault is refused exactly as it would have been alone and the others still go in. A
// failure that ended the transaction (TransactionLost: a full disk, a lost connection, another
// session's lock or a time-out) stops everything at once: replayed, each row would wait again.
// Before its first statement the writer sends the engine's setting for bulk writes
// (Dialect::bulkWriteSetting), which lasts until the transaction ends.
//
// Outcomes come in the order the rows were added, after their block went: each row's `done` learns
// whether the row was refused, and steps queued with then() run in between, so a writer's log keeps
// its order. A done or a step may add rows; they go with the next block. The writer flushes itself
// when blocks of a kind are full; flush() sends the rest (before any statement of its own, and before commit).
//
//     BlockWriter blocks(db);
//     const auto kind = blocks.kind(BlockShape::insert(QStringLiteral("T"), BlockShape::placeHolders(2)));
//     for (const Row& r : rows)
//         blocks.add(kind, {r.a, r.b}, [&](const DbError* refusal) { log(r, refusal); });
//     blocks.flush();
//     transaction.commit();
//     blocks.refreshStatistics();
class BlockWriter final
{
public:
    static constexpr int kRows = 500;
    // Full blocks of one kind that wait before the writer flushes itself: a flush's statements go to
    // a server in one round trip.
    static constexpr int kBlocksPerFlush = 8;

    using Kind = int;
    // nullptr when the row went in, else the engine's refusal of the row's own statement.
    using Done = std::function<void(const DbError* refusal)>;

    explicit BlockWriter(Database& db) : m_db(db) {}
    Q_DISABLE_COPY_MOVE(BlockWriter)

    Kind kind(BlockShape shape);
    // A row of a kind: its values for the shape's row piece, the statement that sends it alone when
    // its block is refused (none: the shape's statement over this one row), and what to do with its
    // outcome.
    void add(Kind kind, QVariantList values, RowStatement alone, Done done);
    // The same, sent alone as the shape's statement over this one row.
    void add(Kind kind, const QVariantList& values, Done done = {});
    // Runs at once when no row waits, else after the outcomes of the rows added before it.
    void then(std::function<void()> step);
    void flush();
    bool idle() const { return m_queue.empty(); }

    // Brings the planner's statistics of the tables that rows went into or out of in bulk up to date,
    // after the transaction is committed: where a block's worth of rows or more, and more than a tenth
    // of the rows the planner counted, went in or out. A smaller share moves its estimates as little
    // as the server's background worker lets pass, while sampling a large table costs more than the
    // rows did. A refusal (an account that does not own the table) changes nothing else and is not an
    // error of the run.
    void refreshStatistics();

private:
    struct Entry
    {
        Kind kind = -1; // -1 for a step
        int segment = 0;
        QVariantList values;
        RowStatement alone;
        Done done;
        std::function<void()> step;
    };
    void send(std::vector<Entry>& entries, std::vector<std::optional<DbError>>& refusals);
    void written(const BlockShape& shape, int rows);
    void sendAlone(Entry& entry, std::optional<DbError>& refusal);

    Database& m_db;
    std::vector<BlockShape> m_shapes;
    std::vector<Entry> m_queue;
    std::vector<int> m_waiting; // rows in the queue per kind
    std::vector<Kind> m_order;  // kinds in the order of their first row in the current segment
    int m_segment = 0;
    QHash<QString, int> m_written; // table -> rows that went in
    bool m_reporting = false;
    bool m_settled = false; // the engine's bulk-write setting was sent
};

} // namespace vocaset
