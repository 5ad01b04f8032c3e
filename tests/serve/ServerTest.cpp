// The HTTP layer of the provisioning server over a file source of the test's own: request checks,
// tags, Digest, HTTPS, the access log and a stop that lets requests in flight finish.

#include <future>

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "HttpClient.h"
#include "ProvisioningServer.h"
#include "ServeTestSupport.h"

namespace vocaset::test {
namespace {

// "plain.txt" for anyone, "locked.bin" behind Digest for user AAA with password "pw", "slow.txt"
// after a pause; anything else is missing.
class FakeSource final : public FileSource
{
public:
    FileAnswer answer(const QString& name, Credentials& credentials) override
    {
        FileAnswer a;
        if (name == u"plain.txt" || name == u"slow.txt") {
            if (name == u"slow.txt")
                std::this_thread::sleep_for(std::chrono::milliseconds(400));
            a.status = 200;
            a.body = "line 1\r\nline 2\r\n";
            a.contentType = "text/plain";
            a.company = QStringLiteral("CO");
            a.phone = QStringLiteral("7");
        } else if (name == u"locked.bin") {
            a.company = QStringLiteral("CO");
            a.phone = QStringLiteral("8");
            const Credentials::Check check = credentials.check(QStringLiteral("AAA"), QStringLiteral("pw"));
            if (check == Credentials::Check::Accepted) {
                a.status = 200;
                a.body = QByteArray("\x00\x01secret", 8);
                a.contentType = "application/octet-stream";
            } else {
                a.status = 401;
                a.stale = check == Credentials::Check::Stale;
            }
        }
        return a;
    }
};

struct Server
{
    explicit Server(ServerOptions options = {})
    {
        options.port = 0;
        server = std::make_unique<ProvisioningServer>(
            options, [] { return std::make_unique<FakeSource>(); }, log);
        QString error;
        started = server->start(&error);
        EXPECT_TRUE(started) << error.toStdString();
    }
    LockedLog log;
    std::unique_ptr<ProvisioningServer> server;
    bool started = false;
};

TEST(ProvisioningHttp, RequestsAreCheckedBeforeAnyFileIsLookedUp)
{
    Server s;
    HttpClient client(s.server->port());
    struct Case
    {
        QByteArray method;
        QByteArray target;
        int status;
    };
    const QList<Case> cases = {
        {"GET", "/plain.txt", 200},
        {"GET", "/any/folder/plain.txt?x=1", 200},
        {"GET", "http://127.0.0.1/plain.txt", 200},
        {"GET", "/nothing.txt", 404},
        {"GET", "/", 404},
        {"GET", "/../plain.txt", 400},
        {"GET", "/a/%2e%2E/plain.txt", 400},
        {"GET", "/plain.txt%00.bin", 400},
        {"GET", "/" + QByteArray(ProvisioningServer::kMaxPath, 'a'), 400},
        {"GET", "/" + QByteArray(ProvisioningServer::kMaxPath - 1, 'a'), 404},
        {"DELETE", "/plain.txt", 405},
        {"PUT", "/plain.txt", 405},
    };
    for (const Case& c : cases) {
        const HttpReply r = client.request(c.method, c.target);
        EXPECT_EQ(r.status, c.status) << c.method.constData() << ' ' << c.target.left(40).constData();
        if (c.status == 405) {
            EXPECT_EQ(r.header("Allow"), "GET, HEAD");
        }
        if (c.status >= 400) {
            EXPECT_LT(r.body.size(), 40) << "an error body says nothing about the files";
        }
    }
    // A body sent with a refused method is not taken for the next request.
    EXPECT_EQ(client.request("POST", "/plain.txt", {}, "GET /plain.txt HTTP/1.1\r\n\r\n").status, 405);
    EXPECT_EQ(client.request("GET", "/plain.txt").status, 200);
}

TEST(ProvisioningHttp, TagsHeadAndKeepAlive)
{
    Server s;
    HttpClient client(s.server->port());
    const HttpReply full = client.request("GET", "/plain.txt");
    ASSERT_EQ(full.status, 200);
    EXPECT_EQ(full.body, QByteArray("line 1\r\nline 2\r\n"));
    EXPECT_EQ(full.header("Content-Type"), "text/plain");
    const QByteArray tag = full.header("ETag");
    EXPECT_TRUE(tag.startsWith('"') && tag.endsWith('"') && tag.size() > 10) << tag.constData();

    const HttpReply head = client.request("HEAD", "/plain.txt");
    EXPECT_EQ(head.status, 200);
    EXPECT_EQ(head.header("Content-Length"), "16");
    EXPECT_EQ(head.header("ETag"), tag);

    for (const QByteArray& condition : QList<QByteArray>{tag, "W/" + tag, "\"other\", " + tag, "*"}) {
        const HttpReply r = client.request("GET", "/plain.txt", {{"If-None-Match", condition}});
        EXPECT_EQ(r.status, 304) << condition.constData();
        EXPECT_EQ(r.header("ETag"), tag);
    }
    EXPECT_EQ(client.request("GET", "/plain.txt", {{"If-None-Match", "\"other\""}}).body.size(), 16);
    // Every reply above travelled on the one connection: none left bytes behind that broke the next.
    EXPECT_TRUE(client.connected());
}

TEST(ProvisioningHttp, DigestChallengeAcceptsOnlyTheRightCredentials)
{
    Server s;
    HttpClient client(s.server->port());
    const HttpReply challenge = client.request("GET", "/locked.bin");
    ASSERT_EQ(challenge.status, 401);
    const QByteArray header = challenge.header("WWW-Authenticate");
    EXPECT_TRUE(header.startsWith("Digest ")) << header.constData();
    EXPECT_TRUE(header.contains("qop=\"auth\"")) << header.constData();
    EXPECT_TRUE(header.toLower().contains("algorithm=md5")) << header.constData();
    EXPECT_TRUE(challenge.body.isEmpty() || !challenge.body.contains("secret"));

    const HttpReply accepted = client.getWithDigest("/locked.bin", QStringLiteral("AAA"), QStringLiteral("pw"));
    EXPECT_EQ(accepted.status, 200);
    EXPECT_EQ(accepted.body, QByteArray("\x00\x01secret", 8));
    EXPECT_EQ(client.getWithDigest("/locked.bin", QStringLiteral("AAA"), QStringLiteral("PW")).status, 401);
    EXPECT_EQ(client.getWithDigest("/locked.bin", QStringLiteral("AAB"), QStringLiteral("pw")).status, 401);

    // Credentials computed for one file do not open another.
    const HttpReply fresh = client.request("GET", "/locked.bin");
    const QByteArray forOther = digestAuthorization(fresh.header("WWW-Authenticate"), "GET", "/other/locked.bin",
                                                    QStringLiteral("AAA"), QStringLiteral("pw"), 1);
    EXPECT_EQ(client.request("GET", "/locked.bin", {{"Authorization", forOther}}).status, 401);
}

TEST(ProvisioningHttp, OneAccessLinePerRequestThatNoPathCanForge)
{
    Server s;
    HttpClient client(s.server->port());
    client.request("GET", "/dir/plain.txt");
    client.request("HEAD", "/nothing.txt");
    client.request("GET", "/x%0D%0A2000-01-01T00:00:00.000Z%20forged");
    const QStringList lines = s.log.waitFor(3);
    ASSERT_EQ(lines.size(), 3) << lines.join(u'\n').toStdString();
    const QRegularExpression shape(QStringLiteral(
        R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z 127\.0\.0\.1 (\S+) (\S+) (\S+) (\S+) (\d{3}) (\d+) \d+\.\d\d$)"));
    const QList<QStringList> expected = {
        {QStringLiteral("GET"), QStringLiteral("/dir/plain.txt"), QStringLiteral("CO"), QStringLiteral("7"),
         QStringLiteral("200"), QStringLiteral("16")},
        {QStringLiteral("HEAD"), QStringLiteral("/nothing.txt"), QStringLiteral("-"), QStringLiteral("-"),
         QStringLiteral("404"), QStringLiteral("0")},
        {QStringLiteral("GET"), QStringLiteral("/x%0D%0A2000-01-01T00:00:00.000Z%20forged"), QStringLiteral("-"),
         QStringLiteral("-"), QStringLiteral("404"), QStringLiteral("10")},
    };
    for (int i = 0; i < 3; ++i) {
        const QRegularExpressionMatch m = shape.match(lines[i]);
        ASSERT_TRUE(m.hasMatch()) << lines[i].toStdString();
        EXPECT_EQ(m.capturedTexts().mid(1), expected[i]) << lines[i].toStdString();
    }
}

TEST(ProvisioningHttp, StopLetsTheRequestInFlightFinish)
{
    Server s;
    HttpClient idle(s.server->port());
    ASSERT_EQ(idle.request("GET", "/plain.txt").status, 200); // an idle keep-alive connection stays open
    auto slow = std::async(std::launch::async, [port = s.server->port()] {
        HttpClient client(port);
        return client.request("GET", "/slow.txt");
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    s.server->stop();
    const HttpReply r = slow.get();
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(r.body.size(), 16);
    EXPECT_EQ(HttpClient(s.server->port()).request("GET", "/plain.txt").status, 0) << "no longer listening";
    EXPECT_EQ(s.log.lines().size(), 2);
}

TEST(ProvisioningHttp, HttpsOnlyWithACertificateMadeHere)
{
    QTemporaryDir dir;
    QProcess openssl;
    openssl.start(QStringLiteral("openssl"),
                  {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
                   QStringLiteral("rsa:2048"), QStringLiteral("-nodes"), QStringLiteral("-days"), QStringLiteral("2"),
                   QStringLiteral("-subj"), QStringLiteral("/CN=127.0.0.1"), QStringLiteral("-addext"),
                   QStringLiteral("subjectAltName=IP:127.0.0.1"), QStringLiteral("-keyout"),
                   dir.filePath(QStringLiteral("key.pem")), QStringLiteral("-out"),
                   dir.filePath(QStringLiteral("cert.pem"))});
    ASSERT_TRUE(openssl.waitForFinished(30000) && openssl.exitCode() == 0) << openssl.readAllStandardError().data();
    const auto read = [&](const char* name) {
        QFile f(dir.filePath(QLatin1String(name)));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    ServerOptions options;
    options.tlsCertificate = read("cert.pem");
    options.tlsKey = read("key.pem");
    Server s(options);
    ASSERT_TRUE(s.server->secure());
    const QList<QSslCertificate> trusted = QSslCertificate::fromData(options.tlsCertificate);
    ASSERT_EQ(trusted.size(), 1);

    HttpClient tls(s.server->port(), &trusted.first());
    const HttpReply r = tls.request("GET", "/plain.txt");
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(r.body.size(), 16);
    EXPECT_EQ(tls.getWithDigest("/locked.bin", QStringLiteral("AAA"), QStringLiteral("pw")).status, 200);
    EXPECT_EQ(HttpClient(s.server->port()).request("GET", "/plain.txt").status, 0) << "plain HTTP is not answered";

    // A key that does not go with the certificate, or only one of the two, is refused at start.
    ServerOptions half;
    half.tlsCertificate = options.tlsCertificate;
    ProvisioningServer refused(
        half, [] { return std::make_unique<FakeSource>(); }, s.log);
    QString error;
    EXPECT_FALSE(refused.start(&error));
    EXPECT_FALSE(error.isEmpty());
}

} // namespace
} // namespace vocaset::test
