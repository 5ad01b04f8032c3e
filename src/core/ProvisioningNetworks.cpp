#include "ProvisioningNetworks.h"

namespace vocaset {

std::optional<QList<QPair<QHostAddress, int>>> parseNetworks(const QString& value)
{
    QList<QPair<QHostAddress, int>> networks;
    for (const QString& part : value.split(u',', Qt::SkipEmptyParts)) {
        const QString text = part.trimmed();
        if (text.isEmpty())
            continue;
        // A network, not a lone address: the prefix length is required.
        const auto network = QHostAddress::parseSubnet(text);
        if (!text.contains(u'/') || network.first.isNull() || network.second < 0)
            return std::nullopt;
        networks.append(network);
    }
    if (networks.isEmpty())
        return std::nullopt;
    return networks;
}

bool insideNetworks(const QString& client, const QList<QPair<QHostAddress, int>>& networks)
{
    QHostAddress address(client);
    bool mapped = false;
    const quint32 v4 = address.toIPv4Address(&mapped);
    if (mapped)
        address = QHostAddress(v4);
    if (address.isNull())
        return false;
    for (const auto& network : networks) {
        if (address.isInSubnet(network))
            return true;
    }
    return false;
}

} // namespace vocaset
