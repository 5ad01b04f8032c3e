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

QString GetMessage(Session& s, const QString& code, const QString& argument, bool& show)
{
    QString text = GetDescription(s, code);
    if (text.isEmpty()) {
        text = QStringLiteral("Message Not Found : ") + code + QStringLiteral(" Language : ") + s.language;
        show = true;
    } else if (text.contains(QLatin1String("$$"))) {
        // One left-to-right pass: an argument holding "$$" is not scanned again.
        text.replace(QLatin1String("$$"), argument);
    }
    if (show)
        s.op.showMessage(text);
    return text;
}

QString textOr(Session& s, const QString& code, const QString& english, const QString& argument)
{
    std::optional<QString> text = findDescription(s.db, code, s.language);
    if ((!text || text->isEmpty()) && s.language != u"EN")
        text = findDescription(s.db, code, QStringLiteral("EN"));
    QString out = text && !text->isEmpty() ? *text : english;
    out.replace(QLatin1String("$$"), argument);
    return out;
}

} // namespace vocaset
