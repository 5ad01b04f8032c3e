#include <gtest/gtest.h>

#include <csignal>

#include <QFile>
#include <QTextStream>

#include "FakePhone.h"
#include "RebootCommands.h"
#include "RebootTestData.h"

namespace vocaset::test {
namespace {

// A working database named by a settings file, with PAP2 telephones of company AC.
class RebootCliTest : public ::testing::Test
{
protected:
    RebootCliTest()
    {
        ensureCoreApp();
        addRebootMessages(t);
        addRebootCatalogue(t);
        t.exec(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('$$LNG', '$', 'EN')"));
        addPhone(t, QStringLiteral("AC"), QStringLiteral("101"), QStringLiteral("PAP"), QStringLiteral("Desk"));
        addPhone(t, QStringLiteral("AC"), QStringLiteral("102"), QStringLiteral("PAP"), QStringLiteral("Lab"));
        addPhone(t, QStringLiteral("AC"), QStringLiteral("201"), QStringLiteral("ODD"), QStringLiteral("Odd"));
        QFile settings(t.tdb.dir() + QStringLiteral("/ParamDB.txt"));
        EXPECT_TRUE(settings.open(QIODevice::WriteOnly));
        settings.write(t.tdb.connectionString().toUtf8() + "\r\n");
    }
    void address(const QString& code, const QString& value) { setPapAddress(t, code, value); }
    int run(const QStringList& arguments)
    {
        out.clear();
        err.clear();
        QTextStream o(&out);
        QTextStream e(&err);
        cli::CliContext ctx(o, e);
        ctx.appDir = t.tdb.dir();
        ctx.settingsPath = t.tdb.dir() + QStringLiteral("/ParamDB.txt");
        cli::RebootCommand command(300);
        const int code = command.execute(ctx, arguments);
        o.flush();
        e.flush();
        return code;
    }
    static QStringList range(const QString& model, const QString& from, const QString& to)
    {
        return {QStringLiteral("--company"), QStringLiteral("AC"),
                QStringLiteral("--model"),   model,
                QStringLiteral("--from"),    from,
                QStringLiteral("--to"),      to};
    }
    void allowEverything() { t.exec(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('AUTHM', '*', '*')")); }

    TestSession t;
    QString out;
    QString err;
};

TEST_F(RebootCliTest, RunsTheRangeWithTheLogOnStandardOutput)
{
    allowEverything();
    FakePhone first, second;
    address(QStringLiteral("101"), first.address());
    address(QStringLiteral("102"), second.address());
    first.add({papFirst(first.address()), "HTTP/1.0 200 OK\r\n\r\n"});
    second.add({papFirst(second.address()), "HTTP/1.0 200 OK\r\n\r\n"});
    EXPECT_EQ(run(range(QStringLiteral("PAP"), QStringLiteral("101"), QStringLiteral("102"))), cli::Ok)
        << err.toStdString();
    EXPECT_EQ(out, QStringLiteral("PAP2 ") + first.address() + QStringLiteral(" - 101 - Desk\n") + msg("M15") +
                       QStringLiteral("\nPAP2 ") + second.address() + QStringLiteral(" - 102 - Lab\n") + msg("M15") +
                       QStringLiteral("\n"));
    EXPECT_EQ(err, QStringLiteral("2 telephone(s) selected, 2 restarted, 0 failed\n"));

    // Asked to confirm, the run waits for the next fetch of each telephone that restarted; none comes.
    first.add({papFirst(first.address()), "HTTP/1.0 200 OK\r\n\r\n"});
    second.add({papFirst(second.address()), "HTTP/1.0 200 OK\r\n\r\n"});
    EXPECT_EQ(run(range(QStringLiteral("PAP"), QStringLiteral("101"), QStringLiteral("102")) +
                  QStringList{QStringLiteral("--confirm"), QStringLiteral("1")}),
              cli::RunFailed);
    EXPECT_TRUE(out.endsWith(QStringLiteral("AC/101 no fetch within 1 s\nAC/102 no fetch within 1 s\n")))
        << out.toStdString();
    EXPECT_TRUE(err.endsWith(QStringLiteral("2 telephone(s) awaited: 0 confirmed, 0 fetched another file, 2 no fetch\n")))
        << err.toStdString();
}

// A telephone without its address is a log line and a failure, never a message that stops the run.
TEST_F(RebootCliTest, ATelephoneWithoutAnAddressIsNamedInTheLogAndTheRunGoesOn)
{
    allowEverything();
    FakePhone second;
    address(QStringLiteral("102"), second.address());
    second.add({papFirst(second.address()), "HTTP/1.0 200 OK\r\n\r\n"});
    EXPECT_EQ(run(range(QStringLiteral("PAP"), QStringLiteral("101"), QStringLiteral("102"))), cli::RunFailed);
    EXPECT_TRUE(out.startsWith(QStringLiteral("Telephone AC/101 not restarted: No telephone value for Static_IP\n")))
        << out.toStdString();
    EXPECT_EQ(err, QStringLiteral("2 telephone(s) selected, 1 restarted, 1 failed: 101\n"));
}

// A telephone that refuses the connection, never answers or refuses the login was not restarted:
// the run says which and exits 1, as does a range without any telephone.
TEST_F(RebootCliTest, EveryTelephoneNotRestartedIsNamedAndFailsTheRun)
{
    allowEverything();
    addPhone(t, QStringLiteral("AC"), QStringLiteral("103"), QStringLiteral("PAP"), QStringLiteral("Hall"));
    addPhone(t, QStringLiteral("AC"), QStringLiteral("104"), QStringLiteral("PAP"), QStringLiteral("Shop"));
    const QString closedPort = []() -> QString {
        QTcpServer server;
        server.listen(QHostAddress::LocalHost);
        return QStringLiteral("127.0.0.1:") + QString::number(server.serverPort());
    }();
    FakePhone silent, refusing, good;
    address(QStringLiteral("101"), closedPort);
    address(QStringLiteral("102"), silent.address());
    address(QStringLiteral("103"), refusing.address());
    address(QStringLiteral("104"), good.address());
    silent.add({papFirst(silent.address()), {}, false});
    refusing.add({papFirst(refusing.address()),
                  "HTTP/1.0 401 Unauthorized\r\nWWW-Authenticate: Digest realm=\"r\", nonce=\"n\", qop=\"auth\"\r\n\r\n"});
    refusing.add({{}, "HTTP/1.0 401 Unauthorized\r\n\r\n"});
    good.add({papFirst(good.address()), "HTTP/1.0 200 OK\r\n\r\n"});

    EXPECT_EQ(run(range(QStringLiteral("PAP"), QStringLiteral("101"), QStringLiteral("104"))), cli::RunFailed);
    EXPECT_TRUE(err.endsWith(QStringLiteral("4 telephone(s) selected, 1 restarted, 3 failed: 101, 102, 103\n")))
        << err.toStdString();
    EXPECT_EQ(out.count(msg("M15")), 1) << out.toStdString();

    EXPECT_EQ(run(range(QStringLiteral("PAP"), QStringLiteral("105"), QStringLiteral("109"))), cli::RunFailed);
    EXPECT_TRUE(err.contains(QStringLiteral("M8"))) << err.toStdString();
    EXPECT_TRUE(err.endsWith(QStringLiteral("0 telephone(s) selected, 0 restarted, 0 failed\n"))) << err.toStdString();
}

TEST_F(RebootCliTest, StoppedRunsAndShownMessagesExitWithOne)
{
    allowEverything();
    EXPECT_EQ(run(range(QStringLiteral("ODD"), QStringLiteral("201"), QStringLiteral("201"))), cli::RunFailed);
    EXPECT_TRUE(err.contains(QStringLiteral("Unknown writer module"))) << err.toStdString();
    // A model without its password setting: the message is shown and the exit code says so.
    address(QStringLiteral("101"), QStringLiteral("127.0.0.1"));
    t.exec(QStringLiteral("DELETE FROM SYSTEM_PARAMETERS WHERE SY_SUBCODE = '$$EPWD'"));
    EXPECT_EQ(run(range(QStringLiteral("PAP"), QStringLiteral("101"), QStringLiteral("101"))), cli::RunFailed);
    EXPECT_TRUE(err.contains(QStringLiteral("Setting $$EPWD missing"))) << err.toStdString();
}

TEST_F(RebootCliTest, UsageRightsAndUnknownCodes)
{
    EXPECT_EQ(run({QStringLiteral("--help")}), cli::Ok);
    EXPECT_TRUE(out.contains(QStringLiteral("--no-wait-busy")));
    EXPECT_EQ(run({QStringLiteral("--company"), QStringLiteral("AC")}), cli::Usage);
    EXPECT_EQ(run(range(QStringLiteral("PAP"), QStringLiteral("1"), QStringLiteral("2")) << QStringLiteral("--bogus")),
              cli::Usage);
    // No menu right to the entry.
    EXPECT_EQ(run(range(QStringLiteral("PAP"), QStringLiteral("101"), QStringLiteral("102"))), cli::RunFailed);
    EXPECT_TRUE(err.contains(QStringLiteral("Reboot"))) << err.toStdString();
    allowEverything();
    EXPECT_EQ(run(range(QStringLiteral("NOPE"), QStringLiteral("101"), QStringLiteral("102"))), cli::Usage);
    EXPECT_EQ(run({QStringLiteral("--company"), QStringLiteral("ZZ"), QStringLiteral("--model"), QStringLiteral("PAP"),
                   QStringLiteral("--from"), QStringLiteral("1"), QStringLiteral("--to"), QStringLiteral("2")}),
              cli::Usage);
    EXPECT_TRUE(out.isEmpty());
}

TEST_F(RebootCliTest, InterruptAbortsAfterTheCurrentTelephone)
{
    allowEverything();
    FakePhone first, second;
    address(QStringLiteral("101"), first.address());
    address(QStringLiteral("102"), second.address());
    FakePhone::Step hang{papFirst(first.address()), {}, false};
    hang.onRequest = [] { std::raise(SIGINT); };
    first.add(hang);
    EXPECT_EQ(run(range(QStringLiteral("PAP"), QStringLiteral("101"), QStringLiteral("102"))), cli::RunFailed);
    EXPECT_TRUE(err.contains(QStringLiteral("Interrupted"))) << err.toStdString();
    EXPECT_EQ(out, QStringLiteral("PAP2 ") + first.address() + QStringLiteral(" - 101 - Desk\n"));
    EXPECT_EQ(second.connections, 0);
}

} // namespace
} // namespace vocaset::test
