#pragma once

#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

#include "Database.h"

namespace vocaset::test {

// Two companies: AC with GXP2000 telephone 101 (one value) and PAP2 telephone 102, codes 101 to 103
// in its ranges; BC with telephone 101, whose MAC no telephone of AC may take. The GXP2000 catalogue
// has a password ("2"), a SIP user ("3") and a display name ("35").
inline const QStringList kPhonesRows = {
    QStringLiteral("LEVELS VALUES('P', 'Telephone')"),
    QStringLiteral("TYPES VALUES('S', 'Text')"),
    QStringLiteral("COMPANY VALUES('AC', 'Acme')"),
    QStringLiteral("COMPANY VALUES('BC', 'Beta')"),
    QStringLiteral("EQUIPMENT VALUES('GXP2000', 'Desk telephone', 'GRANDSTREAM')"),
    QStringLiteral("EQUIPMENT VALUES('PAP2', 'Adapter', 'PAP2')"),
    QStringLiteral("EQUIPMENT_PARAMETERS VALUES('GXP2000', '2', 'Admin password', 'P', '', 'S', '')"),
    QStringLiteral("EQUIPMENT_PARAMETERS VALUES('GXP2000', '3', 'SIP user', 'P', '', 'S', '')"),
    QStringLiteral("EQUIPMENT_PARAMETERS VALUES('GXP2000', '35', 'Display name', 'P', '', 'S', '')"),
    QStringLiteral("RANGES VALUES('AC', '101')"),
    QStringLiteral("RANGES VALUES('AC', '102')"),
    QStringLiteral("RANGES VALUES('AC', '103')"),
    QStringLiteral("RANGES VALUES('BC', '101')"),
    QStringLiteral("PHONES VALUES('AC', '101', 'GXP2000', 'Desk', '000B82000001')"),
    QStringLiteral("PHONES VALUES('AC', '102', 'PAP2', 'Fax', '000B82000002')"),
    QStringLiteral("PHONES VALUES('BC', '101', 'GXP2000', 'Other', '000B820000AA')"),
    QStringLiteral("PHONES_PARAMETERS VALUES('AC', 'GXP2000', '101', '3', 'u101')"),
};

// Everything an import may change, one line per row, for comparing before and after.
inline QString telephonesDump(Database& db)
{
    QStringList out;
    for (const char* sql :
         {"SELECT * FROM RANGES ORDER BY CO_CODE, PH_CODE", "SELECT * FROM PHONES ORDER BY CO_CODE, PH_CODE",
          "SELECT * FROM PHONES_PARAMETERS ORDER BY CO_CODE, PH_CODE, PA_CODE"}) {
        const Recordset rs = db.execute(QLatin1String(sql));
        for (const QVariantList& row : rs.rows()) {
            QStringList cells;
            for (const QVariant& v : row)
                cells.append(v.toString());
            out.append(cells.join(u'|'));
        }
    }
    return out.join(u'\n');
}

inline QString writeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes)
{
    const QString path = dir.filePath(name);
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(bytes);
    return path;
}

// The file of the round trip as the export writes it: UTF-8 behind its mark, ';', CR LF, cells quoted
// only where they must be. 101 gets a new description, 103 is new in an existing range, 104 is new
// with a new range code.
inline const QByteArray kExportedFile =
    QByteArrayLiteral("\xEF\xBB\xBF"
                      "code;description;mac;2;3\r\n"
                      "101;R\xC3\xA9"
                      "ception;000B82000001;;u101\r\n"
                      "103;\"Salle \"\"A\"\"; \xC3\xA9tage 2\";000b82000003;s3cret;u103\r\n"
                      "104;\" Hall \";000B82000004;;\r\n");

} // namespace vocaset::test
