#include "SourceThreads.h"

#include "ProvisioningServer.h"

namespace vocaset {

SourceThreads::SourceThreads(int threads, Factory factory)
{
    for (int i = 0; i < threads; ++i)
        m_threads.emplace_back([this, factory] { work(factory); });
}

SourceThreads::~SourceThreads()
{
    stop();
}

void SourceThreads::post(Job job, Late late, Clock::time_point deadline)
{
    {
        const std::lock_guard lock(m_mutex);
        if (!m_stopping) {
            m_queue.push_back({std::move(job), std::move(late), deadline});
            m_ready.notify_one();
            return;
        }
    }
    late();
}

void SourceThreads::expireLate()
{
    std::vector<Late> late;
    {
        const std::lock_guard lock(m_mutex);
        const auto now = Clock::now();
        // Jobs wait in their order of arrival, and all have the same time allowed: the late ones
        // are at the front.
        while (!m_queue.empty() && m_queue.front().deadline <= now) {
            late.push_back(std::move(m_queue.front().late));
            m_queue.pop_front();
        }
    }
    for (const Late& l : late)
        l();
}

void SourceThreads::stop()
{
    std::deque<Entry> left;
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
        left.swap(m_queue);
        m_ready.notify_all();
    }
    for (const Entry& e : left)
        e.late();
    for (std::thread& t : m_threads) {
        if (t.joinable())
            t.join();
    }
}

void SourceThreads::work(const Factory& factory)
{
    // The source, and its database connection, lives and ends on this thread.
    const std::unique_ptr<FileSource> source = factory();
    for (;;) {
        std::unique_lock lock(m_mutex);
        m_ready.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
        if (m_queue.empty())
            return;
        Entry entry = std::move(m_queue.front());
        m_queue.pop_front();
        lock.unlock();
        if (entry.deadline <= Clock::now())
            entry.late();
        else
            entry.job(*source);
    }
}

HealthProbe::HealthProbe(SourceThreads::Factory factory, std::chrono::milliseconds deadline)
    : m_deadline(deadline), m_thread(1, std::move(factory))
{
}

HealthProbe::~HealthProbe()
{
    stop();
}

void HealthProbe::ask(Reply reply)
{
    {
        const std::lock_guard lock(m_mutex);
        m_waiting.push_back({std::move(reply), SourceThreads::Clock::now() + m_deadline});
        if (m_checking)
            return;
        m_checking = true;
    }
    // No deadline of its own: a check that cannot start (stopping) ends the questions at once.
    m_thread.post([this](FileSource& source) { check(source); },
                  [this] {
                      std::list<Waiter> all;
                      {
                          const std::lock_guard lock(m_mutex);
                          m_checking = false;
                          all.swap(m_waiting);
                      }
                      replyAll(std::move(all), QStringLiteral("the server is stopping"));
                  },
                  SourceThreads::Clock::time_point::max());
}

void HealthProbe::check(FileSource& source)
{
    const QString problem = source.health();
    std::list<Waiter> all;
    {
        const std::lock_guard lock(m_mutex);
        m_checking = false;
        all.swap(m_waiting);
    }
    replyAll(std::move(all), problem);
}

void HealthProbe::expire()
{
    std::list<Waiter> late;
    {
        const std::lock_guard lock(m_mutex);
        const auto now = SourceThreads::Clock::now();
        for (auto it = m_waiting.begin(); it != m_waiting.end();) {
            const auto next = std::next(it);
            if (it->deadline <= now)
                late.splice(late.end(), m_waiting, it);
            it = next;
        }
    }
    replyAll(std::move(late), QStringLiteral("the database did not answer within %1 ms").arg(m_deadline.count()));
}

void HealthProbe::stop()
{
    m_thread.stop();
    std::list<Waiter> all;
    {
        const std::lock_guard lock(m_mutex);
        all.swap(m_waiting);
    }
    replyAll(std::move(all), QStringLiteral("the server is stopping"));
}

void HealthProbe::replyAll(std::list<Waiter> waiters, const QString& problem)
{
    for (const Waiter& w : waiters)
        w.reply(problem);
}

} // namespace vocaset
