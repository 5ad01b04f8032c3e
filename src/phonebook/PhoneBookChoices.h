#pragma once

#include <optional>

#include <QString>

#include "Session.h"

namespace vocaset {

// How a phone-book or range run ended.
enum class PhoneBookOutcome {
    Completed,     // every item had its turn (some may have failed: see the counts)
    NoTelephones,  // M8
    FolderMissing, // M7
    NotSupported,  // M10: no phone-book format for the model
    FileMissing,   // M16: no user list to import
    Refused,       // the input was refused before anything changed (a bad user list, a bad range)
    Declined,      // the operator answered No
    WriteFailed,   // the file system refused the output file; the old file is kept
    Aborted        // the operator stopped the run
};

// The counts a run's closing line reports.
struct PhoneBookSummary
{
    PhoneBookOutcome outcome = PhoneBookOutcome::Completed;
    int selected = 0;  // entries, users or codes the run took up
    int done = 0;      // of those, the ones whose turn ended
    int succeeded = 0; // written, added or updated, created or deleted
    int failed = 0;    // left out, refused or not created
    QString file;      // the file written or read
};

// What the operator chose: the company, its model (generation and import), the folder as shown.
struct PhoneBookRequest
{
    QString company;
    QString model;
    QString folder;
};

// The only model whose address book the phone-book generation and import write.
inline constexpr auto kAddressBookModel = "GXP2000";

// Selects the company's telephones (of the model, when given) into the session's current set,
// positioned on the first; returns how many there are.
int selectTelephones(Session& s, const QString& company, const QString& model = QString());

// The checks a phone-book run makes before it touches a file: the company has telephones (of the
// model, when given; M8), the folder exists (M7) and, for the address-book formats, the first
// telephone's model is exactly "GXP2000" (M10). Clears RunError. Returns the folder, with
// "$$APPPATH$$" and a relative path resolved against the program's folder, or nothing with the
// outcome set.
std::optional<QString> checkRequest(Session& s, const PhoneBookRequest& request, bool gxp2000Only,
                                    PhoneBookSummary& summary);

// A folder setting of the phone-book windows: "$$PBGEN" or "$$PBIMP" under company + model,
// "$$PBExp" under the company alone. One trailing separator is removed; empty when unset.
QString phoneBookFolder(Session& s, const QString& settingCode, const QString& subCode);

// A program text (textOr) in a message box.
void showPhoneBookText(Session& s, const QString& code, const QString& english, const QString& argument = QString());

// Texts the file-writing runs share: an entry left out of a one-line-per-value file (M290), an entry
// with characters the code page lacks (M291), and a file the system refused (M292, shown).
QString entryLeftOutText(Session& s, const QString& entry);
QString entryLossyText(Session& s, const QString& entry);
void showWriteFailure(Session& s, const QString& error);

} // namespace vocaset
