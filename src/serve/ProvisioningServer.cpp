#include "ProvisioningServer.h"

#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstring>

#include <arpa/inet.h>
#include <microhttpd.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QDateTime>
#include <QElapsedTimer>

#include "AuthLockout.h"
#include "DbError.h"
#include "DigestAuth.h"
#include "FetchRecorder.h"
#include "PhoneFileSource.h"
#include "Recordings.h"
#include "ServerMetrics.h"
#include "SourceThreads.h"

namespace vocaset {

namespace {

constexpr unsigned kBacklog = 1024;
constexpr auto kHouseTick = std::chrono::milliseconds(100);

qint64 nowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The path of a request target without its query; an absolute target loses its scheme and host.
QByteArray pathOf(const QByteArray& target)
{
    QByteArray path = target.left(target.indexOf('?') < 0 ? target.size() : target.indexOf('?'));
    if (const qsizetype hash = path.indexOf('#'); hash >= 0)
        path.truncate(hash);
    for (const char* scheme : {"http://", "https://"}) {
        if (path.startsWith(scheme)) {
            const qsizetype slash = path.indexOf('/', qstrlen(scheme));
            path = slash < 0 ? QByteArray("/") : path.mid(slash);
        }
    }
    return path;
}

// The bytes of a path as a log field: no blank, control character or byte above 0x7E can break the
// line or forge another one.
QString loggable(const QByteArray& path)
{
    QString out;
    out.reserve(path.size());
    for (const char c : path) {
        const auto b = static_cast<unsigned char>(c);
        if (b <= 0x20 || b >= 0x7F)
            out += QStringLiteral("%%1").arg(b, 2, 16, QLatin1Char('0')).toUpper();
        else
            out += QLatin1Char(c);
    }
    return out;
}

// The sockets of connections whose request is in and whose answer is not queued yet.
struct AwaitingAnswers
{
    std::mutex mutex;
    std::unordered_set<MHD_socket> sockets;

    void hold(MHD_socket fd, bool awaiting)
    {
        if (fd == MHD_INVALID_SOCKET)
            return;
        const std::lock_guard lock(mutex);
        if (awaiting)
            sockets.insert(fd);
        else
            sockets.erase(fd);
    }
    bool awaiting(MHD_socket fd)
    {
        const std::lock_guard lock(mutex);
        return sockets.contains(fd);
    }
};

// One table for the process, as recv() below is one; made on first use and never destroyed, as a
// socket may still be read while the program ends.
AwaitingAnswers& awaitingAnswers()
{
    static auto* const table = new AwaitingAnswers;
    return *table;
}

// An IPv4 address written as IPv6 (::ffff:a.b.c.d, as a listener of both families sees IPv4
// clients) is that IPv4 address.
QHostAddress plainAddress(const QHostAddress& address)
{
    bool mapped = false;
    const quint32 v4 = address.protocol() == QAbstractSocket::IPv6Protocol ? address.toIPv4Address(&mapped) : 0;
    return mapped ? QHostAddress(v4) : address;
}

// True when the If-None-Match header names the tag (weak or strong) or is "*".
bool matchesTag(const QByteArray& header, const QByteArray& tag)
{
    for (QByteArray candidate : header.split(',')) {
        candidate = candidate.trimmed();
        if (candidate.startsWith("W/"))
            candidate = candidate.mid(2);
        if (candidate == "*" || candidate == tag)
            return true;
    }
    return false;
}

QHostAddress peerOf(MHD_Connection* connection)
{
    const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
    return info && info->client_addr ? plainAddress(QHostAddress(info->client_addr)) : QHostAddress();
}

const char* reasonBody(int status)
{
    switch (status) {
    case MHD_HTTP_OK:
        return "OK\n";
    case MHD_HTTP_BAD_REQUEST:
        return "Bad request\n";
    case MHD_HTTP_UNAUTHORIZED:
        return "Authentication required\n";
    case MHD_HTTP_NOT_FOUND:
        return "Not found\n";
    case MHD_HTTP_METHOD_NOT_ALLOWED:
        return "Method not allowed\n";
    case MHD_HTTP_CONFLICT:
        return "Conflict\n";
    case MHD_HTTP_CONTENT_TOO_LARGE:
        return "Content too large\n";
    case MHD_HTTP_TOO_MANY_REQUESTS:
        return "Too many requests\n";
    case MHD_HTTP_SERVICE_UNAVAILABLE:
        return "Service unavailable\n";
    default:
        return "Internal server error\n";
    }
}

FileAnswer statusAnswer(int status, int retryAfterSeconds = 0)
{
    FileAnswer answer;
    answer.status = status;
    answer.retryAfterSeconds = retryAfterSeconds;
    return answer;
}

// An address and port as the library binds them.
struct SocketAddress
{
    sockaddr_storage storage{};
    bool v6 = false;
    const sockaddr* get() const { return reinterpret_cast<const sockaddr*>(&storage); }
};

std::optional<SocketAddress> socketAddress(const QString& text, quint16 port)
{
    QHostAddress host;
    if (text.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        host = QHostAddress(QHostAddress::LocalHost);
    else if (!host.setAddress(text))
        return std::nullopt;
    SocketAddress out;
    if (host.protocol() == QAbstractSocket::IPv6Protocol) {
        auto* v6 = reinterpret_cast<sockaddr_in6*>(&out.storage);
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(port);
        const Q_IPV6ADDR bytes = host.toIPv6Address();
        std::memcpy(&v6->sin6_addr, bytes.c, sizeof bytes.c);
        out.v6 = true;
    } else {
        auto* v4 = reinterpret_cast<sockaddr_in*>(&out.storage);
        v4->sin_family = AF_INET;
        v4->sin_port = htons(port);
        v4->sin_addr.s_addr = htonl(host.toIPv4Address());
    }
    return out;
}

quint16 boundPort(MHD_Daemon* daemon, quint16 asked)
{
    const MHD_DaemonInfo* info = MHD_get_daemon_info(daemon, MHD_DAEMON_INFO_BIND_PORT);
    return info ? info->port : asked;
}

} // namespace

// One connection and its current request, from the request line to the reply's end.
struct ProvisioningServer::Exchange
{
    enum class Stage { Headers, Body, Waiting, Answered };

    QHostAddress peer;
    MHD_socket fd = MHD_INVALID_SOCKET;
    std::atomic<qint64> awaitingSinceMs{0}; // waiting for a whole request since; 0 when not
    std::atomic<bool> cut{false};           // closed by the header deadline

    QString client; // the address the request is logged and limited under
    QByteArray target;
    const char* targetAt = nullptr; // where the library keeps the target, to see bytes a NUL hid
    QByteArray method;
    QByteArray authorization;
    QByteArray ifNoneMatch;
    QByteArray userAgent;
    QString started;
    QElapsedTimer timer;
    std::chrono::steady_clock::time_point startedAt;
    Stage stage = Stage::Headers;
    std::optional<FileAnswer> early; // decided from the request line and headers alone
    FileAnswer answer;               // a worker's answer, sent once the connection resumes
    int status = 0;
    qsizetype bytes = 0;
    QString company;
    QString phone;
    QStringList notes;
    bool pending = false; // a request line arrived and its completion has not been logged

    void reset(const char* uri)
    {
        target = uri;
        targetAt = uri;
        method.clear();
        authorization.clear();
        ifNoneMatch.clear();
        userAgent.clear();
        started = QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs);
        timer.start();
        startedAt = std::chrono::steady_clock::now();
        stage = Stage::Headers;
        early.reset();
        answer = FileAnswer{};
        status = 0;
        bytes = 0;
        company.clear();
        phone.clear();
        notes.clear();
        pending = true;
    }
};

namespace {

// The Digest answer of one request, checked by the server's nonces in one step with the client
// address's count of wrong answers.
class RequestCredentials final : public Credentials
{
public:
    RequestCredentials(DigestAuth& digest, AuthLockout& lockout, const QString& client, const QByteArray& authorization,
                       const QByteArray& method, const QByteArray& target)
        : m_digest(digest), m_lockout(lockout), m_client(client), m_answer(DigestAuth::parse(authorization)),
          m_method(method), m_target(target)
    {
    }
    QString client() const override { return m_client; }
    Check check(const QString& user, const QStringList& passwords) override
    {
        DigestAuth::Result result = DigestAuth::Result::Absent;
        const AuthLockout::Decision decision = m_lockout.decide(m_client, [&] {
            result = m_digest.verify(m_answer, m_method, m_target, user, passwords);
            return result == DigestAuth::Result::Refused;
        });
        m_failures += int(decision.wrong);
        m_lockedNow |= decision.lockedNow;
        if (decision.lockedSeconds)
            m_lockedFor = decision.lockedSeconds;
        switch (result) {
        case DigestAuth::Result::Accepted:
            return Check::Accepted;
        case DigestAuth::Result::Stale:
            return Check::Stale;
        case DigestAuth::Result::Refused:
        case DigestAuth::Result::Absent:
            break;
        }
        return Check::Refused;
    }
    QString user() const override { return DigestAuth::userOf(m_answer); }
    std::optional<DigestProof> proof(const QString& user) const override
    {
        return m_digest.proof(m_answer, m_method, user);
    }
    // Wrong answers given (a missing one is no failure).
    int failures() const { return m_failures; }
    // One of them locked the client out.
    bool lockedNow() const { return m_lockedNow; }
    // The client was locked out when the answer came to be checked: seconds left.
    int lockedFor() const { return m_lockedFor; }

private:
    DigestAuth& m_digest;
    AuthLockout& m_lockout;
    const QString& m_client;
    const DigestAuth::Answer m_answer;
    const QByteArray& m_method;
    const QByteArray& m_target;
    int m_failures = 0;
    bool m_lockedNow = false;
    int m_lockedFor = 0;
};

// The values of every header of a name, in order.
QList<QByteArray> headerValues(MHD_Connection* connection, const char* name)
{
    struct Collect
    {
        const char* name;
        QList<QByteArray> values;
    } collect{name, {}};
    MHD_get_connection_values(
        connection, MHD_HEADER_KIND,
        [](void* cls, MHD_ValueKind, const char* key, const char* value) {
            auto* c = static_cast<Collect*>(cls);
            if (key && qstricmp(key, c->name) == 0)
                c->values.append(value ? QByteArray(value) : QByteArray());
            return MHD_YES;
        },
        &collect);
    return collect.values;
}

// The client behind trusted proxies: the right-most X-Forwarded-For entry that is not one of them.
// Both lists hold plain addresses (an IPv4 one never as IPv6).
QString clientOf(const QHostAddress& peer, const QList<QHostAddress>& proxies, const QList<QByteArray>& forwarded)
{
    if (peer.isNull())
        return QStringLiteral("-");
    if (!proxies.contains(peer))
        return peer.toString();
    QList<QByteArray> hops;
    for (const QByteArray& header : forwarded)
        hops += header.split(',');
    for (auto it = hops.crbegin(); it != hops.crend(); ++it) {
        QHostAddress hop;
        if (!hop.setAddress(QString::fromLatin1(it->trimmed())))
            break;
        hop = plainAddress(hop);
        if (!proxies.contains(hop))
            return hop.toString();
    }
    return peer.toString();
}

} // namespace

QByteArray entityTag(const QByteArray& body)
{
    return '"' + QCryptographicHash::hash(body, QCryptographicHash::Md5).toHex() + '"';
}

// The library's callbacks, with the server as their closure.
struct ServerCallbacks
{
    using Exchange = ProvisioningServer::Exchange;

    static void connectionEvent(void* cls, MHD_Connection* connection, void** socketState,
                                MHD_ConnectionNotificationCode event)
    {
        auto* server = static_cast<ProvisioningServer*>(cls);
        if (event == MHD_CONNECTION_NOTIFY_STARTED) {
            auto* exchange = new Exchange;
            exchange->peer = peerOf(connection);
            exchange->client = exchange->peer.isNull() ? QStringLiteral("-") : exchange->peer.toString();
            if (const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD))
                exchange->fd = info->connect_fd;
            exchange->awaitingSinceMs = nowMs();
            *socketState = exchange;
            ++server->m_metrics->connectionsOpen;
            const std::lock_guard lock(server->m_connectionsMutex);
            server->m_connections.insert(exchange);
            return;
        }
        auto* exchange = static_cast<Exchange*>(*socketState);
        if (!exchange)
            return;
        {
            // The library closes the socket after this returns: the housekeeper must be done with it.
            const std::lock_guard lock(server->m_connectionsMutex);
            server->m_connections.erase(exchange);
        }
        --server->m_metrics->connectionsOpen;
        awaitingAnswers().hold(exchange->fd, false);
        // A request the library refused by itself, or one cut short, still gets its line.
        if (exchange->pending)
            server->finish(*exchange);
        delete exchange;
        *socketState = nullptr;
    }

    static void* beginRequest(void* cls, const char* uri, MHD_Connection* connection)
    {
        auto* server = static_cast<ProvisioningServer*>(cls);
        const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_SOCKET_CONTEXT);
        auto* exchange = info ? static_cast<Exchange*>(info->socket_context) : nullptr;
        if (!exchange)
            return nullptr;
        if (exchange->pending)
            server->finish(*exchange);
        exchange->reset(uri);
        ++server->m_inFlight;
        return exchange;
    }

    static MHD_Result handleRequest(void* cls, MHD_Connection* connection, const char*, const char* method,
                                    const char* version, const char*, size_t* uploadSize, void** state)
    {
        auto* server = static_cast<ProvisioningServer*>(cls);
        auto* exchange = static_cast<Exchange*>(*state);
        if (!exchange)
            return MHD_NO;
        switch (exchange->stage) {
        case Exchange::Stage::Headers: {
            exchange->method = method;
            // The library ends the target at a NUL byte; the version then starts further on than
            // right after it.
            const bool hiddenBytes = version && exchange->targetAt && version > exchange->targetAt &&
                                     version - exchange->targetAt > exchange->target.size() + 1 &&
                                     version - exchange->targetAt <= 2 * ProvisioningServer::kMaxPath + 64;
            if (hiddenBytes) // the whole target, for the log
                exchange->target = QByteArray(exchange->targetAt, version - exchange->targetAt - 1);
            // A refusal that leaves the body unread is sent at once; the library then closes the
            // connection rather than take the body for the next request.
            if (server->checkHeaders(connection, *exchange, hiddenBytes)) {
                exchange->awaitingSinceMs = 0;
                server->send(connection, *exchange, *exchange->early);
                exchange->stage = Exchange::Stage::Answered;
            } else {
                exchange->stage = Exchange::Stage::Body;
            }
            return MHD_YES;
        }
        case Exchange::Stage::Body:
            if (*uploadSize != 0) {
                *uploadSize = 0; // a body on GET or HEAD means nothing here
                return MHD_YES;
            }
            // The request is whole: the deadline, which covered its body too, is met.
            exchange->awaitingSinceMs = 0;
            if (exchange->early) {
                server->send(connection, *exchange, *exchange->early);
                exchange->stage = Exchange::Stage::Answered;
            } else {
                server->dispatch(connection, *exchange);
            }
            return MHD_YES;
        case Exchange::Stage::Waiting:
            server->send(connection, *exchange, exchange->answer);
            exchange->stage = Exchange::Stage::Answered;
            return MHD_YES;
        case Exchange::Stage::Answered:
            break;
        }
        return MHD_YES;
    }

    static void endRequest(void* cls, MHD_Connection*, void** state, MHD_RequestTerminationCode)
    {
        auto* exchange = static_cast<Exchange*>(*state);
        if (!exchange)
            return;
        if (exchange->pending)
            static_cast<ProvisioningServer*>(cls)->finish(*exchange);
        // The next request's headers are due from now on.
        exchange->awaitingSinceMs = nowMs();
    }

    static void libraryMessage(void* cls, const char* format, va_list args)
    {
        char text[512];
        std::vsnprintf(text, sizeof text, format, args);
        auto* server = static_cast<ProvisioningServer*>(cls);
        const QString message = QString::fromLocal8Bit(text).trimmed();
        // While stopping, a worker may still try the listening socket just shut.
        if (server->m_stopping && message.contains(QLatin1String("accept")))
            return;
        server->logLine(QStringLiteral("HTTP server: ") + message);
    }

    static MHD_Result metricsRequest(void* cls, MHD_Connection* connection, const char* url, const char* method,
                                     const char*, const char*, size_t* uploadSize, void** state)
    {
        if (!*state) {
            *state = connection; // the headers: wait for the (empty) body
            return MHD_YES;
        }
        if (*uploadSize != 0) {
            *uploadSize = 0;
            return MHD_YES;
        }
        auto* server = static_cast<ProvisioningServer*>(cls);
        const bool found = (qstrcmp(method, MHD_HTTP_METHOD_GET) == 0 || qstrcmp(method, MHD_HTTP_METHOD_HEAD) == 0) &&
                           qstrcmp(url, "/metrics") == 0;
        const QByteArray body = found ? server->m_metrics->text() : QByteArray(reasonBody(MHD_HTTP_NOT_FOUND));
        MHD_Response* response = MHD_create_response_from_buffer(
            size_t(body.size()), const_cast<char*>(body.constData()), MHD_RESPMEM_MUST_COPY);
        MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE,
                                found ? "text/plain; version=0.0.4; charset=utf-8" : "text/plain; charset=us-ascii");
        const MHD_Result queued = MHD_queue_response(connection, found ? MHD_HTTP_OK : MHD_HTTP_NOT_FOUND, response);
        MHD_destroy_response(response);
        return queued;
    }
};

ProvisioningServer::ProvisioningServer(ServerOptions options, SourceFactory factory, RunLog& log)
    : m_options(std::move(options)), m_factory(std::move(factory)), m_log(log),
      m_digest(std::make_unique<DigestAuth>(kRealm, m_options.nonceSeconds)),
      m_lockout(std::make_unique<AuthLockout>(m_options.authFailures, m_options.authWindowSeconds)),
      m_metrics(std::make_unique<ServerMetrics>())
{
    for (QHostAddress& proxy : m_options.trustedProxies)
        proxy = plainAddress(proxy);
}

ProvisioningServer::~ProvisioningServer()
{
    stop(0);
}

bool ProvisioningServer::start(QString* error)
{
    const auto fail = [&](const QString& text) {
        if (error)
            *error = text;
        return false;
    };
    const std::optional<SocketAddress> bind = socketAddress(m_options.address, m_options.port);
    if (!bind)
        return fail(QStringLiteral("\"%1\" is not an IPv4 or IPv6 address").arg(m_options.address));
    if (m_options.threads < 1)
        return fail(QStringLiteral("the server needs at least one thread"));
    if (m_options.tlsCertificate.isEmpty() != m_options.tlsKey.isEmpty())
        return fail(QStringLiteral("HTTPS needs both a certificate and its key"));
    if (m_options.metricsPort >= 0 && m_options.metricsPort == m_options.port && m_options.port != 0)
        return fail(
            QStringLiteral("the metrics need a port of their own, not the telephones' port %1").arg(m_options.port));

    // poll(), not epoll: with epoll and a thread pool, stopping to accept races a worker that drops the
    // listening socket from its own set at the same moment, and the library aborts the process.
    unsigned flags = MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_POLL | MHD_USE_ERROR_LOG | MHD_ALLOW_SUSPEND_RESUME;
    // An IPv6 address listens for IPv4 too where it can: [::] on every address of both families, and
    // an IPv4 address written as IPv6 on that address.
    if (bind->v6)
        flags |= MHD_USE_DUAL_STACK;
    if (secure()) {
        if (MHD_is_feature_supported(MHD_FEATURE_TLS) != MHD_YES)
            return fail(QStringLiteral("this build of the HTTP library has no TLS"));
        flags |= MHD_USE_TLS;
    }

    // The connections' threads only read, check and write; the workers wait for the database.
    const int ioThreads = std::clamp(int(std::thread::hardware_concurrency()), 1, 4);
    // The logger comes first, so that even the library's messages about the other options reach it.
    std::vector<MHD_OptionItem> options = {
        {MHD_OPTION_EXTERNAL_LOGGER, reinterpret_cast<intptr_t>(&ServerCallbacks::libraryMessage), this},
        {MHD_OPTION_SOCK_ADDR, 0, const_cast<sockaddr*>(bind->get())},
        {MHD_OPTION_THREAD_POOL_SIZE, ioThreads, nullptr},
        {MHD_OPTION_CONNECTION_LIMIT, m_options.connectionLimit, nullptr},
        {MHD_OPTION_PER_IP_CONNECTION_LIMIT, std::max(0, m_options.perAddressLimit), nullptr},
        {MHD_OPTION_CONNECTION_TIMEOUT, m_options.idleTimeoutSeconds, nullptr},
        {MHD_OPTION_LISTEN_BACKLOG_SIZE, kBacklog, nullptr},
        {MHD_OPTION_NOTIFY_CONNECTION, reinterpret_cast<intptr_t>(&ServerCallbacks::connectionEvent), this},
        {MHD_OPTION_URI_LOG_CALLBACK, reinterpret_cast<intptr_t>(&ServerCallbacks::beginRequest), this},
        {MHD_OPTION_NOTIFY_COMPLETED, reinterpret_cast<intptr_t>(&ServerCallbacks::endRequest), this},
    };
    if (secure()) {
        options.push_back({MHD_OPTION_HTTPS_MEM_CERT, 0, const_cast<char*>(m_options.tlsCertificate.constData())});
        options.push_back({MHD_OPTION_HTTPS_MEM_KEY, 0, const_cast<char*>(m_options.tlsKey.constData())});
        options.push_back({MHD_OPTION_HTTPS_PRIORITIES, 0, const_cast<char*>(kTlsPriorities)});
    }
    options.push_back({MHD_OPTION_END, 0, nullptr});

    const int bound = m_options.databaseBoundMs;
    m_workers = std::make_unique<SourceThreads>(m_options.threads, [this, bound] { return m_factory(bound); });
    m_health =
        std::make_unique<HealthProbe>([this] { return m_factory(kHealthMs); }, std::chrono::milliseconds(kHealthMs));
    m_stopping = false;
    m_houseStop = false;
    m_housekeeper = std::thread([this] { keepHouse(); });
    m_daemon = MHD_start_daemon(flags, m_options.port, nullptr, nullptr, &ServerCallbacks::handleRequest, this,
                                MHD_OPTION_ARRAY, options.data(), MHD_OPTION_END);
    if (!m_daemon) {
        stopHousekeeper();
        m_workers.reset();
        m_health.reset();
        return fail(QStringLiteral("cannot listen on %1 port %2%3")
                        .arg(m_options.address)
                        .arg(m_options.port)
                        .arg(secure() ? QStringLiteral(" (or the certificate and key were refused)") : QString()));
    }
    m_port = boundPort(m_daemon, m_options.port);
    if (const QString metrics = m_options.metricsPort >= 0 ? startMetrics() : QString(); !metrics.isEmpty()) {
        stop(0);
        return fail(metrics);
    }
    return true;
}

QString ProvisioningServer::startMetrics()
{
    const QString address = m_options.metricsAddress.isEmpty() ? m_options.address : m_options.metricsAddress;
    const std::optional<SocketAddress> bind = socketAddress(address, quint16(m_options.metricsPort));
    if (!bind)
        return QStringLiteral("\"%1\" is not an IPv4 or IPv6 address").arg(address);
    const MHD_OptionItem options[] = {
        {MHD_OPTION_EXTERNAL_LOGGER, reinterpret_cast<intptr_t>(&ServerCallbacks::libraryMessage), this},
        {MHD_OPTION_SOCK_ADDR, 0, const_cast<sockaddr*>(bind->get())},
        {MHD_OPTION_CONNECTION_LIMIT, 64, nullptr},
        {MHD_OPTION_CONNECTION_TIMEOUT, 10, nullptr},
        {MHD_OPTION_END, 0, nullptr},
    };
    m_metricsDaemon = MHD_start_daemon(
        MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_POLL | MHD_USE_ERROR_LOG | (bind->v6 ? MHD_USE_DUAL_STACK : 0),
        quint16(m_options.metricsPort), nullptr, nullptr, &ServerCallbacks::metricsRequest, this, MHD_OPTION_ARRAY,
        options, MHD_OPTION_END);
    if (!m_metricsDaemon)
        return QStringLiteral("cannot listen for the metrics on %1 port %2").arg(address).arg(m_options.metricsPort);
    m_metricsPort = boundPort(m_metricsDaemon, quint16(m_options.metricsPort));
    return {};
}

void ProvisioningServer::stop(int graceMs)
{
    if (!m_daemon)
        return;
    m_stopping = true;
    // New connections are refused from here on: the listening socket stops listening, though it
    // stays open until the daemon's threads, which may still hold it, have ended.
    const MHD_socket listening = MHD_quiesce_daemon(m_daemon);
    if (listening != MHD_INVALID_SOCKET)
        ::shutdown(listening, SHUT_RDWR);
    QElapsedTimer waited;
    waited.start();
    while (m_inFlight.load() > 0 && waited.elapsed() < graceMs)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    stopHousekeeper();
    // Every connection waiting for a worker is answered, so none is suspended when the daemon stops.
    m_workers->stop();
    m_health->stop();
    MHD_stop_daemon(m_daemon);
    m_daemon = nullptr;
    if (listening != MHD_INVALID_SOCKET)
        ::close(listening);
    if (m_metricsDaemon) {
        MHD_stop_daemon(m_metricsDaemon);
        m_metricsDaemon = nullptr;
    }
}

void ProvisioningServer::keepHouse()
{
    using Clock = std::chrono::steady_clock;
    const qint64 headerMs = qint64(m_options.headerTimeoutSeconds) * 1000;
    std::unique_lock lock(m_houseMutex);
    Clock::time_point tick = Clock::now() + kHouseTick;
    for (;;) {
        const Clock::time_point wake = m_later.empty() ? tick : std::min(tick, m_later.begin()->first);
        m_houseWake.wait_until(lock, wake,
                               [&] { return m_houseStop || (!m_later.empty() && m_later.begin()->first < wake); });
        std::vector<std::function<void()>> due;
        while (!m_later.empty() && (m_houseStop || m_later.begin()->first <= Clock::now())) {
            due.push_back(std::move(m_later.begin()->second));
            m_later.erase(m_later.begin());
        }
        const bool stopping = m_houseStop;
        const bool periodic = Clock::now() >= tick;
        lock.unlock();
        for (const auto& run : due)
            run();
        if (stopping)
            return;
        if (periodic) {
            tick = Clock::now() + kHouseTick;
            const qint64 now = nowMs();
            {
                // A connection that has not brought a whole request (headers and body) in time is shut;
                // the library then sees it end and closes it on its own thread.
                const std::lock_guard connections(m_connectionsMutex);
                for (Exchange* e : m_connections) {
                    const qint64 since = e->awaitingSinceMs.load();
                    if (headerMs > 0 && since != 0 && now - since > headerMs && e->fd != MHD_INVALID_SOCKET &&
                        !e->cut.exchange(true)) {
                        ::shutdown(e->fd, SHUT_RDWR);
                        ++m_metrics->headerTimeouts;
                    }
                }
            }
            m_workers->expireLate();
            m_health->expire();
        }
        lock.lock();
    }
}

void ProvisioningServer::stopHousekeeper()
{
    {
        const std::lock_guard lock(m_houseMutex);
        m_houseStop = true;
        m_houseWake.notify_all();
    }
    if (m_housekeeper.joinable())
        m_housekeeper.join();
}

void ProvisioningServer::later(std::chrono::steady_clock::time_point at, std::function<void()> run)
{
    {
        const std::lock_guard lock(m_houseMutex);
        if (!m_houseStop) {
            m_later.emplace(at, std::move(run));
            m_houseWake.notify_all();
            return;
        }
    }
    run();
}

bool ProvisioningServer::checkHeaders(MHD_Connection* connection, Exchange& exchange, bool hiddenBytes)
{
    exchange.authorization = headerValues(connection, MHD_HTTP_HEADER_AUTHORIZATION).value(0);
    exchange.ifNoneMatch = headerValues(connection, MHD_HTTP_HEADER_IF_NONE_MATCH).join(',');
    if (m_options.recorder)
        exchange.userAgent = headerValues(connection, MHD_HTTP_HEADER_USER_AGENT).value(0);
    exchange.client = clientOf(exchange.peer, m_options.trustedProxies, headerValues(connection, "X-Forwarded-For"));
    const QByteArray path = pathOf(exchange.target);
    const QByteArray decoded = QByteArray::fromPercentEncoding(path);
    QList<QByteArray> lengths = headerValues(connection, MHD_HTTP_HEADER_CONTENT_LENGTH);
    bool tooLong = !headerValues(connection, MHD_HTTP_HEADER_TRANSFER_ENCODING).isEmpty();
    for (QByteArray& length : lengths) {
        length = length.trimmed();
        bool number = false;
        tooLong |= length.toULongLong(&number) > quint64(kMaxBody) || !number;
    }
    if (tooLong) {
        // No body is read: a length not told (chunked) may be any length.
        exchange.early = statusAnswer(MHD_HTTP_CONTENT_TOO_LARGE);
        return true;
    }
    if (const int locked = m_lockout->lockedFor(exchange.client)) {
        exchange.early = statusAnswer(MHD_HTTP_TOO_MANY_REQUESTS, locked);
        exchange.early->refusal = QLatin1String(Refusal::kLocked);
    } else if (hiddenBytes || path.size() > kMaxPath || path.contains("%00") || decoded.contains('\0') ||
               decoded.contains("..")) {
        exchange.early = statusAnswer(MHD_HTTP_BAD_REQUEST);
    } else if (lengths.size() > 1 && lengths.count(lengths.first()) != lengths.size()) {
        // Two lengths: which body ends where? Answered before any of it is read.
        exchange.early = statusAnswer(MHD_HTTP_BAD_REQUEST);
        return true;
    } else if (exchange.method != MHD_HTTP_METHOD_GET && exchange.method != MHD_HTTP_METHOD_HEAD) {
        exchange.early = statusAnswer(MHD_HTTP_METHOD_NOT_ALLOWED);
        return true;
    }
    return false;
}

void ProvisioningServer::dispatch(MHD_Connection* connection, Exchange& exchange)
{
    const QByteArray path = pathOf(exchange.target);
    if (path == "/healthz") {
        exchange.stage = Exchange::Stage::Waiting;
        awaitingAnswers().hold(exchange.fd, true);
        MHD_suspend_connection(connection);
        m_health->ask([this, connection, &exchange](const QString& problem) {
            FileAnswer answer =
                statusAnswer(problem.isEmpty() ? MHD_HTTP_OK : MHD_HTTP_SERVICE_UNAVAILABLE, problem.isEmpty() ? 0 : 1);
            if (!problem.isEmpty())
                answer.notes.append(QStringLiteral("Health check failed: ") + problem);
            resume(connection, exchange, std::move(answer));
        });
        return;
    }
    if (path.endsWith('/')) { // no file name: nothing to look up
        send(connection, exchange, FileAnswer{});
        exchange.stage = Exchange::Stage::Answered;
        return;
    }
    // Suspended before it is handed on: the worker may resume it at once.
    exchange.stage = Exchange::Stage::Waiting;
    awaitingAnswers().hold(exchange.fd, true);
    MHD_suspend_connection(connection);
    const int retry = std::max(1, m_options.databaseBoundMs / 1000);
    m_workers->post(
        [this, connection, &exchange](FileSource& source) {
            FileAnswer answer = answerFile(source, exchange);
            // A challenge (or a lock-out found when the answer was checked) leaves at a fixed time after
            // its request came, so the time the look-up took cannot tell whether the MAC has a telephone.
            if ((answer.status == MHD_HTTP_UNAUTHORIZED || answer.status == MHD_HTTP_TOO_MANY_REQUESTS) &&
                std::chrono::steady_clock::now() < exchange.startedAt + kChallengeFloor)
                later(exchange.startedAt + kChallengeFloor,
                      [this, connection, &exchange, answer] { resume(connection, exchange, answer); });
            else
                resume(connection, exchange, std::move(answer));
        },
        [this, connection, &exchange, retry] {
            FileAnswer late = statusAnswer(MHD_HTTP_SERVICE_UNAVAILABLE, retry);
            if (m_stopping) {
                late.notes.append(QStringLiteral("The server is stopping"));
            } else {
                late.notes.append(QStringLiteral("No worker was free within %1 ms").arg(m_options.databaseBoundMs));
                late.refusal = QLatin1String(Refusal::kDatabase);
                ++m_metrics->databaseErrors;
            }
            resume(connection, exchange, std::move(late));
        },
        SourceThreads::Clock::now() + std::chrono::milliseconds(m_options.databaseBoundMs));
}

FileAnswer ProvisioningServer::answerFile(FileSource& source, const Exchange& exchange)
{
    const QByteArray decoded = QByteArray::fromPercentEncoding(pathOf(exchange.target));
    QString name = QString::fromUtf8(decoded.mid(decoded.lastIndexOf('/') + 1));
    // A company's address book is named by the folder it is asked in.
    if ((name == u"gs_phonebook.xml" || source.takesFolder()) && decoded.lastIndexOf('/') > 0) {
        const QByteArray folders = decoded.left(decoded.lastIndexOf('/'));
        name.prepend(QString::fromUtf8(folders.mid(folders.lastIndexOf('/') + 1)) + u'/');
    }
    RequestCredentials credentials(*m_digest, *m_lockout, exchange.client, exchange.authorization, exchange.method,
                                   exchange.target);
    FileAnswer answer;
    try {
        answer = source.answer(name, credentials);
        m_metrics->databaseStatements += quint64(answer.statements);
    } catch (const DbError& e) {
        answer = statusAnswer(MHD_HTTP_SERVICE_UNAVAILABLE, std::max(1, m_options.databaseBoundMs / 1000));
        answer.notes.append(QStringLiteral("Database unavailable: ") + e.text());
        answer.refusal = QLatin1String(Refusal::kDatabase);
        ++m_metrics->databaseErrors;
    } catch (const std::exception& e) {
        answer = statusAnswer(MHD_HTTP_INTERNAL_SERVER_ERROR);
        answer.notes.append(QStringLiteral("Request failed: ") + QString::fromLocal8Bit(e.what()));
    }
    m_metrics->authFailures += quint64(credentials.failures());
    if (answer.status == MHD_HTTP_UNAUTHORIZED && credentials.failures() > 0 && answer.refusal.isEmpty() &&
        !answer.mac.isEmpty())
        answer.refusal = QLatin1String(Refusal::kDigest);
    if (credentials.lockedNow()) {
        ++m_metrics->authLocks;
        answer.notes.append(QStringLiteral("Client %1 locked out for %2 s after %3 wrong authentication answers")
                                .arg(AuthLockout::keyOf(exchange.client))
                                .arg(m_options.authWindowSeconds)
                                .arg(m_options.authFailures));
    }
    // Locked out since its headers came: refused whatever the source made of the unchecked answer.
    if (credentials.lockedFor() > 0) {
        QStringList notes = std::move(answer.notes);
        const QString mac = answer.mac;
        answer = statusAnswer(MHD_HTTP_TOO_MANY_REQUESTS, credentials.lockedFor());
        answer.notes = std::move(notes);
        answer.mac = mac;
        answer.refusal = QLatin1String(Refusal::kLocked);
    }
    return answer;
}

void ProvisioningServer::resume(MHD_Connection* connection, Exchange& exchange, FileAnswer answer)
{
    exchange.answer = std::move(answer);
    MHD_resume_connection(connection);
}

void ProvisioningServer::send(MHD_Connection* connection, Exchange& exchange, const FileAnswer& answer)
{
    exchange.company = answer.company;
    exchange.phone = answer.phone;
    exchange.notes = answer.notes;

    int status = answer.status;
    QByteArray body;
    QByteArray tag;
    if (status == MHD_HTTP_OK && !answer.contentType.isEmpty()) {
        tag = entityTag(answer.body);
        if (!exchange.ifNoneMatch.isEmpty() && matchesTag(exchange.ifNoneMatch, tag))
            status = MHD_HTTP_NOT_MODIFIED;
        else
            body = answer.body;
    } else if (status != MHD_HTTP_NOT_MODIFIED) {
        body = reasonBody(status);
    }

    MHD_Response* response = MHD_create_response_from_buffer(size_t(body.size()), body.data(), MHD_RESPMEM_MUST_COPY);
    if (!tag.isEmpty()) {
        MHD_add_response_header(response, MHD_HTTP_HEADER_ETAG, tag.constData());
        MHD_add_response_header(response, MHD_HTTP_HEADER_CACHE_CONTROL, "no-cache");
    }
    if (!tag.isEmpty() && status == MHD_HTTP_OK)
        MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, answer.contentType.constData());
    else if (!body.isEmpty())
        MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, "text/plain; charset=us-ascii");
    if (status == MHD_HTTP_METHOD_NOT_ALLOWED)
        MHD_add_response_header(response, MHD_HTTP_HEADER_ALLOW, "GET, HEAD");
    if (answer.retryAfterSeconds > 0)
        MHD_add_response_header(response, MHD_HTTP_HEADER_RETRY_AFTER,
                                QByteArray::number(answer.retryAfterSeconds).constData());
    if (status == MHD_HTTP_UNAUTHORIZED)
        MHD_add_response_header(response, MHD_HTTP_HEADER_WWW_AUTHENTICATE,
                                m_digest->challenge(answer.stale).constData());
    MHD_queue_response(connection, unsigned(status), response);
    MHD_destroy_response(response);
    if (exchange.stage == Exchange::Stage::Waiting)
        awaitingAnswers().hold(exchange.fd, false);
    // A telephone's fetch of its own file; HEAD fetches nothing.
    if (m_options.recorder && !tag.isEmpty() && !answer.phone.isEmpty() && exchange.method == MHD_HTTP_METHOD_GET)
        m_options.recorder->record(
            {answer.company, answer.phone,
             recordedTime(), exchange.client, QString::fromLatin1(exchange.userAgent), tag, answer.mac});
    else if (m_options.recorder && !answer.refusal.isEmpty() && !answer.unknown)
        recordRefusal(exchange, answer);
    else if (m_options.recorder && m_options.lobby && answer.unknown && exchange.method == MHD_HTTP_METHOD_GET)
        m_options.recorder->arrived(
            {answer.unknown->mac, QString::fromLatin1(QByteArray::fromPercentEncoding(pathOf(exchange.target))).mid(1),
             answer.unknown->module, answer.unknown->model, recordedTime(), exchange.client,
             QString::fromLatin1(exchange.userAgent)});
    exchange.status = status;
    exchange.bytes = exchange.method == MHD_HTTP_METHOD_HEAD ? 0 : body.size();
}

void ProvisioningServer::recordRefusal(const Exchange& exchange, const FileAnswer& answer)
{
    // Refused before its telephone was looked up: the telephone its name names, if it is a built-in
    // model's name.
    QString mac = answer.mac;
    if (mac.isEmpty()) {
        const QByteArray decoded = QByteArray::fromPercentEncoding(pathOf(exchange.target));
        if (const auto name = parseProvisioningName(QString::fromUtf8(decoded.mid(decoded.lastIndexOf('/') + 1))))
            mac = name->mac;
    }
    if (!mac.isEmpty())
        m_options.recorder->refused(
            {{}, {}, recordedTime(), exchange.client, {}, {}, std::move(mac), answer.refusal});
}

void ProvisioningServer::finish(Exchange& exchange)
{
    exchange.pending = false;
    --m_inFlight;
    const double seconds = double(exchange.timer.nsecsElapsed()) / 1e9;
    if (exchange.status)
        m_metrics->request(exchange.status, seconds);
    const auto field = [](const QString& text) { return text.isEmpty() ? QStringLiteral("-") : text; };
    const QStringList fields = {exchange.started,
                                exchange.client,
                                field(loggable(exchange.method)),
                                field(loggable(pathOf(exchange.target))),
                                field(exchange.company),
                                field(exchange.phone),
                                exchange.status ? QString::number(exchange.status) : QStringLiteral("-"),
                                QString::number(exchange.bytes),
                                QString::number(seconds * 1000, 'f', 2)};
    const QString line = fields.join(u' ');
    const std::lock_guard lock(m_logMutex);
    for (const QString& note : std::as_const(exchange.notes))
        m_log.append(note);
    m_log.append(line);
}

void ProvisioningServer::logLine(const QString& line)
{
    const std::lock_guard lock(m_logMutex);
    m_log.append(line);
}

} // namespace vocaset

// The HTTP library ends a connection with an error as soon as a read finds the client's end of the
// stream, unless that comes between two requests, and after a suspended request is resumed it reads
// before it sends the answer: a client that shuts its sending side after its request (a half-close)
// got no answer whenever making it took a moment. The library reads through recv(), which this
// definition stands for in the whole program: while a connection waits for its answer its end of
// stream reads as "nothing yet", so the answer goes out, and the next read, between requests, finds
// the end and closes as before. A reset still ends a connection at once, and every other socket of
// the program reads as through the C library's own recv().
extern "C" ssize_t recv(int fd, void* buffer, size_t size, int flags)
{
    const ssize_t got = ::recvfrom(fd, buffer, size, flags, nullptr, nullptr);
    if (got == 0 && size > 0 && vocaset::awaitingAnswers().awaiting(fd)) {
        errno = EAGAIN;
        return -1;
    }
    return got;
}
