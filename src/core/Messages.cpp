#include "Messages.h"

#include "Sql.h"

namespace vocaset {

std::optional<QString> findDescription(Database& db, const QString& code, const QString& language)
{
    const Recordset rs = db.execute(QStringLiteral("SELECT SY_VALUE FROM SYSTEM_PARAMETERS WHERE SY_CODE = '$$DESC_") +
                                    sqlText(language) + QStringLiteral("' AND SY_SUBCODE = '") + sqlText(code) +
                                    QStringLiteral("'"));
    if (rs.eof())
        return std::nullopt;
    return rs.text(0);
}

QString GetDescription(Database& db, const QString& code, const QString& language)
{
    return findDescription(db, code, language).value_or(QString());
}

namespace {

// A stored message text with the argument in place; a missing or empty one gives the fallback text.
QString fillMessage(const Session& s, const QString& code, QString text, const QString& argument, bool& missing)
{
    missing = text.isEmpty();
    if (missing)
        return QStringLiteral("Message Not Found : ") + code + QStringLiteral(" Language : ") + s.language;
    // One left-to-right pass: an argument holding "$$" is not scanned again.
    if (text.contains(QLatin1String("$$")))
        text.replace(QLatin1String("$$"), argument);
    return text;
}

QString textTemplate(Session& s, const QString& code, const QString& english)
{
    std::optional<QString> text = findDescription(s.db, code, s.language);
    if ((!text || text->isEmpty()) && s.language != u"EN")
        text = findDescription(s.db, code, QStringLiteral("EN"));
    return text && !text->isEmpty() ? *text : english;
}

} // namespace

QString GetMessage(Session& s, const QString& code, const QString& argument, bool& show)
{
    bool missing = false;
    const QString text = fillMessage(s, code, GetDescription(s, code), argument, missing);
    show = show || missing;
    if (show)
        s.op.showMessage(text);
    return text;
}

QString textOr(Session& s, const QString& code, const QString& english, const QString& argument)
{
    return textTemplate(s, code, english).replace(QLatin1String("$$"), argument);
}

QString textOr(Session& s, const CountedText& text, qint64 count, const QString& argument)
{
    return textOr(s, QLatin1String(text.codeFor(count)), QString::fromUtf8(text.englishFor(count)), argument);
}

QString countOf(qint64 count, const char* one, const char* many)
{
    return QString::number(count) + u' ' + QLatin1String(count == 1 ? one : many);
}

QString RunTexts::message(const QString& code, const QString& argument)
{
    auto it = m_messages.constFind(code);
    const bool first = it == m_messages.constEnd();
    if (first)
        it = m_messages.insert(code, GetDescription(m_s, code));
    bool missing = false;
    const QString text = fillMessage(m_s, code, *it, argument, missing);
    if (missing && first)
        m_s.op.showMessage(text);
    return text;
}

QString RunTexts::text(const QString& code, const QString& english, const QString& argument)
{
    auto it = m_texts.constFind(code);
    if (it == m_texts.constEnd())
        it = m_texts.insert(code, textTemplate(m_s, code, english));
    return QString(*it).replace(QLatin1String("$$"), argument);
}

} // namespace vocaset
