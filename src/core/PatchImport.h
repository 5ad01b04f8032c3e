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
// A patch file larger than this is refused before it is read.
inline constexpr qint64 kMaxPatchBytes = 64 * 1024 * 1024;

// The archive a patch file is renamed to once applied: vocaset_<version>.csv beside itself.
QString patchArchivePath(const QString& path, const QString& version);

// Why a patch file cannot be applied before anything is read from it (not a regular file under
// kMaxPatchBytes, or named like its own archive), or nothing.
std::optional<QString> patchFileProblem(const QString& path, const QString& version);

// Applies a data-patch file in one transaction: lines tagged "All" or "V" + the program version are
// inserted into the table of the schema they name; then, once committed, the text applied is
// archived beside the file and the file removed, only once the archive is complete on disk. A
// failing line never stops the import: silent for "All", shown for the version tag. A file with a
// line over kMaxPatchLine is refused before any line is applied. A failure that ends the
// transaction (a full disk, a lost connection, the process killed) applies nothing and leaves the
// file in place; it throws TransactionLost.
PatchReport importDataPatch(Session& s, const QString& path, RunLog& log);

// The patch file beside the executable.
inline QString defaultPatchPath(const Session& s) { return s.appDir + QStringLiteral("/vocaset.csv"); }

} // namespace vocaset
