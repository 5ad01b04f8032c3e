#pragma once

#include <QList>
#include <QString>

#include "EditorAccess.h"

namespace vocaset {

// A company, a model or a telephone given a new code everywhere the old one stands: the tables, and
// the settings rows keyed on it (output and phone-book folders, default levels, export folder,
// provisioning password of a company; reboot settings of a model).
struct RenameRequest
{
    enum Kind { Company, Model, Telephone };
    RenameRequest(Kind k = Company, QString oldCode = {}, QString newCode = {}, QString ofCompany = {})
        : kind(k), from(std::move(oldCode)), to(std::move(newCode)), company(std::move(ofCompany))
    {
    }
    Kind kind = Company;
    QString from;
    QString to;
    QString company; // the telephone's company
};

// What a rename changes, or why it cannot.
struct RenamePlan
{
    struct Rows
    {
        QString table;
        int count = 0;
    };
    QString refusal;  // empty when the rename may go ahead
    QList<Rows> rows; // tables with rows that change, in the order they are changed
    int total() const;
    // "12 rows: COMPANY 1, PHONES 11"
    QString summary() const;
};

// The rename needs the second password of the settings table, since it rewrites settings rows.
bool renameAllowed(Session& s, const PasswordPrompt& prompt);

// Checks the request and counts the rows it would change; nothing is written. Refused: an old code
// that does not exist, a new code that is used already, longer than its column, or one that cannot
// name a file (the codes name folders and files).
RenamePlan planRename(Session& s, const RenameRequest& request);

// Plans, and when nothing refuses renames in one transaction. A refusal changes nothing; so does a
// failure of the database, which throws DbError (OperatorConflict when another operator's commit
// took the new code or broke a reference since the check).
RenamePlan renameCode(Session& s, const RenameRequest& request);

// The table whose rows a kind of rename starts from (COMPANY, EQUIPMENT or PHONES) and its column
// that holds the code.
QString renamedTable(RenameRequest::Kind kind);
QString renamedColumn(RenameRequest::Kind kind);

// What the operator reads around a rename, in the user's language.
enum class RenameText {
    NeedsAdmin, // M470
    NewCode,    // M471, the old code
    Question,   // M468, renameChange()
    Done,       // M469, renameChange()
};
QString renameText(Session& s, RenameText which, const QString& argument = {});
// "OLD → NEW (12 rows: COMPANY 1, PHONES 11)"
QString renameChange(const RenameRequest& request, const RenamePlan& plan);

} // namespace vocaset
