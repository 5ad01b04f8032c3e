#include <gtest/gtest.h>

#include <QTimer>

#include "FakePhone.h"
#include "HttpExchange.h"
#include "RebootTestData.h"

namespace vocaset::test {
namespace {

// Short deadline for the tests that run into it; a long one where the deadline must not matter.
constexpr int kShort = 300;
constexpr int kLong = 5000;

class HttpExchangeTest : public ::testing::Test
{
protected:
    HttpExchangeTest()
    {
        ensureCoreApp();
        addRebootMessages(t);
    }
    QByteArray get(const QString& address) { return "GET /" + block10(address) + "\r\n"; }

    TestSession t;
};

// A port where nothing listens: a server is opened to find a free port and closed again.
quint16 refusedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}

// A server that never accepts: its one-place queue is taken by another client, so the kernel drops
// further connection attempts and they hang.
class DeafServer
{
public:
    DeafServer()
    {
        m_server.setListenBacklogSize(0);
        m_server.listen(QHostAddress::LocalHost, 0);
        m_server.pauseAccepting();
        m_filler.connectToHost(QHostAddress::LocalHost, m_server.serverPort());
        m_filler.waitForConnected(1000);
    }
    QString address() const { return QStringLiteral("127.0.0.1:") + QString::number(m_server.serverPort()); }

private:
    QTcpServer m_server;
    QTcpSocket m_filler;
};

TEST_F(HttpExchangeTest, MarkerCompletesAReplyOnAnOpenConnectionAndEachExchangeConnectsAfresh)
{
    FakePhone phone;
    const QByteArray page = "HTTP/1.0 200 OK\r\n\r\n<html>ok</html>";
    phone.add({get(phone.address()), page, false});
    phone.add({get(phone.address()), "HTTP/1.0 200 OK\r\n\r\n<html>again</html>", false});
    HttpExchange x(t.s, t.log, kLong);

    ASSERT_TRUE(x.GetHttp(phone.address(), QString::fromLatin1(get(phone.address()))));
    EXPECT_EQ(x.reply(), QString::fromLatin1(page));
    ASSERT_TRUE(x.GetHttp(phone.address(), QString::fromLatin1(get(phone.address()))));
    EXPECT_EQ(x.reply(), QStringLiteral("HTTP/1.0 200 OK\r\n\r\n<html>again</html>"));
    EXPECT_EQ(phone.connections, 2);
    EXPECT_EQ(phone.requests.value(1), get(phone.address()));
    EXPECT_TRUE(phone.mismatches.isEmpty()) << phone.mismatches.join(u'\n').toStdString();
    EXPECT_TRUE(t.log.lines.isEmpty());
}

TEST_F(HttpExchangeTest, ReplyWithoutMarkerCompletesOnlyWhenTheDeviceCloses)
{
    FakePhone phone;
    phone.add({get(phone.address()), "HTTP/1.0 401 Unauthorized\r\nWWW-Authenticate: Basic\r\n\r\n", true});
    HttpExchange x(t.s, t.log, kLong);
    ASSERT_TRUE(x.GetHttp(phone.address(), QString::fromLatin1(get(phone.address()))));
    EXPECT_EQ(x.reply(), QStringLiteral("HTTP/1.0 401 Unauthorized\r\nWWW-Authenticate: Basic\r\n\r\n"));
    EXPECT_TRUE(t.log.lines.isEmpty());
}

// The device writes its last bytes and closes at once: they arrive with the close and belong to the
// reply, whatever its size.
TEST_F(HttpExchangeTest, LastBytesThatComeWithTheCloseAreKept)
{
    for (const qsizetype size : {qsizetype(40), qsizetype(600000)}) {
        FakePhone phone;
        const QByteArray reply = "HTTP/1.0 200 OK\r\n\r\n" + QByteArray(size, 'x') + "<end>";
        phone.add({get(phone.address()), reply, true});
        HttpExchange x(t.s, t.log, kLong);
        ASSERT_TRUE(x.GetHttp(phone.address(), QString::fromLatin1(get(phone.address()))));
        EXPECT_EQ(x.reply().size(), reply.size());
        EXPECT_TRUE(x.reply().endsWith(QLatin1String("<end>")));
    }
    EXPECT_TRUE(t.log.lines.isEmpty());
}

TEST_F(HttpExchangeTest, DeviceThatNeitherClosesNorSendsTheMarkerTimesOut)
{
    FakePhone phone;
    // The marker in capitals does not complete a reply.
    phone.add({get(phone.address()), "HTTP/1.0 200 OK\r\n\r\n<HTML></HTML>", false});
    HttpExchange x(t.s, t.log, kShort);
    EXPECT_FALSE(x.GetHttp(phone.address(), QString::fromLatin1(get(phone.address()))));
    EXPECT_EQ(t.log.lines, QStringList{msg("M23")});
    // The partial reply stays readable.
    EXPECT_EQ(x.reply(), QStringLiteral("HTTP/1.0 200 OK\r\n\r\n<HTML></HTML>"));
}

TEST_F(HttpExchangeTest, RefusedConnectionLogsTheSocketErrorThenTheTimeOut)
{
    const QString address = QStringLiteral("127.0.0.1:") + QString::number(refusedPort());
    HttpExchange x(t.s, t.log, kShort);
    EXPECT_FALSE(x.GetHttp(address, QStringLiteral("GET / HTTP/1.0\r\n\r\n")));
    ASSERT_EQ(t.log.lines.size(), 2) << t.log.lines.join(u'|').toStdString();
    EXPECT_EQ(t.log.lines[0], QStringLiteral("Connection refused by ") + address + u'.');
    EXPECT_EQ(t.log.lines[1], msg("M23"));

    t.log.lines.clear();
    EXPECT_FALSE(x.PostHttp(address, QStringLiteral("POST / HTTP/1.1\r\n\r\n")));
    EXPECT_EQ(t.log.lines.size(), 2);
}

TEST_F(HttpExchangeTest, DeviceThatNeverAcceptsTimesOut)
{
    DeafServer deaf;
    HttpExchange x(t.s, t.log, kShort);
    EXPECT_FALSE(x.GetHttp(deaf.address(), QStringLiteral("GET / HTTP/1.0\r\n\r\n")));
    EXPECT_EQ(t.log.lines, QStringList{msg("M23")});
    EXPECT_FALSE(x.PostHttp(deaf.address(), QStringLiteral("POST / HTTP/1.1\r\n\r\n")));
    EXPECT_EQ(t.log.lines, (QStringList{msg("M23"), msg("M23")}));
}

TEST_F(HttpExchangeTest, AbortEndsAWaitWithoutTimeOutLineAndKeepsLaterExchangesOff)
{
    FakePhone phone;
    HttpExchange x(t.s, t.log, kLong);
    FakePhone::Step step{get(phone.address()), "HTTP/1.0 200 OK\r\n\r\n<html>", false};
    step.onRequest = [&x] { x.abort(); };
    phone.add(step);
    EXPECT_FALSE(x.GetHttp(phone.address(), QString::fromLatin1(get(phone.address()))));
    EXPECT_TRUE(x.aborted());
    EXPECT_TRUE(t.log.lines.isEmpty());

    // Until the abort is cleared nothing more reaches the device.
    EXPECT_FALSE(x.GetHttp(phone.address(), QString::fromLatin1(get(phone.address()))));
    EXPECT_FALSE(x.PostHttp(phone.address(), QStringLiteral("POST / HTTP/1.1\r\n\r\n")));
    EXPECT_EQ(phone.connections, 1);

    // Abort while the connection is still being made.
    x.clearAbort();
    DeafServer deaf;
    QTimer::singleShot(50, &x, [&x] { x.abort(); });
    EXPECT_FALSE(x.GetHttp(deaf.address(), QStringLiteral("GET / HTTP/1.0\r\n\r\n")));
    EXPECT_TRUE(t.log.lines.isEmpty());
}

TEST_F(HttpExchangeTest, PostIsDoneOnceTheRequestIsSent)
{
    FakePhone phone;
    const QByteArray request = "POST /x HTTP/1.1\r\nContent-Length: 3\r\n\r\na=1";
    // The device refuses afterwards; the post has succeeded all the same.
    phone.add({request, "HTTP/1.1 403 Forbidden\r\n\r\n", true});
    HttpExchange x(t.s, t.log, kLong);
    EXPECT_TRUE(x.PostHttp(phone.address(), QString::fromLatin1(request)));
    EXPECT_TRUE(waitUntil([&] { return phone.requests.value(0) == request; }));
    EXPECT_TRUE(phone.mismatches.isEmpty());
    EXPECT_TRUE(t.log.lines.isEmpty());
}

TEST_F(HttpExchangeTest, RequestAndReplyAreSingleByteText)
{
    FakePhone phone;
    const QByteArray request = "GET /\xe9\x80 HTTP/1.0\r\n\r\n";
    phone.add({request, "HTTP/1.0 200 OK\r\n\r\n\xe9\x80", true});
    HttpExchange x(t.s, t.log, kLong);
    ASSERT_TRUE(x.GetHttp(phone.address(), QStringLiteral("GET /\u00e9\u20ac HTTP/1.0\r\n\r\n")));
    EXPECT_EQ(phone.requests.value(0), request);
    EXPECT_TRUE(x.reply().endsWith(QStringLiteral("\u00e9\u20ac")));
}

TEST_F(HttpExchangeTest, OversizedReplyIsCutAndCompletes)
{
    FakePhone phone;
    phone.add({get(phone.address()), QByteArray(HttpExchange::kMaxReply + 300000, 'x'), false});
    HttpExchange x(t.s, t.log, kLong);
    ASSERT_TRUE(x.GetHttp(phone.address(), QString::fromLatin1(get(phone.address()))));
    EXPECT_EQ(x.reply().size(), HttpExchange::kMaxReply);
    EXPECT_TRUE(t.log.lines.isEmpty());
}

} // namespace
} // namespace vocaset::test
