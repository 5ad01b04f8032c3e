#pragma once

#include <QString>

#include "Session.h"

namespace vocaset {

struct PatchReport
{
    bool fileFound = false;
    int applied = 0;
    int failed = 0;
    int reported = 0; // failed lines tagged with the version, which the operator was shown
    QString archivePath;
};

// Applies a data-patch file: lines tagged "All" or "V" + the program version are inserted into the
// table they name, then the file is archived as vocaset_<version>.csv beside itself and removed.
// A failing line never stops the import: silent for "All", shown for the version tag.
PatchReport importDataPatch(Session& s, const QString& path, RunLog& log);

// The patch file beside the executable.
inline QString defaultPatchPath(const Session& s) { return s.appDir + QStringLiteral("/vocaset.csv"); }

} // namespace vocaset
