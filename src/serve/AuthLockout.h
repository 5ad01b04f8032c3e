#pragma once

#include <mutex>
#include <vector>

#include <QHash>
#include <QString>

namespace vocaset {

// Failed authentication answers per client address: the address that gives `allowed` wrong
// answers within `windowSeconds` is locked out for `windowSeconds`. Zero allowed turns it off. An
// IPv6 client counts with its whole /64, which one machine may hold whole.
class AuthLockout final
{
public:
    AuthLockout(int allowed, int windowSeconds) : m_allowed(allowed), m_windowMs(qint64(windowSeconds) * 1000) {}
    Q_DISABLE_COPY_MOVE(AuthLockout)

    // Whole seconds the address stays locked out, 0 when it is not.
    int lockedFor(const QString& address);
    // Counts a wrong answer; true when it locks the address out (once per lock).
    bool fail(const QString& address);

    // The address as counted: itself, or its /64 for IPv6.
    static QString keyOf(const QString& address);

    // Addresses remembered at most; beyond it those without a lock or a recent failure go.
    static constexpr size_t kTracked = 100000;

private:
    struct Record
    {
        std::vector<qint64> failures; // times (ms) of the failures inside the window
        qint64 lockedUntil = 0;
    };

    const int m_allowed;
    const qint64 m_windowMs;
    std::mutex m_mutex;
    QHash<QString, Record> m_records;
};

} // namespace vocaset
