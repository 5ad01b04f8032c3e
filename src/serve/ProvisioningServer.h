#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_set>

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QString>
#include <QStringList>

#include "DigestAuth.h"
#include "Interaction.h"

struct MHD_Daemon;
struct MHD_Connection;

namespace vocaset {

class AuthLockout;
class FetchRecorder;
class HealthProbe;
class ServerMetrics;
class SourceThreads;

// The client's Digest answer as one request carries it; a file source asks whether it proves one
// of the passwords the file's owner requires.
class Credentials
{
public:
    enum class Check { Accepted, Refused, Stale };
    virtual ~Credentials() = default;
    // The answer must carry user and prove one of the passwords. An empty list is always refused,
    // at the cost of a wrong password, so that a name nobody owns looks like a protected one.
    virtual Check check(const QString& user, const QStringList& passwords) = 0;
    // The user name the answer claims; empty without one.
    virtual QString user() const { return {}; }
    // The client address the server decided for the request (trusted proxies included); empty when
    // none is known, which is inside no network.
    virtual QString client() const { return {}; }
    // What lets the database check the answer for user where the passwords are; nothing when it cannot.
    virtual std::optional<DigestProof> proof(const QString& /*user*/) const { return std::nullopt; }
};

// A caller that knows the telephone already (the fleet's survey, the confirmation of a restart):
// every check passes, so the file is built as the telephone would be sent it.
class KnownCaller final : public Credentials
{
public:
    Check check(const QString&, const QStringList&) override { return Check::Accepted; }
};

// What a file source answers for one file name. A 401 makes the HTTP layer send a Digest challenge.
struct FileAnswer
{
    int status = 404;
    QByteArray body;
    QByteArray contentType;
    QString company; // the telephone's company and code, for the access log, once found
    QString phone;
    QString mac; // the MAC it was found by, for the record of its fetch
    QStringList notes;  // log lines about the request, written before its access-log line
    bool stale = false; // with 401: the credentials were right but their nonce expired
    int retryAfterSeconds = 0;
    int statements = 0; // sent to the database for it
    // A telephone-shaped name whose MAC no telephone has, for the lobby of new telephones; the
    // answer itself is the one a wrong password gets.
    struct Unknown
    {
        QString mac, module, model;
    };
    std::optional<Unknown> unknown{};
    // Not empty: the request of a telephone was refused, and why (a Refusal name), for the record of
    // its refusals; never sent. mac then names the telephone when it is known.
    QString refusal{};
};

// Answers requests for files by name. Each worker thread of the server has its own, so an
// implementation may keep a database connection and prepared statements without locking.
class FileSource
{
public:
    virtual ~FileSource() = default;
    virtual FileAnswer answer(const QString& fileName, Credentials& credentials) = 0;
    // Empty when the database answers a trivial query now, else why not.
    virtual QString health() { return {}; }
    // Whether answer() takes every name with the folder it was asked in ("ALPIN/directory.xml"), as
    // a template model's address book is named; otherwise only gs_phonebook.xml comes with it.
    virtual bool takesFolder() const { return false; }
};

struct ServerOptions
{
    QString address = QStringLiteral("127.0.0.1");
    quint16 port = 8080; // 0 picks a free port
    int threads = 2;     // workers, each with its own file source
    int connectionLimit = 4096;
    int perAddressLimit = 64; // connections from one client address; 0: no cap
    int idleTimeoutSeconds = 30;
    int headerTimeoutSeconds = 10; // a whole request within this of the connection or the last reply
    int databaseBoundMs = 5000;    // database time of a request, queueing included
    int authFailures = 10;         // wrong Digest answers from one address within the window lock it out
    int authWindowSeconds = 60;
    int nonceSeconds = 300;
    QList<QHostAddress> trustedProxies; // their X-Forwarded-For names the client
    QByteArray tlsCertificate;          // PEM; with both set the server speaks HTTPS only
    QByteArray tlsKey;
    QString metricsAddress; // with a metrics port: /metrics on a listener of its own
    int metricsPort = -1;   // -1: none; 0 picks a free port
    // Takes every GET answered 200 or 304 with a telephone's file; none: nothing is recorded.
    FetchRecorder* recorder = nullptr;
    bool lobby = true; // with a recorder: requests of MACs no telephone has go to the lobby
};

// The ETag of a body the server sends: its MD5 in hex, quoted. Whoever compares a recorded tag with
// the file as it would be served now uses this too.
QByteArray entityTag(const QByteArray& body);

// The realm of the Digest challenge.
inline constexpr char kRealm[] = "Vocaset provisioning";
// TLS 1.2 and 1.3 only; on TLS 1.2 only suites with forward secrecy (ECDHE) and authenticated
// encryption (GCM, ChaCha20-Poly1305).
inline constexpr char kTlsPriorities[] =
    "NORMAL:-VERS-ALL:+VERS-TLS1.3:+VERS-TLS1.2:-KX-ALL:+ECDHE-ECDSA:+ECDHE-RSA:-CIPHER-ALL:+AES-256-GCM:"
    "+AES-128-GCM:+CHACHA20-POLY1305:-MAC-ALL:+AEAD";

// An HTTP server: a pool of threads reads and writes the connections, checks each request and
// answers what needs no database (refusals, lock-outs, /healthz through its own probe); file
// requests go to worker threads, each with its own file source. ETag and If-None-Match; one
// access-log line per request.
class ProvisioningServer final
{
public:
    // Makes a file source whose database statements give up after boundMs.
    using SourceFactory = std::function<std::unique_ptr<FileSource>(int boundMs)>;

    // The log receives the access lines and the notes of every thread, one line at a time.
    ProvisioningServer(ServerOptions options, SourceFactory factory, RunLog& log);
    ~ProvisioningServer();
    Q_DISABLE_COPY_MOVE(ProvisioningServer)

    // Starts listening; false with a reason when the address, the certificate or the port was refused.
    bool start(QString* error);
    // Refuses new connections at once, lets the requests in flight finish (up to the grace
    // period), then closes.
    void stop(int graceMs = 10000);
    quint16 port() const { return m_port; }
    quint16 metricsPort() const { return m_metricsPort; }
    bool secure() const { return !m_options.tlsCertificate.isEmpty(); }

    // Paths longer than this are refused with 400.
    static constexpr int kMaxPath = 512;
    // Bodies longer than this, or of a length not told, are refused with 413: requests need none.
    static constexpr int kMaxBody = 1024;
    // /healthz answers 503 when the database has not answered within this.
    static constexpr int kHealthMs = 1000;
    // A Digest challenge from a file source leaves no sooner than this after its request came.
    static constexpr std::chrono::milliseconds kChallengeFloor{5};

private:
    friend struct ServerCallbacks;
    struct Exchange;

    // The headers are in: copies what the answer needs and sets the answer they decide alone.
    // True when it must be sent before the body is read.
    bool checkHeaders(MHD_Connection* connection, Exchange& exchange, bool hiddenBytes);
    // The request is complete: answer it here or hand it to a worker.
    void dispatch(MHD_Connection* connection, Exchange& exchange);
    FileAnswer answerFile(FileSource& source, const Exchange& exchange);
    // A worker's answer is ready: the connection's thread sends it.
    void resume(MHD_Connection* connection, Exchange& exchange, FileAnswer answer);
    void send(MHD_Connection* connection, Exchange& exchange, const FileAnswer& answer);
    void recordRefusal(const Exchange& exchange, const FileAnswer& answer);
    // Writes the request's notes and its access-log line.
    void finish(Exchange& exchange);
    void logLine(const QString& line);
    void keepHouse();
    // Runs what is due at once and ends the housekeeping thread.
    void stopHousekeeper();
    // Runs on the housekeeping thread at the time given, or at once when it has stopped.
    void later(std::chrono::steady_clock::time_point at, std::function<void()> run);
    // The reason when the metrics' listener could not start.
    QString startMetrics();

    ServerOptions m_options;
    SourceFactory m_factory;
    RunLog& m_log;
    std::mutex m_logMutex;
    MHD_Daemon* m_daemon = nullptr;
    MHD_Daemon* m_metricsDaemon = nullptr;
    int m_listening = -1;
    quint16 m_port = 0;
    quint16 m_metricsPort = 0;
    std::atomic<int> m_inFlight{0};
    std::atomic<bool> m_stopping{false};
    std::unique_ptr<DigestAuth> m_digest;
    std::unique_ptr<AuthLockout> m_lockout;
    std::unique_ptr<ServerMetrics> m_metrics;
    std::unique_ptr<SourceThreads> m_workers;
    std::unique_ptr<HealthProbe> m_health;

    // Connections waiting for a whole request, watched by the housekeeping thread.
    std::mutex m_connectionsMutex;
    std::unordered_set<Exchange*> m_connections;
    std::mutex m_houseMutex;
    std::condition_variable m_houseWake;
    bool m_houseStop = true; // no housekeeping thread runs
    std::multimap<std::chrono::steady_clock::time_point, std::function<void()>> m_later;
    std::thread m_housekeeper;
};

} // namespace vocaset
