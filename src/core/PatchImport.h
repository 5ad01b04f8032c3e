#pragma once

#include <optional>

#include <QString>

#include "Session.h"

namespace vocaset {

struct PatchReport
{
    bool fileFound = false;
    bool refused = false; // not applied at all: the reason was shown
    int applied = 0;
    int failed = 0;
    int reported = 0;      // failed lines tagged with the version, which the operator was shown
    bool archived = false; // archive complete on disk and the patch file removed
    QString archivePath;
};

// A patch line longer than this is refused: no data row comes near it.
inline constexpr qsizetype kMaxPatchLine = 1024 * 1024;

// The archive a patch file is renamed to once applied: vocaset_<version>.csv beside itself.
QString patchArchivePath(const QString& path, const QString& version);

// Why a patch file cannot be applied before anything is read from it (not a plain file, or named
// like its own archive), or nothing.
std::optional<QString> patchFileProblem(const QString& path, const QString& version);

// Applies a data-patch file: lines tagged "All" or "V" + the program version are inserted into the
// table of the schema they name, then the file is archived beside itself and removed, only once the
// archive is complete on disk. A failing line never stops the import: silent for "All", shown for
// the version tag. A file with a line over kMaxPatchLine is refused before any line is applied.
PatchReport importDataPatch(Session& s, const QString& path, RunLog& log);

// The patch file beside the executable.
inline QString defaultPatchPath(const Session& s) { return s.appDir + QStringLiteral("/vocaset.csv"); }

} // namespace vocaset
