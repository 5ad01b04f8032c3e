#pragma once

#include <functional>
#include <optional>

#include <QString>

#include <QHash>

#include "Database.h"

namespace vocaset {

// The lookup of a column: the SELECT kept under "$$" + table and "L_" + column, or nothing.
std::optional<QString> lookupStatement(Database& db, const QString& table, const QString& column);

// Replaces every "&NAME" place-holder by the value the record holds for column NAME, quoted as a
// text. NAME runs over letters, digits and underscores, so it ends at a blank, a ")" or the end.
// One pass from left to right: a value holding "&" is never read as a place-holder, and a name
// that begins another one replaces only itself. A lone "&" stays as written.
QString expandPlaceholders(const QString& statement, const std::function<QString(const QString& name)>& valueOf);

// The descriptions of a code column's values in a language, from the rows "$$DESC_" + language /
// column + "_" + code ("LE_CODE_E"): a drop-down of codes shows them in place of the code table's
// own text, which holds one language only. Empty when there are none.
QHash<QString, QString> codeDescriptions(Database& db, const QString& codeColumn, const QString& language);

} // namespace vocaset
