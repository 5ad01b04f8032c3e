#include "RebootRun.h"

#include "Messages.h"
#include "ParamResolution.h"
#include "Sql.h"

namespace vocaset {

RebootRun::RebootRun(Session& session, RunLog& log, int deadlineMs)
    : m_s(session), m_log(log), m_x(session, log, deadlineMs), m_dialogues(session, log, m_x)
{
}

QStringList RebootRun::entries(const QString& sql)
{
    return entryTexts(listEntries(m_s.db, sql));
}

QStringList RebootRun::companies()
{
    return entryTexts(companyEntries(m_s.db));
}

QStringList RebootRun::equipments(const QString& company)
{
    return entryTexts(modelEntries(m_s.db, company));
}

QStringList RebootRun::phonesFrom(const QString& equipment)
{
    return entries(QStringLiteral("SELECT DISTINCT PH_CODE, PH_DESC FROM PHONES WHERE EQ_CODE = '") +
                   sqlText(equipment) + QStringLiteral("' ORDER BY PH_CODE"));
}

QStringList RebootRun::phonesTo(const QString& equipment, const QString& first)
{
    return entries(QStringLiteral("SELECT DISTINCT PH_CODE, PH_DESC FROM PHONES WHERE EQ_CODE = '") +
                   sqlText(equipment) + QStringLiteral("' AND PH_CODE >= '") + sqlText(first) +
                   QStringLiteral("' ORDER BY PH_CODE"));
}

RebootRun::Outcome RebootRun::run(const QString& company, const QString& equipment, const QString& first,
                                  const QString& last)
{
    m_s.currentPhone = m_s.db.execute(
        QStringLiteral("SELECT * FROM PHONES WHERE ") + QStringLiteral("CO_CODE = '") + sqlText(company) +
        QStringLiteral("' ") + QStringLiteral("AND EQ_CODE = '") + sqlText(equipment) + QStringLiteral("' ") +
        QStringLiteral("AND PH_CODE BETWEEN '") + sqlText(first) + QStringLiteral("' ") + QStringLiteral("AND '") +
        sqlText(last) + QStringLiteral("' ") + QStringLiteral("ORDER BY PH_CODE"));
    return runSelected();
}

RebootRun::Outcome RebootRun::runTelephones(const QString& company, const QStringList& codes)
{
    QStringList quoted;
    for (const QString& code : codes)
        quoted.append(u'\'' + sqlText(code) + u'\'');
    // An empty list selects nothing.
    m_s.currentPhone = m_s.db.execute(QStringLiteral("SELECT * FROM PHONES WHERE CO_CODE = '") + sqlText(company) +
                                      QStringLiteral("' AND PH_CODE IN (") +
                                      (quoted.isEmpty() ? QStringLiteral("NULL") : quoted.join(QStringLiteral(", "))) +
                                      QStringLiteral(") ORDER BY PH_CODE"));
    return runSelected();
}

RebootRun::Outcome RebootRun::runSelected()
{
    struct Running
    {
        RebootRun& r;
        explicit Running(RebootRun& run) : r(run) { r.m_running = true; }
        ~Running()
        {
            r.m_running = false;
            r.m_x.closeSocket();
        }
    } running(*this);

    m_x.clearAbort();
    m_stopRun = false;
    m_summary = Summary();
    const int total = m_summary.selected = m_s.currentPhone.count();
    m_log.progress(0, total);
    if (total == 0)
        ShowMessage(m_s, QStringLiteral("M8"));

    for (; !m_s.currentPhone.eof(); m_s.currentPhone.moveNext()) {
        // The reboot settings are the telephone's model's.
        m_equipment = m_s.currentPhone.text(QStringLiteral("EQ_CODE"));
        const Recordset module =
            m_s.db.execute(QStringLiteral("SELECT EQ_MODULE FROM EQUIPMENT WHERE EQ_CODE = '") +
                           sqlText(m_s.currentPhone.text(QStringLiteral("EQ_CODE"))) + QStringLiteral("'"));
        std::optional<bool> restarted; // stays empty for a model without a reboot dialogue
        if (module.count() == 1) {
            const QString name = module.text(0);
            if (name == u"GRANDSTREAM") {
                restarted = GXP2000();
            } else if (name == u"PAP2") {
                restarted = PAP2();
            } else if (name == u"F1000") {
                restarted = F1000();
            } else if (name == u"TEMPLATE") {
                // A model described by a template has a file but no login dialogue of its own.
                m_log.append(textOr(m_s, QStringLiteral("M820"),
                                    QStringLiteral("Telephone $$: its model takes its file from a template and has no "
                                                   "reboot dialogue; not restarted"),
                                    m_s.currentPhone.text(QStringLiteral("CO_CODE")) + u'/' +
                                        m_s.currentPhone.text(QStringLiteral("PH_CODE"))));
            } else if (name != u"NONE") {
                ShowMessage(m_s, QStringLiteral("M10"));
                m_stopRun = true;
                restarted = false;
            }
        } else {
            ShowMessage(m_s, QStringLiteral("M9"));
            m_stopRun = true;
            restarted = false;
        }
        if (restarted == true) {
            ++m_summary.restarted;
            m_summary.accepted.append(m_s.currentPhone.text(QStringLiteral("PH_CODE")));
        }
        else if (restarted == false)
            m_summary.failed.append(m_s.currentPhone.text(QStringLiteral("PH_CODE")));
        m_log.progress(++m_summary.done, total);
        if (m_stopRun || m_x.aborted())
            break;
    }

    if (m_stopRun)
        m_summary.outcome = Outcome::Stopped;
    else
        m_summary.outcome = m_x.aborted() ? Outcome::Aborted : Outcome::Completed;
    return m_summary.outcome;
}

QString RebootRun::Summary::line() const
{
    QString text = QStringLiteral("%1 telephone(s) selected, %2 restarted, %3 failed")
                       .arg(selected)
                       .arg(restarted)
                       .arg(failed.size());
    if (!failed.isEmpty())
        text += QStringLiteral(": ") + failed.join(QStringLiteral(", "));
    if (outcome != Outcome::Completed && done < selected)
        text += (outcome == Outcome::Aborted ? QStringLiteral("; aborted after %1 of %2")
                                             : QStringLiteral("; stopped after %1 of %2"))
                    .arg(done)
                    .arg(selected);
    return text;
}

std::optional<QStringList> RebootRun::settingValues(const QStringList& keys)
{
    QStringList values;
    for (const QString& key : keys) {
        const Recordset rs = m_s.db.execute(
            QStringLiteral("SELECT SY_VALUE FROM SYSTEM_PARAMETERS WHERE SY_CODE = '$$") + sqlText(m_equipment) +
            QStringLiteral("' AND SY_SUBCODE = '") + sqlText(key) + QStringLiteral("'"));
        if (rs.eof()) {
            ShowMessage(m_s, QStringLiteral("M20"), key);
            return std::nullopt;
        }
        // A telephone without its address (or password) is told in the log and not dialled; the run
        // goes on with the next one. An empty password may be meant, an empty address never.
        const QString parameter = rs.text(0);
        const ParamValue found = findParamValue(m_s, parameter);
        const QString phone =
            m_s.currentPhone.text(QStringLiteral("CO_CODE")) + u'/' + m_s.currentPhone.text(QStringLiteral("PH_CODE"));
        if (!found.missing.isEmpty()) {
            m_log.append(textOr(m_s, QStringLiteral("M784"), QStringLiteral("Telephone %1 not restarted: %2"))
                             .arg(phone, MessageText(m_s, found.missing, parameter)));
            return std::nullopt;
        }
        if (found.value.trimmed().isEmpty() && key.startsWith(QLatin1String("$$IP"))) {
            m_log.append(textOr(m_s, QStringLiteral("M785"),
                                QStringLiteral("Telephone %1 not restarted: its address parameter %2 is empty."))
                             .arg(phone, parameter));
            return std::nullopt;
        }
        values.append(found.value);
    }
    return values;
}

bool RebootRun::GXP2000()
{
    const auto values = settingValues({QStringLiteral("$$IP1"), QStringLiteral("$$IP2"), QStringLiteral("$$IP3"),
                                       QStringLiteral("$$IP4"), QStringLiteral("$$EPWD")});
    return values && m_dialogues.RebootGXP2000(values->mid(0, 4).join(u'.'), values->at(4));
}

bool RebootRun::PAP2()
{
    const auto values = settingValues({QStringLiteral("$$IP1"), QStringLiteral("$$EPWD")});
    return values && m_dialogues.RebootPAP2(values->at(0), values->at(1));
}

bool RebootRun::F1000()
{
    const auto values = settingValues({QStringLiteral("$$IP1"), QStringLiteral("$$EPWD")});
    return values && m_dialogues.RebootF1000(values->at(0), values->at(1));
}

} // namespace vocaset
