#include "Interleaving.h"

#include <chrono>

namespace vocaset::test {

OtherOperator::OtherOperator(TestDatabase& tdb, int lockWaitMs) : OtherOperator(tdb, tdb.db, lockWaitMs) {}

OtherOperator::OtherOperator(TestDatabase& tdb, Database& run, int lockWaitMs) : m_run(&run)
{
    db.setTimeBound(lockWaitMs);
    db.open(tdb.connectionString(), Database::Access::Existing);
    s.userName = QStringLiteral("BOB");
    s.appDir = tdb.dir();
    m_run->setInterleavingHook(hook());
}

OtherOperator::~OtherOperator()
{
    m_run->setInterleavingHook({});
}

Database::InterleavingHook OtherOperator::hook()
{
    return [this](QStringView point) { reach(point); };
}

void OtherOperator::at(const QString& point, std::function<void()> act, int times)
{
    m_actions.append({point, std::move(act), times});
}

void OtherOperator::reach(QStringView point)
{
    passed.append(point.toString());
    for (Action& a : m_actions) {
        if (a.left > 0 && a.point == point) {
            --a.left;
            a.act();
        }
    }
}

QString OtherOperator::attempt(const QString& sql)
{
    try {
        db.execute(sql);
        return {};
    } catch (const DbError& e) {
        return e.text().isEmpty() ? QStringLiteral("refused") : e.text();
    }
}

bool OtherOperator::lockedOut(const QString& refusal)
{
    const QString t = refusal.toLower();
    return t.contains(QLatin1String("database is locked")) || t.contains(QLatin1String("statement timeout")) ||
           t.contains(QLatin1String("lock timeout"));
}

ConcurrentOperator::ConcurrentOperator(TestDatabase& tdb) : m_connection(tdb.connectionString()), m_dir(tdb.dir())
{
    if (tdb.engine() == Engine::PostgreSQL)
        m_observer.open(m_connection);
}

ConcurrentOperator::~ConcurrentOperator()
{
    finish();
}

void ConcurrentOperator::start(std::function<void(Session&)> act)
{
    m_done = false;
    m_thread = std::thread([this, act = std::move(act)] {
        // The connection belongs to this thread: opened, used and closed here.
        Database db;
        db.setTimeBound(30000);
        try {
            db.open(m_connection, Database::Access::Existing);
            if (db.engine() == Engine::PostgreSQL)
                m_pid = db.execute(QStringLiteral("SELECT pg_backend_pid()")).text(0).toLongLong();
            Session s(db, op);
            s.userName = QStringLiteral("CAROL");
            s.appDir = m_dir;
            act(s);
        } catch (const DbError& e) {
            m_failure = e.text();
        }
        m_done = true;
    });
    if (!m_observer.isOpen())
        return;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!m_done && std::chrono::steady_clock::now() < until) {
        if (const qint64 pid = m_pid;
            pid != 0 &&
            m_observer
                    .execute(
                        QStringLiteral("SELECT 1 FROM pg_stat_activity WHERE wait_event_type = 'Lock' AND pid = ") +
                        QString::number(pid))
                    .count() > 0)
            return;
        std::this_thread::yield();
    }
}

QString ConcurrentOperator::finish()
{
    if (m_thread.joinable())
        m_thread.join();
    return m_failure;
}

} // namespace vocaset::test
