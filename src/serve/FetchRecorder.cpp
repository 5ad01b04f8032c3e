#include "FetchRecorder.h"

#include <algorithm>
#include <memory>
#include <tuple>

#include "Database.h"
#include "DbError.h"

namespace vocaset {

namespace {

const QString kCreate = QStringLiteral(
    "CREATE TABLE IF NOT EXISTS PHONE_FETCHES (CO_CODE nvarchar(5) NOT NULL, PH_CODE nvarchar(5) NOT NULL, "
    "PF_TIME nvarchar(24) NOT NULL, PF_CLIENT nvarchar(64), PF_AGENT nvarchar(255), PF_ETAG nvarchar(40), "
    "PRIMARY KEY (CO_CODE, PH_CODE))");

// Rows per statement: one round trip for many telephones, few bound values per statement.
constexpr int kRowsPerStatement = 50;

QString upsert(int rows)
{
    QString sql =
        QStringLiteral("INSERT INTO PHONE_FETCHES (CO_CODE, PH_CODE, PF_TIME, PF_CLIENT, PF_AGENT, PF_ETAG) VALUES ");
    for (int i = 0; i < rows; ++i)
        sql += i ? QStringLiteral(", (?, ?, ?, ?, ?, ?)") : QStringLiteral("(?, ?, ?, ?, ?, ?)");
    // Another server may have written a later fetch of the same telephone since: it stays.
    sql += QStringLiteral(" ON CONFLICT (CO_CODE, PH_CODE) DO UPDATE SET PF_TIME = excluded.PF_TIME, "
                          "PF_CLIENT = excluded.PF_CLIENT, PF_AGENT = excluded.PF_AGENT, PF_ETAG = excluded.PF_ETAG "
                          "WHERE PHONE_FETCHES.PF_TIME <= excluded.PF_TIME");
    return sql;
}

// A header value as a column keeps it: control characters become '?', and it is cut to the width.
QString storable(const QString& text, int width)
{
    QString out = text.left(width);
    for (QChar& c : out) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            c = u'?';
    }
    return out;
}

} // namespace

namespace FetchTable {

QString prepare(Database& db)
{
    try {
        db.execute(kCreate);
        return {};
    } catch (const DbError& e) {
        // Two servers starting at once on one server database may both try to create it.
        if (exists(db))
            return {};
        return QStringLiteral("No table %1 (%2); fetches are not recorded").arg(QLatin1String(kName), e.text());
    }
}

bool exists(Database& db)
{
    return !db.columns(QLatin1String(kName)).isEmpty();
}

void write(Database& db, std::vector<Fetch> fetches)
{
    // Every writer takes the rows' locks in key order, so two servers writing at once never deadlock.
    std::sort(fetches.begin(), fetches.end(), [](const Fetch& a, const Fetch& b) {
        return std::tie(a.company, a.phone) < std::tie(b.company, b.phone);
    });
    Transaction transaction(db);
    for (size_t first = 0; first < fetches.size(); first += kRowsPerStatement) {
        const size_t end = std::min(fetches.size(), first + kRowsPerStatement);
        QVariantList values;
        values.reserve(int(end - first) * 6);
        for (size_t i = first; i < end; ++i) {
            const Fetch& f = fetches[i];
            values << f.company << f.phone << f.at << storable(f.client, FetchRecorder::kClientWidth)
                   << storable(f.userAgent, FetchRecorder::kAgentWidth) << QString::fromLatin1(f.etag);
        }
        db.executeBound(upsert(int(end - first)), values);
    }
    transaction.commit();
}

} // namespace FetchTable

FetchRecorder::FetchRecorder(QString connectionString, RunLog& log, std::chrono::milliseconds interval)
    : m_connection(std::move(connectionString)), m_log(log), m_interval(interval)
{
}

FetchRecorder::~FetchRecorder()
{
    stop();
}

void FetchRecorder::start()
{
    const std::lock_guard lock(m_mutex);
    if (m_thread.joinable())
        return;
    m_stopping = false;
    m_thread = std::thread([this] { run(); });
}

void FetchRecorder::stop()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
        m_wake.notify_all();
    }
    if (m_thread.joinable())
        m_thread.join();
}

void FetchRecorder::record(Fetch fetch)
{
    Key key{fetch.company, fetch.phone};
    const std::lock_guard lock(m_mutex);
    m_pending.insert_or_assign(std::move(key), std::move(fetch));
}

void FetchRecorder::run()
{
    // The connection belongs to this thread: opened, used and closed here.
    std::unique_ptr<Database> db;
    bool failing = false;
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait_for(lock, m_interval, [this] { return m_stopping; });
        const bool stopping = m_stopping;
        std::map<Key, Fetch> batch;
        batch.swap(m_pending);
        lock.unlock();
        if (!batch.empty()) {
            try {
                if (!db || !db->isOpen()) {
                    db = std::make_unique<Database>();
                    db->setTimeBound(5000);
                    db->open(m_connection, Database::Access::Existing);
                }
                flush(*db, batch);
                if (failing)
                    m_log.append(QStringLiteral("Fetches are recorded again"));
                failing = false;
            } catch (const DbError& e) {
                if (db && !db->isOpen())
                    db.reset();
                if (stopping) {
                    m_log.append(QStringLiteral("%1 fetches were not recorded: %2").arg(batch.size()).arg(e.text()));
                } else if (!failing) {
                    m_log.append(QStringLiteral("Fetches not recorded yet, tried again each second: ") + e.text());
                }
                failing = true;
                lock.lock();
                // What came in meanwhile is newer and stays.
                for (auto& [key, fetch] : batch)
                    m_pending.try_emplace(key, std::move(fetch));
                lock.unlock();
            }
        }
        lock.lock();
        if (stopping)
            return;
    }
}

void FetchRecorder::flush(Database& db, std::map<Key, Fetch>& batch)
{
    std::vector<Fetch> fetches;
    fetches.reserve(batch.size());
    for (const auto& [key, fetch] : batch)
        fetches.push_back(fetch);
    FetchTable::write(db, std::move(fetches));
}

} // namespace vocaset
