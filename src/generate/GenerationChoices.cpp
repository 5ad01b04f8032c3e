#include "GenerationChoices.h"

#include "FolderSetting.h"
#include "ParamResolution.h"
#include "Sql.h"
#include "TextFile.h"

namespace vocaset {

bool LevelBoxes::set(int box, bool on)
{
    m_ticked.at(box) = on;
    if (!m_ticked[0] && !m_ticked[1] && !m_ticked[2])
        m_ticked[box] = true;
    return m_ticked[box] == on;
}

void LevelBoxes::applyDefault(const QString& flags)
{
    for (int box = 0; box < 3; ++box) {
        const QChar c = flags.size() > box ? flags[box] : QChar(u'1');
        set(box, c != u'0' && c != u' ');
    }
}

QList<ListEntry> phoneEntries(Database& db, const QString& company, const QString& model, const QString& from)
{
    QString sql = QStringLiteral("SELECT DISTINCT PH_CODE, PH_DESC FROM PHONES WHERE CO_CODE = '") + sqlText(company) +
                  QStringLiteral("' AND EQ_CODE = '") + sqlText(model);
    if (!from.isEmpty())
        sql += QStringLiteral("' AND PH_CODE >= '") + sqlText(from);
    return listEntries(db, sql + QStringLiteral("' ORDER BY PH_CODE"));
}

std::optional<QString> generationSetting(Database& db, const QString& company, const QString& model,
                                         const QString& subCode)
{
    const Recordset rs = db.execute(QStringLiteral("SELECT SY_VALUE FROM SYSTEM_PARAMETERS WHERE SY_CODE = '") +
                                    sqlText(company + model) + QStringLiteral("' AND SY_SUBCODE = '") +
                                    sqlText(subCode) + QStringLiteral("'"));
    if (rs.eof())
        return std::nullopt;
    return rs.text(0);
}

QString defaultFolder(Database& db, const QString& company, const QString& model, const QString& appDir)
{
    const QString folder =
        trimFolder(generationSetting(db, company, model, QStringLiteral("$$GENPATH")).value_or(QString()));
    return resolveFolderSetting(folder, appDir);
}

QString folderForFirstPhone(Session& s, const QString& company, const QString& model, const QString& folderText)
{
    const QString folder = resolveFolderSetting(folderText, s.appDir);
    if (!folder.contains(QLatin1String("$$")))
        return folder;
    // The session's telephone is shared with the runs of other windows: it is put back afterwards.
    struct Restore
    {
        Recordset& slot;
        Recordset kept;
        ~Restore() { slot = std::move(kept); }
    } restore{s.currentPhone, s.currentPhone};
    s.currentPhone =
        s.db.execute(QStringLiteral("SELECT * FROM PHONES WHERE CO_CODE = '") + sqlText(company) +
                     QStringLiteral("' AND EQ_CODE = '") + sqlText(model) + QStringLiteral("' ORDER BY PH_CODE"));
    return ExpandMacros(s, folder);
}

} // namespace vocaset
