#include "ResyncRun.h"

#include <QHash>
#include <QHostAddress>

#include "FetchRecorder.h"
#include "FleetSurvey.h"
#include "Messages.h"
#include "ParamResolution.h"
#include "Sql.h"

namespace vocaset {

ResyncRun::ResyncRun(Session& session, RunLog& log, int t1Ms) : m_s(session), m_log(log), m_notifier(t1Ms) {}

QString ResyncRun::setting(const QString& model, const QString& key, bool* found)
{
    const Recordset rs =
        m_s.db.execute(QStringLiteral("SELECT SY_VALUE FROM SYSTEM_PARAMETERS WHERE SY_CODE = '$$") + sqlText(model) +
                       QStringLiteral("' AND SY_SUBCODE = '") + sqlText(key) + QStringLiteral("'"));
    if (found)
        *found = !rs.eof();
    return rs.eof() ? QString() : rs.text(0);
}

QString ResyncRun::refusal(const QString& model)
{
    bool found = false;
    const QString event = setting(model, QStringLiteral("$$NOTIFY"), &found);
    if (!found)
        return textOr(m_s, QStringLiteral("M890"),
                      QStringLiteral("Model %1 has no SIP event to send: add the settings row SY_CODE \"%2\", "
                                     "SY_SUBCODE \"%3\", SY_VALUE the event (check-sync, resync, ...)"))
            .arg(model, QStringLiteral("$$") + model, QStringLiteral("$$NOTIFY"));
    bool hasPort = false;
    const QString port = setting(model, QStringLiteral("$$SIPPORT"), &hasPort).trimmed();
    if (hasPort && (port.toUInt() < 1 || port.toUInt() > 65535))
        return textOr(m_s, QStringLiteral("M896"),
                      QStringLiteral("The %1 setting of model %2 is not a port from 1 to 65535: %3"))
            .arg(QStringLiteral("$$SIPPORT"), model, port);
    // The event goes into a header line as it is: a line end in it would be a header of its own.
    bool plain = !event.trimmed().isEmpty();
    for (const QChar c : event)
        plain = plain && c.unicode() >= 0x20 && c.unicode() != 0x7F;
    if (!plain)
        return textOr(m_s, QStringLiteral("M891"),
                      QStringLiteral("The %1 setting of model %2 is empty or holds a control character"))
            .arg(QStringLiteral("$$NOTIFY"), model);
    return {};
}

ResyncRun::Outcome ResyncRun::run(const Choice& choice)
{
    m_summary = Summary();
    const QString event = setting(choice.model, QStringLiteral("$$NOTIFY"));
    bool hasPort = false;
    const QString portText = setting(choice.model, QStringLiteral("$$SIPPORT"), &hasPort);
    const quint16 port = hasPort ? quint16(portText.trimmed().toUInt()) : 5060;
    const QString userParam = setting(choice.model, QStringLiteral("$$SIPUSER"));
    bool hasAuth = false, hasPwd = false;
    const QString authParam = setting(choice.model, QStringLiteral("$$SIPAUTH"), &hasAuth);
    const QString pwdParam = setting(choice.model, QStringLiteral("$$SIPPWD"), &hasPwd);
    const Recordset module = m_s.db.execute(QStringLiteral("SELECT EQ_MODULE FROM EQUIPMENT WHERE EQ_CODE = '") +
                                            sqlText(choice.model) + QStringLiteral("'"));
    QStringList ipKeys = {QStringLiteral("$$IP1")};
    if (!module.eof() && module.text(0) == u"GRANDSTREAM")
        ipKeys << QStringLiteral("$$IP2") << QStringLiteral("$$IP3") << QStringLiteral("$$IP4");
    QStringList ipParams;
    for (const QString& key : std::as_const(ipKeys)) {
        bool found = false;
        const QString parameter = setting(choice.model, key, &found);
        if (found)
            ipParams << parameter;
    }
    const bool addressSettings = ipParams.size() == ipKeys.size();

    // The client address of each telephone's last recorded fetch, in one statement.
    QHash<QString, QString> fetchedFrom;
    if (FetchTable::exists(m_s.db)) {
        const Recordset rs = m_s.db.execute(
            QStringLiteral("SELECT PH_CODE, PF_CLIENT FROM PHONE_FETCHES WHERE CO_CODE = '") + sqlText(choice.company) +
            QStringLiteral("'"));
        for (const QVariantList& row : rs.rows())
            fetchedFrom.insert(row.at(0).toString(), row.at(1).toString());
    }
    QSet<QString> stale;
    if (choice.staleOnly) {
        FleetSurvey survey(m_s.db, m_s.language);
        for (const FleetPhone& p : survey.survey({choice.company, choice.model})) {
            if (p.state == FleetState::Stale)
                stale.insert(p.code);
        }
    }

    QString sql = QStringLiteral("SELECT * FROM PHONES WHERE CO_CODE = '") + sqlText(choice.company) +
                  QStringLiteral("' AND EQ_CODE = '") + sqlText(choice.model) + u'\'';
    if (!choice.first.isEmpty())
        sql += QStringLiteral(" AND PH_CODE >= '") + sqlText(choice.first) + u'\'';
    if (!choice.last.isEmpty())
        sql += QStringLiteral(" AND PH_CODE <= '") + sqlText(choice.last) + u'\'';
    m_s.currentPhone = m_s.db.execute(sql + QStringLiteral(" ORDER BY PH_CODE"));

    const QSet<QString> chosen(choice.codes.cbegin(), choice.codes.cend());
    QList<NotifyRequest> requests;
    QStringList codes;
    QStringList targets;
    int selected = 0;
    for (; !m_s.currentPhone.eof(); m_s.currentPhone.moveNext()) {
        const QString code = m_s.currentPhone.text(QStringLiteral("PH_CODE"));
        if ((choice.staleOnly && !stale.contains(code)) || (!chosen.isEmpty() && !chosen.contains(code)))
            continue;
        ++selected;
        const QString phone = choice.company + u'/' + code;
        // Each value is the current telephone's; a value that cannot be resolved is the telephone's failure.
        const auto value = [&](const QString& parameter, QString* into) {
            const ParamValue found = findParamValue(m_s, parameter);
            if (!found.missing.isEmpty()) {
                m_log.append(textOr(m_s, QStringLiteral("M892"), QStringLiteral("Telephone %1 not resynchronised: %2"))
                                 .arg(phone, MessageText(m_s, found.missing, parameter)));
                return false;
            }
            *into = found.value.trimmed();
            return true;
        };
        QString address;
        bool usable = true;
        if (addressSettings && !choice.fetchAddress) {
            QStringList parts;
            for (const QString& parameter : std::as_const(ipParams)) {
                QString part;
                usable = usable && value(parameter, &part);
                parts << part;
            }
            address = parts.join(u'.');
            if (address.count(u'.') == int(parts.size()) - 1 && parts.join(QString()).isEmpty())
                address.clear();
            // A reboot address may carry the web server's port; the SIP port is the model's.
            if (parts.size() == 1 && address.count(u':') == 1)
                address = address.section(u':', 0, 0);
        }
        QString user, authUser, authPassword;
        usable = usable && (userParam.isEmpty() || value(userParam, &user));
        usable = usable && (!hasAuth || value(authParam, &authUser));
        usable = usable && (!hasPwd || value(pwdParam, &authPassword));
        if (!usable) {
            m_summary.failed << code;
            continue;
        }
        if (address.isEmpty()) {
            address = fetchedFrom.value(code);
            if (address.startsWith(QLatin1String("::ffff:")))
                address = address.mid(7);
        }
        const QHostAddress host(address);
        if (address.isEmpty() || host.isNull()) {
            m_log.append(
                textOr(m_s, QStringLiteral("M893"),
                       QStringLiteral("Telephone %1 not resynchronised: no IP address (its address parameter is "
                                      "empty or not an address, and no fetch of it is recorded): %2"))
                    .arg(phone, address.isEmpty() ? QStringLiteral("-") : address));
            m_summary.failed << code;
            continue;
        }
        NotifyRequest r;
        r.host = host.toString();
        r.port = port;
        r.user = user;
        r.event = event;
        r.hasCredentials = hasAuth && hasPwd;
        r.authUser = authUser;
        r.authPassword = authPassword;
        requests << r;
        codes << code;
        targets << QStringLiteral("sip:") + (user.isEmpty() ? QString() : user + u'@') +
                       (r.host.contains(u':') ? u'[' + r.host + u']' : r.host) + u':' + QString::number(port);
    }
    m_summary.selected = selected;
    m_summary.done = int(m_summary.failed.size());
    m_log.progress(m_summary.done, selected);
    if (selected == 0)
        ShowMessage(m_s, QStringLiteral("M8"));

    QList<bool> accepted(requests.size(), false);
    const bool opened = m_notifier.run(requests, [&](int i, const NotifyResult& result) {
        accepted[i] = result.accepted;
        const QString phone = choice.company + u'/' + codes.at(i);
        m_log.append(result.accepted
                         ? textOr(m_s, QStringLiteral("M894"), QStringLiteral("Telephone %1 (%2) resynchronised: %3"))
                               .arg(phone, targets.at(i), result.statusLine)
                         : textOr(m_s, QStringLiteral("M895"),
                                  QStringLiteral("Telephone %1 (%2) not resynchronised: %3"))
                               .arg(phone, targets.at(i), result.statusLine));
        if (!result.accepted)
            m_summary.failed << codes.at(i);
        else
            ++m_summary.restarted;
        m_log.progress(++m_summary.done, m_summary.selected);
    });
    if (!opened) {
        // No socket to send from: every telephone still to be asked has failed, and the log says why.
        m_log.append(textOr(m_s, QStringLiteral("M897"), QStringLiteral("No UDP port could be opened to send from.")));
        m_summary.failed << codes;
        m_summary.done = selected;
    }
    for (int i = 0; i < codes.size(); ++i) {
        if (accepted.at(i))
            m_summary.accepted << codes.at(i);
    }
    std::sort(m_summary.failed.begin(), m_summary.failed.end());
    m_summary.outcome = m_notifier.aborted() ? Outcome::Aborted : Outcome::Completed;
    return m_summary.outcome;
}

} // namespace vocaset
