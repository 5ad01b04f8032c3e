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
    QString right{}; // the entry whose right opens this one; empty: its own name
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
QString manualAddress(const QString& executableFolder, const QString& language = {});
// The manual's file in the folder for a language: "manual.fr.htm" for French when it is there,
// otherwise "manual.htm"; both hold the same sections under the same anchors.
QString manualFile(const QString& executableFolder, const QString& language);

// The entry names of a user's rights value: one name, or several separated by ';' (blanks around a
// name ignored). Names compare as stored.
QStringList rightsEntries(const QString& value);
// The names of a rights value that are no entry with a right of its own (nor "*"): a typing error
// would silently give no right.
QStringList unknownRightsEntries(const QString& value);

// Reads the main window's caption, each entry's caption and each entry's right for the session's
// user, with one statement per lookup as the rights rows are read.
MainMenuState loadMainMenu(Session& s);

} // namespace vocaset
