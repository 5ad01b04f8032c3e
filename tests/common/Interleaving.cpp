#include "Interleaving.h"

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

} // namespace vocaset::test
