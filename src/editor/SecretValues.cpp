#include "SecretValues.h"

namespace vocaset {

SecretValues::SecretValues(Database& db, const TableCatalogue& cat)
    : m_db(db), m_model(cat.columnIndex(QStringLiteral("EQ_CODE"))),
      m_parameter(cat.columnIndex(QStringLiteral("PA_CODE")))
{
    if (m_model < 0 || m_parameter < 0)
        return;
    for (const char* column : {"PA_VALUE", "PA_DEFAULT"}) {
        if (const int at = cat.columnIndex(QLatin1String(column)); at >= 0)
            m_columns.append(at);
    }
}

bool SecretValues::secret(const QString& model, const QString& parameter) const
{
    if (m_columns.isEmpty() || parameter.isEmpty())
        return false;
    auto it = m_models.find(model);
    if (it == m_models.end())
        it = m_models.emplace(model, SecretParameters(m_db, model)).first;
    return it->second.contains(parameter);
}

bool SecretValues::secret(const QStringList& record) const
{
    return !m_columns.isEmpty() && secret(record.value(m_model), record.value(m_parameter));
}

bool SecretValues::secret(const QVariantList& row) const
{
    return !m_columns.isEmpty() && secret(row.value(m_model).toString(), row.value(m_parameter).toString());
}

} // namespace vocaset
