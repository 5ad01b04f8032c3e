#include "Windows.h"

#include "FGenerate.h"
#include "FReboot.h"
#include "ManualPage.h"
#include "frmAbout.h"
#include "frmBrowser.h"

namespace vocaset {

QHash<QString, FVocaset1::WindowFactory> childWindows()
{
    QHash<QString, FVocaset1::WindowFactory> windows;
    windows.insert(QStringLiteral("GenConf"), [](Session& s) -> QWidget* { return new FGenerate(s); });
    windows.insert(QStringLiteral("Reboot"), [](Session& s) -> QWidget* { return new FReboot(s); });
    windows.insert(QStringLiteral("Help1"), [](Session& s) -> QWidget* {
        auto* help = new frmBrowser(s);
        help->setStartingAddress(manualUrl(s.appDir));
        return help;
    });
    windows.insert(QStringLiteral("About"), [](Session& s) -> QWidget* { return new frmAbout(s); });
    return windows;
}

} // namespace vocaset
