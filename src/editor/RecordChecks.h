#pragma once

#include <optional>

#include <QList>
#include <QString>
#include <QStringList>

#include "RecordForm.h"
#include "TableCatalogue.h"

namespace vocaset {

// The message that refuses a record about to be saved, or nothing. values holds the record's value
// for every column of the catalogue, written says which of them the statement writes. Checked:
// - the first key of a system row ("$$") needs the second password, and that password saves only
//   system rows, so a row never leaves the set it was listed in;
// - a telephone's MAC address is twelve hexadecimal digits, the name of the file it fetches;
// - a parameter value or default is one the telephone's file format can carry;
// - a user's menu rights ("AUTHM") name only menu entries.
std::optional<QString> recordRefusal(Session& s, const TableCatalogue& cat, AccessMode mode, const QStringList& values,
                                     const QList<bool>& written);

// What the operator should know about a record that was saved as it is (values: one per column):
// a value whose place-holder the generation cannot expand (it may be meant, so it is no refusal)
// and a change of the language, which takes effect at the next start.
QStringList recordNotes(Session& s, const TableCatalogue& cat, const QStringList& values);
// The values of a record being edited, one per column of the catalogue, as recordNotes takes them.
QStringList recordValues(const TableCatalogue& cat, const QList<EditRow>& rows);

} // namespace vocaset
