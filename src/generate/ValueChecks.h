#pragma once

#include <optional>

#include <QList>
#include <QString>

#include "Messages.h"
#include "Session.h"

namespace vocaset {

// A value as stored at any level, that may reach a telephone's file.
struct StoredValue
{
    QString param;
    QString value;
};

// What the generation would refuse in a telephone's values, for the checks that keep such values out
// of the database (the telephone import, the editor and config), so that all say it in the same
// words. Each reason reads after its subject, the value or text checked ("holds ..."). The texts
// are read once per checker.
class ValueChecks final
{
public:
    explicit ValueChecks(Session& s) : m_texts(s) {}
    Q_DISABLE_COPY_MOVE(ValueChecks)

    // A code or description of a telephone is one line of plain text: a control character would
    // reach its file through "$$P" or "$$N", or the log.
    std::optional<QString> lineText(const QString& text);

    // A telephone's own value of a parameter (PHONES_PARAMETERS), of a model whose writer module is
    // given: the parameter is of the telephone level (level is its catalogue level, empty when the
    // catalogue lacks it, which the caller reports), the file carries the value, every place-holder in
    // it expands, and the file carries what the telephone's code and description put into it.
    std::optional<QString> telephoneValue(const QString& module, const QString& level, const QString& value,
                                          const QString& code, const QString& description);

    // A telephone's description (or its code, with isCode): what it puts through a place-holder into
    // one of the values its file may get, where the file cannot carry it. A value refused by itself
    // is not the text's doing and is passed over.
    std::optional<QString> telephoneText(const QString& module, const QString& text, bool isCode,
                                         const QList<StoredValue>& values);

private:
    std::optional<QString> valueAlone(const QString& module, const QString& value);
    QString text(const char* code, const char* english)
    {
        return m_texts.text(QLatin1String(code), QLatin1String(english));
    }

    RunTexts m_texts;
};

} // namespace vocaset
