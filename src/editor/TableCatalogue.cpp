#include "TableCatalogue.h"

#include <algorithm>

#include "DbError.h"
#include "EditorMessages.h"
#include "Messages.h"
#include "Sql.h"

namespace vocaset {

int TableCatalogue::columnIndex(const QString& name) const
{
    for (int i = 0; i < columns.size(); ++i)
        if (columns[i].name.compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

bool TableCatalogue::isKey(const QString& column) const
{
    return std::any_of(filters.begin(), filters.end(),
                       [&](const KeyFilter& f) { return f.column.compare(column, Qt::CaseInsensitive) == 0; });
}

QList<int> TableCatalogue::keyIndexes() const
{
    QList<int> out;
    for (const KeyFilter& f : filters)
        out.append(columnIndex(f.column));
    return out;
}

QString TableCatalogue::ruleColumn() const
{
    if (!filters.isEmpty())
        return filters.first().column;
    return columns.isEmpty() ? QString() : columns.first().name;
}

TableCatalogue readCatalogue(Session& s, const QString& table)
{
    if (!isPlainIdentifier(table))
        throw DbError(editorText(s, EditorText::NotATable, table));
    TableCatalogue cat;
    cat.table = table;

    const Recordset keys = s.db.primaryKeys(table);
    cat.filters.resize(keys.count());
    QStringList order;
    for (const QVariantList& row : keys.rows()) {
        const QString column = row.value(0).toString();
        const int ordinal = row.value(1).toInt();
        order.append(column);
        // A key position outside 1..KeyCount cannot name a filter; the catalogue never gives one.
        if (ordinal < 1 || ordinal > cat.filters.size())
            continue;
        KeyFilter& filter = cat.filters[ordinal - 1];
        filter.column = column;
        const Recordset values =
            s.db.execute(QStringLiteral("SELECT DISTINCT ") + column + QStringLiteral(" FROM ") + table);
        for (const QVariantList& v : values.rows())
            filter.values.append(v.value(0).toString());
        // The server returns DISTINCT rows in no particular order; both engines offer them sorted.
        std::sort(filter.values.begin(), filter.values.end());
    }
    if (!order.isEmpty())
        cat.orderClause = QStringLiteral(" ORDER BY ") + order.join(QStringLiteral(", "));

    const Recordset columns = s.db.columns(table);
    if (columns.isEmpty())
        throw DbError(editorText(s, EditorText::NotATable, table));
    cat.columns.resize(columns.count());
    int position = 0;
    for (const QVariantList& row : columns.rows()) {
        ++position;
        const QString name = row.value(0).toString();
        const QVariant ordinal = row.value(1);
        int index = (ordinal.isNull() ? position : ordinal.toInt()) - 1;
        if (index < 0 || index >= cat.columns.size())
            index = position - 1;
        const QString caption = textOr(s, name, row.value(2).toString());
        cat.columns[index] = {name, caption};
        for (KeyFilter& filter : cat.filters)
            if (filter.column == name)
                filter.caption = caption;
    }
    return cat;
}

} // namespace vocaset
