#pragma once

#include <optional>

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantList>

#include "BlockWriter.h"
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

    // The columns of the history table in the order the rows are sent.
    static const QStringList& columns();

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

// The records of a table that a bulk run may change, read inside its transaction before it writes;
// record() then writes the history of each record the run added, removed or changed, so the history
// holds what the run did to the database, whichever of its statements did it.
class TableSnapshot final
{
public:
    // where: the condition that holds every record the run may touch, its values quoted.
    TableSnapshot(Database& db, const QString& table, const QString& where);
    Q_DISABLE_COPY_MOVE(TableSnapshot)
    void record(ChangeRecorder& history);

private:
    QList<QStringList> read();

    Database& m_db;
    QString m_table;
    QString m_select;
    QStringList m_columns; // key columns first
    int m_keyCount = 0;
    QList<QStringList> m_before;
};

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
