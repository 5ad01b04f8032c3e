#include "PhoneBookChoices.h"

#include <QFileInfo>

#include "FolderSetting.h"
#include "Messages.h"
#include "Sql.h"
#include "TextFile.h"

namespace vocaset {

int selectTelephones(Session& s, const QString& company, const QString& model)
{
    QString sql = QStringLiteral("SELECT * FROM PHONES WHERE ") + QStringLiteral("CO_CODE = '") + sqlText(company) +
                  QStringLiteral("' ");
    if (!model.isEmpty())
        sql += QStringLiteral("AND EQ_CODE = '") + sqlText(model) + QStringLiteral("' ");
    s.currentPhone = s.db.execute(sql + QStringLiteral("ORDER BY PH_CODE"));
    return s.currentPhone.count();
}

std::optional<QString> checkRequest(Session& s, const PhoneBookRequest& r, bool gxp2000Only, PhoneBookSummary& summary)
{
    s.runError = false;
    const auto refuse = [&](const char* message, PhoneBookOutcome outcome) {
        ShowMessage(s, QLatin1String(message));
        summary.outcome = outcome;
        return std::nullopt;
    };
    if (selectTelephones(s, r.company, r.model) == 0)
        return refuse("M8", PhoneBookOutcome::NoTelephones);
    const QString folder = resolveFolderSetting(r.folder, s.appDir);
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        return refuse("M7", PhoneBookOutcome::FolderMissing);
    // The test is on the first telephone's model code, not on its writer module.
    if (gxp2000Only && s.currentPhone.text(QStringLiteral("EQ_CODE")) != QLatin1String(kAddressBookModel))
        return refuse("M10", PhoneBookOutcome::NotSupported);
    return folder;
}

QString phoneBookFolder(Session& s, const QString& settingCode, const QString& subCode)
{
    const Recordset rs =
        s.db.execute(QStringLiteral("SELECT SY_VALUE FROM SYSTEM_PARAMETERS WHERE SY_CODE = '") + sqlText(settingCode) +
                     QStringLiteral("' AND SY_SUBCODE = '") + sqlText(subCode) + QStringLiteral("'"));
    return rs.eof() ? QString() : trimFolder(rs.text(0));
}

void showPhoneBookText(Session& s, const QString& code, const QString& english, const QString& argument)
{
    s.op.showMessage(textOr(s, code, english, argument));
}

QString entryLeftOutText(Session& s, const QString& entry)
{
    return textOr(s, QStringLiteral("M290"),
                  QStringLiteral("$$: the entry holds a line break or a control character and is left out."), entry);
}

QString entryLossyText(Session& s, const QString& entry)
{
    return textOr(s, QStringLiteral("M291"),
                  QStringLiteral("$$: characters without a Windows-1252 code were written as ?."), entry);
}

void showWriteFailure(Session& s, const QString& error)
{
    showPhoneBookText(s, QStringLiteral("M292"), QStringLiteral("The file could not be written: $$"), error);
}

} // namespace vocaset
