#pragma once

#include <QString>

#include "Session.h"

namespace vocaset {

inline constexpr auto kApplicationTitle = "Vocaset";
inline constexpr auto kProjectAddress = "https://vocaset.example.org/";

// Texts of the help viewer and the About box, keyed in the captions table.
namespace helpkey {
inline constexpr auto kSysInfoMissing = "M350"; // no system-information program
inline constexpr auto kLoading = "M351";        // caption while a page loads
inline constexpr auto kAboutCaption = "M352";   // "$$" takes the application title
inline constexpr auto kVersion = "M353";        // "$$" takes major.minor.revision
inline constexpr auto kAuthorship = "M354";
inline constexpr auto kDisclaimer = "M355";
inline constexpr auto kPageMissing = "M356"; // "$$" takes the page's path
inline constexpr auto kNoOpener = "M357";    // "$$" takes the link
} // namespace helpkey

// "010142" gives "1.1.42"; a version that is not six digits is shown as stored.
QString dottedVersion(const QString& programVersion);

struct AboutTexts
{
    QString caption;     // "About Vocaset"
    QString title;       // the application title
    QString version;     // "Version 1.1.42"
    QString description; // the authorship line, a line break, the project's address
    QString disclaimer;
};

AboutTexts aboutTexts(Session& s);

} // namespace vocaset
