#pragma once

#include <QString>

namespace vocaset {

// Six digits, two each for major, minor and revision: 010142 for release 1.1.42.
inline QString programVersion()
{
    return QString::asprintf("%02d%02d%02d", VOCASET_VERSION_MAJOR, VOCASET_VERSION_MINOR, VOCASET_VERSION_PATCH);
}

// The plain numbers without leading zeros, as the main window caption shows them.
inline QString programVersionDotted()
{
    return QString::asprintf("%d.%d.%d", VOCASET_VERSION_MAJOR, VOCASET_VERSION_MINOR, VOCASET_VERSION_PATCH);
}

} // namespace vocaset
