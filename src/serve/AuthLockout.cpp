#include "AuthLockout.h"

#include <algorithm>
#include <chrono>

#include <QHostAddress>

namespace vocaset {

namespace {

qint64 steadyMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

void AuthLockout::List::append(Record* r)
{
    r->prev = back;
    r->next = nullptr;
    (back ? back->next : front) = r;
    back = r;
}

void AuthLockout::List::remove(Record* r)
{
    (r->prev ? r->prev->next : front) = r->next;
    (r->next ? r->next->prev : back) = r->prev;
    r->prev = r->next = nullptr;
}

AuthLockout::AuthLockout(int allowed, int windowSeconds, Clock clock)
    : m_allowed(allowed), m_windowMs(qint64(windowSeconds) * 1000), m_clock(clock ? std::move(clock) : Clock(steadyMs))
{
    // Buckets for the cap up front: growing the table would rehash it all under the lock.
    if (m_allowed > 0)
        m_records.reserve(kTracked);
}

AuthLockout::~AuthLockout() = default;

QString AuthLockout::keyOf(const QString& address)
{
    const QHostAddress host(address);
    if (host.protocol() != QAbstractSocket::IPv6Protocol)
        return address;
    bool mapped = false;
    const quint32 v4 = host.toIPv4Address(&mapped);
    if (mapped)
        return QHostAddress(v4).toString();
    Q_IPV6ADDR bytes = host.toIPv6Address();
    std::fill(std::begin(bytes.c) + 8, std::end(bytes.c), quint8(0));
    return QHostAddress(bytes).toString() + QStringLiteral("/64");
}

int AuthLockout::secondsLeft(const Record& r, qint64 now) const
{
    const qint64 left = r.lockedUntil - now;
    return left > 0 ? int((left + 999) / 1000) : 0;
}

void AuthLockout::forget(Record* r)
{
    (r->lockedUntil ? m_locked : m_counting).remove(r);
    m_records.erase(*r->key);
}

// Each list is in the order its records changed, and a record is done with one window after its
// last change (its last failure, or its lock): only fronts are ever looked at.
void AuthLockout::expire(qint64 now)
{
    for (List* list : {&m_counting, &m_locked}) {
        while (!list->empty() && list->front->changed + m_windowMs <= now)
            forget(list->front);
    }
}

int AuthLockout::lockedFor(const QString& address)
{
    if (m_allowed <= 0)
        return 0;
    const QString key = keyOf(address);
    const std::lock_guard lock(m_mutex);
    const qint64 now = m_clock();
    expire(now);
    const auto it = m_records.find(key);
    return it == m_records.end() ? 0 : secondsLeft(it->second, now);
}

AuthLockout::Decision AuthLockout::decide(const QString& address, const std::function<bool()>& isWrong)
{
    if (m_allowed <= 0)
        return {0, isWrong(), false};
    const QString key = keyOf(address);
    const std::lock_guard lock(m_mutex);
    const qint64 now = m_clock();
    expire(now);
    auto it = m_records.find(key);
    if (it != m_records.end() && it->second.lockedUntil > now)
        return {secondsLeft(it->second, now), false, false};
    if (!isWrong())
        return {};
    if (it == m_records.end()) {
        if (m_records.size() >= kTracked)
            forget(m_counting.empty() ? m_locked.front : m_counting.front);
        it = m_records.try_emplace(key).first;
        it->second.key = &it->first;
    } else {
        m_counting.remove(&it->second);
    }
    Record& r = it->second;
    r.changed = now;
    while (r.oldest < r.failures.size() && r.failures[r.oldest] + m_windowMs <= now)
        ++r.oldest;
    if (r.oldest > r.failures.size() / 2) {
        r.failures.erase(r.failures.begin(), r.failures.begin() + qsizetype(r.oldest));
        r.oldest = 0;
    }
    r.failures.push_back(now);
    if (qsizetype(r.failures.size() - r.oldest) < m_allowed) {
        m_counting.append(&r);
        return {0, true, false};
    }
    r.failures = {};
    r.oldest = 0;
    r.lockedUntil = now + m_windowMs;
    m_locked.append(&r);
    return {0, true, true};
}

size_t AuthLockout::tracked()
{
    const std::lock_guard lock(m_mutex);
    return m_records.size();
}

} // namespace vocaset
