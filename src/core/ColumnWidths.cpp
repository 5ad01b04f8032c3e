#include "ColumnWidths.h"

#include "Messages.h"

namespace vocaset {

ColumnWidths::ColumnWidths(Database& db, const QString& table)
{
    for (Recordset rs = db.columns(table); !rs.eof(); rs.moveNext()) {
        if (const int width = rs.value(QStringLiteral("CHARACTER_MAXIMUM_LENGTH")).toInt(); width > 0)
            m_widths.insert(rs.text(QStringLiteral("COLUMN_NAME")), width);
    }
}

bool ColumnWidths::fits(const QString& column, const QString& value) const
{
    const int limit = width(column);
    return limit == 0 || characterCount(value) <= limit;
}

std::optional<QString> ColumnWidths::refusal(Session& s, const QString& column, const QString& value) const
{
    if (fits(column, value))
        return std::nullopt;
    static constexpr CountedText tooLong{"M430", "The value of %1 is longer than the %2 characters the column holds.",
                                         "M439", "The value of %1 is longer than the %2 character the column holds."};
    const int limit = width(column);
    std::optional<QString>& text = m_text[limit == 1 ? 1 : 0];
    if (!text)
        text = textOr(s, tooLong, limit);
    return text->arg(column.toUpper(), QString::number(limit));
}

qsizetype characterCount(const QString& text)
{
    qsizetype n = text.size();
    for (const QChar c : text)
        n -= c.isLowSurrogate() ? 1 : 0;
    return n;
}

} // namespace vocaset
