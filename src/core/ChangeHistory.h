#pragma once

#include <optional>

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantList>

#include "BlockWriter.h"
#include "Messages.h"
#include "SecretParameters.h"
#include "Session.h"

namespace vocaset {

// The table of changes, created by the first change recorded on a database that lacks it.
inline constexpr char kHistoryTable[] = "CHANGE_HISTORY";

// One change as the history keeps it.
struct HistoryEntry
{
    QString time;      // UTC, "yyyy-MM-dd HH:mm:ss.uuuuuu", so text order is time order
    QString user;      // the acting user, upper case
    QString program;   // the program's name: vocaset, vocaset-cli
    QString source;    // what made the change: editor, config, rename, phones import, ...
    QString operation; // new, edit, delete, rename
    QString table;
    QString key;    // the record's key values, see historyKey()
    QString column; // the changed column; empty for a whole record added or removed
    QString oldValue;
    QString newValue;
    QString company; // the record's company and telephone codes once changed, for the filters
    QString phone;
};

// A record's key values as the history names it: joined with "/", a "/" or "\" inside a value
// escaped with "\", so two keys never read alike.
QString historyKey(const QStringList& values);

// Writes the history of the changes one run makes, inside the transaction of that run: the history
// row goes with the change, or neither stays. Values of secrets (a telephone's login password, a
// parameter described as a password, an editor tab's password) are stored masked.
class ChangeRecorder final
{
public:
    // source: what makes the changes, as the history shows it ("editor", "phone-book import", ...).
    ChangeRecorder(Session& s, QString source);
    Q_DISABLE_COPY_MOVE(ChangeRecorder)

    // A record given by its columns and values in table order, its key columns first.
    void added(const QString& table, const QStringList& columns, const QStringList& values, int keyCount);
    void removed(const QString& table, const QStringList& columns, const QStringList& values, int keyCount);
    // The same record before and after: one history row per column whose value changed.
    void edited(const QString& table, const QStringList& columns, const QStringList& before, const QStringList& after,
                int keyCount);
    // A code given a new name: the record named by its old key, the column that holds the code.
    void renamed(const QString& table, const QStringList& keyColumns, const QStringList& keyValues,
                 const QString& column, const QString& to);

    // For a writer of many records: the history rows go in the blocks of the writer's own rows (or
    // in blocks of their own), a refused one failing the run; flush() sends what waits. Otherwise
    // every method above sends its rows at once.
    void useBlocks(BlockWriter* blocks = nullptr);
    void flush();

    // The history rows a query gives: `select` is what follows SELECT, its columns the operation, table,
    // key, column, old value, new value, company and telephone; values fill its place-holders. Values
    // are stored as the query gives them, cut to the columns' widths by the query, unmasked.
    void insertSelected(const QString& select, const QVariantList& values);
    // Whether a table holds values the history masks (the recorder's methods above know which).
    static bool maySecret(const QString& table);

    // The columns of the history table in the order the rows are sent.
    static const QStringList& columns();

    // For benchmarks only, which time a run with and without its history: while off, no recorder and
    // no snapshot reads or writes anything. No program switches it off.
    static void setRecordingForBenchmark(bool on);

private:
    struct Record
    {
        QString table;
        QStringList columns;
        QStringList values;
        int keyCount = 0;
        QString value(const char* column) const;
    };
    void add(const Record& r, const QString& key, const QString& operation, const QString& column,
             const QString& oldValue, const QString& newValue);
    bool secret(const Record& r, const QString& column);
    QString wholeRecord(const Record& r);
    void ensureTable();

    Session& m_s;
    QString m_source;
    QString m_time;
    QString m_program;
    int m_seq = 0;
    bool m_ready = false;
    std::optional<BlockWriter> m_ownBlocks;
    BlockWriter* m_blocks = nullptr;
    BlockWriter::Kind m_kind = 0;
    QHash<QString, std::optional<SecretParameters>> m_secrets; // by model
};

// The records of a table that a bulk run may change: those whose column holds one value (a company's
// code). They are copied inside the run's transaction before it writes; record() then has the database
// write the history of each record the run added, removed or changed, from the copy and the table. So
// the history holds what the run did to the database, whichever of its statements did it (a row the
// engine refused has none), and no record travels to the program and back. Not for tables whose
// values the history masks.
class TableSnapshot final
{
public:
    // A run that can only change records whose column `scope.column` holds one of `scope.values` (a few
    // codes of a company that has many) names them: only those are copied and compared.
    struct Scope
    {
        QString column;
        QStringList values;
    };
    TableSnapshot(Database& db, const QString& table, const QString& column, const QString& value,
                  const std::optional<Scope>& scope = std::nullopt);
    ~TableSnapshot();
    Q_DISABLE_COPY_MOVE(TableSnapshot)
    void record(ChangeRecorder& history);

private:
    struct Bound;
    struct Column
    {
        QString name;
        bool text = true;
        int width = -1; // declared; -1 without one
    };
    int columnAt(const QString& name) const; // -1 when the table has none of that name
    QString text(const QString& alias, int column) const;
    void key(Bound& out, const QString& alias) const;
    QString whole(const QString& alias) const;
    QString owner(const QString& alias, const char* column) const;
    QString sameKey(const QString& a, const QString& b) const;
    QString inScope(const QString& alias) const;

    Database& m_db;
    QString m_table;
    QString m_value;
    QList<Column> m_columns; // key columns first
    int m_keyCount = 0;
    int m_fixed = -1; // the column that holds m_value
    QString m_scope;  // " IN (...)" after a column of the scope's, or empty
    QString m_scopeColumn;
    bool m_copied = false;
};

// The count of the changes listed, under the list.
inline constexpr CountedText kHistoryCount{"M605", "$$ changes", "M438", "$$ change"};

// What the history lists: every condition given narrows it; newest first.
struct HistoryFilter
{
    QString company;
    QString phone;
    QString table;
    QString user;
    QString since; // a time as historyTime() gives it
    QString key;   // with table: one record's changes
    int limit = 0; // 0: every row
};

// Reads the history; empty when the database has none yet.
QList<HistoryEntry> readHistory(Database& db, const HistoryFilter& filter);

// A date or time as --since takes it ("2026-12-09", "2026-12-09 14:30", "2026-12-09T14:30:05",
// with or without a trailing "Z"; UTC) in the form the history stores; nothing when it is not one.
std::optional<QString> historyTime(const QString& text);

// "2026-12-09 14:30:05  ALICE  vocaset-cli config  edit  PHONES ALPIN/101  PH_DESC: Desk → Hall"
QString historyLine(const HistoryEntry& e);

} // namespace vocaset
