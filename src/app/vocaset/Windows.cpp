#include "Windows.h"

#include "FGenerate.h"
#include "FReboot.h"

namespace vocaset {

QHash<QString, FVocaset1::WindowFactory> childWindows()
{
    QHash<QString, FVocaset1::WindowFactory> windows;
    windows.insert(QStringLiteral("GenConf"), [](Session& s) -> QWidget* { return new FGenerate(s); });
    windows.insert(QStringLiteral("Reboot"), [](Session& s) -> QWidget* { return new FReboot(s); });
    return windows;
}

} // namespace vocaset
