#include "AddressHistory.h"

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

} // namespace vocaset
