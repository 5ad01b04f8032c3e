#pragma once

#include <optional>

#include <QList>
#include <QString>
#include <QStringList>

#include "TableCatalogue.h"

namespace vocaset {

enum class Operation { None, Update, Insert, Delete };

// One edit row: the caption and either a text box or a drop-down for one column of the record.
struct EditRow
{
    QString column;
    QString caption;
    bool key = false;
    std::optional<QString> lookup; // the lookup statement of the column, if it has one
    QString original;              // the listed value (Edit, Delete)

    bool textShown = false;
    bool textEnabled = false;
    QString text;

    bool comboShown = false;
    bool comboEnabled = false;
    QStringList entries; // value, or value " \\ " description
    int choice = -1;

    QString comboText() const { return entries.value(choice); }
    // The value of the drop-down: its entry up to the separator.
    QString comboValue() const;
    // What the record holds for the column now: the text shown, else the drop-down's value.
    QString value() const;
};

struct SaveResult
{
    enum Outcome {
        NothingToSave, // an Edit without change: no statement sent
        Saved,
        Refused, // a check refused the record before any statement; the operation stays open
        Failed   // the database refused the statement; the operation stays open
    };
    Outcome outcome = NothingToSave;
    QString message;   // for the operator when refused or failed, in words
    QString detail;    // the database's own text when it refused the statement
    QStringList cells; // the record as stored, after a saved Edit
    bool gone = false; // Failed: the record listed is no longer there (another operator deleted it)
};

// The key of a listed record (one text per column) as the change history names it.
QString recordHistoryKey(const TableCatalogue& cat, const QStringList& cells);

// The record being edited, inserted or deleted: its edit rows with what each shows and allows, the
// drop-downs filled from their lookups and chained during an insert, and the statement Ok sends.
// Every value goes into the statements quoted, so any character typed is stored as typed.
class RecordForm
{
public:
    RecordForm(Session& s, TableCatalogue cat, AccessMode mode);

    Operation operation() const { return m_op; }
    const QList<EditRow>& rows() const { return m_rows; }
    bool okEnabled() const { return m_ok; }
    // The caption of Ok for the operation in progress.
    QString okCaption() const;
    // The text of the last lookup that could not be read, empty when every drop-down was filled.
    const QString& lookupError() const { return m_lookupError; }
    // True when the operator typed or chose something that would be lost by abandoning.
    bool dirty() const;

    // Opens a listed record (one text per column) for change or deletion, or starts a new record.
    // False, with nothing started, for a table without key or columns (Edit and Delete), or when
    // the access mode lists no rows.
    bool startEdit(const QStringList& cells);
    bool startNew();
    bool startDelete(const QStringList& cells);

    // The operator's input, with the chaining of an insert: a choice empties and disables the later
    // drop-downs and fills the next one; a filled field enables the one after it.
    void setText(int row, const QString& text);
    void choose(int row, int entry);
    // Gives a column a value as the operator would: typed into its text box, or chosen by its code
    // among the drop-down's entries. False when the field is not open for input or the drop-down
    // does not offer the value.
    bool setValue(int row, const QString& value);
    // The edit row of a column, or -1.
    int rowOf(const QString& column) const;
    // The column that must be filled in before a field can take a value: during an insert the
    // drop-down before a drop-down, else the field before a closed one; empty when nothing waits.
    QString waitingFor(int row) const;
    // The columns an insert still needs: empty keys and drop-downs without a choice.
    QStringList missing() const;

    // The statement Ok would send now; changed is false for an Edit that changes nothing.
    QString statement(bool* changed = nullptr) const;
    // Checks the record (the columns' declared widths too) and sends the statement. Saved and
    // NothingToSave end the operation. The record is read and held inside the save's transaction
    // before anything is compared or recorded, so another operator's change of it waits, and the
    // history names the value replaced; a record another operator deleted since it was listed saves
    // nothing (gone). A failure of the engine itself throws TransactionLost.
    SaveResult save();
    void end();

private:
    bool start(Operation op, const QStringList& cells);
    void fill(int row);
    void openAfter(int row); // enables the field after a filled one
    void readLookups();
    void checkReady();
    QStringList values() const;
    QList<bool> written() const;
    QString keyCondition() const;
    // The record as stored now, read inside the save's transaction; nothing when it is gone.
    std::optional<QStringList> storedRecord() const;
    void recordHistory(const std::optional<QStringList>& stored) const;

    Session& m_s;
    TableCatalogue m_cat;
    AccessMode m_mode;
    Operation m_op = Operation::None;
    QList<EditRow> m_rows;
    bool m_ok = false;
    QString m_lookupError;
};

} // namespace vocaset
