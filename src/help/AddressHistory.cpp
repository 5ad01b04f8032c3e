#include "AddressHistory.h"

#include <algorithm>

namespace vocaset {

void AddressHistory::visited(const QString& address)
{
    if (address.isEmpty())
        return;
    m_entries.removeAll(address);
    m_entries.prepend(address);
    while (m_entries.size() > m_limit)
        m_entries.removeLast();
}

void AddressHistory::shown(const QString& address)
{
    if (address.isEmpty() || m_trail.value(m_at) == address)
        return;
    m_trail.resize(m_at + 1);
    m_trail.append(address);
    while (m_trail.size() > m_limit)
        m_trail.removeFirst();
    m_at = m_trail.size() - 1;
}

void AddressHistory::step(int direction)
{
    m_at = std::clamp<qsizetype>(m_at + direction, 0, m_trail.size() - 1);
}

} // namespace vocaset
