#pragma once

#include <QList>
#include <QString>

#include "Dialect.h"
#include "QueryField.h"

namespace vocaset {

// What the operator set for one field: its check box and its filter row.
struct FieldChoice
{
    bool checked = false;
    QString text;  // the filter box's text
    int entry = 0; // 0 the first entry (no filter), -1 free text (a LIKE pattern), > 0 a listed value
    QString op = QStringLiteral("="); // "=", "<>", ">" or "<" for a listed value
};

// Builds the query tool's statements from the field catalogue and the operator's choices. Pure: it
// reads nothing. On SQLite the texts are those the tool has always sent; on the server, the column
// types decide the few casts that make the same statement give the same rows.
class QueryBuilder
{
public:
    QueryBuilder(QString table, QList<QueryField> fields, Engine engine = Engine::SQLite);

    // The select expression of a field.
    QString expression(int field) const;
    // The fields a query selects, in catalogue order: the checked ones, or field 0 when none is.
    static QList<int> selected(const QList<FieldChoice>& choices);
    // The grouped, filtered SELECT; choices has one entry per field.
    QString statement(const QList<FieldChoice>& choices) const;
    // The distinct values that fill a field's filter list.
    QString valuesStatement(int field) const;

private:
    // What GROUP BY and ORDER BY name for a grouping field: the column, or the substring shown.
    QString groupKey(int field) const;
    QString filterOperand(int field, bool like) const;

    QString m_table;
    QList<QueryField> m_fields;
    Engine m_engine;
};

} // namespace vocaset
