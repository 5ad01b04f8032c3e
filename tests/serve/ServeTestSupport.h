#pragma once

#include <mutex>
#include <thread>

#include <QDeadlineTimer>
#include <QStringList>

#include "Interaction.h"
#include "Recordset.h"

namespace vocaset::test {

// A run log the server's threads may write to while the test reads it.
class LockedLog final : public RunLog
{
public:
    void append(const QString& line) override
    {
        const std::lock_guard lock(m_mutex);
        m_lines.append(line);
    }
    QStringList lines() const
    {
        const std::lock_guard lock(m_mutex);
        return m_lines;
    }
    // The lines once at least n are there (the access line follows the reply), or what came in time.
    QStringList waitFor(qsizetype n, int boundMs = 5000) const
    {
        QDeadlineTimer deadline(boundMs);
        while (lines().size() < n && !deadline.hasExpired())
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        return lines();
    }
    void clear()
    {
        const std::lock_guard lock(m_mutex);
        m_lines.clear();
    }

private:
    mutable std::mutex m_mutex;
    QStringList m_lines;
};

// The name a telephone fetches its file by, from its writer module and MAC as stored.
inline QString provisioningFileName(const QString& module, const QString& mac)
{
    if (module == u"GRANDSTREAM")
        return QStringLiteral("cfg") + mac;
    if (module == u"PAP2")
        return mac + QStringLiteral(".txt");
    return QStringLiteral("ut") + mac + QStringLiteral(".ini");
}

// The demo telephones whose model has a built-in writer: company, code, model, MAC, module.
inline const char* const kDemoPhones =
    "SELECT P.CO_CODE, P.PH_CODE, P.EQ_CODE, P.PH_MAC, E.EQ_MODULE FROM PHONES P "
    "INNER JOIN EQUIPMENT E ON E.EQ_CODE = P.EQ_CODE WHERE E.EQ_MODULE NOT IN ('NONE', 'TEMPLATE') "
    "ORDER BY P.CO_CODE, P.PH_CODE";

} // namespace vocaset::test
