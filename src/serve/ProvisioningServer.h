#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

#include <QByteArray>
#include <QString>
#include <QStringList>

#include "Interaction.h"

struct MHD_Daemon;
struct MHD_Connection;

namespace vocaset {

// The client's Digest credentials as one request carries them (MD5, qop auth); the HTTP layer checks
// them against a user name and password that the file's owner requires.
class Credentials
{
public:
    enum class Check { Accepted, Refused, Stale };
    virtual ~Credentials() = default;
    virtual Check check(const QString& user, const QString& password) = 0;
};

// What a file source answers for one file name. A 401 makes the HTTP layer send a Digest challenge.
struct FileAnswer
{
    int status = 404;
    QByteArray body;
    QByteArray contentType;
    QString company; // the telephone's company and code, for the access log, once found
    QString phone;
    QStringList notes;  // log lines about the request, written before its access-log line
    bool stale = false; // with 401: the credentials were right but their nonce expired
};

// Answers requests for files by name. The server makes one per thread, so an implementation may
// keep a database connection and prepared statements without locking.
class FileSource
{
public:
    virtual ~FileSource() = default;
    virtual FileAnswer answer(const QString& fileName, Credentials& credentials) = 0;
};

struct ServerOptions
{
    QString address = QStringLiteral("127.0.0.1");
    quint16 port = 8080; // 0 picks a free port
    int threads = 2;
    int connectionLimit = 4096;
    int idleTimeoutSeconds = 30;
    QByteArray tlsCertificate; // PEM; with both set the server speaks HTTPS only
    QByteArray tlsKey;
};

// The realm of the Digest challenge.
inline constexpr char kRealm[] = "Vocaset provisioning";

// An HTTP server on a pool of threads, each with its own file source: GET and HEAD of a path whose
// last segment names a file; ETag and If-None-Match; one access-log line per request.
class ProvisioningServer final
{
public:
    using SourceFactory = std::function<std::unique_ptr<FileSource>()>;

    // The log receives the access lines and the notes of every thread, one line at a time.
    ProvisioningServer(ServerOptions options, SourceFactory factory, RunLog& log);
    ~ProvisioningServer();
    Q_DISABLE_COPY_MOVE(ProvisioningServer)

    // Starts listening; false with a reason when the address, the certificate or the port was refused.
    bool start(QString* error);
    // Stops accepting, lets the requests in flight finish (up to the grace period), then closes.
    void stop(int graceMs = 10000);
    quint16 port() const { return m_port; }
    bool secure() const { return !m_options.tlsCertificate.isEmpty(); }

    // Paths longer than this are refused with 400.
    static constexpr int kMaxPath = 512;

private:
    friend struct ServerCallbacks;
    struct Exchange;

    void respond(MHD_Connection* connection, Exchange& exchange);
    FileSource& threadSource();
    // Writes the request's notes and its access-log line.
    void finish(Exchange& exchange);

    ServerOptions m_options;
    SourceFactory m_factory;
    RunLog& m_log;
    std::mutex m_logMutex;
    MHD_Daemon* m_daemon = nullptr;
    quint16 m_port = 0;
    std::atomic<int> m_inFlight{0};
    const quint64 m_id; // tells this server's per-thread sources from another server's
    QByteArray m_nonceSeed;
    QByteArray m_opaque;
};

} // namespace vocaset
