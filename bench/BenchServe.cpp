// Times vocaset-cli serve on a SQLite database of 10 000 telephones: keep-alive clients fetching random
// telephones' files for a while (responses per second, median and 99th-percentile latency), then the
// same while 1 000 idle connections are open, the same again with the company's files behind Digest
// (every answer valid), then a second client's latency while one address holds its connection cap,
// and the server's peak memory. The server runs as its own process, so its figures are its own; the
// clients share one epoll loop here. Each client connects from a loopback address of its own
// (127.0.1.x, 127.0.2.x), as telephones would from theirs. Between these, the F1000 writer's files and
// then the same files from a template of the F1000 layout, the two rates set side by side.
//
// With --database, the same on another database (a connection string to an empty PostgreSQL
// database), and with --delay-us the server reaches it through a relay that holds each round trip
// that long, as a database across a network would; a database that holds telephones already is
// used as it is. The database statements per request come from the server's metrics.
//
// With --flood, only this: known telephones fetching beside as many clients flooding the server with
// requests of random unknown MACs, the lobby recorded against not (serve --no-lobby).
//
// With --nginx, only this: the server against Debian's nginx serving the same files, in turn.
//
// bench_serve [--phones N] [--clients N] [--seconds S] [--idle N] [--threads N] [--database CONN]
//             [--delay-us US] [--cli PATH] [--flood] [--nginx]
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QProcess>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>

#include "BenchData.h"
#include "Database.h"
#include "DelayRelay.h"
#include "ModelTemplates.h"
#include "Sql.h"
#include "Version.h"

using namespace vocaset;

namespace {

QTextStream out(stdout);

using bench::option;

// A loopback address of its own for client n of a group (127.0.group.n).
quint32 loopback(int group, int n)
{
    return (127u << 24) | (quint32(group) << 16) | (quint32(n / 250) << 8) | quint32(n % 250 + 1);
}

// A connected, non-blocking socket from the given source address (0: the system's choice).
int connectTo(quint16 port, quint32 from = 0)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd >= 0 && from != 0) {
        sockaddr_in source{};
        source.sin_family = AF_INET;
        source.sin_addr.s_addr = htonl(from);
        ::bind(fd, reinterpret_cast<const sockaddr*>(&source), sizeof source);
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd < 0 || ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        if (fd >= 0)
            ::close(fd);
        return -1;
    }
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    ::fcntl(fd, F_SETFL, O_NONBLOCK);
    return fd;
}

// One keep-alive client: one request at a time on its connection. With Digest it answers the
// last challenge it got, counting up.
struct Client
{
    int fd = -1;
    QByteArray in;
    qint64 sentAt = 0;
    QByteArray nonce;
    QByteArray opaque;
    int nc = 0;
};

QByteArray md5Hex(const QByteArray& text)
{
    return QCryptographicHash::hash(text, QCryptographicHash::Md5).toHex();
}

// The value of a parameter of a WWW-Authenticate header.
QByteArray challengeValue(const QByteArray& header, const QByteArray& name)
{
    const QByteArray key = name + "=\"";
    const qsizetype at = header.indexOf(key);
    if (at < 0)
        return {};
    const qsizetype from = at + key.size();
    return header.mid(from, header.indexOf('"', from) - from);
}

const QByteArray kRealmText = "Vocaset provisioning";
const QByteArray kPassword = "bench secret";

// The Authorization header line for a telephone's file ("cfg" + MAC, the MAC being the user).
QByteArray authorization(const QByteArray& name, const QByteArray& nonce, const QByteArray& opaque, int count,
                         const QByteArray& password)
{
    const QByteArray user = name.mid(3);
    const QByteArray nc = QByteArray::number(count, 16).rightJustified(8, '0');
    const QByteArray ha1 = md5Hex(user + ':' + kRealmText + ':' + password);
    const QByteArray ha2 = md5Hex("GET:/" + name);
    const QByteArray response = md5Hex(ha1 + ':' + nonce + ':' + nc + ":bench:auth:" + ha2);
    return "Authorization: Digest username=\"" + user + "\", realm=\"" + kRealmText + "\", nonce=\"" + nonce +
           "\", uri=\"/" + name + "\", algorithm=MD5, response=\"" + response + "\", opaque=\"" + opaque +
           "\", qop=auth, nc=" + nc + ", cnonce=\"bench\"\r\n";
}

struct Figures
{
    qint64 responses = 0;
    qint64 failures = 0;
    qint64 challenges = 0;
    double seconds = 0;
    std::vector<qint64> latenciesUs;

    double percentile(double p)
    {
        if (latenciesUs.empty())
            return 0;
        const size_t at = std::min(latenciesUs.size() - 1, size_t(p * double(latenciesUs.size())));
        std::nth_element(latenciesUs.begin(), latenciesUs.begin() + qsizetype(at), latenciesUs.end());
        return double(latenciesUs[at]) / 1000.0;
    }
};

// The length of a complete reply at the start of the buffer, or 0 while it is incomplete.
qsizetype replyLength(const QByteArray& in, int* status)
{
    const qsizetype end = in.indexOf("\r\n\r\n");
    if (end < 0)
        return 0;
    *status = in.mid(9, 3).toInt();
    const QByteArray head = in.left(end).toLower();
    const qsizetype at = head.indexOf("content-length:");
    const qsizetype length = at < 0 ? 0 : head.mid(at + 15, head.indexOf('\r', at) - at - 15).trimmed().toLongLong();
    return in.size() >= end + 4 + length ? end + 4 + length : 0;
}

// flooders: more clients beside, each from an address of its own, asking for files of random MACs no
// telephone has; their answers are counted in *flood.
Figures drive(quint16 port, const QList<QByteArray>& targets, int clients, int seconds, bool digest = false,
              int flooders = 0, Figures* flood = nullptr)
{
    Figures f;
    const int poller = ::epoll_create1(EPOLL_CLOEXEC);
    std::vector<Client> all(static_cast<size_t>(clients + flooders));
    QRandomGenerator random(42);
    QElapsedTimer clock;
    clock.start();
    const auto send = [&](Client& c) {
        const bool flooding = &c - all.data() >= clients;
        const QByteArray name = flooding ? "cfg02" + QByteArray::number(random.generate64() & 0xffffffffffULL, 16)
                                                         .rightJustified(10, '0')
                                         : targets.at(random.bounded(int(targets.size())));
        QByteArray request = "GET /" + name + " HTTP/1.1\r\nHost: 127.0.0.1\r\n";
        if (digest && !c.nonce.isEmpty())
            request += authorization(name, c.nonce, c.opaque, ++c.nc, kPassword);
        request += "\r\n";
        c.sentAt = clock.nsecsElapsed();
        return ::send(c.fd, request.constData(), size_t(request.size()), MSG_NOSIGNAL) == request.size();
    };
    for (size_t i = 0; i < all.size(); ++i) {
        all[i].fd = connectTo(port, int(i) < clients ? loopback(1, int(i)) : loopback(3, int(i) - clients));
        epoll_event event{};
        event.events = EPOLLIN;
        event.data.u64 = i;
        ::epoll_ctl(poller, EPOLL_CTL_ADD, all[i].fd, &event);
        send(all[i]);
    }
    const qint64 end = qint64(seconds) * 1000000000;
    epoll_event events[128];
    char buffer[65536];
    while (clock.nsecsElapsed() < end) {
        const int n = ::epoll_wait(poller, events, 128, 100);
        for (int e = 0; e < n; ++e) {
            Client& c = all[events[e].data.u64];
            ssize_t got;
            while ((got = ::recv(c.fd, buffer, sizeof buffer, 0)) > 0)
                c.in.append(buffer, got);
            int status = 0;
            const qsizetype length = replyLength(c.in, &status);
            if (length == 0)
                continue;
            if (status == 401 && digest) {
                // A challenge (the first, or a stale nonce): answered from the next request on.
                const QByteArray head = c.in.left(length);
                c.nonce = challengeValue(head, "nonce");
                c.opaque = challengeValue(head, "opaque");
                c.nc = 0;
                ++f.challenges;
            } else if (&c - all.data() >= clients) {
                flood->latenciesUs.push_back((clock.nsecsElapsed() - c.sentAt) / 1000);
                ++flood->responses;
            } else {
                f.latenciesUs.push_back((clock.nsecsElapsed() - c.sentAt) / 1000);
                ++(status == 200 ? f.responses : f.failures);
            }
            c.in.remove(0, length);
            send(c);
        }
    }
    f.seconds = double(clock.nsecsElapsed()) / 1e9;
    if (flood)
        flood->seconds = f.seconds;
    for (Client& c : all)
        ::close(c.fd);
    ::close(poller);
    return f;
}

QByteArray roundTrip(int fd, const QByteArray& request, int* status);

// The sum of a metric's samples (every status of the requests' counter) in a /metrics text.
double metricSum(const QByteArray& text, const QByteArray& name)
{
    double sum = 0;
    for (const QByteArray& line : text.split('\n')) {
        if (line.startsWith(QByteArray(name + ' ')) || line.startsWith(QByteArray(name + '{')))
            sum += line.mid(line.lastIndexOf(' ') + 1).toDouble();
    }
    return sum;
}

// The server's counts of requests and database statements so far.
std::pair<double, double> statementCounts(quint16 metricsPort)
{
    int status = 0;
    const int fd = connectTo(metricsPort);
    QByteArray reply = roundTrip(fd, "GET /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n", &status);
    if (fd >= 0)
        ::close(fd);
    return {metricSum(reply, "vocaset_serve_requests_total"),
            metricSum(reply, "vocaset_serve_database_statements_total")};
}

// The figures of one phase; the server's CPU time shows what a response costs whatever else the
// machine is doing.
void report(const QString& title, Figures f, double serverCpuSeconds)
{
    out << title
        << QStringLiteral(": %1 responses in %2 s = %3 responses/s, median %4 ms, 99th percentile %5 ms, "
                          "%6 failed, %9 challenges; server CPU %7 s = %8 responses per CPU second")
               .arg(f.responses)
               .arg(f.seconds, 0, 'f', 1)
               .arg(double(f.responses) / f.seconds, 0, 'f', 0)
               .arg(f.percentile(0.5), 0, 'f', 2)
               .arg(f.percentile(0.99), 0, 'f', 2)
               .arg(f.failures)
               .arg(serverCpuSeconds, 0, 'f', 1)
               .arg(double(f.responses) / qMax(serverCpuSeconds, 0.01), 0, 'f', 0)
               .arg(f.challenges)
        << Qt::endl;
}

QString loadAverage()
{
    QFile load(QStringLiteral("/proc/loadavg"));
    return load.open(QIODevice::ReadOnly) ? QString::fromLatin1(load.readAll().split(' ').first())
                                          : QStringLiteral("?");
}

// The CPU seconds of the other sessions on a PostgreSQL server of this machine, by process.
QHash<qint64, double> sessionCpuSeconds(Database& db)
{
    QHash<qint64, double> seconds;
    if (!db.isOpen())
        return seconds;
    const Recordset sessions =
        db.execute(QStringLiteral("SELECT pid FROM pg_stat_activity WHERE datname = current_database() "
                                  "AND pid <> pg_backend_pid()"));
    for (const QVariantList& row : sessions.rows())
        seconds.insert(row.at(0).toLongLong(), bench::cpuSecondsOf(row.at(0).toLongLong()));
    return seconds;
}

long peakKilobytesOf(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return -1;
}

// Sends a request on a blocking exchange and reads its reply (5 s at most); the reply's head and
// status, or status 0.
QByteArray roundTrip(int fd, const QByteArray& request, int* status)
{
    QByteArray in;
    *status = 0;
    if (fd < 0 || ::send(fd, request.constData(), size_t(request.size()), MSG_NOSIGNAL) != request.size())
        return in;
    pollfd p{fd, POLLIN, 0};
    char buffer[4096];
    while (replyLength(in, status) == 0 && ::poll(&p, 1, 5000) > 0) {
        const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
        if (got <= 0) {
            *status = 0;
            break;
        }
        in.append(buffer, got);
    }
    return in;
}

// One address opens connections until the server refuses more and sends none of them a whole
// request; meanwhile a client from another address fetches files, a new connection each time.
void capPhase(quint16 port, const QList<QByteArray>& targets, int seconds)
{
    std::vector<int> held;
    const QByteArray part = "GET /" + targets.first() + " HTTP/1.1\r\nHost: 1";
    for (int i = 0; i < 200; ++i) {
        const int fd = connectTo(port, loopback(3, 0));
        if (fd < 0)
            break;
        ::send(fd, part.constData(), size_t(part.size()), MSG_NOSIGNAL);
        held.push_back(fd);
    }
    QThread::msleep(200);
    int open = 0;
    for (int fd : held) {
        char byte;
        const ssize_t got = ::recv(fd, &byte, 1, MSG_DONTWAIT);
        open += got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    }
    Figures f;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < qint64(seconds) * 1000) {
        const qint64 start = clock.nsecsElapsed();
        const int fd = connectTo(port, loopback(3, 1));
        int status = 0;
        roundTrip(fd,
                  "GET /" + targets.at(int(f.responses + f.failures) % targets.size()) +
                      " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n",
                  &status);
        if (fd >= 0)
            ::close(fd);
        ++(status == 200 ? f.responses : f.failures);
        if (status == 200)
            f.latenciesUs.push_back((clock.nsecsElapsed() - start) / 1000);
    }
    for (int fd : held)
        ::close(fd);
    const qint64 slowest = f.latenciesUs.empty() ? 0 : *std::max_element(f.latenciesUs.begin(), f.latenciesUs.end());
    out << QStringLiteral("One address holding %1 of %2 connections it opened; a second address, a new connection "
                          "per file: %3 answers, median %4 ms, 99th percentile %5 ms, slowest %6 ms, %7 failed")
               .arg(open)
               .arg(held.size())
               .arg(f.responses)
               .arg(f.percentile(0.5), 0, 'f', 2)
               .arg(f.percentile(0.99), 0, 'f', 2)
               .arg(double(slowest) / 1000, 0, 'f', 2)
               .arg(f.failures)
        << Qt::endl;
}

// Wrong Digest answers for a telephone's MAC and for a MAC no telephone has, in turn on one
// connection: the time taken should not tell them apart. A new address every 8 answers stays under
// the lock-out.
void lookAlikePhase(quint16 port, const QByteArray& known, int answers)
{
    const QByteArray unknown = "cfg0000000000FF";
    Figures f[2];
    for (int address = 0; f[0].latenciesUs.size() < size_t(answers); ++address) {
        const int fd = connectTo(port, loopback(4, address));
        int status = 0;
        const QByteArray head = roundTrip(fd, "GET /" + known + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", &status);
        const QByteArray nonce = challengeValue(head, "nonce");
        for (int i = 0; i < 8 && status == 401; ++i) {
            const QByteArray& name = i % 2 ? unknown : known;
            QElapsedTimer clock;
            clock.start();
            roundTrip(fd,
                      "GET /" + name + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" +
                          authorization(name, nonce, challengeValue(head, "opaque"), i + 1, "guess") + "\r\n",
                      &status);
            f[i % 2].latenciesUs.push_back(clock.nsecsElapsed() / 1000);
        }
        if (fd >= 0)
            ::close(fd);
        if (status != 401) {
            out << QStringLiteral("A wrong answer got %1 instead of 401").arg(status) << Qt::endl;
            return;
        }
    }
    out << QStringLiteral("Wrong Digest answers, %1 each: a telephone's MAC median %2 ms, 90th percentile %3 ms; a "
                          "MAC without a telephone median %4 ms, 90th percentile %5 ms")
               .arg(answers)
               .arg(f[0].percentile(0.5), 0, 'f', 3)
               .arg(f[0].percentile(0.9), 0, 'f', 3)
               .arg(f[1].percentile(0.5), 0, 'f', 3)
               .arg(f[1].percentile(0.9), 0, 'f', 3)
        << Qt::endl;
}

} // namespace

// Two sides' mean rates and 99th percentiles set side by side, the first's rate as a share of the second's.
static void compare(const QString& title, double rate, double against, double p99, double p99Against)
{
    out << title
        << QStringLiteral(": %1 against %2 responses/s (%3 %), p99 %4 against %5 ms")
               .arg(rate, 0, 'f', 0)
               .arg(against, 0, 'f', 0)
               .arg(100 * rate / qMax(against, 0.01), 0, 'f', 1)
               .arg(p99, 0, 'f', 2)
               .arg(p99Against, 0, 'f', 2)
        << Qt::endl;
}

// Known telephones fetching beside a flood of unknown MACs at full speed, with the lobby recorded and
// without (serve --no-lobby), in turn, twice each: the known telephones' rate and latency, the lobby's
// rows after each flood, the server's peak memory.
template <typename Start>
int floodRun(const Start& startServer, quint16 port, const QString& connection, const QList<QByteArray>& targets,
             int clients, int seconds)
{
    const int flooders = clients;
    double rate[2] = {0, 0};
    double p99[2] = {0, 0};
    for (int round = 0; round < 2; ++round) {
        for (int lobby = 1; lobby >= 0; --lobby) {
            {
                Database db;
                db.open(connection);
                if (!db.columns(QStringLiteral("PHONE_LOBBY")).isEmpty())
                    db.execute(QStringLiteral("DELETE FROM PHONE_LOBBY"));
            }
            QProcess server;
            if (!startServer(server, lobby ? QStringList() : QStringList{QStringLiteral("--no-lobby")}))
                return 1;
            Figures flood;
            Figures f = drive(port, targets, clients, seconds, false, flooders, &flood);
            const long peak = peakKilobytesOf(server.processId());
            server.terminate();
            server.waitForFinished(15000);
            Database db;
            db.open(connection);
            const int rows = db.columns(QStringLiteral("PHONE_LOBBY")).isEmpty()
                                 ? 0
                                 : db.execute(QStringLiteral("SELECT COUNT(*) FROM PHONE_LOBBY")).text(0).toInt();
            const double known = double(f.responses) / f.seconds;
            rate[lobby] += known / 2;
            p99[lobby] += f.percentile(0.99) / 2;
            out << QStringLiteral("lobby %1: %2 known clients %3 responses/s (p50 %4 ms, p99 %5 ms, %6 failed) beside "
                                  "%7 flooding clients %8 responses/s; lobby rows after %9 s: %10 (cap %11); server "
                                  "peak memory %12 MB")
                       .arg(lobby ? QStringLiteral("on ") : QStringLiteral("off"))
                       .arg(clients)
                       .arg(known, 0, 'f', 0)
                       .arg(f.percentile(0.5), 0, 'f', 2)
                       .arg(f.percentile(0.99), 0, 'f', 2)
                       .arg(f.failures)
                       .arg(flooders)
                       .arg(double(flood.responses) / flood.seconds, 0, 'f', 0)
                       .arg(seconds)
                       .arg(rows)
                       .arg(10000)
                       .arg(double(peak) / 1024, 0, 'f', 1)
                << Qt::endl;
        }
    }
    compare(QStringLiteral("Known telephones beside the flood, lobby on against off"), rate[1], rate[0], p99[1], p99[0]);
    return 0;
}

// The CPU seconds of a process and of its children that still run (nginx's workers).
double treeCpuSeconds(qint64 pid)
{
    double seconds = bench::cpuSecondsOf(pid);
    QFile children(QStringLiteral("/proc/%1/task/%1/children").arg(pid));
    if (children.open(QIODevice::ReadOnly)) {
        for (const QByteArray& child : children.readAll().simplified().split(' '))
            if (!child.isEmpty())
                seconds += bench::cpuSecondsOf(child.toLongLong());
    }
    return seconds;
}

// The server against a static file server, Debian's nginx with as many workers as the server has
// threads, serving the bytes the server sent for each name, in turn, twice each, with the same
// clients: each one's rate, latency and CPU per answer, and the server's share of nginx's rate.
template <typename Start>
int nginxRun(const Start& startServer, quint16 port, const QList<QByteArray>& targets, int clients, int seconds,
             int threads, const QString& folder)
{
    const QString nginx = QStringLiteral("/usr/sbin/nginx");
    if (!QFile::exists(nginx)) {
        out << QStringLiteral("--nginx needs Debian's nginx (apt-get install nginx-light)") << Qt::endl;
        return 1;
    }
    QProcess server;
    if (!startServer(server, {}))
        return 1;
    // Every file as the server sends it now, under its own name.
    const QString www = folder + QStringLiteral("/www");
    QDir().mkpath(www);
    const int fd = connectTo(port);
    for (const QByteArray& target : targets) {
        int status = 0;
        const QByteArray reply = roundTrip(fd, "GET /" + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", &status);
        QFile file(www + u'/' + QString::fromLatin1(target));
        if (status != 200 || !file.open(QIODevice::WriteOnly)) {
            out << QStringLiteral("%1 was not served (status %2)").arg(QString::fromLatin1(target)).arg(status)
                << Qt::endl;
            return 1;
        }
        file.write(reply.mid(reply.indexOf("\r\n\r\n") + 4));
    }
    if (fd >= 0)
        ::close(fd);
    quint16 staticPort = 0;
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        staticPort = probe.serverPort();
    }
    // Its workers read the files as another user: the folders on the way must let them.
    for (const QString& f : {folder, www})
        QFile::setPermissions(f, QFile::permissions(f) | QFileDevice::ReadOther | QFileDevice::ExeOther);
    QFile conf(folder + QStringLiteral("/nginx.conf"));
    if (!conf.open(QIODevice::WriteOnly))
        return 1;
    const QByteArray prefix = folder.toUtf8();
    conf.write("daemon off;\nmaster_process on;\nworker_processes " + QByteArray::number(threads) +
               ";\npid " + prefix + "/nginx.pid;\nerror_log " + prefix +
               "/nginx-error.log;\nevents { worker_connections 4096; }\nhttp {\n access_log off;\n"
               " client_body_temp_path " + prefix + "/body;\n proxy_temp_path " + prefix + "/proxy;\n"
               " fastcgi_temp_path " + prefix + "/fastcgi;\n uwsgi_temp_path " + prefix + "/uwsgi;\n"
               " scgi_temp_path " + prefix + "/scgi;\n keepalive_requests 100000000;\n keepalive_timeout 600s;\n"
               " default_type application/octet-stream;\n server {\n  listen 127.0.0.1:" +
               QByteArray::number(staticPort) + ";\n  root " + www.toUtf8() + ";\n }\n}\n");
    conf.close();
    QProcess files;
    files.setProcessChannelMode(QProcess::MergedChannels);
    files.start(nginx, {QStringLiteral("-p"), folder, QStringLiteral("-c"), conf.fileName()});
    int probe = -1;
    for (int tries = 0; tries < 200 && (probe = connectTo(staticPort)) < 0; ++tries)
        QThread::msleep(25);
    if (probe < 0) {
        out << QStringLiteral("nginx did not start: ") << files.readAll() << Qt::endl;
        return 1;
    }
    ::close(probe);
    out << QStringLiteral("Machine load average before the run: ") << loadAverage() << Qt::endl;
    double rate[2] = {0, 0};
    double p99[2] = {0, 0};
    for (int round = 0; round < 2; ++round) {
        for (int side = 0; side < 2; ++side) {
            const qint64 pid = side == 0 ? server.processId() : files.processId();
            const double cpu = treeCpuSeconds(pid);
            Figures f = drive(side == 0 ? port : staticPort, targets, clients, seconds);
            report(side == 0 ? QStringLiteral("vocaset serve") : QStringLiteral("nginx, the same files"), f,
                   treeCpuSeconds(pid) - cpu);
            rate[side] += double(f.responses) / f.seconds / 2;
            p99[side] += f.percentile(0.99) / 2;
        }
    }
    compare(QStringLiteral("The server against nginx on the same files"), rate[0], rate[1], p99[0], p99[1]);
    files.terminate();
    files.waitForFinished(5000);
    server.terminate();
    server.waitForFinished(15000);
    return 0;
}

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const int phones = option(args, QStringLiteral("--phones"), 10000);
    const int clients = option(args, QStringLiteral("--clients"), 64);
    const int seconds = option(args, QStringLiteral("--seconds"), 20);
    const int idle = option(args, QStringLiteral("--idle"), 1000);
    const int threads = option(args, QStringLiteral("--threads"), qMax(2, QThread::idealThreadCount()));
    rlimit limit{};
    ::getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);

    const qsizetype databaseAt = args.indexOf(QStringLiteral("--database"));
    const QString external = databaseAt >= 0 ? args.value(databaseAt + 1) : QString();
    const int delayUs = option(args, QStringLiteral("--delay-us"), 0);

    QTemporaryDir dir;
    const QString connection =
        external.isEmpty() ? QStringLiteral("Provider=SQLite;Data Source=") + dir.filePath(QStringLiteral("serve.db"))
                           : external;
    // The server's way to the database: through the relay when there is a delay to add.
    QString served = connection;
    std::unique_ptr<DelayRelay> relay;
    if (delayUs > 0) {
        const ConnectionString cs(connection);
        if (!cs.has(QStringLiteral("Port"))) {
            out << QStringLiteral("--delay-us needs a --database with Host and Port") << Qt::endl;
            return 1;
        }
        relay = std::make_unique<DelayRelay>(quint16(cs.value(QStringLiteral("Port")).toUInt()),
                                             std::chrono::microseconds(delayUs));
        if (relay->port() == 0) {
            out << QStringLiteral("The relay did not start: ") << relay->error() << Qt::endl;
            return 1;
        }
        served = relay->connectionThrough(connection);
    }
    QElapsedTimer built;
    built.start();
    QList<QByteArray> targets;
    QString templateName = QStringLiteral("tpl%1.ini");
    {
        Database db;
        db.open(connection);
        // A database that holds the data set already (a copy of one built before) is used as it is.
        bool built = false;
        try {
            built = db.execute(QStringLiteral("SELECT COUNT(*) FROM PHONES")).text(0).toInt() > 0;
        } catch (const DbError&) {
        }
        if (!built) {
            bench::buildDataSet(db, phones);
            db.execute(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('$$BASEVER', '$', '") +
                       sqlText(programVersion()) + QStringLiteral("')"));
            db.execute(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('AUTHM', '*', '*')"));
        }
        if (!ModelTemplates::read(db, bench::kModel, QStringLiteral("config")))
            templateName = bench::addF1000Template(db);
        db.execute(QStringLiteral("DELETE FROM SYSTEM_PARAMETERS WHERE SY_SUBCODE = '$$PROVAUTH'"));
        const Recordset macs = db.execute(QStringLiteral("SELECT PH_MAC FROM PHONES"));
        for (const QVariantList& row : macs.rows())
            targets.append("cfg" + row.at(0).toString().toLatin1());
    }
    out << QStringLiteral("%1 telephones x 150 parameters on %2, built in %3 s; server with %4 threads%5")
               .arg(targets.size())
               .arg(external.isEmpty() ? QStringLiteral("SQLite") : ConnectionString::masked(external))
               .arg(double(built.elapsed()) / 1000, 0, 'f', 1)
               .arg(threads)
               .arg(relay ? QStringLiteral(", %1 us added per round trip to the database").arg(delayUs) : QString())
        << Qt::endl;

    QFile settings(dir.filePath(QStringLiteral("ParamDB.txt")));
    if (!settings.open(QIODevice::WriteOnly))
        return 1;
    settings.write(served.toUtf8() + "\r\n");
    settings.close();
    quint16 port = 0;
    quint16 metricsPort = 0;
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        QTcpServer another;
        another.listen(QHostAddress::LocalHost, 0);
        port = probe.serverPort();
        metricsPort = another.serverPort();
    }
    // --cli runs another build's server on the same data, to set two builds side by side.
    const qsizetype cliAt = args.indexOf(QStringLiteral("--cli"));
    const auto startServer = [&](QProcess& process, const QStringList& extra) {
        process.setStandardOutputFile(dir.filePath(QStringLiteral("access.log")));
        process.setProcessChannelMode(QProcess::SeparateChannels);
        process.start(cliAt >= 0 ? args.value(cliAt + 1) : QStringLiteral(VOCASET_CLI),
                      QStringList{QStringLiteral("--settings"), settings.fileName(), QStringLiteral("serve"),
                                  QStringLiteral("--listen"), QStringLiteral("127.0.0.1:%1").arg(port),
                                  QStringLiteral("--threads"), QString::number(threads), QStringLiteral("--metrics"),
                                  QStringLiteral("127.0.0.1:%1").arg(metricsPort)} +
                          extra);
        int probe = -1;
        for (int tries = 0; tries < 200 && (probe = connectTo(port)) < 0; ++tries)
            QThread::msleep(25);
        if (probe < 0) {
            out << QStringLiteral("The server did not start: ") << process.readAllStandardError() << Qt::endl;
            return false;
        }
        ::close(probe);
        return true;
    };
    if (args.contains(QStringLiteral("--flood")))
        return floodRun(startServer, port, connection, targets, clients, seconds);
    if (args.contains(QStringLiteral("--nginx")))
        return nginxRun(startServer, port, targets, clients, seconds, threads, dir.path());
    QProcess server;
    if (!startServer(server, {}))
        return 1;

    out << QStringLiteral("Machine load average before the run: ") << loadAverage() << Qt::endl;
    double cpu = bench::cpuSecondsOf(server.processId());
    // On a PostgreSQL server of this machine, its sessions for the server process work for it too.
    Database watcher;
    if (!external.isEmpty())
        watcher.open(connection);
    std::vector<std::pair<double, double>> rates; // each phase's responses per second and per server CPU second
    const auto phase = [&](const QString& title, int phaseSeconds, bool digest = false,
                           const QList<QByteArray>& names = {}) {
        const auto [requests, statements] = statementCounts(metricsPort);
        const QHash<qint64, double> sessions = sessionCpuSeconds(watcher);
        const Figures f = drive(port, names.isEmpty() ? targets : names, clients, phaseSeconds, digest);
        const double now = bench::cpuSecondsOf(server.processId());
        report(title, f, now - cpu);
        rates.push_back({double(f.responses) / f.seconds, double(f.responses) / qMax(now - cpu, 0.01)});
        const auto [requestsAfter, statementsAfter] = statementCounts(metricsPort);
        out << QStringLiteral("  database statements per request: %1")
                   .arg((statementsAfter - statements) / qMax(1.0, requestsAfter - requests), 0, 'f', 2);
        if (watcher.isOpen()) {
            double used = 0;
            for (const auto& [pid, seconds] : sessionCpuSeconds(watcher).asKeyValueRange())
                used += seconds - sessions.value(pid);
            out << QStringLiteral("; database sessions' CPU %1 s, %2 responses per CPU second of server and "
                                  "database together")
                       .arg(used, 0, 'f', 1)
                       .arg(double(f.responses) / qMax(now - cpu + used, 0.01), 0, 'f', 0);
        }
        out << Qt::endl;
        cpu = now;
    };
    phase(QStringLiteral("%1 keep-alive clients").arg(clients), seconds);

    std::vector<int> held;
    for (int i = 0; i < idle; ++i) {
        const int fd = connectTo(port, loopback(2, i / 20)); // 20 from each address, under its cap
        if (fd >= 0)
            held.push_back(fd);
    }
    phase(QStringLiteral("%1 keep-alive clients beside %2 idle connections").arg(clients).arg(held.size()),
          qMax(1, seconds / 4));
    // Idle connections that the server still holds: a read would see its close (0) at once otherwise.
    int open = 0;
    for (int fd : held) {
        char byte;
        const ssize_t got = ::recv(fd, &byte, 1, MSG_DONTWAIT);
        open += got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
        ::close(fd);
    }
    out << QStringLiteral("Idle connections still open afterwards: %1 of %2").arg(open).arg(held.size()) << Qt::endl;

    capPhase(port, targets, qMax(2, seconds / 4));

    // The F1000 writer's files, then the same files from a template of the F1000 layout.
    const auto withModule = [&](const char* module, const QString& name) {
        Database db;
        db.open(connection);
        db.executeBound(QStringLiteral("UPDATE EQUIPMENT SET EQ_MODULE = ? WHERE EQ_CODE = ?"),
                        {QLatin1String(module), bench::kModel});
        QList<QByteArray> names;
        for (const QByteArray& target : std::as_const(targets))
            names.append(name.arg(QString::fromLatin1(target.mid(3))).toLatin1());
        return names;
    };
    // Twice each, in turn, so that a burst of other work on the machine falls on both.
    cpu = bench::cpuSecondsOf(server.processId());
    double rate[2] = {0, 0};
    double perCpu[2] = {0, 0};
    for (int round = 0; round < 2; ++round) {
        phase(QStringLiteral("%1 keep-alive clients, F1000 writer").arg(clients), qMax(1, seconds / 4), false,
              withModule("F1000", QStringLiteral("ut%1.ini")));
        phase(QStringLiteral("%1 keep-alive clients, template of the F1000 layout").arg(clients), qMax(1, seconds / 4),
              false, withModule(kTemplateModule, templateName));
        for (int i = 0; i < 2; ++i) {
            rate[i] += rates.at(rates.size() - 2 + i).first;
            perCpu[i] += rates.at(rates.size() - 2 + i).second;
        }
    }
    out << QStringLiteral("Template against the F1000 writer: %1 against %2 responses/s, the writer %3 times as "
                          "fast (%4 by server CPU)")
               .arg(rate[1] / 2, 0, 'f', 0)
               .arg(rate[0] / 2, 0, 'f', 0)
               .arg(rate[0] / qMax(rate[1], 0.01), 0, 'f', 2)
               .arg(perCpu[0] / qMax(perCpu[1], 0.01), 0, 'f', 2)
        << Qt::endl;
    withModule("GRANDSTREAM", QStringLiteral("cfg%1"));
    {
        Database db;
        db.open(connection);
        db.executeBound(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES(?, '$$PROVAUTH', ?)"),
                        {bench::kCompany, QString::fromLatin1(kPassword)});
    }
    phase(QStringLiteral("%1 keep-alive clients with Digest (each answer valid)").arg(clients), seconds, true);
    lookAlikePhase(port, targets.first(), 2000);

    out << QStringLiteral("Server peak memory: %1 MB")
               .arg(double(peakKilobytesOf(server.processId())) / 1024, 0, 'f', 1)
        << Qt::endl;
    server.terminate(); // SIGTERM
    server.waitForFinished(15000);
    out << QStringLiteral("Server exit code after SIGTERM: %1").arg(server.exitCode()) << Qt::endl;
    return server.exitCode();
}
