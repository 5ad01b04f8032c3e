#pragma once

#include <optional>

#include <QDateTime>
#include <QList>
#include <QString>
#include <QVariant>

#include "QueryField.h"
#include "Recordset.h"

namespace vocaset {

// "# ##0.00": two decimals, thousands set apart by a blank.
QString formatNumber(double value);
// The date a value holds: a date or timestamp from the server, an ISO text from SQLite.
std::optional<QDateTime> dateOf(const QVariant& value);
// The text a value shows in the result list for its field's data class; null shows nothing, and a
// value that is not what its class expects shows as it is.
QString displayText(const QVariant& value, DataClass dataClass);

// One query's outcome: the statement sent, the fields it selected (the list's columns), the rows as
// the database gave them, and the text of every cell.
struct QueryResult
{
    QString statement;
    QList<QueryField> fields;
    Recordset rows;
    QList<int> valueColumns; // for each field, its alias's column in rows
    QList<QString> texts;    // row after row, one per field
    bool stopped = false;    // the operator stopped the run before every row was shown

    int rowCount() const { return fields.isEmpty() ? 0 : int(texts.size() / fields.size()); }
    int columnCount() const { return int(fields.size()); }
    const QString& text(int row, int column) const { return texts.at(qsizetype(row) * fields.size() + column); }
    QVariant value(int row, int column) const;
};

} // namespace vocaset
