#pragma once

#include <QList>
#include <QString>

#include "Session.h"

namespace vocaset {

struct MenuEntry
{
    QString name;           // identifier used in rights and caption keys
    QString designedCaption;
    QString parent;         // empty for a top-level entry
    bool submenu = false;
};

// The main window's entries in menu order.
const QList<MenuEntry>& mainMenuEntries();

struct MenuEntryState
{
    MenuEntry entry;
    QString caption;
    bool enabled = false;
};

struct MainMenuState
{
    QString caption; // "Vocaset", or the stored caption with version and user
    QList<MenuEntryState> entries;
};

inline constexpr auto kMainWindowKey = "FVOCASET1";

// The address of the manual beside the executable: "file://" + the folder with '/' separators +
// "/manual.htm", every "////" then reduced to "//" (a network path keeps its server right after
// "file://").
QString manualAddress(const QString& executableFolder);

// Reads the main window's caption, each entry's caption and each entry's right for the session's
// user, with one statement per lookup as the rights rows are read.
MainMenuState loadMainMenu(Session& s);

} // namespace vocaset
