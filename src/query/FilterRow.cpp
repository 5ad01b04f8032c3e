#include "FilterRow.h"

namespace vocaset {

QString FilterRow::nextOperator(const QString& op)
{
    if (op == u"=")
        return QStringLiteral("<>");
    if (op == u"<>")
        return QStringLiteral(">");
    if (op == u">")
        return QStringLiteral("<");
    return QStringLiteral("=");
}

void FilterRow::textChanged(const QString& text, int entry)
{
    m_text = text;
    m_entry = entry;
    m_buttonEnabled = entry > 0;
    if (m_buttonEnabled)
        m_op = QStringLiteral("=");
}

void FilterRow::entryClicked(int entry)
{
    m_entry = entry;
    // The first entry means no filter, so it leaves nothing to compare with.
    m_buttonEnabled = entry > 0;
    if (m_buttonEnabled)
        m_op = QStringLiteral("=");
}

void FilterRow::buttonClicked()
{
    if (m_entry > 0)
        m_op = nextOperator(m_op);
}

void FilterRow::reset(const QString& firstEntry)
{
    textChanged(firstEntry, 0);
}

} // namespace vocaset
