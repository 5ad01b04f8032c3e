#include "ValueChecks.h"

#include "ConfigWriter.h"
#include "ParamResolution.h"
#include "TextFile.h"

namespace vocaset {

std::optional<QString> ValueChecks::lineText(const QString& value)
{
    if (escapeControls(value) == value)
        return std::nullopt;
    return text("M603", "holds a control character (a line break or a tab)");
}

std::optional<QString> ValueChecks::valueAlone(const QString& module, const QString& value)
{
    if (std::optional<QString> why = formatRefusal(module, value))
        return why;
    // Which tokens a text holds does not depend on what they stand for: what is put in is never read
    // as a place-holder again.
    if (const Expansion e = expandPlaceHolders(value, QString(), QString()); e.badToken)
        return text("M750", "holds the place-holder %1, which cannot be expanded").arg(*e.badToken);
    return std::nullopt;
}

std::optional<QString> ValueChecks::telephoneValue(const QString& module, const QString& level, const QString& value,
                                                   const QString& code, const QString& description)
{
    if (!level.isEmpty() && level != u"P")
        return text("M751", "belongs to level %1, not to the telephone level P").arg(level);
    if (std::optional<QString> why = valueAlone(module, value))
        return why;
    const Expansion e = expandPlaceHolders(value, code, description);
    if (const std::optional<QString> why = formatRefusal(module, e.text))
        return text("M752", "takes the telephone's code or description through a place-holder, and then %1").arg(*why);
    return std::nullopt;
}

std::optional<QString> ValueChecks::telephoneText(const QString& module, const QString& value, bool isCode,
                                                  const QList<StoredValue>& values)
{
    // Put in, a text the file can carry leaves a value as the file can carry it.
    if (!formatRefusal(module, value))
        return std::nullopt;
    for (const StoredValue& v : values) {
        if (!v.value.contains(QLatin1String("$$")) || valueAlone(module, v.value))
            continue;
        const Expansion e =
            isCode ? expandPlaceHolders(v.value, value, QString()) : expandPlaceHolders(v.value, QString(), value);
        if (const std::optional<QString> why = formatRefusal(module, e.text))
            return text("M753", "goes into parameter %1 through a place-holder, and its value then %2")
                .arg(v.param, *why);
    }
    return std::nullopt;
}

} // namespace vocaset
