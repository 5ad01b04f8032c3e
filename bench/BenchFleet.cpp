// The cost of the fleet view on 10 000 telephones: the provisioning server in this process with and
// without the recording of fetches, in alternating phases of the same run (responses per second and
// 99th-percentile latency of keep-alive clients fetching random telephones' files), then the fleet's
// states computed over every telephone, each with a recorded fetch, so each file is built.
//
// bench_fleet [--phones N] [--clients N] [--seconds S] [--threads N] [--rounds N] [--server CONNECTION]
// With --server, the database is that (empty) PostgreSQL database instead of a SQLite file.
#include <algorithm>
#include <atomic>
#include <thread>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextStream>

#include "BenchData.h"
#include "Database.h"
#include "FetchRecorder.h"
#include "FleetSurvey.h"
#include "PhoneFileSource.h"
#include "ProvisioningServer.h"

using namespace vocaset;

namespace {

QTextStream out(stdout);

using bench::option;

int connectTo(quint16 port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
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
    return fd;
}

// One GET on a keep-alive connection, read to the end of its body; the status, or 0.
int get(int fd, const QByteArray& target)
{
    const QByteArray request = "GET /" + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nUser-Agent: bench\r\n\r\n";
    if (::send(fd, request.constData(), size_t(request.size()), MSG_NOSIGNAL) != request.size())
        return 0;
    QByteArray in;
    char buffer[16384];
    for (;;) {
        const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
        if (got <= 0)
            return 0;
        in.append(buffer, got);
        const qsizetype end = in.indexOf("\r\n\r\n");
        if (end < 0)
            continue;
        const qsizetype at = in.toLower().indexOf("content-length:");
        const qsizetype length = at < 0 ? 0 : in.mid(at + 15, in.indexOf('\r', at) - at - 15).trimmed().toLongLong();
        if (in.size() >= end + 4 + length)
            return in.mid(9, 3).toInt();
    }
}

struct Figures
{
    double perSecond = 0;
    double p99Ms = 0;
    int failed = 0;
};

Figures drive(quint16 port, const QList<QByteArray>& targets, int clients, int seconds)
{
    std::vector<std::thread> threads;
    std::vector<std::vector<double>> latencies(static_cast<size_t>(clients));
    std::atomic<int> failed{0};
    QElapsedTimer total;
    total.start();
    for (int c = 0; c < clients; ++c) {
        threads.emplace_back([&, c] {
            QRandomGenerator random(quint32(c + 7));
            int fd = connectTo(port);
            QElapsedTimer clock;
            clock.start();
            while (clock.elapsed() < seconds * 1000) {
                const qint64 start = clock.nsecsElapsed();
                const int status = fd < 0 ? 0 : get(fd, targets.at(random.bounded(int(targets.size()))));
                if (status != 200) {
                    ++failed;
                    if (fd >= 0)
                        ::close(fd);
                    fd = connectTo(port);
                    continue;
                }
                latencies[size_t(c)].push_back(double(clock.nsecsElapsed() - start) / 1e6);
            }
            if (fd >= 0)
                ::close(fd);
        });
    }
    for (std::thread& t : threads)
        t.join();
    std::vector<double> all;
    for (const auto& l : latencies)
        all.insert(all.end(), l.begin(), l.end());
    std::sort(all.begin(), all.end());
    Figures f;
    f.perSecond = double(all.size()) / (double(total.elapsed()) / 1000);
    f.p99Ms = all.empty() ? 0 : all[size_t(double(all.size() - 1) * 0.99)];
    f.failed = failed;
    return f;
}

} // namespace

// A line of /proc/self/status, in kB.
static long residentKilobytes(const char* field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(qstrlen(field)).trimmed().split(' ').value(0).toLong();
    }
    return 0;
}

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const int phones = option(args, QStringLiteral("--phones"), 10000);
    const int clients = option(args, QStringLiteral("--clients"), 16);
    const int seconds = option(args, QStringLiteral("--seconds"), 5);
    const int threads = option(args, QStringLiteral("--threads"), 2);
    const int rounds = std::max(1, option(args, QStringLiteral("--rounds"), 3));
    const qsizetype serverAt = args.indexOf(QStringLiteral("--server"));
    QTemporaryDir dir;
    const QString connection =
        serverAt >= 0 ? args.value(serverAt + 1)
                      : QStringLiteral("Provider=SQLite;Data Source=") + dir.filePath(QStringLiteral("fleet.db"));
    Database db;
    db.open(connection);
    bench::buildDataSet(db, phones);
    PhoneFileSource::prepareDatabase(db);
    if (const QString note = FetchTable::prepare(db); !note.isEmpty()) {
        out << note << Qt::endl;
        return 1;
    }
    QList<QByteArray> targets;
    const Recordset macs = db.execute(QStringLiteral("SELECT PH_MAC FROM PHONES"));
    for (const QVariantList& row : macs.rows())
        targets.append("cfg" + row.at(0).toString().toLatin1());
    out << QStringLiteral("%1 telephones on %2; server with %3 threads, %4 keep-alive clients, phases of %5 s")
               .arg(targets.size())
               .arg(serverAt >= 0 ? QStringLiteral("PostgreSQL") : QStringLiteral("SQLite"))
               .arg(threads)
               .arg(clients)
               .arg(seconds)
        << Qt::endl;

    NullRunLog quiet;
    const auto phase = [&](bool recording) {
        FetchRecorder recorder(connection, quiet);
        ServerOptions options;
        options.port = 0;
        options.threads = threads;
        options.perAddressLimit = 0;
        options.recorder = recording ? &recorder : nullptr;
        ProvisioningServer server(
            options,
            [connection](int bound) {
                return std::make_unique<PhoneFileSource>(connection, QStringLiteral("EN"), bound);
            },
            quiet);
        QString error;
        if (!server.start(&error)) {
            out << error << Qt::endl;
            std::exit(1);
        }
        if (recording)
            recorder.start();
        const Figures f = drive(server.port(), targets, clients, seconds);
        server.stop();
        recorder.stop();
        out << QStringLiteral("  recording %1: %2 responses/s, p99 %3 ms%4")
                   .arg(recording ? QStringLiteral("on ") : QStringLiteral("off"))
                   .arg(f.perSecond, 0, 'f', 0)
                   .arg(f.p99Ms, 0, 'f', 2)
                   .arg(f.failed ? QStringLiteral(", %1 failed").arg(f.failed) : QString())
            << Qt::endl;
        return f;
    };
    Figures off;
    Figures on;
    // Alternating phases, so that the machine's other load falls on both alike.
    for (int round = 0; round < rounds; ++round) {
        const Figures a = phase(false);
        const Figures b = phase(true);
        off.perSecond += a.perSecond / rounds;
        off.p99Ms += a.p99Ms / rounds;
        on.perSecond += b.perSecond / rounds;
        on.p99Ms += b.p99Ms / rounds;
    }
    out << QStringLiteral("Mean of the rounds: off %1/s p99 %2 ms; on %3/s p99 %4 ms; throughput %5 %, p99 %6 %")
               .arg(off.perSecond, 0, 'f', 0)
               .arg(off.p99Ms, 0, 'f', 2)
               .arg(on.perSecond, 0, 'f', 0)
               .arg(on.p99Ms, 0, 'f', 2)
               .arg((on.perSecond / off.perSecond - 1) * 100, 0, 'f', 1)
               .arg((on.p99Ms / off.p99Ms - 1) * 100, 0, 'f', 1)
        << Qt::endl;

    // Every telephone with a fetch of its own, so the survey builds every file.
    std::vector<Fetch> fetches;
    const Recordset all = db.execute(QStringLiteral("SELECT CO_CODE, PH_CODE FROM PHONES"));
    for (const QVariantList& row : all.rows())
        fetches.push_back({row.at(0).toString(), row.at(1).toString(),
                           QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzzZ")),
                           QStringLiteral("127.0.0.1"), QStringLiteral("bench"), "\"0\"", {}});
    FetchTable::write(db, fetches);
    for (int run = 0; run < 2; ++run) {
        // The survey's own peak: the process's peak resident size is set back to what it holds now.
        const long before = residentKilobytes("VmRSS:");
        QFile reset(QStringLiteral("/proc/self/clear_refs"));
        if (reset.open(QIODevice::WriteOnly))
            reset.write("5");
        reset.close();
        QElapsedTimer timer;
        timer.start();
        const double cpu = bench::cpuSecondsOf(QCoreApplication::applicationPid());
        FleetSurvey survey(db, QStringLiteral("EN"));
        const QList<FleetPhone> listed = survey.survey({});
        out << QStringLiteral("Fleet states of %1 telephones (every one fetched): %2 s, %3 s CPU, peak memory %4 MB "
                              "above the %5 MB held before (%6)")
                   .arg(listed.size())
                   .arg(double(timer.elapsed()) / 1000, 0, 'f', 2)
                   .arg(bench::cpuSecondsOf(QCoreApplication::applicationPid()) - cpu, 0, 'f', 2)
                   .arg(double(residentKilobytes("VmHWM:") - before) / 1024, 0, 'f', 1)
                   .arg(double(before) / 1024, 0, 'f', 1)
                   .arg(summaryLine(countStates(listed)))
            << Qt::endl;
    }
    return 0;
}
