#pragma once

#include <QString>

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

} // namespace vocaset::test
