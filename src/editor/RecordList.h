#pragma once

#include <functional>
#include <optional>

#include <QList>
#include <QString>
#include <QStringList>

#include "TableCatalogue.h"

namespace vocaset {

// The choice of each key filter: nothing for "All", else the value chosen.
using FilterChoice = QList<std::optional<QString>>;

// " WHERE " + the first key's "$$" rule for the access mode + one condition per chosen filter.
QString whereClause(const TableCatalogue& cat, AccessMode mode, const FilterChoice& filters);
// "SELECT " + the columns in ordinal order + " FROM " + table + WhereClause + OrderClause.
QString listStatement(const TableCatalogue& cat, AccessMode mode, const FilterChoice& filters);

// Called after each listed row with the rows done and the total; false stops the listing.
using ListProgress = std::function<bool(int done, int total)>;

struct ListedRecords
{
    QList<QVariantList> rows; // one value per column, in ordinal order
    bool stopped = false;
};

// A listed value as the list shows it: its text, empty for null.
inline QString cellText(const QVariant& value)
{
    return value.isNull() ? QString() : value.toString();
}
QStringList cellTexts(const QVariantList& row);

// Sends the list statement and hands its rows over as the engine returned them (no copy), reporting
// progress and giving the user interface a turn at most every 15 ms. Throws DbError when the
// statement is refused.
ListedRecords listRecords(Session& s, const TableCatalogue& cat, AccessMode mode, const FilterChoice& filters,
                          const ListProgress& progress = {});

// The hidden key text of a listed row: its key values (at the given positions) joined without
// separator.
QString rowKeyText(const QVariantList& row, const QList<int>& keys);

// Header-click sorting: a new header sorts ascending, the same header again reverses the order.
// The column number stays across listings.
struct ListSort
{
    int column = 0; // SortColumn: the header last clicked, 0 for none
    bool ascending = true;
    void click(int header)
    {
        if (header == column) {
            ascending = !ascending;
        } else {
            column = header;
            ascending = true;
        }
    }
};

} // namespace vocaset
