#include "AuthLockout.h"

#include <algorithm>
#include <chrono>

#include <QHostAddress>

namespace vocaset {

namespace {

qint64 nowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

QString AuthLockout::keyOf(const QString& address)
{
    const QHostAddress host(address);
    if (host.protocol() != QAbstractSocket::IPv6Protocol)
        return address;
    Q_IPV6ADDR bytes = host.toIPv6Address();
    std::fill(std::begin(bytes.c) + 8, std::end(bytes.c), quint8(0));
    return QHostAddress(bytes).toString() + QStringLiteral("/64");
}

int AuthLockout::lockedFor(const QString& address)
{
    if (m_allowed <= 0)
        return 0;
    const QString key = keyOf(address);
    const std::lock_guard lock(m_mutex);
    const auto it = m_records.find(key);
    if (it == m_records.end())
        return 0;
    const qint64 left = it->lockedUntil - nowMs();
    return left > 0 ? int((left + 999) / 1000) : 0;
}

bool AuthLockout::fail(const QString& address)
{
    if (m_allowed <= 0)
        return false;
    const qint64 now = nowMs();
    const QString key = keyOf(address);
    const std::lock_guard lock(m_mutex);
    if (size_t(m_records.size()) >= kTracked && !m_records.contains(key)) {
        m_records.removeIf([&](const QHash<QString, Record>::iterator& it) {
            const Record& r = it.value();
            return r.lockedUntil <= now && (r.failures.empty() || r.failures.back() <= now - m_windowMs);
        });
    }
    Record& r = m_records[key];
    if (r.lockedUntil > now)
        return false;
    std::erase_if(r.failures, [&](qint64 at) { return at <= now - m_windowMs; });
    r.failures.push_back(now);
    if (qsizetype(r.failures.size()) < m_allowed)
        return false;
    r.failures.clear();
    r.lockedUntil = now + m_windowMs;
    return true;
}

} // namespace vocaset
