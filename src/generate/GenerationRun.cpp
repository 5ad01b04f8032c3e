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

    // Every telephone of the run has the chosen model: its catalogue's descriptions are read once.
    m_descriptions.clear();
    m_texts.clear(); // messages may have been edited since the last run
    Recordset catalogue =
        m_s.db.execute(QStringLiteral("SELECT PA_CODE, PA_DESC FROM EQUIPMENT_PARAMETERS WHERE EQ_CODE = '") +
                       sqlText(r.model) + u'\'');
    for (const QVariantList& row : catalogue.rows())
        m_descriptions.insert(row.at(0).toString(), row.at(1).toString());

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
        mergeLevel(
            u'E',
            QStringLiteral("SELECT * FROM EQUIPMENT_PARAMETERS WHERE EQ_CODE = '") + sqlText(eq) +
                QStringLiteral("' AND LE_CODE = 'E' ORDER BY PA_CODE"),
            QStringLiteral("INSERT INTO EQ_TEMP SELECT PA_CODE, PA_DESC, PA_DEFAULT, 'E' FROM EQUIPMENT_PARAMETERS "
                           "WHERE EQ_CODE = ? AND LE_CODE = 'E' AND PA_CODE NOT LIKE '%$$%' "
                           "AND PA_DESC NOT LIKE '%$$%' AND PA_DEFAULT NOT LIKE '%$$%'"),
            {eq});
        if (m_s.runError)
            return Turn::MergeFailed;
    }
    // Company and telephone values take their description from the model's catalogue.
    if (r.levels.company) {
        mergeLevel(u'C',
                   QStringLiteral("SELECT * FROM COMPANY_PARAMETERS WHERE CO_CODE = '") + sqlText(co) +
                       QStringLiteral("' AND EQ_CODE = '") + sqlText(eq) + QStringLiteral("' ORDER BY PA_CODE"),
                   QStringLiteral("INSERT INTO EQ_TEMP SELECT V.PA_CODE, E.PA_DESC, V.PA_VALUE, 'C' "
                                  "FROM COMPANY_PARAMETERS V LEFT JOIN EQUIPMENT_PARAMETERS E "
                                  "ON E.EQ_CODE = V.EQ_CODE AND E.PA_CODE = V.PA_CODE "
                                  "WHERE V.CO_CODE = ? AND V.EQ_CODE = ? AND V.PA_CODE NOT LIKE '%$$%' "
                                  "AND V.PA_VALUE NOT LIKE '%$$%' AND COALESCE(E.PA_DESC, '') NOT LIKE '%$$%'"),
                   {co, eq});
        if (m_s.runError)
            return Turn::MergeFailed;
    }
    if (r.levels.phone) {
        // Only the values stored for this model: a telephone's values left from an earlier model do not
        // belong in this model's file. The model also completes the key's prefix, so the lookup does
        // not scan every telephone value of the company.
        mergeLevel(u'P',
                   QStringLiteral("SELECT * FROM PHONES_PARAMETERS WHERE CO_CODE = '") + sqlText(co) +
                       QStringLiteral("' AND EQ_CODE = '") + sqlText(eq) + QStringLiteral("' AND PH_CODE = '") +
                       sqlText(ph) + QStringLiteral("' ORDER BY PA_CODE"),
                   QStringLiteral("INSERT INTO EQ_TEMP SELECT V.PA_CODE, E.PA_DESC, V.PA_VALUE, 'P' "
                                  "FROM PHONES_PARAMETERS V LEFT JOIN EQUIPMENT_PARAMETERS E "
                                  "ON E.EQ_CODE = V.EQ_CODE AND E.PA_CODE = V.PA_CODE "
                                  "WHERE V.CO_CODE = ? AND V.EQ_CODE = ? AND V.PH_CODE = ? "
                                  "AND V.PA_CODE NOT LIKE '%$$%' AND V.PA_VALUE NOT LIKE '%$$%' "
                                  "AND COALESCE(E.PA_DESC, '') NOT LIKE '%$$%'"),
                   {co, eq, ph});
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
    switch (writeTelephoneFiles(m_s, m_log, m_texts, *writer, {r.levels, r.source, folder})) {
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

void GenerationRun::mergeLevel(QChar level, const QString& readSql, const QString& copySql, const QVariantList& keys)
{
    const Recordset rows = m_s.db.execute(readSql);
    const int codeField = rows.fieldIndex(QStringLiteral("PA_CODE"));
    const int valueField = rows.fieldIndex(level == u'E' ? QStringLiteral("PA_DEFAULT") : QStringLiteral("PA_VALUE"));
    const int descField = rows.fieldIndex(QStringLiteral("PA_DESC"));
    const QString mark = QStringLiteral("$$");

    QList<qsizetype> plainRows;
    bool collided = false;
    for (qsizetype i = 0; i < rows.count(); ++i) {
        const QVariantList& row = rows.rows().at(i);
        QString code = row.at(codeField).toString();
        QString value = row.at(valueField).toString();
        QVariant desc = description(level, row, codeField, descField);
        const bool plain = !code.contains(mark) && !value.contains(mark) && !desc.toString().contains(mark);
        if (!plain) {
            // Expanded value by value, left to right; the row is stored even when one failed, and the
            // run stops after the level. An expansion that failed leaves the later values as typed.
            const bool failedBefore = m_s.runError;
            m_s.runError = false;
            code = ExpandMacros(m_s, code);
            if (!m_s.runError && !desc.isNull())
                desc = ExpandMacros(m_s, desc.toString());
            if (!m_s.runError)
                value = ExpandMacros(m_s, value);
            m_s.runError = m_s.runError || failedBefore;
        }
        if (const auto it = m_merged.constFind(code); it != m_merged.constEnd()) {
            m_log.append(QStringLiteral("Telephone %1: parameter %2 comes from level %3 and from level %4")
                             .arg(telephoneName(), code, QString(*it), QString(level)));
            m_s.runError = true;
            collided = true;
            continue;
        }
        m_merged.insert(code, level);
        if (plain)
            plainRows.append(i);
        else
            m_expanded << code << desc << value;
    }

    // Rows without place-holders are copied by the database itself, with the same selection as the
    // read above. After a collision every row goes in by itself, so the colliding ones stay out.
    if (collided) {
        for (qsizetype i : std::as_const(plainRows)) {
            const QVariantList& row = rows.rows().at(i);
            m_expanded << row.at(codeField) << description(level, row, codeField, descField) << row.at(valueField);
        }
    } else if (!plainRows.isEmpty()) {
        m_s.db.executeBound(copySql, keys);
    }
    storeExpanded(level);
}

QVariant GenerationRun::description(QChar level, const QVariantList& row, int codeField, int descField)
{
    // Equipment rows carry their own; company and telephone values take the catalogue's.
    if (level == u'E')
        return row.at(descField);
    const QString code = row.at(codeField).toString();
    if (const auto it = m_descriptions.constFind(code); it != m_descriptions.constEnd())
        return *it;
    m_log.append(QStringLiteral("Telephone %1: parameter %2 is not in the catalogue of %3")
                     .arg(telephoneName(), code, m_s.currentPhone.text(QStringLiteral("EQ_CODE"))));
    return QVariant(QMetaType::fromType<QString>()); // stored as NULL, as the database's copy does
}

QString GenerationRun::telephoneName() const
{
    return m_s.currentPhone.text(QStringLiteral("CO_CODE")) + u'/' + m_s.currentPhone.text(QStringLiteral("PH_CODE"));
}

void GenerationRun::storeExpanded(QChar level)
{
    // A few prepared multi-row statements with bound values: the database ends as with one quoted
    // INSERT per row, without paying a statement per row.
    constexpr qsizetype kRowsPerStatement = 50;
    constexpr qsizetype kBound = 3;
    const QString row = QStringLiteral("(?, ?, ?, '") + level + QStringLiteral("')");
    for (qsizetype at = 0; at < m_expanded.size(); at += kRowsPerStatement * kBound) {
        const QVariantList chunk = m_expanded.mid(at, kRowsPerStatement * kBound);
        QString sql = QStringLiteral("INSERT INTO EQ_TEMP VALUES") + row;
        for (qsizetype n = 1; n < chunk.size() / kBound; ++n)
            sql += QStringLiteral(", ") + row;
        m_s.db.executeBound(sql, chunk);
    }
    m_expanded.clear();
}

} // namespace vocaset
