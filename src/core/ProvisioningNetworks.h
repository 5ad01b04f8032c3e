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

// Whether a client address lies in one of the networks; an address mapped from IPv4 into IPv6 is
// its IPv4 address.
bool insideNetworks(const QString& client, const QList<QPair<QHostAddress, int>>& networks);

// The settings row that lets the server claim a company's new telephones on arrival: SY_CODE is the
// company, SY_VALUE model codes separated by ';'. A telephone of one of them that asks for its file
// from inside the company's $$PROVNETS becomes the company's at its lowest free code, at most
// $$AUTOCLAIMMAX (a number, 50 without the row) a day. Without the row nothing is claimed by itself.
inline constexpr char kAutoClaim[] = "$$AUTOCLAIM";
inline constexpr char kAutoClaimMax[] = "$$AUTOCLAIMMAX";
inline constexpr int kAutoClaimDefaultMax = 50;

} // namespace vocaset
