#include "Windows.h"

#include "FFleet.h"
#include "FGenerate.h"
#include "FLobby.h"
#include "FModelTemplates.h"
#include "FPBExp.h"
#include "FPBGen.h"
#include "FPBImp.h"
#include "FParameters.h"
#include "FPhImp.h"
#include "FReboot.h"
#include "FRgen.h"
#include "ManualPage.h"
#include "Startup.h"
#include "frmAbout.h"
#include "frmBrowser.h"

namespace vocaset {

QHash<QString, FVocaset1::WindowFactory> childWindows()
{
    QHash<QString, FVocaset1::WindowFactory> windows;
    windows.insert(QStringLiteral("Config1"), [](Session& s) -> QWidget* { return new FParameters(s); });
    windows.insert(QStringLiteral("PhImp"), [](Session& s) -> QWidget* { return new FPhImp(s); });
    windows.insert(QStringLiteral("Templates"), [](Session& s) -> QWidget* { return new FModelTemplates(s); });
    windows.insert(QStringLiteral("GenConf"), [](Session& s) -> QWidget* { return new FGenerate(s); });
    windows.insert(QStringLiteral("Reboot"), [](Session& s) -> QWidget* { return new FReboot(s); });
    windows.insert(QStringLiteral("Fleet"), [](Session& s) -> QWidget* {
        // The server's file source opens the working database anew, as the settings file names it.
        NullRunLog quiet;
        Startup settings(s, s.appDir + QStringLiteral("/ParamDB.txt"), quiet);
        settings.readSettings();
        return new FFleet(s, settings.workingConnection());
    });
    windows.insert(QStringLiteral("Lobby"), [](Session& s) -> QWidget* { return new FLobby(s); });
    windows.insert(QStringLiteral("PbGen"), [](Session& s) -> QWidget* { return new FPBGen(s); });
    windows.insert(QStringLiteral("PbImp"), [](Session& s) -> QWidget* { return new FPBImp(s); });
    windows.insert(QStringLiteral("PbExp"), [](Session& s) -> QWidget* { return new FPBExp(s); });
    windows.insert(QStringLiteral("Ranges"), [](Session& s) -> QWidget* { return new FRgen(s); });
    windows.insert(QStringLiteral("Help1"), [](Session& s) -> QWidget* {
        auto* help = new frmBrowser(s);
        help->setStartingAddress(manualUrl(s.appDir, {}, s.language));
        return help;
    });
    windows.insert(QStringLiteral("About"), [](Session& s) -> QWidget* { return new frmAbout(s); });
    return windows;
}

} // namespace vocaset
