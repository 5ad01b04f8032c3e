#include "ProvisioningServer.h"

#include <cstdarg>
#include <thread>

#include <arpa/inet.h>
#include <microhttpd.h>
#include <netinet/in.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QDateTime>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QRandomGenerator>

#include "DbError.h"

namespace vocaset {

namespace {

constexpr unsigned kNonceSeconds = 300;
constexpr unsigned kNonceSlots = 4096;
constexpr unsigned kBacklog = 1024;

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

// True when the If-None-Match header names the tag (weak or strong) or is "*".
bool matchesTag(const char* header, const QByteArray& tag)
{
    if (!header)
        return false;
    for (QByteArray candidate : QByteArray(header).split(',')) {
        candidate = candidate.trimmed();
        if (candidate.startsWith("W/"))
            candidate = candidate.mid(2);
        if (candidate == "*" || candidate == tag)
            return true;
    }
    return false;
}

QString clientAddress(MHD_Connection* connection)
{
    const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
    if (!info || !info->client_addr)
        return QStringLiteral("-");
    QHostAddress address(info->client_addr);
    bool mapped = false;
    const quint32 v4 = address.toIPv4Address(&mapped);
    if (mapped)
        address = QHostAddress(v4);
    return address.toString();
}

const char* reasonBody(int status)
{
    switch (status) {
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
    case MHD_HTTP_SERVICE_UNAVAILABLE:
        return "Service unavailable\n";
    default:
        return "Internal server error\n";
    }
}

// Each pool thread keeps the file source of the server it belongs to; the source (and its
// database connection) ends with the thread, on that thread.
struct ThreadSource
{
    quint64 server = 0;
    std::unique_ptr<FileSource> source;
};
thread_local ThreadSource t_source;

std::atomic<quint64> g_serverIds{0};

} // namespace

// One connection's current request, from its request line to its completion.
struct ProvisioningServer::Exchange
{
    QString client;
    QByteArray target;
    QByteArray method;
    QString started;
    QElapsedTimer timer;
    int status = 0;
    qsizetype bytes = 0;
    QString company;
    QString phone;
    QStringList notes;
    bool pending = false;   // a request line arrived and its completion has not been logged
    bool presented = false; // the handler has seen this request

    void reset(const char* uri)
    {
        target = uri;
        method.clear();
        started = QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs);
        timer.start();
        status = 0;
        bytes = 0;
        company.clear();
        phone.clear();
        notes.clear();
        pending = true;
        presented = false;
    }
};

// The Digest check of one request, on the connection that carries it.
class DigestCredentials final : public Credentials
{
public:
    explicit DigestCredentials(MHD_Connection* connection) : m_connection(connection) {}
    Check check(const QString& user, const QString& password) override
    {
        const int result = MHD_digest_auth_check2(m_connection, kRealm, user.toUtf8().constData(),
                                                  password.toUtf8().constData(), kNonceSeconds, MHD_DIGEST_ALG_MD5);
        if (result == MHD_YES)
            return Check::Accepted;
        return result == MHD_INVALID_NONCE ? Check::Stale : Check::Refused;
    }

private:
    MHD_Connection* m_connection;
};

// The library's callbacks, with the server as their closure.
struct ServerCallbacks
{
    static void connectionEvent(void* cls, MHD_Connection* connection, void** socketState,
                                MHD_ConnectionNotificationCode event)
    {
        auto* server = static_cast<ProvisioningServer*>(cls);
        if (event == MHD_CONNECTION_NOTIFY_STARTED) {
            auto* exchange = new ProvisioningServer::Exchange;
            exchange->client = clientAddress(connection);
            *socketState = exchange;
            return;
        }
        auto* exchange = static_cast<ProvisioningServer::Exchange*>(*socketState);
        if (!exchange)
            return;
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
        auto* exchange = info ? static_cast<ProvisioningServer::Exchange*>(info->socket_context) : nullptr;
        if (!exchange)
            return nullptr;
        if (exchange->pending)
            server->finish(*exchange);
        exchange->reset(uri);
        ++server->m_inFlight;
        return exchange;
    }

    static MHD_Result handleRequest(void* cls, MHD_Connection* connection, const char*, const char* method, const char*,
                                    const char*, size_t* uploadSize, void** state)
    {
        auto* server = static_cast<ProvisioningServer*>(cls);
        auto* exchange = static_cast<ProvisioningServer::Exchange*>(*state);
        if (!exchange)
            return MHD_NO;
        const bool readOnly = qstrcmp(method, MHD_HTTP_METHOD_GET) == 0 || qstrcmp(method, MHD_HTTP_METHOD_HEAD) == 0;
        if (!exchange->presented) {
            exchange->presented = true;
            exchange->method = method;
            // A refused method is answered before its body is read; the library then closes the
            // connection rather than take the unread body for the next request.
            if (!readOnly)
                server->respond(connection, *exchange);
            return MHD_YES;
        }
        if (*uploadSize != 0) {
            *uploadSize = 0; // a body on GET or HEAD means nothing here
            return MHD_YES;
        }
        if (readOnly)
            server->respond(connection, *exchange);
        return MHD_YES;
    }

    static void endRequest(void* cls, MHD_Connection*, void** state, MHD_RequestTerminationCode)
    {
        auto* exchange = static_cast<ProvisioningServer::Exchange*>(*state);
        if (exchange && exchange->pending)
            static_cast<ProvisioningServer*>(cls)->finish(*exchange);
    }

    static void libraryMessage(void* cls, const char* format, va_list args)
    {
        char text[512];
        std::vsnprintf(text, sizeof text, format, args);
        QString line = QStringLiteral("HTTP server: ") + QString::fromLocal8Bit(text).trimmed();
        auto* server = static_cast<ProvisioningServer*>(cls);
        const std::lock_guard lock(server->m_logMutex);
        server->m_log.append(line);
    }
};

ProvisioningServer::ProvisioningServer(ServerOptions options, SourceFactory factory, RunLog& log)
    : m_options(std::move(options)), m_factory(std::move(factory)), m_log(log), m_id(++g_serverIds)
{
    m_nonceSeed.resize(32);
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32*>(m_nonceSeed.data()), 8);
    m_opaque = m_nonceSeed.left(8).toHex();
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
    QHostAddress host;
    if (m_options.address.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        host = QHostAddress(QHostAddress::LocalHost);
    else if (!host.setAddress(m_options.address))
        return fail(QStringLiteral("\"%1\" is not an IPv4 or IPv6 address").arg(m_options.address));
    if (m_options.threads < 1)
        return fail(QStringLiteral("the server needs at least one thread"));
    if (m_options.tlsCertificate.isEmpty() != m_options.tlsKey.isEmpty())
        return fail(QStringLiteral("HTTPS needs both a certificate and its key"));

    sockaddr_in v4{};
    sockaddr_in6 v6{};
    const sockaddr* bind = nullptr;
    // poll(), not epoll: with epoll and a thread pool, stopping to accept races a worker that drops the
    // listening socket from its own set at the same moment, and the library aborts the process.
    unsigned flags = MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_POLL | MHD_USE_ERROR_LOG | MHD_USE_ITC;
    if (host.protocol() == QAbstractSocket::IPv6Protocol) {
        v6.sin6_family = AF_INET6;
        v6.sin6_port = htons(m_options.port);
        const Q_IPV6ADDR bytes = host.toIPv6Address();
        std::memcpy(&v6.sin6_addr, bytes.c, sizeof bytes.c);
        bind = reinterpret_cast<const sockaddr*>(&v6);
        flags |= MHD_USE_IPv6;
    } else {
        v4.sin_family = AF_INET;
        v4.sin_port = htons(m_options.port);
        v4.sin_addr.s_addr = htonl(host.toIPv4Address());
        bind = reinterpret_cast<const sockaddr*>(&v4);
    }
    if (secure()) {
        if (MHD_is_feature_supported(MHD_FEATURE_TLS) != MHD_YES)
            return fail(QStringLiteral("this build of the HTTP library has no TLS"));
        flags |= MHD_USE_TLS;
    }

    // The logger comes first, so that even the library's messages about the other options reach it.
    std::vector<MHD_OptionItem> options = {
        {MHD_OPTION_EXTERNAL_LOGGER, reinterpret_cast<intptr_t>(&ServerCallbacks::libraryMessage), this},
        {MHD_OPTION_SOCK_ADDR, 0, const_cast<sockaddr*>(bind)},
        {MHD_OPTION_THREAD_POOL_SIZE, m_options.threads, nullptr},
        {MHD_OPTION_CONNECTION_LIMIT, m_options.connectionLimit, nullptr},
        {MHD_OPTION_CONNECTION_TIMEOUT, m_options.idleTimeoutSeconds, nullptr},
        {MHD_OPTION_LISTEN_BACKLOG_SIZE, kBacklog, nullptr},
        {MHD_OPTION_NOTIFY_CONNECTION, reinterpret_cast<intptr_t>(&ServerCallbacks::connectionEvent), this},
        {MHD_OPTION_URI_LOG_CALLBACK, reinterpret_cast<intptr_t>(&ServerCallbacks::beginRequest), this},
        {MHD_OPTION_NOTIFY_COMPLETED, reinterpret_cast<intptr_t>(&ServerCallbacks::endRequest), this},
        {MHD_OPTION_DIGEST_AUTH_RANDOM, m_nonceSeed.size(), m_nonceSeed.data()},
        {MHD_OPTION_NONCE_NC_SIZE, kNonceSlots, nullptr},
    };
    if (secure()) {
        options.push_back({MHD_OPTION_HTTPS_MEM_CERT, 0, const_cast<char*>(m_options.tlsCertificate.constData())});
        options.push_back({MHD_OPTION_HTTPS_MEM_KEY, 0, const_cast<char*>(m_options.tlsKey.constData())});
    }
    options.push_back({MHD_OPTION_END, 0, nullptr});

    m_daemon = MHD_start_daemon(flags, m_options.port, nullptr, nullptr, &ServerCallbacks::handleRequest, this,
                                MHD_OPTION_ARRAY, options.data(), MHD_OPTION_END);
    if (!m_daemon) {
        return fail(QStringLiteral("cannot listen on %1 port %2%3")
                        .arg(host.toString())
                        .arg(m_options.port)
                        .arg(secure() ? QStringLiteral(" (or the certificate and key were refused)") : QString()));
    }
    const MHD_DaemonInfo* info = MHD_get_daemon_info(m_daemon, MHD_DAEMON_INFO_BIND_PORT);
    m_port = info ? info->port : m_options.port;
    return true;
}

void ProvisioningServer::stop(int graceMs)
{
    if (!m_daemon)
        return;
    // The workers may still poll the listening socket until the daemon stops: close it only then.
    const MHD_socket listening = MHD_quiesce_daemon(m_daemon);
    QElapsedTimer waited;
    waited.start();
    while (m_inFlight.load() > 0 && waited.elapsed() < graceMs)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    MHD_stop_daemon(m_daemon);
    m_daemon = nullptr;
    if (listening != MHD_INVALID_SOCKET)
        ::close(listening);
}

FileSource& ProvisioningServer::threadSource()
{
    if (t_source.server != m_id || !t_source.source) {
        t_source.source.reset();
        t_source.source = m_factory();
        t_source.server = m_id;
    }
    return *t_source.source;
}

void ProvisioningServer::respond(MHD_Connection* connection, Exchange& exchange)
{
    const QByteArray path = pathOf(exchange.target);
    const QByteArray decoded = QByteArray::fromPercentEncoding(path);
    FileAnswer answer;
    if (path.size() > kMaxPath || path.contains("%00") || decoded.contains('\0') || decoded.contains("..")) {
        answer.status = MHD_HTTP_BAD_REQUEST;
    } else if (exchange.method != MHD_HTTP_METHOD_GET && exchange.method != MHD_HTTP_METHOD_HEAD) {
        answer.status = MHD_HTTP_METHOD_NOT_ALLOWED;
    } else {
        const QString name = QString::fromUtf8(decoded.mid(decoded.lastIndexOf('/') + 1));
        DigestCredentials credentials(connection);
        try {
            answer = name.isEmpty() ? FileAnswer{} : threadSource().answer(name, credentials);
        } catch (const DbError& e) {
            answer = FileAnswer{};
            answer.status = MHD_HTTP_SERVICE_UNAVAILABLE;
            answer.notes.append(QStringLiteral("Database unavailable: ") + e.text());
        } catch (const std::exception& e) {
            answer = FileAnswer{};
            answer.status = MHD_HTTP_INTERNAL_SERVER_ERROR;
            answer.notes.append(QStringLiteral("Request failed: ") + QString::fromLocal8Bit(e.what()));
        }
    }
    exchange.company = answer.company;
    exchange.phone = answer.phone;
    exchange.notes = answer.notes;

    int status = answer.status;
    QByteArray body;
    QByteArray tag;
    if (status == MHD_HTTP_OK) {
        tag = '"' + QCryptographicHash::hash(answer.body, QCryptographicHash::Md5).toHex() + '"';
        if (matchesTag(MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_IF_NONE_MATCH), tag))
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
    if (status == MHD_HTTP_OK)
        MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, answer.contentType.constData());
    else if (!body.isEmpty())
        MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, "text/plain; charset=us-ascii");
    if (status == MHD_HTTP_METHOD_NOT_ALLOWED)
        MHD_add_response_header(response, MHD_HTTP_HEADER_ALLOW, "GET, HEAD");

    if (status == MHD_HTTP_UNAUTHORIZED)
        MHD_queue_auth_fail_response2(connection, kRealm, m_opaque.constData(), response,
                                      answer.stale ? MHD_YES : MHD_NO, MHD_DIGEST_ALG_MD5);
    else
        MHD_queue_response(connection, unsigned(status), response);
    MHD_destroy_response(response);
    exchange.status = status;
    exchange.bytes = exchange.method == MHD_HTTP_METHOD_HEAD ? 0 : body.size();
}

void ProvisioningServer::finish(Exchange& exchange)
{
    exchange.pending = false;
    --m_inFlight;
    const auto field = [](const QString& text) { return text.isEmpty() ? QStringLiteral("-") : text; };
    const QStringList fields = {exchange.started,
                                exchange.client,
                                field(loggable(exchange.method)),
                                field(loggable(pathOf(exchange.target))),
                                field(exchange.company),
                                field(exchange.phone),
                                exchange.status ? QString::number(exchange.status) : QStringLiteral("-"),
                                QString::number(exchange.bytes),
                                QString::number(double(exchange.timer.nsecsElapsed()) / 1e6, 'f', 2)};
    const QString line = fields.join(u' ');
    const std::lock_guard lock(m_logMutex);
    for (const QString& note : std::as_const(exchange.notes))
        m_log.append(note);
    m_log.append(line);
}

} // namespace vocaset
