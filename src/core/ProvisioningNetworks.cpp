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

} // namespace vocaset
