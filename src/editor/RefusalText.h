#pragma once

#include <optional>

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

// A telephone's record whose MAC another telephone has, whatever the case of its digits, in the
// same words as the database's refusal of it; nothing for another record, an empty MAC or a delete.
// For a database that cannot take the index that keeps a MAC to one telephone.
std::optional<QString> macRefusal(Session& s, const TableCatalogue& cat, Operation op, const QStringList& values);

} // namespace vocaset
