#pragma once

#include <QString>

namespace vocaset {

// Entries of the run windows' selection lists: the code, " \\ " and the description.
QString listEntry(const QString& code, const QString& description);
// The code of a shown entry: the text before the separator (the whole text when there is none).
QString entryCode(const QString& shown);

} // namespace vocaset
