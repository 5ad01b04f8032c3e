#pragma once

#include <optional>

#include <QHash>
#include <QString>

#include "Session.h"

namespace vocaset {

// The declared widths of a table's text columns (nvarchar(n)), read once from the catalogue. SQLite
// stores a value of any length where the server refuses it, so every writer checks here before it
// writes: a value too long is refused alike on both engines, by a message naming the column and
// its width.
class ColumnWidths
{
public:
    ColumnWidths(Database& db, const QString& table);

    // The declared width of a column; 0 when it has none, or the table no such column.
    int width(const QString& column) const { return m_widths.value(column.toUpper()); }
    bool fits(const QString& column, const QString& value) const;
    // The message for a value longer than its column holds, or nothing when it fits.
    std::optional<QString> refusal(Session& s, const QString& column, const QString& value) const;

private:
    QHash<QString, int> m_widths;          // upper-case column name -> width
    mutable std::optional<QString> m_text[2]; // the message for many characters and for one, read when first needed
};

// A text's length as the engines count it: a character outside the basic plane counts once.
qsizetype characterCount(const QString& text);

} // namespace vocaset
