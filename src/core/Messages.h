#pragma once

#include <optional>

#include <QHash>
#include <QString>

#include "Session.h"

namespace vocaset {

// The text of a description entry, or nothing when the row is missing (an empty stored text is a
// row); captions change only when a row exists.
std::optional<QString> findDescription(Database& db, const QString& code, const QString& language);

// The text of a description entry in a language, or an empty text when there is none.
QString GetDescription(Database& db, const QString& code, const QString& language);
inline QString GetDescription(Session& s, const QString& code) { return GetDescription(s.db, code, s.language); }

// The message text with every "$$" replaced by the argument. A missing or empty message gives a
// fallback text and turns show on, so the caller sees that it was displayed.
QString GetMessage(Session& s, const QString& code, const QString& argument, bool& show);
// Displays a message (a missing one shows its fallback text).
inline QString ShowMessage(Session& s, const QString& code, const QString& argument = {})
{
    bool show = true;
    return GetMessage(s, code, argument, show);
}
// Fetches a message for a log line; a missing one is still displayed, as GetMessage does.
inline QString MessageText(Session& s, const QString& code, const QString& argument = {})
{
    bool show = false;
    return GetMessage(s, code, argument, show);
}

// A text of the program's own (a caption, a status or log text it composes) in the session's
// language, else the English row, else the English text given here; every "$$" takes the argument.
// Never shows anything: a database without these rows runs quietly with the built-in texts.
QString textOr(Session& s, const QString& code, const QString& english, const QString& argument = {});

// A text that names a count: one row for a count of one, another for any other count, since each
// language forms its plural in its own way. Both take the same arguments.
struct CountedText
{
    const char* code; // any count but one
    const char* english;
    const char* oneCode;
    const char* oneEnglish;
    const char* codeFor(qint64 count) const { return count == 1 ? oneCode : code; }
    const char* englishFor(qint64 count) const { return count == 1 ? oneEnglish : english; }
};
// As textOr, in the form for the count.
QString textOr(Session& s, const CountedText& text, qint64 count, const QString& argument = {});
// A count and its noun, "1 entry" or "2 entries", for the English texts the program composes itself.
QString countOf(qint64 count, const char* one, const char* many);

// The texts of one run, each read from the database once however many rows use it: a run over
// 100 000 codes reads its few texts once each, not once per code.
class RunTexts final
{
public:
    explicit RunTexts(Session& s) : m_s(s) {}
    Q_DISABLE_COPY_MOVE(RunTexts)

    // As MessageText; a missing message is shown with its fallback text the first time only.
    QString message(const QString& code, const QString& argument = {});
    // As textOr.
    QString text(const QString& code, const QString& english, const QString& argument = {});

private:
    Session& m_s;
    QHash<QString, QString> m_messages; // code -> stored text, empty when missing
    QHash<QString, QString> m_texts;    // code -> text before the argument goes in
};

} // namespace vocaset
