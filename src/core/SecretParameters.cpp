#include "SecretParameters.h"

#include "Sql.h"

namespace vocaset {

const QString SecretParameters::kMask = QStringLiteral("***");

bool SecretParameters::secretDescription(const QString& description)
{
    return description.contains(QLatin1String("password"), Qt::CaseInsensitive);
}

SecretParameters::SecretParameters(Database& db, const QString& model)
{
    const Recordset login = db.execute(QStringLiteral("SELECT SY_VALUE FROM SYSTEM_PARAMETERS WHERE SY_CODE = '$$") +
                                       sqlText(model) + QStringLiteral("' AND SY_SUBCODE = '$$EPWD'"));
    for (const QVariantList& row : login.rows())
        m_codes.insert(row.at(0).toString());
    const Recordset catalogue =
        db.execute(QStringLiteral("SELECT PA_CODE, PA_DESC FROM EQUIPMENT_PARAMETERS WHERE EQ_CODE = '") +
                   sqlText(model) + QStringLiteral("'"));
    for (const QVariantList& row : catalogue.rows()) {
        if (secretDescription(row.at(1).toString()))
            m_codes.insert(row.at(0).toString());
    }
}

} // namespace vocaset
