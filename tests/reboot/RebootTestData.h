#pragma once

#include <QString>

#include "FakePhone.h"
#include "TestDatabase.h"

namespace vocaset::test {

// Message texts the reboot code logs and shows, in English.
inline void addRebootMessages(TestSession& t)
{
    const char* rows[][2] = {{"M9", "Equipment not defined exactly once"},
                             {"M10", "Unknown writer module"},
                             {"M15", "Reboot accepted"},
                             {"M20", "Setting $$ missing"},
                             {"M21", "Device busy"},
                             {"M22", "Login refused"},
                             {"M23", "No answer in time"},
                             {"M1", "Parameter $$ not in the catalogue"},
                             {"M4", "No telephone value for $$"}};
    for (const auto& row : rows)
        t.exec(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', '") + QLatin1String(row[0]) +
               QStringLiteral("', '") + QLatin1String(row[1]) + QStringLiteral("')"));
}

inline QString msg(const char* code)
{
    static const QHash<QString, QString> texts = {{QStringLiteral("M15"), QStringLiteral("Reboot accepted")},
                                                  {QStringLiteral("M21"), QStringLiteral("Device busy")},
                                                  {QStringLiteral("M22"), QStringLiteral("Login refused")},
                                                  {QStringLiteral("M23"), QStringLiteral("No answer in time")}};
    return texts.value(QLatin1String(code));
}

// Code tables, companies AC and BT, a PAP2 model whose address is a telephone value and whose
// password is an equipment default "pw", and a model whose module the reboot does not know.
inline void addRebootCatalogue(TestSession& t)
{
    for (const char* sql : {
             "INSERT INTO LEVELS VALUES('E', 'Equipment')",
             "INSERT INTO LEVELS VALUES('C', 'Company')",
             "INSERT INTO LEVELS VALUES('P', 'Phone')",
             "INSERT INTO TYPES VALUES('T', 'Text')",
             "INSERT INTO COMPANY VALUES('AC', 'Acme')",
             "INSERT INTO COMPANY VALUES('BT', 'Beta')",
             "INSERT INTO EQUIPMENT VALUES('PAP', 'Linksys PAP2', 'PAP2')",
             "INSERT INTO EQUIPMENT VALUES('ODD', 'Odd', 'FAX')",
             "INSERT INTO EQUIPMENT_PARAMETERS VALUES('PAP', 'Static_IP', 'Address', 'P', '', 'T', '')",
             "INSERT INTO EQUIPMENT_PARAMETERS VALUES('PAP', 'Admin_Passwd', 'Password', 'E', 'pw', 'T', '')",
             "INSERT INTO SYSTEM_PARAMETERS VALUES('$$PAP', '$$IP1', 'Static_IP')",
             "INSERT INTO SYSTEM_PARAMETERS VALUES('$$PAP', '$$EPWD', 'Admin_Passwd')",
         })
        t.exec(QLatin1String(sql));
}

inline void addPhone(TestSession& t, const QString& company, const QString& code, const QString& equipment,
                     const QString& description)
{
    t.exec(QStringLiteral("INSERT INTO RANGES VALUES('%1', '%2')").arg(company, code));
    t.exec(QStringLiteral("INSERT INTO PHONES VALUES('%1', '%2', '%3', '%4', '000B82000000')")
               .arg(company, code, equipment, description));
}

// The address of a PAP2 telephone of company AC.
inline void setPapAddress(TestSession& t, const QString& code, const QString& address)
{
    t.exec(QStringLiteral("INSERT INTO PHONES_PARAMETERS VALUES('AC', 'PAP', '%1', 'Static_IP', '%2')")
               .arg(code, address));
}

// The first request of the PAP2 dialogue.
inline QByteArray papFirst(const QString& address)
{
    return "GET /admin/reboot" + block10(address) + "\r\n";
}

} // namespace vocaset::test
