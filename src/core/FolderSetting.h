#pragma once

#include <QString>

namespace vocaset {

// A folder as a setting names it ("$$GENPATH", "$$PBGEN", ...), resolved against the program's own
// folder so that a copied installation writes into its own folders: "$$APPPATH$$" stands for the
// program's folder, and a relative path is taken from there. An absolute path is kept as it is, and
// so is an empty setting, or any setting while the program's folder is not known. Place-holders
// such as "$$P" and "$$N" are left for the caller to expand.
QString resolveFolderSetting(const QString& setting, const QString& appDir);

} // namespace vocaset
