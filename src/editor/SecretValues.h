#pragma once

#include <map>

#include <QList>
#include <QString>
#include <QVariantList>

#include "SecretParameters.h"
#include "TableCatalogue.h"

namespace vocaset {

// The secret values of a table of parameter values: in a table whose EQ_CODE and PA_CODE columns
// name a parameter, its value and default columns when the model keeps that parameter secret (the
// change history's rule). Lists show them masked; the record form shows them on request.
class SecretValues final
{
public:
    SecretValues(Database& db, const TableCatalogue& cat);

    // The columns (positions in the catalogue) that may hold a secret; empty for other tables.
    const QList<int>& columns() const { return m_columns; }
    // Whether a record (one value per column) is a secret parameter's.
    bool secret(const QStringList& record) const;
    bool secret(const QVariantList& row) const;
    bool secret(const QString& model, const QString& parameter) const;

private:
    Database& m_db;
    int m_model = -1;
    int m_parameter = -1;
    QList<int> m_columns;
    mutable std::map<QString, SecretParameters> m_models;
};

} // namespace vocaset
