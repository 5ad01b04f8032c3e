#include "Windows.h"

namespace vocaset {

QHash<QString, FVocaset1::WindowFactory> childWindows()
{
    QHash<QString, FVocaset1::WindowFactory> windows;
    return windows;
}

} // namespace vocaset
