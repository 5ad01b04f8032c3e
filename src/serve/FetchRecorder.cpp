#include "FetchRecorder.h"

#include <algorithm>
#include <functional>
#include <memory>
#include <tuple>

#include <QHash>

#include "Database.h"
#include "DbError.h"
#include "Dialect.h"
#include "Recordings.h"

namespace vocaset {

namespace {

const QString kCreate = QStringLiteral(
    "CREATE TABLE IF NOT EXISTS PHONE_FETCHES (CO_CODE nvarchar(5) NOT NULL, PH_CODE nvarchar(5) NOT NULL, "
    "PF_TIME nvarchar(24) NOT NULL, PF_CLIENT nvarchar(64), PF_AGENT nvarchar(255), PF_ETAG nvarchar(40), "
    "PRIMARY KEY (CO_CODE, PH_CODE))");

// Rows per statement: one round trip for many telephones, few bound values per statement.
constexpr int kRowsPerStatement = 50;
// MACs per statement that finds their telephones.
constexpr int kMacsPerStatement = 500;

using Codes = std::pair<QString, QString>; // company, telephone

// The telephones that have each of the MACs now.
QHash<QString, QList<Codes>> ownersOf(Database& db, const QStringList& macs)
{
    QHash<QString, QList<Codes>> owners;
    for (qsizetype first = 0; first < macs.size(); first += kMacsPerStatement) {
        const QStringList part = macs.mid(first, kMacsPerStatement);
        const QStringList marks(part.size(), QStringLiteral("?"));
        const Recordset rs = db.executeBound(
            QStringLiteral("SELECT UPPER(PH_MAC), CO_CODE, PH_CODE FROM PHONES WHERE UPPER(PH_MAC) IN (") +
                marks.join(QStringLiteral(", ")) + u')',
            QVariantList(part.begin(), part.end()));
        for (const QVariantList& row : rs.rows())
            owners[row.at(0).toString()].append({row.at(1).toString(), row.at(2).toString()});
    }
    return owners;
}

const QString kCreateRefusals = QStringLiteral(
    "CREATE TABLE IF NOT EXISTS PHONE_REFUSALS (CO_CODE nvarchar(5) NOT NULL, PH_CODE nvarchar(5) NOT NULL, "
    "PR_TIME nvarchar(24) NOT NULL, PR_CLIENT nvarchar(64), PR_REASON nvarchar(16) NOT NULL, "
    "PRIMARY KEY (CO_CODE, PH_CODE))");

// rows upserts into table, whose columns after the telephone's codes are given, the first a time.
QString upsert(const QString& table, const QStringList& columns, int rows)
{
    QString sql = QStringLiteral("INSERT INTO ") + table + QStringLiteral(" (CO_CODE, PH_CODE, ") +
                  columns.join(QStringLiteral(", ")) + QStringLiteral(") VALUES ");
    const QString marks = u'(' + QStringList(columns.size() + 2, QStringLiteral("?")).join(QStringLiteral(", ")) + u')';
    for (int i = 0; i < rows; ++i)
        sql += i ? QStringLiteral(", ") + marks : marks;
    // Another server may have written a later row of the same telephone since: it stays.
    QStringList set;
    for (const QString& c : columns)
        set.append(c + QStringLiteral(" = excluded.") + c);
    sql += QStringLiteral(" ON CONFLICT (CO_CODE, PH_CODE) DO UPDATE SET ") + set.join(QStringLiteral(", ")) +
           QStringLiteral(" WHERE ") + table + u'.' + columns.first() + QStringLiteral(" <= excluded.") +
           columns.first();
    return sql;
}

// Writes the rows, several per statement.
void upsertAll(Database& db, const std::map<Codes, Fetch>& byPhone, const QString& table, const QStringList& columns,
               const std::function<void(QVariantList&, const Fetch&)>& valuesOf)
{
    for (auto first = byPhone.cbegin(); first != byPhone.cend();) {
        QVariantList values;
        int rows = 0;
        for (; first != byPhone.cend() && rows < kRowsPerStatement; ++first, ++rows) {
            values << first->second.company << first->second.phone;
            valuesOf(values, first->second);
        }
        db.executeBound(upsert(table, columns, rows), values);
    }
}

} // namespace

namespace FetchTable {

QString prepare(Database& db)
{
    const QString cost = QStringLiteral("; fetches are not recorded, and the fleet shows each telephone's last "
                                        "fetch another server recorded, or none");
    const QString note = prepareRecordingTable(db, kName, kCreate, cost);
    return note.isEmpty() ? prepareRecordingTable(db, kRefusals, kCreateRefusals, cost) : note;
}

bool refusalsExist(Database& db)
{
    return !db.columns(QLatin1String(kRefusals)).isEmpty();
}

bool exists(Database& db)
{
    return !db.columns(QLatin1String(kName)).isEmpty();
}

std::vector<Fetch> write(Database& db, std::vector<Fetch> fetches)
{
    Transaction transaction(db);
    // A rename holds the name until it commits; the telephones are read after it, as it left them.
    db.lockName(QLatin1String(kName));
    QStringList macs;
    for (const Fetch& f : fetches) {
        if (!f.mac.isEmpty())
            macs.append(f.mac);
    }
    const QHash<QString, QList<Codes>> owners = ownersOf(db, macs);
    db.reached(u"fetches.read");
    // By telephone, the latest fetch; in key order, so that two writers would take the rows' locks in
    // the same order.
    std::vector<Fetch> dropped;
    std::map<Codes, Fetch> byPhone;
    std::map<Codes, Fetch> refusedPhone;
    for (Fetch& f : fetches) {
        if (!f.mac.isEmpty()) {
            const QList<Codes> found = owners.value(f.mac);
            // Of two telephones that share the MAC, the one that still has the fetch's codes.
            if (found.size() == 1)
                std::tie(f.company, f.phone) = found.first();
            else if (!found.contains(Codes{f.company, f.phone})) {
                // A refusal of a MAC no single telephone has is the lobby's, or nobody's.
                if (f.reason.isEmpty())
                    dropped.push_back(std::move(f));
                continue;
            }
        }
        std::map<Codes, Fetch>& into = f.reason.isEmpty() ? byPhone : refusedPhone;
        Codes key{f.company, f.phone};
        const auto it = into.find(key);
        if (it == into.end() || it->second.at < f.at)
            into.insert_or_assign(std::move(key), std::move(f));
    }
    upsertAll(db, byPhone, QLatin1String(kName),
              {QStringLiteral("PF_TIME"), QStringLiteral("PF_CLIENT"), QStringLiteral("PF_AGENT"),
               QStringLiteral("PF_ETAG")},
              [](QVariantList& values, const Fetch& f) {
                  values << f.at << storable(f.client, FetchRecorder::kClientWidth)
                         << storable(f.userAgent, FetchRecorder::kAgentWidth) << QString::fromLatin1(f.etag);
              });
    upsertAll(db, refusedPhone, QLatin1String(kRefusals),
              {QStringLiteral("PR_TIME"), QStringLiteral("PR_CLIENT"), QStringLiteral("PR_REASON")},
              [](QVariantList& values, const Fetch& f) {
                  values << f.at << storable(f.client, FetchRecorder::kClientWidth) << f.reason;
              });
    transaction.commit();
    return dropped;
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

FetchRecorder::Key FetchRecorder::keyOf(const Fetch& fetch)
{
    return fetch.mac.isEmpty() ? fetch.company + u'/' + fetch.phone : fetch.mac;
}

void FetchRecorder::keepLatest(std::map<Key, Fetch>& into, Fetch fetch)
{
    // Two of the server's threads may hand over their fetches in the other order than they answered.
    Key key = keyOf(fetch);
    const auto it = into.find(key);
    if (it == into.end() || it->second.at <= fetch.at)
        into.insert_or_assign(std::move(key), std::move(fetch));
}

void FetchRecorder::record(Fetch fetch)
{
    const std::lock_guard lock(m_mutex);
    keepLatest(m_pending, std::move(fetch));
}

void FetchRecorder::refused(Fetch fetch)
{
    const std::lock_guard lock(m_mutex);
    // A flood of refused names between two writes keeps the telephones already held.
    if (m_refusals.size() < kRefusalsHeld || m_refusals.count(keyOf(fetch)))
        keepLatest(m_refusals, std::move(fetch));
}

void FetchRecorder::arrived(Arrival arrival)
{
    const std::lock_guard lock(m_mutex);
    if (!m_gate.admit(arrival, m_arrivals, m_lobbyMacs))
        return;
    const auto it = m_arrivals.find(arrival.mac);
    if (it == m_arrivals.end()) {
        QString mac = arrival.mac;
        m_arrivals.emplace(std::move(mac), std::move(arrival));
    } else if (it->second.at <= arrival.at) {
        arrival.count += it->second.count;
        it->second = std::move(arrival);
    } else {
        ++it->second.count;
    }
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
        std::map<Key, Fetch> refusals;
        refusals.swap(m_refusals);
        std::map<QString, Arrival> arrivals;
        arrivals.swap(m_arrivals);
        // Being written, they are the lobby's: a repeat meanwhile is an update, not a new MAC.
        for (const auto& entry : arrivals)
            m_lobbyMacs.insert(entry.first, true);
        lock.unlock();
        if (!arrivals.empty())
            writeArrivals(db, arrivals);
        if (!batch.empty() || !refusals.empty()) {
            try {
                if (!db || !db->isOpen()) {
                    db = std::make_unique<Database>();
                    db->setTimeBound(5000);
                    db->open(m_connection, Database::Access::Existing);
                }
                flush(*db, batch, refusals);
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
                // Tried again with what came in meanwhile: the later fetch of each telephone stays.
                for (auto& entry : batch)
                    keepLatest(m_pending, std::move(entry.second));
                for (auto& entry : refusals)
                    keepLatest(m_refusals, std::move(entry.second));
                lock.unlock();
            }
        }
        lock.lock();
        if (stopping)
            return;
    }
}

void FetchRecorder::writeArrivals(std::unique_ptr<Database>& db, const std::map<QString, Arrival>& arrivals)
{
    // The lobby is a help to the operator, not a record to keep at any price: a write that fails
    // is logged once and its arrivals let go.
    try {
        if (!db || !db->isOpen()) {
            db = std::make_unique<Database>();
            db->setTimeBound(5000);
            db->open(m_connection, Database::Access::Existing);
        }
        if (!m_makers)
            m_makers = std::make_unique<MakerRegistry>();
        if (!m_lobbyReady) {
            if (const QString note = LobbyTable::prepare(*db); !note.isEmpty()) {
                m_log.append(note);
                return;
            }
            m_lobbyReady = true;
        }
        LobbyTable::write(*db, arrivals, *m_makers);
        try {
            for (const QString& note : m_autoClaimer.claim(*db, arrivals))
                m_log.append(note);
        } catch (const DbError& e) {
            m_log.append(QStringLiteral("New telephones not claimed on arrival: ") + e.text());
        }
        QHash<QString, bool> known = LobbyTable::macs(*db);
        const std::lock_guard lock(m_mutex);
        m_lobbyMacs.swap(known);
        m_lobbyFailing = false;
    } catch (const DbError& e) {
        if (db && !db->isOpen())
            db.reset();
        if (!m_lobbyFailing)
            m_log.append(QStringLiteral("New telephones not recorded: ") + e.text());
        m_lobbyFailing = true;
    }
}

void FetchRecorder::flush(Database& db, const std::map<Key, Fetch>& batch, const std::map<Key, Fetch>& refusals)
{
    std::vector<Fetch> fetches;
    fetches.reserve(batch.size() + refusals.size());
    for (const auto& entry : batch)
        fetches.push_back(entry.second);
    for (const auto& entry : refusals)
        fetches.push_back(entry.second);
    const std::vector<Fetch> dropped = FetchTable::write(db, std::move(fetches));
    // Deleted or given another MAC since it was fetched: no code names that telephone now.
    constexpr size_t kNamed = 10;
    QStringList named;
    for (size_t i = 0; i < std::min(dropped.size(), kNamed); ++i)
        named.append(QStringLiteral("%1 (%2 %3 at %4)")
                         .arg(dropped[i].mac, dropped[i].company, dropped[i].phone, dropped[i].at));
    if (dropped.size() > kNamed)
        named.append(QStringLiteral("%1 more").arg(dropped.size() - kNamed));
    if (!named.isEmpty())
        m_log.append(QStringLiteral("Fetches not recorded, no single telephone has their MAC now: ") +
                     named.join(QStringLiteral(", ")));
}

} // namespace vocaset
