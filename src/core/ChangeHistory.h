#pragma once

#include <optional>

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantList>

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
    QString program;   // vocaset, vocaset-cli, lenvik
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

    // The rows recorded and not yet sent; a bulk writer sends them with its own blocks.
    int pending() const { return int(m_pending.size()); }
    // Sends what is pending. Every method above sends at once unless batching is on.
    void flush();
    // Keeps rows until flush() or until a block is full, for writers of many records.
    void setBatching(bool on) { m_batching = on; }

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
    void send(int rows);

    Session& m_s;
    QString m_source;
    QString m_time;
    int m_seq = 0;
    bool m_ready = false;
    bool m_batching = false;
    QList<QVariantList> m_pending;
    QHash<QString, std::optional<SecretParameters>> m_secrets; // by model
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
