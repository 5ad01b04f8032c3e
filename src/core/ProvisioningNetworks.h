#pragma once

#include <optional>

#include <QHostAddress>
#include <QList>
#include <QPair>
#include <QString>

namespace vocaset {

// The settings row that lets a company's telephones fetch their files without Digest from inside
// its networks: SY_CODE is the company, SY_VALUE networks such as "10.1.0.0/16, 2001:db8:5::/48".
// From outside, a company with $$PROVAUTH asks for Digest, one without is refused as a wrong
// password is.
inline constexpr char kProvNets[] = "$$PROVNETS";

// The networks of a $$PROVNETS value, each with its prefix length; nothing when any of them is
// malformed (the server then ignores the row, the editor and config refuse it).
std::optional<QList<QPair<QHostAddress, int>>> parseNetworks(const QString& value);

} // namespace vocaset
