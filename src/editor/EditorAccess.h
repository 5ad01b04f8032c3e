#pragma once

#include <functional>
#include <optional>

#include <QList>
#include <QString>

#include "Session.h"

namespace vocaset {

// Which rows of a tab may be listed and edited: none, the ordinary rows, or only the system rows
// (those whose first key begins with "$$").
enum class AccessMode { False, True, Admin };
QString accessModeText(AccessMode mode);

// The user's tab rights: the text of the "AUTHC" row for everybody, else the user's own row, or
// nothing when neither exists.
std::optional<QString> readTabRights(Database& db, const QString& userName);
// A rights text allows tab n when it is "*" or its n-th character is "Y" or "y". A tab number that
// is not a positive whole number is never allowed.
bool tabAllowed(const QString& rights, const QString& tabNumber);

// Asks for a tab's password; nothing when the operator cancels.
using PasswordPrompt = std::function<std::optional<QString>()>;

struct TabAccess
{
    AccessMode mode = AccessMode::False;
    QString error; // the text for LErr when the password was wrong
};

// The access level of a table's tab: "True" without a first password; otherwise the prompt's answer
// decides. "Admin" needs a non-empty second password typed exactly, so a cancelled or empty answer
// never opens the system rows.
TabAccess decideAccess(Session& s, const QString& table, const PasswordPrompt& prompt);

// A tab of the editor: the table it edits and its caption.
struct EditorTab
{
    QString table;
    QString caption;
};

inline constexpr auto kEditorKey = "FPARAMETERS";

// The tabs the user may open, in the text order of their numbers; a single settings tab when the
// user has no rights row, no allowed tab, or there is no "$$TABS" row.
QList<EditorTab> loadTabs(Session& s);

} // namespace vocaset
