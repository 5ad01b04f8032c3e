#include "GenerationRun.h"

#include <QFileInfo>

#include "Messages.h"
#include "ParamResolution.h"
#include "Sql.h"
#include "TextFile.h"

namespace vocaset {

void GenerationRun::preparePrivateScratch(Database& db)
{
    db.execute(
        QStringLiteral("CREATE TEMPORARY TABLE IF NOT EXISTS EQ_TEMP (PA_CODE nvarchar(50), "
                       "PA_DESC nvarchar(255), PA_VALUE nvarchar(255), LE_CODE nvarchar(1), PRIMARY KEY (PA_CODE))"));
}

RunSummary GenerationRun::run(const GenerationRequest& r)
{
    m_s.runError = false;
    m_stopRequested = false;
    RunSummary summary;
    preparePrivateScratch(m_s.db);

    QString sql = QStringLiteral("SELECT * FROM PHONES WHERE CO_CODE = '") + sqlText(r.company) +
                  QStringLiteral("' AND EQ_CODE = '") + sqlText(r.model) + QStringLiteral("' ");
    if (r.levels.phone)
        sql += QStringLiteral("AND PH_CODE BETWEEN '") + sqlText(r.firstPhone) + QStringLiteral("' AND '") +
               sqlText(r.lastPhone) + QStringLiteral("' ");
    m_s.currentPhone = m_s.db.execute(sql + QStringLiteral("ORDER BY PH_CODE"));
    summary.selected = m_s.currentPhone.count();
    if (summary.selected == 0) {
        ShowMessage(m_s, QStringLiteral("M8"));
        summary.outcome = RunOutcome::NoTelephones;
        return summary;
    }

    m_log.progress(0, summary.selected);
    for (; !m_s.currentPhone.eof(); m_s.currentPhone.moveNext()) {
        const Turn turn = telephone(r, summary);
        if (turn == Turn::FolderMissing) {
            summary.outcome = RunOutcome::FolderMissing;
            return summary;
        }
        if (turn == Turn::MergeFailed) {
            m_log.append(MessageText(m_s, QStringLiteral("M12")));
            summary.outcome = RunOutcome::MergeFailed;
            return summary;
        }
        m_log.progress(++summary.done, summary.selected);
        if (m_s.runError) {
            summary.outcome = RunOutcome::Stopped;
            break;
        }
        if (m_stopRequested) {
            m_log.append(QStringLiteral("Run stopped by the operator after %1 of %2 telephones")
                             .arg(summary.done)
                             .arg(summary.selected));
            summary.outcome = RunOutcome::Cancelled;
            break;
        }
    }
    m_s.db.execute(QStringLiteral("DELETE FROM EQ_TEMP"));
    summary.cleanedUp = true;
    return summary;
}

GenerationRun::Turn GenerationRun::telephone(const GenerationRequest& r, RunSummary& summary)
{
    const Recordset& phone = m_s.currentPhone;
    const QString co = phone.text(QStringLiteral("CO_CODE"));
    const QString eq = phone.text(QStringLiteral("EQ_CODE"));
    const QString ph = phone.text(QStringLiteral("PH_CODE"));

    m_s.db.execute(QStringLiteral("DELETE FROM EQ_TEMP"));
    m_merged.clear();
    const QString folder = ExpandMacros(m_s, r.folder);
    if (!QFileInfo(folder).isDir()) {
        ShowMessage(m_s, QStringLiteral("M7"));
        return Turn::FolderMissing;
    }

    // A level whose place-holders failed is still merged; the run stops after its last row.
    if (r.levels.equipment) {
        mergeLevel(QStringLiteral("SELECT * FROM EQUIPMENT_PARAMETERS WHERE EQ_CODE = '") + sqlText(eq) +
                       QStringLiteral("' AND LE_CODE = 'E' ORDER BY PA_CODE"),
                   u'E', false);
        if (m_s.runError)
            return Turn::MergeFailed;
    }
    if (r.levels.company) {
        mergeLevel(QStringLiteral("SELECT * FROM COMPANY_PARAMETERS WHERE CO_CODE = '") + sqlText(co) +
                       QStringLiteral("' AND EQ_CODE = '") + sqlText(eq) + QStringLiteral("' ORDER BY PA_CODE"),
                   u'C', true);
        if (m_s.runError)
            return Turn::MergeFailed;
    }
    if (r.levels.phone) {
        mergeLevel(QStringLiteral("SELECT * FROM PHONES_PARAMETERS WHERE CO_CODE = '") + sqlText(co) +
                       QStringLiteral("' AND PH_CODE = '") + sqlText(ph) + QStringLiteral("' ORDER BY PA_CODE"),
                   u'P', true);
        if (m_s.runError)
            return Turn::MergeFailed;
    }

    const Recordset module =
        m_s.db.execute(QStringLiteral("SELECT EQ_MODULE FROM EQUIPMENT WHERE EQ_CODE = '") + sqlText(eq) + u'\'');
    if (module.count() != 1) {
        ShowMessage(m_s, QStringLiteral("M9"));
        m_s.runError = true;
        return Turn::Next;
    }
    const QString name = module.text(0);
    if (name == u"NONE")
        return Turn::Next;
    const ConfigWriter* writer = writerForModule(name);
    if (!writer) {
        ShowMessage(m_s, QStringLiteral("M10"));
        m_s.runError = true;
        return Turn::Next;
    }
    switch (writeTelephoneFiles(m_s, m_log, *writer, {r.levels, r.source, folder})) {
    case WriteOutcome::Written:
        ++summary.written;
        break;
    case WriteOutcome::Skipped:
        ++summary.skipped;
        break;
    case WriteOutcome::Empty:
    case WriteOutcome::Failed:
        break;
    }
    return Turn::Next;
}

void GenerationRun::mergeLevel(const QString& sql, QChar level, bool lookUpDescription)
{
    const Recordset rows = m_s.db.execute(sql);
    const int code = rows.fieldIndex(QStringLiteral("PA_CODE"));
    const int value = rows.fieldIndex(level == u'E' ? QStringLiteral("PA_DEFAULT") : QStringLiteral("PA_VALUE"));
    const int desc = rows.fieldIndex(QStringLiteral("PA_DESC"));
    const QString eq = m_s.currentPhone.text(QStringLiteral("EQ_CODE"));
    for (const QVariantList& row : rows.rows()) {
        const QString pa = row.at(code).toString();
        QString description;
        if (lookUpDescription) {
            // Prepared once: this lookup runs for every company and telephone value of every telephone.
            const Recordset d = m_s.db.executeBound(
                QStringLiteral("SELECT PA_DESC FROM EQUIPMENT_PARAMETERS WHERE EQ_CODE = ? AND PA_CODE =?"), {eq, pa});
            if (d.eof())
                m_log.append(QStringLiteral("Telephone %1/%2: parameter %3 is not in the catalogue of %4")
                                 .arg(m_s.currentPhone.text(QStringLiteral("CO_CODE")),
                                      m_s.currentPhone.text(QStringLiteral("PH_CODE")), pa, eq));
            else
                description = d.text(0);
        } else {
            description = row.at(desc).toString();
        }
        insertMerged(pa, description, row.at(value).toString(), level);
    }
}

void GenerationRun::insertMerged(QString code, QString desc, QString value, QChar level)
{
    // Place-holders are expanded value by value, left to right, and the row is stored even when one
    // failed: the run stops after the level. An expansion that failed leaves the later values as typed.
    const bool failedBefore = m_s.runError;
    m_s.runError = false;
    for (QString* text : {&code, &desc, &value}) {
        *text = ExpandMacros(m_s, *text);
        if (m_s.runError)
            break;
    }
    m_s.runError = m_s.runError || failedBefore;

    if (const auto it = m_merged.constFind(code); it != m_merged.constEnd()) {
        m_log.append(QStringLiteral("Telephone %1/%2: parameter %3 comes from level %4 and from level %5")
                         .arg(m_s.currentPhone.text(QStringLiteral("CO_CODE")),
                              m_s.currentPhone.text(QStringLiteral("PH_CODE")), code, QString(*it), QString(level)));
        m_s.runError = true;
        return;
    }
    m_merged.insert(code, level);
    // Prepared once with bound values: the database ends as with the quoted statement, at a
    // fraction of the cost, and a value holding an apostrophe is stored as typed.
    m_s.db.executeBound(QStringLiteral("INSERT INTO EQ_TEMP VALUES(?, ?, ?, ?)"), {code, desc, value, QString(level)});
}

} // namespace vocaset
