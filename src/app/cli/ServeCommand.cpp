#include "ServeCommand.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QCommandLineParser>
#include <QHostAddress>
#include <QThread>

#include "DbCommands.h"
#include "Dialect.h"
#include "FetchRecorder.h"
#include "PhoneFileSource.h"
#include "ProvisioningServer.h"

namespace vocaset::cli {
namespace {

const QString kUsage = QStringLiteral(
    "[--listen ADDR:PORT] [--tls-cert FILE --tls-key FILE] [--threads N] [--max-connections N]\n"
    "      [--max-per-address N] [--timeout S] [--header-timeout S] [--db-timeout S] [--auth-failures N]\n"
    "      [--auth-window S] [--trusted-proxy ADDR ...] [--metrics ADDR:PORT] [--no-record] [--no-lobby]\n"
    "  --listen ADDR:PORT    address and port to listen on (default 127.0.0.1:8080): 0.0.0.0:PORT every IPv4\n"
    "                        address, [::]:PORT every IPv6 and every IPv4 address, [::1]:PORT the IPv6 loopback\n"
    "                        only\n"
    "  --tls-cert FILE       PEM certificate (chain); with --tls-key the server speaks HTTPS only (TLS 1.2, 1.3)\n"
    "  --tls-key FILE        PEM private key of the certificate\n"
    "  --threads N           workers, each with its own database connection (default: one per core, at least 2;\n"
    "                        on PostgreSQL four per core, at least 8)\n"
    "  --max-connections N   open connections at most (default 4096)\n"
    "  --max-per-address N   open connections from one client address at most; 0: no cap (default 64)\n"
    "  --timeout S           a connection on which nothing moves for S seconds is closed (default 30)\n"
    "  --header-timeout S    a whole request, headers and body, must arrive within S seconds of the connection\n"
    "                        or of the previous reply (default 10); a body over 1024 bytes, or chunked, gets 413\n"
    "  --db-timeout S        a request that waited S seconds for a worker or a database statement gets 503\n"
    "                        with Retry-After (default 5)\n"
    "  --auth-failures N     after N wrong Digest answers from one address within the window, every request\n"
    "                        from it gets 429 until the window has passed; 0: never (default 10). An IPv6\n"
    "                        client counts with its /64, an IPv4 address written as IPv6 as that IPv4 address\n"
    "  --auth-window S       the window of --auth-failures, in seconds (default 60)\n"
    "  --trusted-proxy ADDR  a load balancer whose X-Forwarded-For header names the client (repeatable)\n"
    "  --metrics ADDR:PORT   serve /metrics (Prometheus text) there; never the telephones' port (default: off)\n"
    "  --no-record           do not record the telephones' fetches in PHONE_FETCHES (see vocaset-cli fleet),\n"
    "                        their refusals, or new telephones\n"
    "  --no-lobby            do not record requests of MACs no telephone has in PHONE_LOBBY (see vocaset-cli\n"
    "                        lobby); nothing is then claimed on arrival\n"
    "GET or HEAD of cfgMAC (GXP2000), MAC.txt (PAP2) or utMAC.ini (F1000), in any folder, answers the file the\n"
    "generation writes for the telephone with that MAC, at the levels of the model's $$DEFGEN setting plus the\n"
    "telephone level. A $$PROVAUTH setting row of a company (SY_VALUE the password) puts its files behind HTTP\n"
    "Digest authentication with the telephone's MAC in upper case as the user name; while any company has one,\n"
    "a MAC without a telephone is challenged and refused like a wrong password. GET /healthz: 200 when the\n"
    "database answers within a second, else 503.\n"
    "Standard output: one line per request (time UTC, client, method, path, company, telephone, status, bytes,\n"
    "milliseconds), preceded by a line for each refused telephone, conflict or lock-out. SIGINT or SIGTERM stops\n"
    "accepting at once and stops the server once the requests in flight are answered; exit 0.");

// A certificate or key is a small file.
constexpr qint64 kMaxTlsFile = 1 << 20;

// SIGINT and SIGTERM reach the waiting command through a pipe: the handler only writes one byte.
int g_stopPipe[2] = {-1, -1};

void onStopSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(g_stopPipe[1], &byte, 1);
}

class StopSignals final
{
public:
    StopSignals()
    {
        if (::pipe2(g_stopPipe, O_CLOEXEC) != 0)
            return;
        struct sigaction action = {};
        action.sa_handler = onStopSignal;
        sigemptyset(&action.sa_mask);
        m_installed =
            ::sigaction(SIGINT, &action, &m_previousInt) == 0 && ::sigaction(SIGTERM, &action, &m_previousTerm) == 0;
        // A client that goes away mid-reply must not end the server.
        struct sigaction ignore = {};
        ignore.sa_handler = SIG_IGN;
        ::sigaction(SIGPIPE, &ignore, &m_previousPipe);
    }
    ~StopSignals()
    {
        ::sigaction(SIGINT, &m_previousInt, nullptr);
        ::sigaction(SIGTERM, &m_previousTerm, nullptr);
        ::sigaction(SIGPIPE, &m_previousPipe, nullptr);
        for (int& fd : g_stopPipe) {
            if (fd >= 0)
                ::close(fd);
            fd = -1;
        }
    }
    Q_DISABLE_COPY_MOVE(StopSignals)

    bool installed() const { return m_installed; }
    void wait()
    {
        char byte = 0;
        while (::read(g_stopPipe[0], &byte, 1) < 0 && errno == EINTR) {
        }
    }

private:
    struct sigaction m_previousInt = {};
    struct sigaction m_previousTerm = {};
    struct sigaction m_previousPipe = {};
    bool m_installed = false;
};

// "ADDR:PORT", "[v6]:PORT" or ":PORT" (the address stays as it was).
bool parseAddress(const QString& text, QString& address, int& port)
{
    const qsizetype colon = text.lastIndexOf(u':');
    if (colon < 0)
        return false;
    QString host = text.left(colon);
    if (host.startsWith(u'[') && host.endsWith(u']'))
        host = host.mid(1, host.size() - 2);
    bool ok = false;
    const uint number = text.mid(colon + 1).toUInt(&ok);
    if (!ok || number > 65535)
        return false;
    if (!host.isEmpty() && host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) != 0 &&
        QHostAddress(host).isNull())
        return false;
    if (!host.isEmpty())
        address = host;
    port = int(number);
    return true;
}

// Each connection holds a descriptor; the soft limit is raised as far as the hard one allows.
void allowDescriptors(int connections)
{
    rlimit limit = {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return;
    const rlim_t wanted = rlim_t(connections) + 64;
    if (limit.rlim_cur < wanted) {
        limit.rlim_cur = limit.rlim_max == RLIM_INFINITY ? wanted : qMin(wanted, limit.rlim_max);
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
}

} // namespace

int ServeCommand::execute(CliContext& ctx, const QStringList& arguments)
{
    QCommandLineParser parser;
    const QCommandLineOption listen(QStringLiteral("listen"), {}, QStringLiteral("ADDR:PORT"));
    const QCommandLineOption cert(QStringLiteral("tls-cert"), {}, QStringLiteral("FILE"));
    const QCommandLineOption key(QStringLiteral("tls-key"), {}, QStringLiteral("FILE"));
    const QCommandLineOption threads(QStringLiteral("threads"), {}, QStringLiteral("N"));
    const QCommandLineOption maxConnections(QStringLiteral("max-connections"), {}, QStringLiteral("N"));
    const QCommandLineOption perAddress(QStringLiteral("max-per-address"), {}, QStringLiteral("N"));
    const QCommandLineOption timeout(QStringLiteral("timeout"), {}, QStringLiteral("S"));
    const QCommandLineOption headerTimeout(QStringLiteral("header-timeout"), {}, QStringLiteral("S"));
    const QCommandLineOption dbTimeout(QStringLiteral("db-timeout"), {}, QStringLiteral("S"));
    const QCommandLineOption authFailures(QStringLiteral("auth-failures"), {}, QStringLiteral("N"));
    const QCommandLineOption authWindow(QStringLiteral("auth-window"), {}, QStringLiteral("S"));
    const QCommandLineOption proxy(QStringLiteral("trusted-proxy"), {}, QStringLiteral("ADDR"));
    const QCommandLineOption metrics(QStringLiteral("metrics"), {}, QStringLiteral("ADDR:PORT"));
    const QCommandLineOption noRecord(QStringLiteral("no-record"));
    const QCommandLineOption noLobby(QStringLiteral("no-lobby"));
    parser.addOptions({listen, cert, key, threads, maxConnections, perAddress, timeout, headerTimeout, dbTimeout,
                       authFailures, authWindow, proxy, metrics, noRecord, noLobby});
    if (const auto done = parseCommandLine(ctx, *this, parser, arguments, kUsage))
        return *done;

    ServerOptions options;
    int port = options.port;
    if (parser.isSet(listen) && !parseAddress(parser.value(listen), options.address, port)) {
        ctx.err << QStringLiteral("--listen takes ADDR:PORT, such as 127.0.0.1:8080 or [::1]:8080") << Qt::endl;
        return Usage;
    }
    options.port = quint16(port);
    if (parser.isSet(metrics)) {
        options.metricsAddress = options.address;
        if (!parseAddress(parser.value(metrics), options.metricsAddress, options.metricsPort)) {
            ctx.err << QStringLiteral("--metrics takes ADDR:PORT, such as 127.0.0.1:9100") << Qt::endl;
            return Usage;
        }
        if (options.metricsPort == options.port && options.port != 0) {
            ctx.err << QStringLiteral("--metrics needs another port than the telephones' port %1").arg(options.port)
                    << Qt::endl;
            return Usage;
        }
    }
    const auto number = [&](const QCommandLineOption& option, int& into, int least, int most) {
        if (!parser.isSet(option))
            return true;
        bool ok = false;
        const int n = parser.value(option).toInt(&ok);
        if (!ok || n < least || n > most) {
            ctx.err << QStringLiteral("--%1 takes a number from %2 to %3")
                           .arg(option.names().constFirst())
                           .arg(least)
                           .arg(most)
                    << Qt::endl;
            return false;
        }
        into = n;
        return true;
    };
    int dbSeconds = options.databaseBoundMs / 1000;
    if (!number(threads, options.threads, 1, 256) || !number(maxConnections, options.connectionLimit, 1, 100000) ||
        !number(perAddress, options.perAddressLimit, 0, 100000) ||
        !number(timeout, options.idleTimeoutSeconds, 1, 86400) ||
        !number(headerTimeout, options.headerTimeoutSeconds, 1, 3600) || !number(dbTimeout, dbSeconds, 1, 3600) ||
        !number(authFailures, options.authFailures, 0, 1000000) ||
        !number(authWindow, options.authWindowSeconds, 1, 86400))
        return Usage;
    options.databaseBoundMs = dbSeconds * 1000;
    for (const QString& list : parser.values(proxy)) {
        for (const QString& text : list.split(u',', Qt::SkipEmptyParts)) {
            const QHostAddress address(text.trimmed());
            if (address.isNull()) {
                ctx.err << QStringLiteral("--trusted-proxy takes an IPv4 or IPv6 address, not \"%1\"").arg(text)
                        << Qt::endl;
                return Usage;
            }
            options.trustedProxies.append(address);
        }
    }
    if (parser.isSet(cert) != parser.isSet(key)) {
        ctx.err << QStringLiteral("--tls-cert and --tls-key go together") << Qt::endl;
        return Usage;
    }
    for (const auto& [option, into] : {std::pair{&cert, &options.tlsCertificate}, std::pair{&key, &options.tlsKey}}) {
        if (!parser.isSet(*option))
            continue;
        QString error;
        const std::optional<QByteArray> bytes = readInputFile(parser.value(*option), kMaxTlsFile, &error);
        if (!bytes) {
            ctx.err << QStringLiteral("--%1: %2").arg(option->names().constFirst(), error) << Qt::endl;
            return Usage;
        }
        *into = *bytes;
    }

    if (const auto failed = ctx.start())
        return *failed;
    if (!ctx.allowed(QStringLiteral("GenConf")))
        return RunFailed;
    if (!parser.isSet(threads))
        options.threads = Dialect::defaultServerWorkers(ctx.session->db.engine(), QThread::idealThreadCount());
    // Each server thread opens the working database anew, as the start-up named it.
    NullRunLog quiet;
    Startup settings(*ctx.session, ctx.settingsPath, quiet);
    if (!settings.readSettings())
        return Usage;
    const QString connection = settings.workingConnection();
    for (const QString& note : PhoneFileSource::prepareDatabase(ctx.session->db))
        ctx.err << note << Qt::endl;
    const QString language = ctx.session->language;
    // Each fetch of a telephone's file is kept in memory and written once a second by a thread of its own.
    std::unique_ptr<FetchRecorder> recorder;
    if (!parser.isSet(noRecord)) {
        if (const QString note = FetchTable::prepare(ctx.session->db); !note.isEmpty())
            ctx.err << note << Qt::endl;
        else
            recorder = std::make_unique<FetchRecorder>(connection, *ctx.log);
    }
    options.recorder = recorder.get();
    options.lobby = !parser.isSet(noLobby);

    StopSignals stopSignals;
    if (!stopSignals.installed()) {
        ctx.err << QStringLiteral("Cannot watch SIGINT and SIGTERM") << Qt::endl;
        return RunFailed;
    }
    allowDescriptors(options.connectionLimit);
    ProvisioningServer server(
        options,
        [connection, language](int boundMs) {
            return std::make_unique<PhoneFileSource>(connection, language, boundMs);
        },
        *ctx.log);
    if (recorder)
        recorder->start();
    QString error;
    if (!server.start(&error)) {
        ctx.err << error << Qt::endl;
        return RunFailed;
    }
    ctx.err << QStringLiteral("Serving on %1://%2:%3 with %4 threads; SIGINT or SIGTERM stops")
                   .arg(server.secure() ? QStringLiteral("https") : QStringLiteral("http"),
                        options.address.contains(u':') ? u'[' + options.address + u']' : options.address)
                   .arg(server.port())
                   .arg(options.threads)
            << Qt::endl;
    if (server.metricsPort())
        ctx.err
            << QStringLiteral("Metrics on http://%1:%2/metrics").arg(options.metricsAddress).arg(server.metricsPort())
            << Qt::endl;
    stopSignals.wait();
    ctx.err << QStringLiteral("Stopping: answering the requests in flight") << Qt::endl;
    server.stop();
    if (recorder)
        recorder->stop(); // the last fetches are written before the command ends
    ctx.err << QStringLiteral("Stopped") << Qt::endl;
    return Ok;
}

} // namespace vocaset::cli
