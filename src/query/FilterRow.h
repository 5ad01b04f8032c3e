#pragma once

#include <QString>

#include "QueryBuilder.h"

namespace vocaset {

// The state behind one filter row: which entry of the filter box is chosen (0 the first entry,
// meaning no filter; -1 typed text; > 0 a listed value), and the comparison button beside it,
// which only a listed value enables. The window forwards its controls' events here and shows the
// result, so the rules hold the same in the window and in tests.
class FilterRow
{
public:
    static QString nextOperator(const QString& op);

    int entry() const { return m_entry; }
    const QString& text() const { return m_text; }
    bool buttonEnabled() const { return m_buttonEnabled; }
    const QString& op() const { return m_op; }

    // The box's text changed; entry is the index of the listed entry it shows, or -1.
    void textChanged(const QString& text, int entry);
    // An entry of the list was clicked (after textChanged for the same pick).
    void entryClicked(int entry);
    // The comparison button was clicked: it cycles "=", "<>", ">", "<" for a listed value only.
    void buttonClicked();
    // Back to the first entry, as after the list is filled.
    void reset(const QString& firstEntry);

    FieldChoice choice(bool checked) const { return {checked, m_text, m_entry, m_op}; }

private:
    int m_entry = 0;
    QString m_text;
    bool m_buttonEnabled = false;
    QString m_op = QStringLiteral("=");
};

} // namespace vocaset
