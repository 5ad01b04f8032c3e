#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

namespace vocaset {

// A client-side result set: every row is fetched when the statement runs, so the exact count is
// known before the first row is read. Positions are 1-based; field names match case-insensitively.
class Recordset
{
public:
    Recordset() = default;
    Recordset(QStringList names, QList<QVariantList> rows);

    int count() const { return int(m_rows.size()); }
    bool isEmpty() const { return m_rows.isEmpty(); }
    bool eof() const { return m_pos >= m_rows.size(); }
    void moveNext() { if (m_pos < m_rows.size()) ++m_pos; }
    void moveFirst() { m_pos = 0; }
    // Moves to the 1-based row n; beyond the last row the set is at its end.
    void moveTo(int n) { m_pos = qBound(0, n - 1, int(m_rows.size())); }
    int position() const { return eof() ? 0 : int(m_pos) + 1; }

    int fieldCount() const { return int(m_names.size()); }
    QString fieldName(int i) const { return m_names.value(i); }
    int fieldIndex(const QString& name) const;

    QVariant value(int field) const;
    QVariant value(const QString& name) const;
    bool isNull(int field) const { return value(field).isNull(); }
    bool isNull(const QString& name) const { return value(name).isNull(); }
    // The value as text; null reads as an empty text.
    QString text(int field) const { return value(field).toString(); }
    QString text(const QString& name) const { return value(name).toString(); }

    const QList<QVariantList>& rows() const { return m_rows; }

private:
    QStringList m_names;
    QList<QVariantList> m_rows;
    qsizetype m_pos = 0;
};

} // namespace vocaset
