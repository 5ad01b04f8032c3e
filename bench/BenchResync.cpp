// Resync of N telephones over SIP on 127.0.0.1: every telephone a user of one fake SIP endpoint in
// a thread of its own, which answers each NOTIFY with 200 and drops the first copy of every tenth
// telephone's, so those are answered only after the transaction's retransmission. Then the
// confirmation's cost on the database while the N telephones are awaited: statements sent per second
// and the time of each, while another connection records a fetch for each telephone.
//
// bench_resync [--phones N] [--wait S] [--server CONNECTION]
#include <atomic>
#include <thread>

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QSet>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

#include "BenchData.h"
#include "FetchConfirmation.h"
#include "FetchRecorder.h"
#include "Recordings.h"
#include "ResyncRun.h"
#include "Sql.h"

using namespace vocaset;

namespace {

QTextStream out(stdout);

using bench::option;

// The telephones' side: one UDP socket answering 200 to every NOTIFY but the first copy of every
// tenth call.
class SipEndpoint
{
public:
    SipEndpoint()
    {
        m_fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        socklen_t length = sizeof a;
        ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&a), &length);
        port = ntohs(a.sin_port);
        const int size = 4 << 20;
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
        m_thread = std::thread([this] { serve(); });
    }
    ~SipEndpoint()
    {
        m_stop = true;
        m_thread.join();
        ::close(m_fd);
    }
    quint16 port = 0;
    std::atomic<int> received{0};
    std::atomic<int> dropped{0};

private:
    void serve()
    {
        QSet<QByteArray> calls;
        char buffer[65536];
        while (!m_stop) {
            pollfd p{m_fd, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0)
                continue;
            sockaddr_in from{};
            socklen_t length = sizeof from;
            const ssize_t n = ::recvfrom(m_fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &length);
            if (n <= 0)
                continue;
            ++received;
            QByteArray reply = "SIP/2.0 200 OK\r\n";
            QByteArray callId;
            for (const QByteArray& line : QByteArray(buffer, n).split('\n')) {
                const QByteArray l = line.trimmed();
                if (l.startsWith("Call-ID:"))
                    callId = l;
                if (l.startsWith("Via:") || l.startsWith("From:") || l.startsWith("To:") || l.startsWith("Call-ID:") ||
                    l.startsWith("CSeq:"))
                    reply += l + "\r\n";
            }
            const bool first = !calls.contains(callId);
            calls.insert(callId);
            if (first && calls.size() % 10 == 0) {
                ++dropped;
                continue;
            }
            reply += "Content-Length: 0\r\n\r\n";
            ::sendto(m_fd, reply.constData(), size_t(reply.size()), 0, reinterpret_cast<sockaddr*>(&from), length);
        }
    }
    int m_fd = -1;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const int phones = option(args, QStringLiteral("--phones"), 1000);
    const int wait = option(args, QStringLiteral("--wait"), 5);
    const qsizetype serverAt = args.indexOf(QStringLiteral("--server"));
    QTemporaryDir dir;
    const QString connection =
        serverAt >= 0 ? args.value(serverAt + 1)
                      : QStringLiteral("Provider=SQLite;Data Source=") + dir.filePath(QStringLiteral("resync.db"));
    Database db;
    db.open(connection);
    bench::buildDataSet(db, phones);
    if (const QString note = FetchTable::prepare(db); !note.isEmpty()) {
        out << note << Qt::endl;
        return 1;
    }
    SipEndpoint endpoint;
    // The model's event and port; no address parameter, so each telephone is reached at the client
    // address of its last recorded fetch.
    const QString model = QStringLiteral("'$$") + sqlText(bench::kModel) + u'\'';
    db.execute(QStringLiteral("DELETE FROM SYSTEM_PARAMETERS WHERE SY_CODE = ") + model);
    db.execute(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES(") + model +
               QStringLiteral(", '$$NOTIFY', 'check-sync')"));
    db.execute(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES(") + model + QStringLiteral(", '$$SIPPORT', '") +
               QString::number(endpoint.port) + QStringLiteral("')"));
    db.execute(QStringLiteral("INSERT INTO PHONE_FETCHES (CO_CODE, PH_CODE, PF_TIME, PF_CLIENT, PF_AGENT, PF_ETAG) "
                              "SELECT CO_CODE, PH_CODE, '2026-01-01T00:00:00.000Z', '127.0.0.1', 'bench', '\"0\"' "
                              "FROM PHONES"));

    bench::SilentOperator op;
    Session s(db, op);
    NullRunLog log;
    ResyncRun run(s, log);
    QElapsedTimer clock;
    clock.start();
    run.run({bench::kCompany, bench::kModel, {}, {}, false, true});
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    const ResyncRun::Summary& summary = run.summary();
    out << QStringLiteral("resync of %1 telephones: %2 s, %3 accepted, %4 failed, %5 copies received, %6 first "
                          "copies dropped (answered after retransmission), %7 telephones/s")
               .arg(phones)
               .arg(seconds, 0, 'f', 2)
               .arg(summary.restarted)
               .arg(summary.failed.size())
               .arg(endpoint.received.load())
               .arg(endpoint.dropped.load())
               .arg(phones / seconds, 0, 'f', 0)
        << Qt::endl;

    // The confirmation waits for every accepted telephone while a second connection records a
    // fetch of each, a hundred every 100 ms, none of them the current file: the wait runs its whole
    // time with every telephone's row to read at the end.
    Database recorder;
    recorder.open(connection);
    FetchConfirmation confirmation(s, log);
    confirmation.begin();
    int recorded = 0;
    QTimer record;
    QObject::connect(&record, &QTimer::timeout, [&] {
        if (recorded >= summary.accepted.size())
            return;
        const QString now = recordedTime();
        const int upTo = std::min(recorded + 100, int(summary.accepted.size()));
        QStringList codes;
        for (; recorded < upTo; ++recorded)
            codes << QStringLiteral("'") + sqlText(summary.accepted.at(recorded)) + u'\'';
        recorder.execute(QStringLiteral("UPDATE PHONE_FETCHES SET PF_TIME = '") + now +
                         QStringLiteral("' WHERE PH_CODE IN (") + codes.join(u',') + u')');
    });
    record.start(100);
    const quint64 before = db.exchanges();
    clock.start();
    const FetchConfirmation::Summary confirmed = confirmation.wait(bench::kCompany, summary.accepted, wait);
    const double waited = double(clock.nsecsElapsed()) / 1e9;
    out << QStringLiteral("confirmation of %1 telephones over %2 s: %3 looks sent %4 statements (%5 per look, %6 "
                          "per second); building the current files once sent %7; %8")
               .arg(summary.accepted.size())
               .arg(waited, 0, 'f', 2)
               .arg(confirmation.polls())
               .arg(confirmation.lookStatements())
               .arg(double(confirmation.lookStatements()) / std::max(1, confirmation.polls()), 0, 'f', 2)
               .arg(double(confirmation.lookStatements()) / waited, 0, 'f', 2)
               .arg(db.exchanges() - before - confirmation.lookStatements())
               .arg(confirmed.line())
        << Qt::endl;
    return 0;
}
