#pragma once

#include <QString>

namespace vocaset {

// Base64 with the standard alphabet, each character taken as its Windows-1252 byte. A CR LF follows
// every 40th output character; the "=" pad never starts a new line.
QString Encode64(const QString& text);

} // namespace vocaset
