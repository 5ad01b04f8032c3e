#include "Recordset.h"

namespace vocaset {

Recordset::Recordset(QStringList names, QList<QVariantList> rows) : m_names(std::move(names)), m_rows(std::move(rows)) {}

int Recordset::fieldIndex(const QString& name) const
{
    for (int i = 0; i < m_names.size(); ++i) {
        if (m_names[i].compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

QVariant Recordset::value(int field) const
{
    if (eof() || field < 0 || field >= m_rows[m_pos].size())
        return {};
    return m_rows[m_pos][field];
}

QVariant Recordset::value(const QString& name) const
{
    return value(fieldIndex(name));
}

} // namespace vocaset
