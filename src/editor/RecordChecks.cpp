#include "RecordChecks.h"

#include <functional>

#include "ConfigWriter.h"
#include "EditorMessages.h"
#include "MenuRights.h"
#include "Messages.h"
#include "ParamResolution.h"
#include "Sql.h"
#include "ProvisioningNetworks.h"
#include "ValueChecks.h"

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

// What the generation would refuse of a telephone's own value, or of the code or description it puts
// into the values its file gets; the telephone import refuses the same in the same words.
std::optional<QString> telephoneRefusal(Session& s, const TableCatalogue& cat, const QString& column,
                                        const QString& value, const std::function<QString(const char*)>& valueOf)
{
    const bool own = cat.table.compare(QLatin1String("PHONES_PARAMETERS"), Qt::CaseInsensitive) == 0;
    const bool phone = cat.table.compare(QLatin1String("PHONES"), Qt::CaseInsensitive) == 0;
    if (!(own && column == u"PA_VALUE") && !(phone && (column == u"PH_DESC" || column == u"PH_CODE")))
        return std::nullopt;
    Database& db = s.db;
    const QString co = QStringLiteral("CO_CODE = '") + sqlText(valueOf("CO_CODE")) + u'\'';
    const QString eq = QStringLiteral("EQ_CODE = '") + sqlText(valueOf("EQ_CODE")) + u'\'';
    const QString ph = QStringLiteral("PH_CODE = '") + sqlText(valueOf("PH_CODE")) + u'\'';
    const QString module = db.execute(QStringLiteral("SELECT EQ_MODULE FROM EQUIPMENT WHERE ") + eq).text(0);
    ValueChecks checks(s);
    if (own) {
        const QString param = valueOf("PA_CODE");
        const QString level = db.execute(QStringLiteral("SELECT LE_CODE FROM EQUIPMENT_PARAMETERS WHERE ") + eq +
                                         QStringLiteral(" AND PA_CODE = '") + sqlText(param) + u'\'')
                                  .text(0);
        const QString description =
            db.execute(QStringLiteral("SELECT PH_DESC FROM PHONES WHERE ") + co + QStringLiteral(" AND ") + ph).text(0);
        const std::optional<QString> why = checks.telephoneValue(module, level, value, valueOf("PH_CODE"), description);
        if (!why)
            return std::nullopt;
        return editorText(s, EditorText::BadValue, QStringLiteral("the value of parameter ") + param + u' ' + *why);
    }
    const QString subject =
        column == u"PH_CODE" ? QStringLiteral("the telephone code ") : QStringLiteral("the description ");
    std::optional<QString> why = checks.lineText(value);
    if (!why) {
        // Every value with a place-holder that the telephone's file may get, at any level.
        QList<StoredValue> values;
        for (const QString& sql : QStringList{
                 QStringLiteral("SELECT PA_CODE, PA_DEFAULT FROM EQUIPMENT_PARAMETERS WHERE LE_CODE = 'E' AND ") + eq,
                 QStringLiteral("SELECT PA_CODE, PA_VALUE FROM COMPANY_PARAMETERS WHERE ") + co +
                     QStringLiteral(" AND ") + eq,
                 QStringLiteral("SELECT PA_CODE, PA_VALUE FROM PHONES_PARAMETERS WHERE ") + co +
                     QStringLiteral(" AND ") + eq + QStringLiteral(" AND ") + ph}) {
            const Recordset rows = db.execute(sql);
            for (const QVariantList& r : rows.rows()) {
                if (r.at(1).toString().contains(QLatin1String("$$")))
                    values.append({r.at(0).toString(), r.at(1).toString()});
            }
        }
        why = checks.telephoneText(module, value, column == u"PH_CODE", values);
    }
    if (!why)
        return std::nullopt;
    return editorText(s, EditorText::BadValue, subject + *why);
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
    // A company's networks: a malformed one would be ignored by the server, so it is never saved.
    if (cat.table.compare(QLatin1String("SYSTEM_PARAMETERS"), Qt::CaseInsensitive) == 0 &&
        valueOf("SY_SUBCODE") == QLatin1String(kProvNets) && !parseNetworks(valueOf("SY_VALUE")))
        return editorText(s, EditorText::BadValue,
                          QStringLiteral("not a list of networks with their prefix lengths, such as 10.1.0.0/16, "
                                         "2001:db8:5::/48"));
    // Claiming on arrival names models, and a daily count: a misspelt model would claim nothing.
    if (cat.table.compare(QLatin1String("SYSTEM_PARAMETERS"), Qt::CaseInsensitive) == 0 &&
        valueOf("SY_SUBCODE") == QLatin1String(kAutoClaim)) {
        QStringList unknown;
        for (const QString& part : valueOf("SY_VALUE").split(u';', Qt::SkipEmptyParts)) {
            const QString model = part.trimmed();
            if (s.db.executeBound(QStringLiteral("SELECT EQ_CODE FROM EQUIPMENT WHERE EQ_CODE = ?"), {model}).eof())
                unknown.append(model);
        }
        if (!unknown.isEmpty())
            return editorText(s, EditorText::BadValue, QStringLiteral("no model is named ") + unknown.join(u", "));
    }
    if (cat.table.compare(QLatin1String("SYSTEM_PARAMETERS"), Qt::CaseInsensitive) == 0 &&
        valueOf("SY_SUBCODE") == QLatin1String(kAutoClaimMax)) {
        bool number = false;
        if (valueOf("SY_VALUE").trimmed().toInt(&number) < 0 || !number)
            return editorText(s, EditorText::BadValue, QStringLiteral("not a number of telephones a day"));
    }
    for (int i = 0; i < cat.columns.size(); ++i) {
        if (!written.value(i))
            continue;
        const QString& column = cat.columns[i].name;
        const QString& value = values.value(i);
        if (column == u"PH_MAC" && cat.table.compare(QLatin1String("PHONES"), Qt::CaseInsensitive) == 0 &&
            !isMacAddress(value))
            return editorText(s, EditorText::BadMac, value);
        if (std::optional<QString> refusal = telephoneRefusal(s, cat, column, value, valueOf))
            return refusal;
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

QStringList recordNotes(Session& s, const TableCatalogue& cat, const QStringList& values)
{
    QStringList notes;
    for (int i = 0; i < cat.columns.size(); ++i) {
        const QString& column = cat.columns[i].name;
        if (!reachesFiles(cat.table, column))
            continue;
        // Place-holders are read alike for every telephone: any code and description show a bad one.
        if (const Expansion e = expandPlaceHolders(values.value(i), QStringLiteral("0"), QString()); e.badToken)
            notes.append(textOr(s, QStringLiteral("M780"),
                                QStringLiteral("Saved as typed, but the place-holder %3 in %1 \"%2\" cannot be "
                                               "expanded: the generation stops at the first telephone that uses it."))
                             .arg(cat.columns[i].caption, values.value(i), *e.badToken));
    }
    if (cat.table.compare(QLatin1String("SYSTEM_PARAMETERS"), Qt::CaseInsensitive) == 0 &&
        values.value(cat.columnIndex(QStringLiteral("SY_CODE"))) == u"$$LNG")
        notes.append(textOr(s, QStringLiteral("M781"),
                            QStringLiteral("The language applies from the next start of the program.")));
    return notes;
}

QStringList recordValues(const TableCatalogue& cat, const QList<EditRow>& rows)
{
    QStringList values(cat.columns.size());
    for (const EditRow& row : rows) {
        if (const int at = cat.columnIndex(row.column); at >= 0)
            values[at] = row.value();
    }
    return values;
}

} // namespace vocaset
