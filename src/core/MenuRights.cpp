#include "MenuRights.h"

#include <algorithm>

#include <QFileInfo>

#include "Messages.h"
#include "Sql.h"

namespace vocaset {

const QList<MenuEntry>& mainMenuEntries()
{
    static const QList<MenuEntry> entries = {
        {QStringLiteral("Files"), QStringLiteral("Files"), {}, true},
        {QStringLiteral("Quit"), QStringLiteral("Quit"), QStringLiteral("Files"), false},
        // The Configure menu keeps the right of the entry that once opened the editor directly, so the
        // rights rows written for it still open the editor and every entry added beside it.
        {QStringLiteral("Config"), QStringLiteral("Configure"), {}, true},
        {QStringLiteral("Config1"), QStringLiteral("Editor"), QStringLiteral("Config"), false,
         QStringLiteral("Config")},
        {QStringLiteral("PhImp"), QStringLiteral("Import telephones\u2026"), QStringLiteral("Config"), false,
         QStringLiteral("Config")},
        {QStringLiteral("Templates"), QStringLiteral("Model templates\u2026"), QStringLiteral("Config"), false,
         QStringLiteral("Config")},
        {QStringLiteral("Generate"), QStringLiteral("Generate"), {}, true},
        {QStringLiteral("GenConf"), QStringLiteral("Parameters Files"), QStringLiteral("Generate"), false},
        {QStringLiteral("PhoneBook"), QStringLiteral("Phone Book"), QStringLiteral("Generate"), true},
        {QStringLiteral("PbGen"), QStringLiteral("Generate"), QStringLiteral("PhoneBook"), false},
        {QStringLiteral("PbImp"), QStringLiteral("Import"), QStringLiteral("PhoneBook"), false},
        {QStringLiteral("PbExp"), QStringLiteral("Export"), QStringLiteral("PhoneBook"), false},
        {QStringLiteral("Ranges"), QStringLiteral("Ranges"), QStringLiteral("Generate"), false},
        {QStringLiteral("Reboot"), QStringLiteral("Reboot"), {}, false},
        // Beside Reboot rather than under it: Reboot opens its window from the menu bar, and its name is
        // the right every rights row already grants.
        {QStringLiteral("Fleet"), QStringLiteral("Fleet"), {}, false},
        // The new telephones go with the fleet: the same right opens both.
        {QStringLiteral("Lobby"), QStringLiteral("New telephones"), {}, false, QStringLiteral("Fleet")},
        {QStringLiteral("Help"), QStringLiteral("Help"), {}, true},
        {QStringLiteral("Help1"), QStringLiteral("Help"), QStringLiteral("Help"), false},
        {QStringLiteral("About"), QStringLiteral("About"), QStringLiteral("Help"), false},
    };
    return entries;
}

QString manualFile(const QString& executableFolder, const QString& language)
{
    const QString own = executableFolder + QStringLiteral("/manual.") + language.toLower() + QStringLiteral(".htm");
    if (!language.isEmpty() && language.compare(QLatin1String("EN"), Qt::CaseInsensitive) != 0 &&
        QFileInfo(own).isFile())
        return own;
    return executableFolder + QStringLiteral("/manual.htm");
}

QString manualAddress(const QString& executableFolder, const QString& language)
{
    QString folder = executableFolder;
    folder.replace(u'\\', u'/');
    const QString name = QFileInfo(manualFile(executableFolder, language)).fileName();
    QString address = QStringLiteral("file://") + folder + u'/' + name;
    address.replace(QLatin1String("////"), QLatin1String("//"));
    return address;
}

namespace {

bool hasRow(Database& db, const QString& sql)
{
    return !db.execute(sql).eof();
}

} // namespace

QStringList rightsEntries(const QString& value)
{
    QStringList names;
    for (const QString& part : value.split(u';')) {
        if (const QString name = part.trimmed(); !name.isEmpty())
            names.append(name);
    }
    return names;
}

QStringList unknownRightsEntries(const QString& value)
{
    QStringList unknown;
    for (const QString& name : rightsEntries(value)) {
        const bool known =
            name == u"*" || std::any_of(mainMenuEntries().begin(), mainMenuEntries().end(),
                                        [&](const MenuEntry& e) { return e.name == name && e.right.isEmpty(); });
        if (!known)
            unknown.append(name);
    }
    return unknown;
}

MainMenuState loadMainMenu(Session& s)
{
    MainMenuState state;
    const QString windowKey = QLatin1String(kMainWindowKey);
    const auto caption = findDescription(s.db, windowKey, s.language);
    state.caption = caption ? *caption + u' ' + programVersionDotted() + QStringLiteral(" - ") + s.userName
                            : QStringLiteral("Vocaset");

    const QString user = sqlText(s.userName);
    // The user's row names the entries, several separated by ';' (the key allows one row per user).
    const Recordset own = s.db.execute(
        QStringLiteral("SELECT SY_VALUE FROM SYSTEM_PARAMETERS WHERE SY_CODE = 'AUTHM' AND SY_SUBCODE = '") + user +
        QStringLiteral("'"));
    const QStringList ownEntries = own.eof() ? QStringList() : rightsEntries(own.text(0));
    for (const MenuEntry& entry : mainMenuEntries()) {
        MenuEntryState st{entry, entry.designedCaption, false};
        if (const auto text = findDescription(s.db, windowKey + u'_' + entry.name.toUpper(), s.language))
            st.caption = *text;
        if (!entry.right.isEmpty()) {
            const auto owner = std::find_if(state.entries.begin(), state.entries.end(),
                                            [&](const MenuEntryState& e) { return e.entry.name == entry.right; });
            st.enabled = owner != state.entries.end() && owner->enabled;
            state.entries.append(st);
            continue;
        }
        st.enabled =
            hasRow(s.db, QStringLiteral(
                             "SELECT SY_VALUE FROM SYSTEM_PARAMETERS WHERE SY_CODE = 'AUTHM' AND SY_SUBCODE = '*'")) ||
            hasRow(s.db,
                   QStringLiteral("SELECT SY_VALUE FROM SYSTEM_PARAMETERS WHERE SY_CODE = 'AUTHM' AND SY_SUBCODE = '") +
                       entry.name + QStringLiteral("'")) ||
            hasRow(s.db,
                   QStringLiteral("SELECT SY_VALUE FROM SYSTEM_PARAMETERS WHERE SY_CODE = 'AUTHM' AND SY_SUBCODE = '") +
                       user + QStringLiteral("' AND SY_VALUE = '*'")) ||
            ownEntries.contains(entry.name);
        state.entries.append(st);
    }
    return state;
}

} // namespace vocaset
