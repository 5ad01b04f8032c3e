#pragma once

#include <optional>

#include <QList>
#include <QString>
#include <QStringList>

#include "EditorAccess.h"

namespace vocaset {

struct CatalogueColumn
{
    QString name;    // as the schema catalogue spells it
    QString caption; // description row, else the catalogue's description, else empty
};

// The filter of one key column: entry 0 is "All", then the column's distinct values.
struct KeyFilter
{
    QString column;
    QString caption;
    QStringList values;
};

// What the editor knows of the table of the selected tab, rebuilt on every tab selection.
struct TableCatalogue
{
    QString table;
    QList<CatalogueColumn> columns; // in ordinal order: list header k + 1 is column k
    QList<KeyFilter> filters;       // Filter(i) for the key column at position i in the key
    QString orderClause;            // " ORDER BY " and the key columns, or empty

    int keyCount() const { return int(filters.size()); }
    int columnIndex(const QString& name) const;
    bool isKey(const QString& column) const;
    // Positions in columns of the key columns, in key order.
    QList<int> keyIndexes() const;
    // The column the "$$" rule of the access modes applies to: the first key column, or the first
    // column of a table without key.
    QString ruleColumn() const;
};

// Reads the column and primary-key catalogue of a table, the captions and the key filters' values.
// Throws DbError with a message naming the table when it is not a plain name or has no column.
TableCatalogue readCatalogue(Session& s, const QString& table);

} // namespace vocaset
