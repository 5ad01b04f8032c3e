#pragma once

#include <QString>

namespace vocaset {

// The one quoting helper: every value placed between single quotes in a statement goes through it.
// A value without an apostrophe comes back unchanged, so statement texts stay as written.
inline QString sqlText(const QString& value)
{
    QString out = value;
    out.replace(QLatin1Char('\''), QLatin1String("''"));
    return out;
}

// True for a name made of letters, digits and underscores that does not begin with a digit:
// the only shape a table or column name taken from data may have before it reaches a statement.
bool isPlainIdentifier(const QString& name);

} // namespace vocaset
