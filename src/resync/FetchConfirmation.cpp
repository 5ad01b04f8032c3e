#include "FetchConfirmation.h"

#include <QEventLoop>
#include <QSet>
#include <QTimer>

#include "FetchRecorder.h"
#include "Messages.h"
#include "PhoneFileSource.h"
#include "ProvisioningServer.h"
#include "Recordings.h"
#include "Sql.h"

namespace vocaset {

QString FetchConfirmation::Summary::line() const
{
    return QStringLiteral("%1 telephone(s) awaited: %2 confirmed, %3 fetched another file, %4 no fetch%5")
        .arg(confirmed + notCurrent + noFetch)
        .arg(confirmed)
        .arg(notCurrent)
        .arg(noFetch)
        .arg(aborted ? QStringLiteral(" (wait interrupted)") : QString());
}

FetchConfirmation::FetchConfirmation(Session& session, RunLog& log, int pollMs)
    : m_s(session), m_log(log), m_pollMs(std::max(1, pollMs))
{
}

void FetchConfirmation::begin()
{
    m_since = recordedTime();
    m_aborted = false;
}

void FetchConfirmation::abort()
{
    m_aborted = true;
    if (m_loop)
        m_loop->quit();
}

QHash<QString, QByteArray> FetchConfirmation::currentTags(const QString& company, const QStringList& codes)
{
    QHash<QString, QByteArray> tags;
    PhoneFileSource source(m_s.db, m_s.language);
    source.health();
    const ReadSnapshot snapshot(m_s.db);
    const QSet<QString> wanted(codes.cbegin(), codes.cend());
    const Recordset rows = m_s.db.execute(
        QStringLiteral("SELECT P.PH_CODE, P.EQ_CODE, P.PH_MAC, E.EQ_MODULE FROM PHONES P LEFT JOIN EQUIPMENT E "
                       "ON E.EQ_CODE = P.EQ_CODE WHERE P.CO_CODE = '") +
        sqlText(company) + u'\'');
    KnownCaller trusted;
    for (const QVariantList& row : rows.rows()) {
        const QString code = row.at(0).toString();
        if (!wanted.contains(code))
            continue;
        const std::optional<QString> name =
            source.fileNameOf(row.at(1).toString(), row.at(3).toString(), row.at(2).toString());
        if (!name)
            continue;
        const FileAnswer now = source.answer(*name, trusted);
        if (now.status == 200 && now.company == company && now.phone == code)
            tags.insert(code, entityTag(now.body));
    }
    return tags;
}

QString FetchConfirmation::outcomeText(const Result& r) const
{
    switch (r.outcome) {
    case Outcome::Confirmed:
        return textOr(m_s, QStringLiteral("M903"), QStringLiteral("confirmed at %1")).arg(r.fetchedAt);
    case Outcome::NotCurrent:
        return textOr(m_s, QStringLiteral("M904"), QStringLiteral("fetched another file at %1")).arg(r.fetchedAt);
    case Outcome::NoFetch:
        break;
    }
    return textOr(m_s, QStringLiteral("M905"), QStringLiteral("no fetch within %1 s")).arg(m_seconds);
}

void FetchConfirmation::report(const Result& r, int seconds)
{
    if (m_onResult)
        m_onResult(r);
    const QString phone = m_company + u'/' + r.code;
    switch (r.outcome) {
    case Outcome::Confirmed:
        m_log.append(textOr(m_s, QStringLiteral("M898"), QStringLiteral("%1 confirmed: fetched the current file at %2"))
                         .arg(phone, r.fetchedAt));
        break;
    case Outcome::NotCurrent:
        m_log.append(textOr(m_s, QStringLiteral("M899"),
                            QStringLiteral("%1 fetched, but not the current file (at %2)"))
                         .arg(phone, r.fetchedAt));
        break;
    case Outcome::NoFetch:
        m_log.append(
            textOr(m_s, QStringLiteral("M900"), QStringLiteral("%1 no fetch within %2 s")).arg(phone).arg(seconds));
        break;
    }
}

FetchConfirmation::Summary FetchConfirmation::wait(const QString& company, const QStringList& codes, int seconds)
{
    if (m_since.isEmpty())
        begin();
    m_company = company;
    m_seconds = seconds;
    const QHash<QString, QByteArray> tags = currentTags(company, codes);
    m_results.clear();
    QHash<QString, qsizetype> index;
    for (const QString& code : codes) {
        index.insert(code, m_results.size());
        m_results.append({code, Outcome::NoFetch, {}});
    }
    qsizetype left = m_results.size();
    const QString sql = QStringLiteral("SELECT PH_CODE, PF_TIME, PF_ETAG FROM PHONE_FETCHES WHERE CO_CODE = '") +
                        sqlText(company) + QStringLiteral("' AND PF_TIME > '") + sqlText(m_since) + u'\'';
    // One look at the recordings: each telephone awaited that fetched since the restarts.
    bool recorded = false; // the servers create the table on their first start
    const auto look = [&] {
        const quint64 before = m_s.db.exchanges();
        recorded = recorded || FetchTable::exists(m_s.db);
        ++m_polls;
        const Recordset rows = recorded ? m_s.db.execute(sql) : Recordset();
        m_lookStatements += m_s.db.exchanges() - before;
        for (const QVariantList& row : rows.rows()) {
            const auto at = index.constFind(row.at(0).toString());
            if (at == index.cend())
                continue;
            Result& r = m_results[*at];
            if (r.outcome == Outcome::Confirmed)
                continue;
            r.fetchedAt = row.at(1).toString();
            const auto tag = tags.constFind(r.code);
            if (tag != tags.cend() && *tag == row.at(2).toString().toLatin1()) {
                r.outcome = Outcome::Confirmed;
                report(r, seconds);
                --left;
                m_log.progress(int(m_results.size() - left), int(m_results.size()));
            } else {
                r.outcome = Outcome::NotCurrent;
            }
        }
    };

    m_log.progress(0, int(m_results.size()));
    QEventLoop loop;
    QTimer poll;
    const QDateTime deadline = QDateTime::currentDateTimeUtc().addSecs(seconds);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        look();
        if (left == 0 || QDateTime::currentDateTimeUtc() >= deadline)
            loop.quit();
    });
    look();
    if (left > 0 && seconds > 0 && !m_aborted) {
        m_loop = &loop;
        poll.start(m_pollMs);
        loop.exec();
        m_loop = nullptr;
        poll.stop();
    }

    Summary summary;
    summary.aborted = m_aborted;
    for (const Result& r : std::as_const(m_results)) {
        if (r.outcome != Outcome::Confirmed)
            report(r, seconds);
        ++(r.outcome == Outcome::Confirmed    ? summary.confirmed
           : r.outcome == Outcome::NotCurrent ? summary.notCurrent
                                              : summary.noFetch);
    }
    m_since.clear();
    return summary;
}

} // namespace vocaset
