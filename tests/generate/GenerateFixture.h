#pragma once

#include <QString>

#include "Sql.h"
#include "TestDatabase.h"

namespace vocaset::test {

// A test database with the code tables, messages whose text is "Mn:" followed by the detail, and
// helpers that add a company, a model, a catalogue row, values and telephones.
struct GenerateData : TestSession
{
    GenerateData()
    {
        for (const char* level : {"E", "C", "P", "D", "X"})
            exec(QStringLiteral("INSERT INTO LEVELS VALUES('%1', 'level')").arg(QLatin1String(level)));
        exec(QStringLiteral("INSERT INTO TYPES VALUES('T', 'text')"));
        for (int m = 1; m <= 15; ++m)
            exec(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'M%1', 'M%1:$$')").arg(m));
    }

    void company(const QString& co) { exec(QStringLiteral("INSERT INTO COMPANY VALUES('%1', 'Company %1')").arg(co)); }
    void model(const QString& eq, const QString& module)
    {
        exec(QStringLiteral("INSERT INTO EQUIPMENT VALUES('%1', 'Model %1', '%2')").arg(eq, module));
    }
    void param(const QString& eq, const QString& code, const QString& level, const QString& def,
               const QString& desc = QString())
    {
        exec(QStringLiteral("INSERT INTO EQUIPMENT_PARAMETERS VALUES('%1', '%2', '%3', '%4', '%5', 'T', '')")
                 .arg(eq, code, sqlText(desc.isNull() ? QStringLiteral("Desc ") + code : desc), level, sqlText(def)));
    }
    void phone(const QString& co, const QString& ph, const QString& eq, const QString& desc, const QString& mac)
    {
        exec(QStringLiteral("INSERT INTO RANGES VALUES('%1', '%2')").arg(co, ph));
        exec(QStringLiteral("INSERT INTO PHONES VALUES('%1', '%2', '%3', '%4', '%5')")
                 .arg(co, ph, eq, sqlText(desc), sqlText(mac)));
    }
    void companyValue(const QString& co, const QString& eq, const QString& code, const QString& value)
    {
        exec(QStringLiteral("INSERT INTO COMPANY_PARAMETERS VALUES('%1', '%2', '%3', '%4')")
                 .arg(co, eq, code, sqlText(value)));
    }
    void phoneValue(const QString& co, const QString& eq, const QString& ph, const QString& code, const QString& value)
    {
        exec(QStringLiteral("INSERT INTO PHONES_PARAMETERS VALUES('%1', '%2', '%3', '%4', '%5')")
                 .arg(co, eq, ph, code, sqlText(value)));
    }
    void setting(const QString& code, const QString& sub, const QString& value)
    {
        exec(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('%1', '%2', '%3')").arg(code, sub, sqlText(value)));
    }
    // Positions the session's current telephone, as a run does.
    void current(const QString& co, const QString& ph)
    {
        s.currentPhone =
            tdb.db.execute(QStringLiteral("SELECT * FROM PHONES WHERE CO_CODE = '%1' AND PH_CODE = '%2'").arg(co, ph));
    }
};

} // namespace vocaset::test
