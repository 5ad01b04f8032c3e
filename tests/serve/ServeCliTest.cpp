// vocaset-cli serve on a working database created from the demo source: every demo telephone gets
// the bytes vocaset-cli generate writes, the access log goes to standard output, SIGTERM ends it; a
// server in a process of its own serves what another connection changed at the next request.

#include <csignal>
#include <thread>

#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>

#include <gtest/gtest.h>

#include "CliCommand.h"
#include "DemoCli.h"
#include "HttpClient.h"
#include "ServeTestSupport.h"
#include "TestDatabase.h"

namespace vocaset::test {
namespace {

class ServeCli : public DemoCli
{
protected:
    static quint16 freePort()
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        return probe.serverPort();
    }
};

TEST_F(ServeCli, EveryDemoTelephoneGetsWhatGenerateWrites)
{
    // The files generate writes, company by company and model by model, with the models' settings.
    QMap<QString, QByteArray> written;
    Recordset pairs = working.db.execute(
        QStringLiteral("SELECT DISTINCT P.CO_CODE, P.EQ_CODE FROM PHONES P INNER JOIN EQUIPMENT E "
                       "ON E.EQ_CODE = P.EQ_CODE WHERE E.EQ_MODULE <> 'NONE' ORDER BY P.CO_CODE, P.EQ_CODE"));
    ASSERT_GE(pairs.count(), 6);
    for (; !pairs.eof(); pairs.moveNext()) {
        const QString into = demoDir.filePath(pairs.text(0) + pairs.text(1));
        QDir().mkpath(into);
        ASSERT_EQ(run({QStringLiteral("generate"), QStringLiteral("--company"), pairs.text(0),
                       QStringLiteral("--model"), pairs.text(1), QStringLiteral("--out"), into}),
                  cli::Ok)
            << err.toStdString();
        for (const QFileInfo& file : QDir(into).entryInfoList(QDir::Files)) {
            QFile f(file.filePath());
            ASSERT_TRUE(f.open(QIODevice::ReadOnly));
            written.insert(file.fileName(), f.readAll());
        }
    }

    // SIGTERM stops the server below; should the server not be running by then, it is ignored.
    std::signal(SIGTERM, SIG_IGN);
    const quint16 port = freePort();
    int exitCode = -1;
    QString serveOut;
    QString serveErr;
    std::thread serving([&] {
        QTextStream o(&serveOut);
        QTextStream e(&serveErr);
        exitCode = cli::runCli({QStringLiteral("serve"), QStringLiteral("--listen"),
                                QStringLiteral("127.0.0.1:") + QString::number(port), QStringLiteral("--threads"),
                                QStringLiteral("3")},
                               o, e, working.dir());
    });
    HttpClient client(port);
    for (int tries = 0; tries < 200 && client.request("HEAD", "/").status == 0; ++tries)
        std::this_thread::sleep_for(std::chrono::milliseconds(25));

    Recordset phones = working.db.execute(QLatin1String(kDemoPhones));
    int served = 0;
    for (; !phones.eof(); phones.moveNext()) {
        const QString name = provisioningFileName(phones.text(4), phones.text(3));
        const HttpReply r = client.request("GET", "/config/" + name.toLatin1());
        EXPECT_EQ(r.status, 200) << name.toStdString();
        EXPECT_TRUE(written.contains(name)) << name.toStdString();
        EXPECT_EQ(r.body, written.value(name)) << name.toStdString();
        served += r.status == 200;
    }
    EXPECT_EQ(served, phones.count());
    EXPECT_GE(served, 20);

    std::raise(SIGTERM);
    serving.join();
    std::signal(SIGTERM, SIG_DFL);
    EXPECT_EQ(exitCode, cli::Ok) << serveErr.toStdString();
    EXPECT_TRUE(serveErr.contains(QStringLiteral("Serving on http://127.0.0.1:%1 with 3 threads").arg(port)))
        << serveErr.toStdString();
    const QStringList lines = serveOut.split(u'\n', Qt::SkipEmptyParts);
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const QString& l) { return l.contains(QStringLiteral(" GET /config/")); }),
              served)
        << serveOut.toStdString();
}

TEST_F(ServeCli, AServerProcessServesWhatAnotherConnectionChangedAtTheNextRequest)
{
    const quint16 port = freePort();
    QProcess server;
    server.start(QStringLiteral(VOCASET_CLI),
                 {QStringLiteral("--settings"), working.dir() + QStringLiteral("/ParamDB.txt"), QStringLiteral("serve"),
                  QStringLiteral("--listen"), QStringLiteral("127.0.0.1:") + QString::number(port)});
    HttpClient client(port);
    for (int tries = 0; tries < 200 && client.request("HEAD", "/").status == 0; ++tries)
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    const QByteArray reception = "/cfg000B82E79E4A"; // ALPIN 201, GXP2000
    ASSERT_EQ(client.request("GET", reception).status, 200) << server.readAllStandardError().constData();

    // Each a row the server keeps between requests: a model's default, a company's value, the
    // levels the company's files take.
    const QList<std::pair<QString, QByteArray>> changes = {
        {QStringLiteral("UPDATE EQUIPMENT_PARAMETERS SET PA_DEFAULT = 'time.example' WHERE EQ_CODE = 'GXP2000' "
                        "AND PA_CODE = '30' AND LE_CODE = 'E'"),
         "time.example"},
        {QStringLiteral("UPDATE COMPANY_PARAMETERS SET PA_VALUE = 'company.example' WHERE CO_CODE = 'ALPIN' "
                        "AND EQ_CODE = 'GXP2000' AND PA_CODE = '10'"),
         "company.example"},
        {QStringLiteral("UPDATE SYSTEM_PARAMETERS SET SY_VALUE = '001' WHERE SY_CODE = 'ALPINGXP2000' "
                        "AND SY_SUBCODE = '$$DEFGEN'"),
         "!company.example"},
    };
    for (const auto& [change, shown] : changes) {
        for (int warm = 0; warm < 3; ++warm)
            ASSERT_EQ(client.request("GET", reception).status, 200);
        working.db.execute(change);
        const HttpReply r = client.request("GET", reception);
        EXPECT_EQ(r.status, 200);
        if (shown.startsWith('!'))
            EXPECT_FALSE(r.body.contains(shown.mid(1))) << change.toStdString();
        else
            EXPECT_TRUE(r.body.contains(shown)) << change.toStdString();
    }
    server.terminate();
    EXPECT_TRUE(server.waitForFinished(15000));
    const QString said = QString::fromUtf8(server.readAllStandardError());
    EXPECT_EQ(server.exitCode(), 0) << said.toStdString();
    // Without --threads, workers that wait on a database server's round trips outnumber the cores.
    const QRegularExpression started(QStringLiteral("with (\\d+) threads"));
    const int workers = started.match(said).captured(1).toInt();
    if (working.db.engine() == Engine::PostgreSQL)
        EXPECT_GE(workers, 8) << said.toStdString();
    else
        EXPECT_EQ(workers, qMax(2, QThread::idealThreadCount())) << said.toStdString();
}

TEST_F(ServeCli, WrongOptionsAreRefusedBeforeAnythingListens)
{
    const QString fifo = demoDir.filePath(QStringLiteral("cert.fifo"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString none = demoDir.filePath(QStringLiteral("none.pem"));
    // Each with what the message must name.
    const QList<std::pair<QStringList, QString>> wrong = {
        {{QStringLiteral("--listen"), QStringLiteral("127.0.0.1")}, QStringLiteral("--listen")},
        {{QStringLiteral("--listen"), QStringLiteral("no-such-host:8080")}, QStringLiteral("--listen")},
        {{QStringLiteral("--threads"), QStringLiteral("0")}, QStringLiteral("--threads takes")},
        {{QStringLiteral("--max-connections"), QStringLiteral("0")}, QStringLiteral("--max-connections takes")},
        {{QStringLiteral("--timeout"), QStringLiteral("soon")}, QStringLiteral("--timeout takes")},
        {{QStringLiteral("--max-per-address"), QStringLiteral("-1")}, QStringLiteral("--max-per-address takes")},
        {{QStringLiteral("--trusted-proxy"), QStringLiteral("balancer")}, QStringLiteral("balancer")},
        {{QStringLiteral("--listen"), QStringLiteral("127.0.0.1:8080"), QStringLiteral("--metrics"),
          QStringLiteral(":8080")},
         QStringLiteral("--metrics")},
        {{QStringLiteral("--tls-cert"), demoDir.filePath(QStringLiteral("source.db"))}, QStringLiteral("--tls-key")},
        {{QStringLiteral("--tls-cert"), none, QStringLiteral("--tls-key"), none}, none},
        // A device or a FIFO is refused by name before anything is read from it.
        {{QStringLiteral("--tls-cert"), QStringLiteral("/dev/zero"), QStringLiteral("--tls-key"), none},
         QStringLiteral("/dev/zero")},
        {{QStringLiteral("--tls-cert"), fifo, QStringLiteral("--tls-key"), fifo}, fifo},
    };
    for (const auto& [args, named] : wrong) {
        const int code = run(QStringList{QStringLiteral("serve")} + args);
        EXPECT_EQ(code, cli::Usage) << args.join(u' ').toStdString() << ": " << err.toStdString();
        EXPECT_TRUE(err.contains(named)) << named.toStdString() << " in: " << err.toStdString();
    }
    // A certificate that is no certificate is refused by the server at start.
    EXPECT_EQ(run({QStringLiteral("serve"), QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0"),
                   QStringLiteral("--tls-cert"), demoDir.filePath(QStringLiteral("source.db")),
                   QStringLiteral("--tls-key"), demoDir.filePath(QStringLiteral("source.db"))}),
              cli::RunFailed);
    EXPECT_TRUE(err.contains(QStringLiteral("certificate"))) << err.toStdString();
}

} // namespace
} // namespace vocaset::test
