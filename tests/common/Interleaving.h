#pragma once

#include <atomic>
#include <functional>
#include <thread>

#include <QList>
#include <QString>
#include <QStringList>

#include "Database.h"
#include "ScriptedOperator.h"
#include "Session.h"
#include "TestDatabase.h"

namespace vocaset::test {

// A second operator on a test's database, acting when the first one's run reaches a named point
// (Database::reached): it commits a change, or tries to write what the run holds, at a known moment
// rather than after a sleep. It has a connection and a session of its own, so it can run engines as
// the first operator does. Its statements wait at most lockWaitMs for a lock the run holds, then
// fail: on both engines a write that the run keeps out is refused, deterministically and soon.
class OtherOperator final
{
public:
    // Acts on the points that `run` reaches; by default the test database's own connection.
    explicit OtherOperator(TestDatabase& tdb, int lockWaitMs = 150);
    OtherOperator(TestDatabase& tdb, Database& run, int lockWaitMs = 150);
    ~OtherOperator();
    Q_DISABLE_COPY_MOVE(OtherOperator)

    // The hook a run's connection takes; already set on `run`. For a connection the test does not
    // hold itself (the command line's own), hand it over there.
    Database::InterleavingHook hook();

    // Acts the first time the run reaches the point (times: on that many of its visits).
    void at(const QString& point, std::function<void()> act, int times = 1);
    // Sends a statement; empty when it went through, else the engine's refusal.
    QString attempt(const QString& sql);
    // Whether an engine's refusal says a lock kept the statement out (busy, lock or statement
    // time-out), rather than that the statement itself was refused.
    static bool lockedOut(const QString& refusal);

    Database db;
    ScriptedOperator op;
    RecordingLog log;
    Session s{db, op};
    QStringList passed; // every point the run reached, in order

private:
    struct Action
    {
        QString point;
        std::function<void()> act;
        int left;
    };
    void reach(QStringView point);

    Database* m_run;
    QList<Action> m_actions;
};

// A second operator working at the same time as a test's run, on a thread and a connection of its
// own, for what one thread cannot show: a writer that waits for the run's lock and then goes on.
// start() returns once the act has ended or, on the server, waits for a lock the run holds, so the
// run goes on knowing which came first; on SQLite a writer cannot overtake a run that holds the write
// lock, so it returns at once. Its statements wait up to 30 s for a lock.
class ConcurrentOperator final
{
public:
    explicit ConcurrentOperator(TestDatabase& tdb);
    ~ConcurrentOperator();
    Q_DISABLE_COPY_MOVE(ConcurrentOperator)

    void start(std::function<void(Session&)> act);
    // Waits for the act to end; the engine's text of the DbError it threw, empty when none.
    QString finish();

    ScriptedOperator op;
    RecordingLog log;

private:
    QString m_connection;
    QString m_dir;
    Database m_observer; // on the server: sees whether the act waits for a lock
    std::thread m_thread;
    std::atomic<qint64> m_pid{0};
    std::atomic<bool> m_done{false};
    QString m_failure;
};

} // namespace vocaset::test
