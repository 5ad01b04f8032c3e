#pragma once

#include <functional>

#include <QDateTime>
#include <QHash>
#include <QStringList>

#include "Interaction.h"
#include "Session.h"

class QEventLoop;

namespace vocaset {

// Confirms restarts by the fetch that follows them: after telephones were asked to restart, waits
// until each one's next fetch is recorded in PHONE_FETCHES (by any server on the database) and tells
// whether it fetched the file it would be served now. One statement per poll, whatever the number of
// telephones awaited; the wait turns an event loop, so a window stays live and abort() ends it.
class FetchConfirmation final
{
public:
    enum class Outcome {
        Confirmed,  // fetched the current file after the restart
        NotCurrent, // fetched after the restart, but not the current file
        NoFetch     // no fetch recorded within the wait
    };
    struct Result
    {
        QString code;
        Outcome outcome = Outcome::NoFetch;
        QString fetchedAt; // the fetch's time (UTC) when one was recorded
    };
    struct Summary
    {
        int confirmed = 0;
        int notCurrent = 0;
        int noFetch = 0;
        bool aborted = false;
        int unconfirmed() const { return notCurrent + noFetch; }
        // "3 telephone(s) awaited: 1 confirmed, 1 fetched another file, 1 no fetch"
        QString line() const;
    };

    // pollMs: the time between two looks at the recordings.
    FetchConfirmation(Session& session, RunLog& log, int pollMs = 1000);
    Q_DISABLE_COPY_MOVE(FetchConfirmation)

    // Marks the moment the restarts begin: only fetches recorded after it count.
    void begin();
    // Waits up to seconds for the next fetch of each telephone of the company, reports each one on
    // the log as its outcome is known (and those left when the wait ends) and returns the counts. The
    // file each should fetch is the one the server would build for it when the wait begins. A refused
    // statement throws DbError.
    Summary wait(const QString& company, const QStringList& codes, int seconds);
    const QList<Result>& results() const { return m_results; }
    // Ends the wait at its next turn; what was seen is reported.
    void abort();
    // Called with each telephone's outcome once it is known: at once when confirmed, at the end of
    // the wait for the others.
    void setOnResult(std::function<void(const Result&)> onResult) { m_onResult = std::move(onResult); }
    // The outcome in a few words without the telephone, for a column: "confirmed at T", ...
    QString outcomeText(const Result& r) const;
    // Looks at the recordings, and the statements they sent, for the benchmark.
    int polls() const { return m_polls; }
    quint64 lookStatements() const { return m_lookStatements; }

private:
    // The entity tag of the file the server would send each telephone now; absent when none.
    QHash<QString, QByteArray> currentTags(const QString& company, const QStringList& codes);
    void report(const Result& r, int seconds);

    Session& m_s;
    RunLog& m_log;
    int m_pollMs;
    QString m_since;
    QString m_company;
    int m_seconds = 0;
    std::function<void(const Result&)> m_onResult;
    QList<Result> m_results;
    QEventLoop* m_loop = nullptr;
    bool m_aborted = false;
    int m_polls = 0;
    quint64 m_lookStatements = 0;
};

} // namespace vocaset
