#include "RecordChecks.h"

#include "ConfigWriter.h"
#include "EditorMessages.h"
#include "MenuRights.h"
#include "Sql.h"

namespace vocaset {

namespace {

// The columns whose texts the writers put into the telephones' files: parameter codes, and the
// values or defaults, of the three parameter tables.
bool reachesFiles(const QString& table, const QString& column)
{
    const bool catalogue = table.compare(QLatin1String("EQUIPMENT_PARAMETERS"), Qt::CaseInsensitive) == 0;
    const bool values = table.compare(QLatin1String("PHONES_PARAMETERS"), Qt::CaseInsensitive) == 0 ||
                        table.compare(QLatin1String("COMPANY_PARAMETERS"), Qt::CaseInsensitive) == 0;
    if (column == u"PA_CODE")
        return catalogue || values;
    return (catalogue && column == u"PA_DEFAULT") || (values && column == u"PA_VALUE");
}

} // namespace

std::optional<QString> recordRefusal(Session& s, const TableCatalogue& cat, AccessMode mode, const QStringList& values,
                                     const QList<bool>& written)
{
    const QString rule = cat.ruleColumn();
    const int ruleIndex = cat.columnIndex(rule);
    if (ruleIndex >= 0 && written.value(ruleIndex)) {
        const bool system = values.value(ruleIndex).startsWith(QLatin1String("$$"));
        if (mode == AccessMode::Admin && !system)
            return editorText(s, EditorText::SystemKeyNeeded, rule);
        if (mode != AccessMode::Admin && system)
            return editorText(s, EditorText::SystemKeyRefused, rule);
    }
    const auto valueOf = [&](const char* column) { return values.value(cat.columnIndex(QLatin1String(column))); };
    // A user's menu rights name entries, several separated by ';': a misspelt one would give no right.
    if (cat.table.compare(QLatin1String("SYSTEM_PARAMETERS"), Qt::CaseInsensitive) == 0 &&
        valueOf("SY_CODE") == u"AUTHM" && !unknownRightsEntries(valueOf("SY_SUBCODE")).isEmpty()) {
        if (const QStringList unknown = unknownRightsEntries(valueOf("SY_VALUE")); !unknown.isEmpty())
            return editorText(s, EditorText::BadValue,
                              QStringLiteral("no menu entry is named ") + unknown.join(QStringLiteral(", ")));
    }
    for (int i = 0; i < cat.columns.size(); ++i) {
        if (!written.value(i))
            continue;
        const QString& column = cat.columns[i].name;
        const QString& value = values.value(i);
        if (column == u"PH_MAC" && cat.table.compare(QLatin1String("PHONES"), Qt::CaseInsensitive) == 0 &&
            !isMacAddress(value))
            return editorText(s, EditorText::BadMac, value);
        if (reachesFiles(cat.table, column)) {
            const Recordset model = s.db.execute(QStringLiteral("SELECT EQ_MODULE FROM EQUIPMENT WHERE EQ_CODE = '") +
                                                 sqlText(valueOf("EQ_CODE")) + u'\'');
            if (const std::optional<QString> reason = formatRefusal(model.text(0), value))
                return editorText(s, EditorText::BadValue,
                                  (column == u"PA_CODE"
                                       ? QStringLiteral("the parameter code ")
                                       : QStringLiteral("the value of parameter ") + valueOf("PA_CODE") + u' ') +
                                      *reason);
        }
    }
    return std::nullopt;
}

} // namespace vocaset
