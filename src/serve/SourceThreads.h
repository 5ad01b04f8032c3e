#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include <QString>

namespace vocaset {

class FileSource;

// Threads that each keep one file source (a database connection) and run the jobs given to them,
// away from the threads that read and write the connections: a slow database holds a worker,
// never a connection's thread.
class SourceThreads final
{
public:
    using Clock = std::chrono::steady_clock;
    using Factory = std::function<std::unique_ptr<FileSource>()>;
    using Job = std::function<void(FileSource&)>;
    using Late = std::function<void()>;

    SourceThreads(int threads, Factory factory);
    ~SourceThreads();
    Q_DISABLE_COPY_MOVE(SourceThreads)

    // Runs job on a worker, or late instead when no worker took it before the deadline (or the
    // threads are stopping). Exactly one of the two is called.
    void post(Job job, Late late, Clock::time_point deadline);
    // Calls late for the jobs still queued past their deadline.
    void expireLate();
    // Calls late for every queued job, lets the running ones finish, ends the threads.
    void stop();

private:
    struct Entry
    {
        Job job;
        Late late;
        Clock::time_point deadline;
    };
    void work(const Factory& factory);

    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::deque<Entry> m_queue;
    bool m_stopping = false;
    std::vector<std::thread> m_threads;
};

// The health check: asks a source of its own whether the database answers, and replies to each
// question at most `deadline` after it came, with a failure when the check has not ended by then.
// Questions that come while a check runs take its result.
class HealthProbe final
{
public:
    using Reply = std::function<void(const QString& problem)>; // empty problem: healthy

    HealthProbe(SourceThreads::Factory factory, std::chrono::milliseconds deadline);
    ~HealthProbe();
    Q_DISABLE_COPY_MOVE(HealthProbe)

    void ask(Reply reply);
    // Replies to the questions older than the deadline.
    void expire();
    void stop();

private:
    struct Waiter
    {
        Reply reply;
        SourceThreads::Clock::time_point deadline;
    };
    void check(FileSource& source);
    void replyAll(std::list<Waiter> waiters, const QString& problem);

    const std::chrono::milliseconds m_deadline;
    std::mutex m_mutex;
    std::list<Waiter> m_waiting;
    bool m_checking = false;
    SourceThreads m_thread;
};

} // namespace vocaset
