#include "Lookups.h"

#include "Sql.h"

namespace vocaset {

std::optional<QString> lookupStatement(Database& db, const QString& table, const QString& column)
{
    const Recordset rs =
        db.execute(QStringLiteral("SELECT SY_VALUE FROM SYSTEM_PARAMETERS WHERE SY_CODE = '$$") + sqlText(table) +
                   QStringLiteral("' AND SY_SUBCODE = 'L_") + sqlText(column) + u'\'');
    if (rs.isEmpty())
        return std::nullopt;
    return rs.text(0);
}

namespace {

bool isNameChar(QChar c)
{
    return c.isLetterOrNumber() || c == u'_';
}

} // namespace

QString expandPlaceholders(const QString& statement, const std::function<QString(const QString& name)>& valueOf)
{
    QString out;
    out.reserve(statement.size() + 32);
    qsizetype i = 0;
    while (i < statement.size()) {
        const qsizetype amp = statement.indexOf(u'&', i);
        if (amp < 0) {
            out += QStringView(statement).mid(i);
            break;
        }
        out += QStringView(statement).mid(i, amp - i);
        qsizetype end = amp + 1;
        while (end < statement.size() && isNameChar(statement.at(end)))
            ++end;
        if (end == amp + 1) {
            out += u'&';
        } else {
            out += u'\'' + sqlText(valueOf(statement.mid(amp + 1, end - amp - 1))) + u'\'';
        }
        i = end;
    }
    return out;
}

QHash<QString, QString> codeDescriptions(Database& db, const QString& codeColumn, const QString& language)
{
    QHash<QString, QString> out;
    if (codeColumn.isEmpty())
        return out;
    const QString prefix = codeColumn.toUpper() + u'_';
    Recordset rs = db.execute(
        QStringLiteral("SELECT SY_SUBCODE, SY_VALUE FROM SYSTEM_PARAMETERS WHERE SY_CODE = '$$DESC_") +
        sqlText(language) + QStringLiteral("' AND SY_SUBCODE LIKE '") + sqlText(prefix) + QStringLiteral("%'"));
    for (; !rs.eof(); rs.moveNext()) {
        // LIKE reads '_' as any character: the prefix is checked exactly here.
        if (const QString key = rs.text(0); key.startsWith(prefix) && !rs.text(1).isEmpty())
            out.insert(key.mid(prefix.size()), rs.text(1));
    }
    return out;
}

} // namespace vocaset
