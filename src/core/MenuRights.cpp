#include "MenuRights.h"

#include "Messages.h"
#include "Sql.h"

namespace vocaset {

const QList<MenuEntry>& mainMenuEntries()
{
    static const QList<MenuEntry> entries = {
        {QStringLiteral("Files"), QStringLiteral("Files"), {}, true},
        {QStringLiteral("Quit"), QStringLiteral("Quit"), QStringLiteral("Files"), false},
        {QStringLiteral("Config"), QStringLiteral("Configure"), {}, false},
        {QStringLiteral("Generate"), QStringLiteral("Generate"), {}, true},
        {QStringLiteral("GenConf"), QStringLiteral("Parameters Files"), QStringLiteral("Generate"), false},
        {QStringLiteral("PhoneBook"), QStringLiteral("Phone Book"), QStringLiteral("Generate"), true},
        {QStringLiteral("PbGen"), QStringLiteral("Generate"), QStringLiteral("PhoneBook"), false},
        {QStringLiteral("PbImp"), QStringLiteral("Import"), QStringLiteral("PhoneBook"), false},
        {QStringLiteral("PbExp"), QStringLiteral("Export"), QStringLiteral("PhoneBook"), false},
        {QStringLiteral("Ranges"), QStringLiteral("Ranges"), QStringLiteral("Generate"), false},
        {QStringLiteral("Reboot"), QStringLiteral("Reboot"), {}, false},
        {QStringLiteral("Help"), QStringLiteral("Help"), {}, true},
        {QStringLiteral("Help1"), QStringLiteral("Help"), QStringLiteral("Help"), false},
        {QStringLiteral("About"), QStringLiteral("About"), QStringLiteral("Help"), false},
    };
    return entries;
}

QString manualAddress(const QString& executableFolder)
{
    QString folder = executableFolder;
    folder.replace(u'\\', u'/');
    QString address = QStringLiteral("file://") + folder + QStringLiteral("/manual.htm");
    address.replace(QLatin1String("////"), QLatin1String("//"));
    return address;
}

namespace {

bool hasRow(Database& db, const QString& sql)
{
    return !db.execute(sql).eof();
}

} // namespace

MainMenuState loadMainMenu(Session& s)
{
    MainMenuState state;
    const QString windowKey = QLatin1String(kMainWindowKey);
    const auto caption = findDescription(s.db, windowKey, s.language);
    state.caption = caption ? *caption + u' ' + programVersionDotted() + QStringLiteral(" - ") + s.userName
                            : QStringLiteral("Vocaset");

    const QString user = sqlText(s.userName);
    for (const MenuEntry& entry : mainMenuEntries()) {
        MenuEntryState st{entry, entry.designedCaption, false};
        if (const auto text = findDescription(s.db, windowKey + u'_' + entry.name.toUpper(), s.language))
            st.caption = *text;
        st.enabled =
            hasRow(s.db, QStringLiteral("SELECT SY_VALUE FROM SYSTEM_PARAMETERS WHERE SY_CODE = 'AUTHM' AND SY_SUBCODE = '*'")) ||
            hasRow(s.db, QStringLiteral("SELECT SY_VALUE FROM SYSTEM_PARAMETERS WHERE SY_CODE = 'AUTHM' AND SY_SUBCODE = '") +
                             entry.name + QStringLiteral("'")) ||
            hasRow(s.db, QStringLiteral("SELECT SY_VALUE FROM SYSTEM_PARAMETERS WHERE SY_CODE = 'AUTHM' AND SY_SUBCODE = '") +
                             user + QStringLiteral("' AND SY_VALUE = '*'")) ||
            hasRow(s.db, QStringLiteral("SELECT SY_VALUE FROM SYSTEM_PARAMETERS WHERE SY_CODE = 'AUTHM' AND SY_SUBCODE = '") +
                             user + QStringLiteral("' AND SY_VALUE = '") + entry.name + QStringLiteral("'"));
        state.entries.append(st);
    }
    return state;
}

} // namespace vocaset
