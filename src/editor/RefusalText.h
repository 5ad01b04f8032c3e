#pragma once

#include <QString>
#include <QStringList>

#include "RecordForm.h"
#include "TableCatalogue.h"

namespace vocaset {

// What a refused insert, update or delete means, in words, from the engine's text: the key already
// used, the record still referenced (naming the tables that hold it), a referenced row missing, a
// value missing or too long. The engine's own text stays the detail; an unknown refusal keeps only
// the operation's message.
QString refusalInWords(Session& s, const TableCatalogue& cat, Operation op, const QStringList& values,
                       const QString& engineText);

} // namespace vocaset
