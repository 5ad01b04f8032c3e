#pragma once

#include <QHash>

#include "FVocaset1.h"

namespace vocaset {

// The child window of each menu entry that has one; entries without a window open an empty
// child captioned like the entry.
QHash<QString, FVocaset1::WindowFactory> childWindows();

} // namespace vocaset
