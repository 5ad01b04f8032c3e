// The HTTP layer of the provisioning server over a file source of the test's own: request checks,
// tags, HEAD, the access log, HTTPS, and a stop that lets requests in flight finish.

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

// "plain.txt" (and "slow.txt", after a pause) for anyone; anything else is missing.
class FakeSource final : public FileSource
{
public:
    FileAnswer answer(const QString& name, Credentials&) override
    {
        FileAnswer a;
        if (name == u"slow.txt")
            std::this_thread::sleep_for(std::chrono::milliseconds(400));
        if (name == u"plain.txt" || name == u"slow.txt") {
            a.status = 200;
            a.body = "line 1\r\nline 2\r\n";
            a.contentType = "text/plain";
            a.company = QStringLiteral("CO");
            a.phone = QStringLiteral("7");
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
        EXPECT_TRUE(server->start(&error)) << error.toStdString();
    }
    LockedLog log;
    std::unique_ptr<ProvisioningServer> server;
};

TEST(ProvisioningHttp, RequestChecksTagsAndOneLogLinePerRequest)
{
    Server s;
    HttpClient client(s.server->port());
    const QList<std::tuple<QByteArray, QByteArray, int>> cases = {
        {"GET", "/any/folder/plain.txt?x=1", 200},
        {"GET", "http://127.0.0.1/plain.txt", 200},
        {"HEAD", "/plain.txt", 200},
        {"GET", "/", 404},
        {"GET", "/a/%2e%2E/plain.txt", 400},
        {"GET", "/plain.txt%00.bin", 400},
        {"GET", "/" + QByteArray(ProvisioningServer::kMaxPath, 'a'), 400},
        {"GET", "/" + QByteArray(ProvisioningServer::kMaxPath - 1, 'a'), 404},
        {"DELETE", "/plain.txt", 405},
        // A body sent with a refused method must not be taken for the next request.
        {"POST", "/plain.txt", 405},
        {"GET", "/x%0D%0A2000-01-01T00:00:00.000Z%20forged", 404},
    };
    for (const auto& [method, target, status] : cases) {
        const HttpReply r =
            client.request(method, target, {}, method == "POST" ? "GET /plain.txt HTTP/1.1\r\n\r\n" : "");
        EXPECT_EQ(r.status, status) << method.constData() << ' ' << target.left(40).constData();
        EXPECT_EQ(r.body.size(), status != 200     ? std::min<qsizetype>(r.body.size(), 39)
                                 : method == "GET" ? 16
                                                   : 0)
            << "a whole file, or an error that says nothing about the files";
        EXPECT_EQ(r.header("Allow"), status == 405 ? "GET, HEAD" : "");
    }
    const HttpReply head = client.request("HEAD", "/plain.txt");
    EXPECT_EQ(head.header("Content-Length"), "16");
    const QByteArray tag = head.header("ETag");
    EXPECT_TRUE(tag.startsWith('"') && tag.size() > 10) << tag.constData();
    for (const QByteArray& condition : QList<QByteArray>{tag, "W/" + tag, "\"other\", " + tag, "*"}) {
        const HttpReply r = client.request("GET", "/plain.txt", {{"If-None-Match", condition}});
        EXPECT_EQ(r.status, 304) << condition.constData();
        EXPECT_EQ(r.header("ETag"), tag);
    }
    EXPECT_EQ(client.request("GET", "/plain.txt", {{"If-None-Match", "\"other\""}}).status, 200);

    // Time, client, method, path, company, telephone, status, bytes, milliseconds; the forged line stays
    // inside its path field.
    const QStringList lines = s.log.waitFor(cases.size() + 6);
    ASSERT_EQ(lines.size(), cases.size() + 6) << lines.join(u'\n').toStdString();
    const QRegularExpression shape(QStringLiteral(
        R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z 127\.0\.0\.1 (\S+ \S+ \S+ \S+ \d{3} \d+) \d+\.\d\d$)"));
    // A refused method closes its connection, so the next request may be logged by another worker first:
    // the lines are compared as a set.
    QStringList logged;
    for (const QString& line : lines) {
        EXPECT_TRUE(shape.match(line).hasMatch()) << line.toStdString();
        logged << shape.match(line).captured(1);
    }
    for (const QString& expected : {QStringLiteral("GET /any/folder/plain.txt CO 7 200 16"),
                                    QStringLiteral("HEAD /plain.txt CO 7 200 0"),
                                    QStringLiteral("DELETE /plain.txt - - 405 19"),
                                    QStringLiteral("GET /x%0D%0A2000-01-01T00:00:00.000Z%20forged - - 404 10")})
        EXPECT_TRUE(logged.contains(expected)) << expected.toStdString() << "\n" << lines.join(u'\n').toStdString();
}

TEST(ProvisioningHttp, StopAnswersTheRequestInFlight)
{
    Server s;
    HttpClient idle(s.server->port());
    ASSERT_EQ(idle.request("GET", "/plain.txt").status, 200); // an idle keep-alive connection stays open
    auto slow = std::async(std::launch::async,
                           [port = s.server->port()] { return HttpClient(port).request("GET", "/slow.txt"); });
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
    const QString cert = dir.filePath(QStringLiteral("cert.pem"));
    const QString key = dir.filePath(QStringLiteral("key.pem"));
    QProcess openssl;
    openssl.start(QStringLiteral("openssl"),
                  QStringLiteral("req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=127.0.0.1 "
                                 "-addext subjectAltName=IP:127.0.0.1 -keyout %1 -out %2")
                      .arg(key, cert)
                      .split(u' '));
    ASSERT_TRUE(openssl.waitForFinished(30000) && openssl.exitCode() == 0) << openssl.readAllStandardError().data();
    const auto read = [](const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    ServerOptions options;
    options.tlsCertificate = read(cert);
    options.tlsKey = read(key);
    Server s(options);
    const QList<QSslCertificate> trusted = QSslCertificate::fromData(options.tlsCertificate);
    ASSERT_EQ(trusted.size(), 1);
    HttpClient tls(s.server->port(), &trusted.first());
    const HttpReply r = tls.request("GET", "/plain.txt");
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(r.body.size(), 16);
    EXPECT_EQ(HttpClient(s.server->port()).request("GET", "/plain.txt").status, 0) << "plain HTTP is not answered";

    // A certificate without its key is refused at start.
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
