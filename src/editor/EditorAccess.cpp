#include "EditorAccess.h"

#include "Messages.h"
#include "Sql.h"

namespace vocaset {

QString accessModeText(AccessMode mode)
{
    switch (mode) {
    case AccessMode::True:
        return QStringLiteral("True");
    case AccessMode::Admin:
        return QStringLiteral("Admin");
    case AccessMode::False:
        break;
    }
    return QStringLiteral("False");
}

namespace {

std::optional<QString> firstValue(Database& db, const QString& sql)
{
    const Recordset rs = db.execute(sql);
    if (rs.isEmpty())
        return std::nullopt;
    return rs.text(0);
}

} // namespace

std::optional<QString> readTabRights(Database& db, const QString& userName)
{
    if (auto everybody = firstValue(
            db, QStringLiteral("SELECT SY_VALUE FROM SYSTEM_PARAMETERS WHERE SY_CODE = 'AUTHC' AND SY_SUBCODE = '*'")))
        return everybody;
    return firstValue(db, QStringLiteral("SELECT SY_VALUE FROM SYSTEM_PARAMETERS WHERE SY_CODE = 'AUTHC' AND "
                                         "SY_SUBCODE = '") +
                              sqlText(userName.toUpper()) + u'\'');
}

bool tabAllowed(const QString& rights, const QString& tabNumber)
{
    if (rights == u"*")
        return true;
    bool ok = false;
    const int n = tabNumber.trimmed().toInt(&ok, 10);
    if (!ok || n <= 0 || n > rights.size())
        return false;
    return rights.at(n - 1).toUpper() == u'Y';
}

TabAccess decideAccess(Session& s, const QString& table, const PasswordPrompt& prompt)
{
    const std::optional<QString> second =
        firstValue(s.db, QStringLiteral("SELECT SY_VALUE FROM SYSTEM_PARAMETERS WHERE SY_CODE = '$$") + sqlText(table) +
                             QStringLiteral("' AND SY_SUBCODE = '$$PWD2'"));
    const std::optional<QString> first =
        firstValue(s.db, QStringLiteral("SELECT SY_VALUE FROM SYSTEM_PARAMETERS WHERE SY_CODE = '") + sqlText(table) +
                             QStringLiteral("' AND SY_SUBCODE = '$$PWD'"));
    TabAccess access;
    if (!first) {
        access.mode = AccessMode::True;
        return access;
    }
    const std::optional<QString> typed = prompt ? prompt() : std::nullopt;
    if (typed.value_or(QString()) == *first)
        access.mode = AccessMode::True;
    else if (typed && !typed->isEmpty() && second && *typed == *second)
        access.mode = AccessMode::Admin;
    else
        access.error = MessageText(s, QStringLiteral("M100"));
    return access;
}

QList<EditorTab> loadTabs(Session& s)
{
    QList<EditorTab> tabs;
    if (const std::optional<QString> rights = readTabRights(s.db, s.userName)) {
        const Recordset rs = s.db.execute(
            QStringLiteral("SELECT * FROM SYSTEM_PARAMETERS WHERE SY_CODE = '$$TABS' ORDER BY SY_SUBCODE"));
        for (const QVariantList& row : rs.rows())
            if (tabAllowed(*rights, row.value(1).toString()))
                tabs.append({row.value(2).toString(), {}});
    }
    if (tabs.isEmpty())
        tabs.append({QStringLiteral("SYSTEM_PARAMETERS"), {}});
    for (EditorTab& tab : tabs)
        tab.caption = textOr(s, QLatin1String(kEditorKey) + u'_' + tab.table.toUpper(), QString());
    return tabs;
}

} // namespace vocaset
