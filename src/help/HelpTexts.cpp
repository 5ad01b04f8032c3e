#include "HelpTexts.h"

#include <algorithm>

#include "Messages.h"

namespace vocaset {

QString dottedVersion(const QString& programVersion)
{
    if (programVersion.size() != 6 ||
        !std::all_of(programVersion.begin(), programVersion.end(), [](QChar c) { return c.isDigit(); }))
        return programVersion;
    return QString::number(programVersion.mid(0, 2).toInt()) + u'.' +
           QString::number(programVersion.mid(2, 2).toInt()) + u'.' + QString::number(programVersion.mid(4, 2).toInt());
}

AboutTexts aboutTexts(Session& s)
{
    const QString title = QLatin1String(kApplicationTitle);
    AboutTexts t;
    t.title = title;
    t.caption = textOr(s, QLatin1String(helpkey::kAboutCaption), QStringLiteral("About $$"), title);
    t.version =
        textOr(s, QLatin1String(helpkey::kVersion), QStringLiteral("Version $$"), dottedVersion(s.programVersion));
    t.description = textOr(s, QLatin1String(helpkey::kAuthorship),
                           QStringLiteral("Written by the Vocaset developers, 2026. Placed in the public domain: "
                                          "use, copy and change it freely.")) +
                    u'\n' + QLatin1String(kProjectAddress);
    t.disclaimer = textOr(s, QLatin1String(helpkey::kDisclaimer),
                          QStringLiteral("Provided as is, without warranty of any kind. Try new settings on one "
                                         "telephone before you generate and reboot a whole company."));
    return t;
}

} // namespace vocaset
