#pragma once

#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include <QByteArray>
#include <QString>

#include "Interaction.h"
#include "PhoneLobby.h"
#include "Recordings.h"

namespace vocaset {

class Database;

// One telephone's fetch of its configuration file: a 200, or a 304 that confirms the file it holds.
struct Fetch
{
    QString company;
    QString phone;
    QString at; // UTC, yyyy-MM-ddTHH:mm:ss.zzzZ, so that text order is time order
    QString client;
    QString userAgent;
    QByteArray etag; // as the ETag header carries it, quotes included
    // The MAC the telephone asked by, upper case: written, the fetch goes to the telephone that has it
    // then, whatever its company's and its own code have become since. Empty: under its codes as they are.
    QString mac;
    // Not empty: a request that was refused, and why (a Refusal name, see Recordings.h); no ETag then.
    QString reason{};
};


// The table of last fetches, one row per telephone, and beside it the table of last refusals. They lie
// outside the schema: the server creates them when missing and the schema upgrade never touches them.
namespace FetchTable {
inline constexpr char kName[] = "PHONE_FETCHES";
inline constexpr char kRefusals[] = "PHONE_REFUSALS";
// Creates the tables when missing. Returns a line for the log, with what it costs, when it could not
// or the account may not write it (a read-only account, say): the server then serves without
// recording.
QString prepare(Database& db);
// True when the table is there (a database no server has recorded into has none).
bool exists(Database& db);
// True when the table of refusals is there (servers before it recorded none).
bool refusalsExist(Database& db);
// Writes the fetches (and the refusals among them, into their own table), one upsert per telephone,
// in one transaction, each under the codes of the one
// telephone that has its MAC now; a rename holds them off until it has committed. A row is only
// replaced by a later fetch, so servers that flush out of order keep the latest one. Returns the
// fetches no telephone (or more than one) has the MAC of any more: they are not written. Throws DbError.
// A writer of the table's codes (a rename) holds the table's name (Database::lockName) until it
// commits, so that no fetch is written meanwhile under a code that is about to change.
std::vector<Fetch> write(Database& db, std::vector<Fetch> fetches);
} // namespace FetchTable

// Collects fetches in memory and writes them from a thread of its own at most once per interval:
// recording adds no statement to a request. Several fetches of one telephone between two writes
// become one row, the latest. A write that fails is logged and tried again with the next one;
// nothing is dropped while the recorder runs but a fetch whose MAC no telephone has any more.
class FetchRecorder final
{
public:
    FetchRecorder(QString connectionString, RunLog& log,
                  std::chrono::milliseconds interval = std::chrono::milliseconds(1000));
    ~FetchRecorder();
    Q_DISABLE_COPY_MOVE(FetchRecorder)

    void start();
    // Writes what is left and ends the thread.
    void stop();
    // Called on the server's threads: only takes a lock and stores the fetch.
    void record(Fetch fetch);
    // The same for a refused request (fetch.reason says why); the latest of a telephone is kept.
    void refused(Fetch fetch);
    // The same for a request of a MAC no telephone has: kept for the lobby when the gate lets it in.
    void arrived(Arrival arrival);

    // Values longer than the table's columns are cut.
    static constexpr int kAgentWidth = 255;
    static constexpr int kClientWidth = 64;
    // Telephones whose refusals one write takes at most.
    static constexpr size_t kRefusalsHeld = 10000;

private:
    // A telephone: its MAC, or its codes for a fetch without one.
    using Key = QString;
    static Key keyOf(const Fetch& fetch);
    // Keeps the later of what the map holds for the fetch's telephone and the fetch.
    static void keepLatest(std::map<Key, Fetch>& into, Fetch fetch);
    void run();
    void flush(Database& db, const std::map<Key, Fetch>& batch, const std::map<Key, Fetch>& refusals);
    // On the recorder's thread: the lobby's rows, the connection opened when needed.
    void writeArrivals(std::unique_ptr<Database>& db, const std::map<QString, Arrival>& arrivals);

    const QString m_connection;
    RunLog& m_log;
    const std::chrono::milliseconds m_interval;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stopping = false;
    std::map<Key, Fetch> m_pending;
    std::map<Key, Fetch> m_refusals;
    std::map<QString, Arrival> m_arrivals; // by MAC
    QHash<QString, bool> m_lobbyMacs;      // the lobby's MACs as the last write left them
    ArrivalGate m_gate;
    AutoClaimer m_autoClaimer; // on the recorder's thread
    std::unique_ptr<MakerRegistry> m_makers; // read once, on the recorder's thread
    bool m_lobbyReady = false;
    bool m_lobbyFailing = false;
    std::thread m_thread;
};

} // namespace vocaset
