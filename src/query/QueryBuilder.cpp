#include "QueryBuilder.h"

#include "Database.h"
#include "Sql.h"

namespace vocaset {
namespace {

bool isTextColumn(const QueryField& f)
{
    return f.columnType == AdoType::Char || f.columnType == AdoType::WChar;
}

// Appends each item followed by ", " after the keyword; without items the keyword goes too, with
// them the last ", " gives way to a blank.
void appendList(QString& sql, const QString& keyword, const QStringList& items)
{
    if (items.isEmpty())
        return;
    sql += keyword;
    for (const QString& item : items)
        sql += item + QStringLiteral(", ");
    sql.chop(2);
    sql += u' ';
}

} // namespace

QueryBuilder::QueryBuilder(QString table, QList<QueryField> fields, Engine engine)
    : m_table(std::move(table)), m_fields(std::move(fields)), m_engine(engine)
{
}

QString QueryBuilder::expression(int field) const
{
    const QueryField& f = m_fields.at(field);
    switch (f.aggregate) {
    case Aggregate::None:
        break;
    case Aggregate::Sum:
        return QStringLiteral("SUM(") + (isTextColumn(f) ? Dialect::asNumber(f.name, m_engine) : f.name) + u')';
    case Aggregate::Count:
        return QStringLiteral("COUNT(") + f.name + u')';
    case Aggregate::Sub:
        if (!f.isSubstring())
            break;
        return QStringLiteral("SUBSTRING(") + (isTextColumn(f) ? f.name : Dialect::asText(f.name, m_engine)) +
               QStringLiteral(", ") + QString::number(f.subStart) + QStringLiteral(", ") +
               QString::number(f.subLength) + u')';
    case Aggregate::Avg:
        return QStringLiteral("AVG(DISTINCT ") +
               (f.columnType == AdoType::Double ? f.name : Dialect::asNumber(f.name, m_engine)) + u')';
    }
    return f.name;
}

QString QueryBuilder::groupKey(int field) const
{
    // A substring field groups by what it shows: grouping by the whole column would count per
    // whole value and then merge rows that look alike.
    return m_fields.at(field).isSubstring() ? expression(field) : m_fields.at(field).name;
}

QString QueryBuilder::filterOperand(int field, bool like) const
{
    const QueryField& f = m_fields.at(field);
    // Dates are compared as the list shows them, so a value picked from the list finds its rows.
    if (f.dataClass == DataClass::Date)
        return Dialect::dayText(expression(field), m_engine);
    if (like && !isTextColumn(f) && !f.isSubstring())
        return Dialect::asText(expression(field), m_engine);
    return expression(field);
}

QList<int> QueryBuilder::selected(const QList<FieldChoice>& choices)
{
    QList<int> out;
    for (int i = 0; i < choices.size(); ++i) {
        if (choices[i].checked)
            out.append(i);
    }
    if (out.isEmpty() && !choices.isEmpty())
        out.append(0);
    return out;
}

QString QueryBuilder::statement(const QList<FieldChoice>& choices) const
{
    const QList<int> fields = selected(choices);
    QString sql = QStringLiteral("SELECT DISTINCT ");
    for (int i : fields)
        sql += expression(i) + QStringLiteral(" AS ") + m_fields.at(i).alias + QStringLiteral(", ");
    sql.chop(2);
    sql += QStringLiteral(" FROM ") + m_table + u' ';

    bool where = false;
    for (int i = 0; i < choices.size() && i < m_fields.size(); ++i) {
        const FieldChoice& c = choices[i];
        if (c.text.isEmpty() || c.entry == 0)
            continue;
        sql += where ? QStringLiteral("AND ") : QStringLiteral("WHERE ");
        where = true;
        if (c.entry < 0) {
            QString pattern = c.text;
            pattern.replace(u'*', u'%');
            sql += filterOperand(i, true) + QStringLiteral(" LIKE '") + sqlText(pattern) + QStringLiteral("' ");
        } else {
            sql +=
                filterOperand(i, false) + u' ' + c.op + QStringLiteral(" '") + sqlText(c.text) + QStringLiteral("' ");
        }
    }

    QStringList groups;
    QStringList order;
    for (int i : fields) {
        if (m_fields.at(i).groups()) {
            groups.append(groupKey(i));
            order.append(groupKey(i) + Dialect::nullsFirst(m_engine));
        }
    }
    appendList(sql, QStringLiteral("GROUP BY "), groups);
    appendList(sql, QStringLiteral("ORDER BY "), order);
    return sql;
}

QString QueryBuilder::valuesStatement(int field) const
{
    const QueryField& f = m_fields.at(field);
    QString sql = QStringLiteral("SELECT DISTINCT ") + expression(field) + QStringLiteral(" AS ") + f.alias +
                  QStringLiteral(" FROM ") + m_table + QStringLiteral(" ORDER BY ") +
                  (f.isSubstring() ? expression(field) : m_table + u'.' + f.name);
    if (!f.orderSuffix.isEmpty())
        sql += u' ' + f.orderSuffix;
    return sql;
}

} // namespace vocaset
