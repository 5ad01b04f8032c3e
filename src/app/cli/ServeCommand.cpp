#include "ServeCommand.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QCommandLineParser>
#include <QFile>
#include <QHostAddress>
#include <QThread>

#include "DbCommands.h"
#include "PhoneFileSource.h"
#include "ProvisioningServer.h"

namespace vocaset::cli {
namespace {

const QString kUsage = QStringLiteral(
    "[--listen ADDR:PORT] [--tls-cert FILE --tls-key FILE] [--threads N] [--max-connections N] [--timeout S]\n"
    "  --listen ADDR:PORT    address and port to listen on (default 127.0.0.1:8080; [::1]:8080 for IPv6)\n"
    "  --tls-cert FILE       PEM certificate (chain); with --tls-key the server speaks HTTPS only\n"
    "  --tls-key FILE        PEM private key of the certificate\n"
    "  --threads N           server threads, each with its own database connection (default: one per core, at least "
    "2)\n"
    "  --max-connections N   open connections at most (default 4096)\n"
    "  --timeout S           an idle connection is closed after S seconds (default 30)\n"
    "GET or HEAD of cfgMAC (GXP2000), MAC.txt (PAP2) or utMAC.ini (F1000), in any folder, answers the file the\n"
    "generation writes for the telephone with that MAC, at the levels of the model's $$DEFGEN setting plus the\n"
    "telephone level. A $$PROVAUTH setting row of a company (SY_VALUE the password) puts its files behind HTTP\n"
    "Digest authentication with the telephone's MAC in upper case as the user name.\n"
    "Standard output: one line per request (time UTC, client, method, path, company, telephone, status, bytes,\n"
    "milliseconds), preceded by a line for each refused telephone or conflict. SIGINT or SIGTERM stops the server\n"
    "once the requests in flight are answered; exit 0.");

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

// "ADDR:PORT", "[v6]:PORT" or ":PORT" (the default address).
bool parseListen(const QString& text, ServerOptions& options)
{
    const qsizetype colon = text.lastIndexOf(u':');
    if (colon < 0)
        return false;
    QString host = text.left(colon);
    if (host.startsWith(u'[') && host.endsWith(u']'))
        host = host.mid(1, host.size() - 2);
    bool ok = false;
    const uint port = text.mid(colon + 1).toUInt(&ok);
    if (!ok || port > 65535)
        return false;
    if (!host.isEmpty() && host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) != 0 &&
        QHostAddress(host).isNull())
        return false;
    if (!host.isEmpty())
        options.address = host;
    options.port = quint16(port);
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
    const QCommandLineOption timeout(QStringLiteral("timeout"), {}, QStringLiteral("S"));
    parser.addOptions({listen, cert, key, threads, maxConnections, timeout});
    if (const auto done = parseCommandLine(ctx, *this, parser, arguments, kUsage))
        return *done;

    ServerOptions options;
    options.threads = qMax(2, QThread::idealThreadCount());
    if (parser.isSet(listen) && !parseListen(parser.value(listen), options)) {
        ctx.err << QStringLiteral("--listen takes ADDR:PORT, such as 127.0.0.1:8080 or [::1]:8080") << Qt::endl;
        return Usage;
    }
    const auto positive = [&](const QCommandLineOption& option, int& into, int most) {
        if (!parser.isSet(option))
            return true;
        bool ok = false;
        const int n = parser.value(option).toInt(&ok);
        if (!ok || n < 1 || n > most) {
            ctx.err << u"--" << option.names().first() << QStringLiteral(" takes a number from 1 to ") << most
                    << Qt::endl;
            return false;
        }
        into = n;
        return true;
    };
    if (!positive(threads, options.threads, 256) || !positive(maxConnections, options.connectionLimit, 100000) ||
        !positive(timeout, options.idleTimeoutSeconds, 86400))
        return Usage;
    if (parser.isSet(cert) != parser.isSet(key)) {
        ctx.err << QStringLiteral("--tls-cert and --tls-key go together") << Qt::endl;
        return Usage;
    }
    for (const auto& [option, into] : {std::pair{&cert, &options.tlsCertificate}, std::pair{&key, &options.tlsKey}}) {
        if (!parser.isSet(*option))
            continue;
        QFile file(parser.value(*option));
        if (!file.open(QIODevice::ReadOnly)) {
            ctx.err << file.fileName() << QStringLiteral(": ") << file.errorString() << Qt::endl;
            return Usage;
        }
        *into = file.readAll();
    }

    if (const auto failed = ctx.start())
        return *failed;
    if (!ctx.allowed(QStringLiteral("GenConf")))
        return RunFailed;
    // Each server thread opens the working database anew, as the start-up named it.
    NullRunLog quiet;
    Startup settings(*ctx.session, ctx.settingsPath, quiet);
    if (!settings.readSettings())
        return Usage;
    const QString connection = settings.workingConnection();
    if (const QString note = PhoneFileSource::prepareDatabase(ctx.session->db); !note.isEmpty())
        ctx.err << note << Qt::endl;
    const QString language = ctx.session->language;

    StopSignals stopSignals;
    if (!stopSignals.installed()) {
        ctx.err << QStringLiteral("Cannot watch SIGINT and SIGTERM") << Qt::endl;
        return RunFailed;
    }
    allowDescriptors(options.connectionLimit);
    ProvisioningServer server(
        options, [connection, language] { return std::make_unique<PhoneFileSource>(connection, language); }, *ctx.log);
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
    stopSignals.wait();
    ctx.err << QStringLiteral("Stopping: answering the requests in flight") << Qt::endl;
    server.stop();
    ctx.err << QStringLiteral("Stopped") << Qt::endl;
    return Ok;
}

} // namespace vocaset::cli
