// The HTTP layer of the provisioning server over a file source of the test's own: request checks,
// tags, HEAD, the access log, Digest nonces and lock-outs, per-address limits and header deadlines,
// the health check beside busy workers, HTTPS versions, metrics, and a stop that refuses new
// connections while it lets requests in flight finish.

#include <future>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QProcess>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "FetchRecorder.h"
#include "HttpClient.h"
#include "ProvisioningServer.h"
#include "ServeTestSupport.h"
#include "TestDatabase.h"

namespace vocaset::test {
namespace {

// What the fake sources of one server share: a gate that holds "block.txt", and the health answer.
struct SourceState
{
    std::mutex mutex;
    std::condition_variable opened;
    bool open = false;
    std::atomic<int> blocked{0};
    std::atomic<int> health{0}; // 0 healthy, 1 failing, 2 slower than the check's deadline
    int burst = 0;              // answers to "burst.txt" held until this many are in
    std::atomic<int> atGate{0};

    void release()
    {
        const std::lock_guard lock(mutex);
        open = true;
        opened.notify_all();
    }
};

// "plain.txt" for anyone; "secret.txt" for USER with password pw; "nobody.txt" behind a password
// nobody has; "block.txt" once the gate opens; "burst.txt" as "secret.txt", once `burst` answers
// to it are all being looked up; "slow.txt" as "plain.txt", 30 ms later; anything else is missing.
class FakeSource final : public FileSource
{
public:
    explicit FakeSource(SourceState& state) : m_state(state) {}
    FileAnswer answer(const QString& name, Credentials& credentials) override
    {
        FileAnswer a;
        if (name == u"block.txt") {
            ++m_state.blocked;
            std::unique_lock lock(m_state.mutex);
            m_state.opened.wait_for(lock, std::chrono::seconds(10), [this] { return m_state.open; });
        }
        if (name == u"burst.txt" && !credentials.user().isEmpty()) {
            ++m_state.atGate;
            for (int i = 0; i < 2000 && m_state.atGate < m_state.burst; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        if (name == u"secret.txt" || name == u"nobody.txt" || name == u"burst.txt") {
            const QStringList passwords = name != u"nobody.txt" ? QStringList{QStringLiteral("pw")} : QStringList{};
            const Credentials::Check check = credentials.check(QStringLiteral("USER"), passwords);
            if (check != Credentials::Check::Accepted) {
                a.status = 401;
                a.stale = check == Credentials::Check::Stale;
                return a;
            }
        }
        if (name == u"slow.txt")
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
        if (name == u"plain.txt" || name == u"block.txt" || name == u"secret.txt" || name == u"burst.txt" ||
            name == u"slow.txt") {
            a.status = 200;
            a.body = "line 1\r\nline 2\r\n";
            a.contentType = "text/plain";
            a.company = QStringLiteral("CO");
            a.phone = QStringLiteral("7");
        }
        return a;
    }
    QString health() override
    {
        if (m_state.health == 2)
            std::this_thread::sleep_for(std::chrono::milliseconds(ProvisioningServer::kHealthMs + 1500));
        return m_state.health == 0 ? QString() : QStringLiteral("no database");
    }

private:
    SourceState& m_state;
};

struct Server
{
    explicit Server(ServerOptions options = {})
    {
        options.port = 0;
        server = std::make_unique<ProvisioningServer>(
            options, [this](int) { return std::make_unique<FakeSource>(state); }, log);
        QString error;
        EXPECT_TRUE(server->start(&error)) << error.toStdString();
    }
    ~Server()
    {
        state.release();
        server.reset();
    }
    SourceState state;
    LockedLog log;
    std::unique_ptr<ProvisioningServer> server;
};

// The Authorization header answering a challenge for /secret.txt.
QByteArray answerTo(const HttpReply& challenge, const QByteArray& password, int nc,
                    const QByteArray& target = "/secret.txt")
{
    return digestAuthorization(challenge.header("WWW-Authenticate"), "GET", target, QStringLiteral("USER"),
                               QString::fromLatin1(password), nc);
}

// A challenge, then an answer with each password in turn, on /secret.txt: the statuses of the answers
// (of the challenge when it is no 401).
QList<int> attempts(HttpClient& client, const QList<QByteArray>& passwords, const HeaderList& extra = {})
{
    QList<int> statuses;
    for (const QByteArray& password : passwords) {
        const HttpReply challenge = client.request("GET", "/secret.txt", extra);
        if (challenge.status != 401) {
            statuses << challenge.status;
            continue;
        }
        statuses << client
                        .request("GET", "/secret.txt",
                                 extra + HeaderList{{"Authorization", answerTo(challenge, password, 1)}})
                        .status;
    }
    return statuses;
}

// A slow client on 127.0.0.1: n connections, each with part of a request's headers, then nothing.
std::vector<std::unique_ptr<QTcpSocket>> holdConnections(quint16 port, int n)
{
    ensureApp();
    std::vector<std::unique_ptr<QTcpSocket>> held;
    for (int i = 0; i < n; ++i) {
        held.push_back(std::make_unique<QTcpSocket>());
        held.back()->connectToHost(QStringLiteral("127.0.0.1"), port);
        EXPECT_TRUE(held.back()->waitForConnected(HttpClient::kTimeoutMs));
        held.back()->write("GET /plain.txt HTTP/1.1\r\nHost: 127");
        held.back()->flush();
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    return held;
}

// One request on a connection of its own, the client's side shut after it when halfClose, and
// whatever comes back until the server closes (or the bound).
QByteArray rawExchange(quint16 port, const QByteArray& request, bool halfClose)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in to = {};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    QByteArray in;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0 &&
        ::send(fd, request.constData(), size_t(request.size()), MSG_NOSIGNAL) == request.size()) {
        if (halfClose)
            ::shutdown(fd, SHUT_WR);
        QDeadlineTimer deadline(HttpClient::kTimeoutMs);
        for (pollfd p{fd, POLLIN, 0}; ::poll(&p, 1, int(deadline.remainingTime())) > 0;) {
            char buffer[4096];
            const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
            if (got <= 0)
                break;
            in.append(buffer, got);
        }
    }
    ::close(fd);
    return in;
}

TEST(ProvisioningHttp, RequestChecksTagsAndOneLogLinePerRequest)
{
    Server s;
    HttpClient client(s.server->port());
    const QList<std::tuple<QByteArray, QByteArray, HeaderList, int>> cases = {
        {"GET", "/any/folder/plain.txt?x=1", {}, 200},
        {"GET", "http://127.0.0.1/plain.txt", {}, 200},
        {"HEAD", "/plain.txt", {}, 200},
        {"GET", "/", {}, 404},
        {"GET", "/a/%2e%2E/plain.txt", {}, 400},
        {"GET", "/plain.txt%00.bin", {}, 400},
        {"GET", QByteArray("/plain.txt\0.bin", 15), {}, 400},
        {"GET", "/" + QByteArray(ProvisioningServer::kMaxPath, 'a'), {}, 400},
        {"GET", "/" + QByteArray(ProvisioningServer::kMaxPath - 1, 'a'), {}, 404},
        {"DELETE", "/plain.txt", {}, 405},
        // A body sent with a refused method must not be taken for the next request.
        {"POST", "/plain.txt", {}, 405},
        // Nor one whose length is given twice, differently.
        {"GET", "/plain.txt", {{"Content-Length", "0"}, {"Content-Length", "27"}}, 400},
        {"GET", "/x%0D%0A2000-01-01T00:00:00.000Z%20forged", {}, 404},
        {"GET", "/a b.txt", {}, 404},
    };
    for (const auto& [method, target, headers, status] : cases) {
        const HttpReply r =
            client.request(method, target, headers, method == "POST" ? "GET /plain.txt HTTP/1.1\r\n\r\n" : "");
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

    // Time, client, method, path, company, telephone, status, bytes, milliseconds; the forged line and
    // the raw blank stay inside their path field.
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
    const QList<std::pair<QString, int>> expected = {
        {QStringLiteral("GET /any/folder/plain.txt CO 7 200 16"), 1},
        {QStringLiteral("HEAD /plain.txt CO 7 200 0"), 2},
        {QStringLiteral("DELETE /plain.txt - - 405 19"), 1},
        {QStringLiteral("GET /plain.txt%00.bin - - 400 12"), 2}, // escaped and raw
        {QStringLiteral("GET /a%20b.txt - - 404 10"), 1},
        {QStringLiteral("GET /x%0D%0A2000-01-01T00:00:00.000Z%20forged - - 404 10"), 1}};
    for (const auto& [line, times] : expected)
        EXPECT_EQ(logged.count(line), times) << line.toStdString() << "\n" << lines.join(u'\n').toStdString();
}

TEST(ProvisioningHttp, DigestAnswersCountOnceAndNoncesExpire)
{
    ServerOptions options;
    options.nonceSeconds = 2;
    options.authFailures = 0;
    Server s(options);
    HttpClient client(s.server->port());
    const HttpReply challenge = client.request("GET", "/secret.txt");
    ASSERT_EQ(challenge.status, 401);
    const QByteArray offered = challenge.header("WWW-Authenticate");
    EXPECT_TRUE(offered.startsWith("Digest ") && offered.contains("qop=\"auth\"") &&
                offered.contains("algorithm=MD5") && !offered.contains("stale"))
        << offered.constData();

    // Counts may come out of order but never twice.
    const QList<std::pair<int, int>> counts = {{1, 200}, {2, 200}, {5, 200},  {100, 200}, {1, 401},
                                               {1, 401}, {1, 401}, {99, 200}, {99, 401},  {3, 200}};
    for (const auto& [nc, status] : counts) {
        const HttpReply r = client.request("GET", "/secret.txt", {{"Authorization", answerTo(challenge, "pw", nc)}});
        EXPECT_EQ(r.status, status) << "nc " << nc;
    }
    // The answer names the target it was made for.
    EXPECT_EQ(client.request("GET", "/secret.txt?x", {{"Authorization", answerTo(challenge, "pw", 102)}}).status, 401);

    // A wrong password and a name nobody owns are refused alike.
    const HttpReply wrong = client.request("GET", "/secret.txt", {{"Authorization", answerTo(challenge, "pv", 103)}});
    const HttpReply nobody =
        client.request("GET", "/nobody.txt", {{"Authorization", answerTo(challenge, "pw", 104, "/nobody.txt")}});
    EXPECT_EQ(wrong.status, 401);
    EXPECT_EQ(nobody.status, 401);
    EXPECT_EQ(wrong.body, nobody.body);
    EXPECT_EQ(wrong.headers.keys(), nobody.headers.keys());
    EXPECT_FALSE(wrong.header("WWW-Authenticate").contains("stale"));

    // Once the nonce has expired, a right answer gets a new challenge marked stale, and that one works.
    std::this_thread::sleep_for(std::chrono::milliseconds(options.nonceSeconds * 1000 + 100));
    const HttpReply stale = client.request("GET", "/secret.txt", {{"Authorization", answerTo(challenge, "pw", 105)}});
    EXPECT_EQ(stale.status, 401);
    EXPECT_TRUE(stale.header("WWW-Authenticate").contains("stale=true")) << stale.header("WWW-Authenticate").data();
    EXPECT_EQ(client.request("GET", "/secret.txt", {{"Authorization", answerTo(stale, "pw", 1)}}).status, 200);
}

TEST(ProvisioningHttp, WrongAnswersLockTheirAddressWhileOthersAreServed)
{
    ServerOptions options;
    options.authFailures = 3;
    options.trustedProxies = {QHostAddress(QStringLiteral("127.0.0.3"))};
    Server s(options);
    HttpClient guesser(s.server->port());
    EXPECT_EQ(attempts(guesser, {"a", "b", "c", "pw"}), (QList<int>{401, 401, 401, 429}));
    const HttpReply locked = guesser.request("GET", "/plain.txt");
    EXPECT_EQ(locked.status, 429);
    EXPECT_TRUE(locked.header("Retry-After").toInt() > 0 && locked.header("Retry-After").toInt() <= 60)
        << locked.header("Retry-After").constData();
    HttpClient other(s.server->port(), nullptr, QStringLiteral("127.0.0.2"));
    EXPECT_EQ(attempts(other, {"pw"}), QList<int>{200});

    // Behind a trusted balancer the forwarded address is the client's.
    HttpClient balancer(s.server->port(), nullptr, QStringLiteral("127.0.0.3"));
    const HeaderList first = {{"X-Forwarded-For", "192.0.2.1, 192.0.2.9"}};
    EXPECT_EQ(attempts(balancer, {"a", "b", "c", "pw"}, first), (QList<int>{401, 401, 401, 429}));
    EXPECT_EQ(attempts(balancer, {"pw"}, {{"X-Forwarded-For", "192.0.2.1"}}), QList<int>{200});
    // An IPv6 client counts with its /64.
    EXPECT_EQ(attempts(balancer, {"a", "b", "c"}, {{"X-Forwarded-For", "2001:db8::1"}}), (QList<int>{401, 401, 401}));
    EXPECT_EQ(attempts(balancer, {"pw"}, {{"X-Forwarded-For", "2001:db8::2"}}), QList<int>{429});
    EXPECT_EQ(attempts(balancer, {"pw"}, {{"X-Forwarded-For", "2001:db8:0:1::2"}}), QList<int>{200});

    // 28 requests (a challenge and an answer per attempt until the lock) and 3 lock lines.
    const QStringList lines = s.log.waitFor(31);
    const auto locks = [&](const QString& address) {
        return std::count_if(lines.begin(), lines.end(), [&](const QString& l) {
            return l.startsWith(QStringLiteral("Client %1 locked out").arg(address));
        });
    };
    EXPECT_EQ(locks(QStringLiteral("127.0.0.1")), 1) << lines.join(u'\n').toStdString();
    EXPECT_EQ(locks(QStringLiteral("192.0.2.9")), 1) << lines.join(u'\n').toStdString();
    EXPECT_EQ(locks(QStringLiteral("2001:db8::/64")), 1) << lines.join(u'\n').toStdString();
    EXPECT_TRUE(lines.filter(QStringLiteral(" 192.0.2.1 GET /secret.txt CO 7 200 ")).size() == 1)
        << lines.join(u'\n').toStdString();
}

TEST(ProvisioningHttp, OneAddressCannotHoldEveryConnection)
{
    ServerOptions options;
    options.perAddressLimit = 4;
    options.headerTimeoutSeconds = 3;
    Server s(options);
    const auto held = holdConnections(s.server->port(), options.perAddressLimit);
    EXPECT_EQ(HttpClient(s.server->port()).request("GET", "/plain.txt").status, 0) << "over its address's cap";
    EXPECT_EQ(HttpClient(s.server->port(), nullptr, QStringLiteral("127.0.0.2")).request("GET", "/plain.txt").status,
              200);
    // Headers that do not come in time end their connection.
    for (const auto& socket : held) {
        EXPECT_TRUE(socket->state() == QAbstractSocket::UnconnectedState ||
                    socket->waitForDisconnected(HttpClient::kTimeoutMs));
    }
    // The server counts them gone once its own thread has closed them.
    int status = 0;
    for (int i = 0; i < 100 && status != 200; ++i) {
        status = HttpClient(s.server->port()).request("GET", "/plain.txt").status;
        if (status != 200)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_EQ(status, 200);
}

TEST(ProvisioningHttp, HealthAndWaitingRequestsAreBoundedWhileWorkersAreBusy)
{
    ServerOptions options;
    options.threads = 1;
    options.databaseBoundMs = 500;
    Server s(options);
    auto blocked = std::async(std::launch::async,
                              [port = s.server->port()] { return HttpClient(port).request("GET", "/block.txt"); });
    for (int i = 0; i < 500 && s.state.blocked == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_EQ(s.state.blocked, 1);

    HttpClient client(s.server->port());
    EXPECT_EQ(client.request("GET", "/healthz").status, 200) << "not queued behind the file request";
    EXPECT_EQ(client.request("HEAD", "/").status, 404);
    // The only worker is busy: the file waits up to the bound, then gets 503 with Retry-After.
    const HttpReply waited = client.request("GET", "/plain.txt");
    EXPECT_EQ(waited.status, 503);
    EXPECT_FALSE(waited.header("Retry-After").isEmpty());
    s.state.health = 1;
    EXPECT_EQ(client.request("GET", "/healthz").status, 503);
    s.state.health = 2;
    const HttpReply slow = client.request("GET", "/healthz");
    EXPECT_EQ(slow.status, 503) << "a check slower than its deadline";

    s.state.release();
    EXPECT_EQ(blocked.get().status, 200);
    s.state.health = 0;
    for (int i = 0; i < 100 && client.request("GET", "/healthz").status != 200; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(client.request("GET", "/healthz").status, 200);
    EXPECT_EQ(client.request("GET", "/plain.txt").status, 200);
}

TEST(ProvisioningHttp, StopRefusesNewConnectionsAndAnswersTheRequestInFlight)
{
    Server s;
    const quint16 port = s.server->port();
    HttpClient idle(port);
    ASSERT_EQ(idle.request("GET", "/plain.txt").status, 200); // an idle keep-alive connection stays open
    auto inFlight = std::async(std::launch::async, [port] { return HttpClient(port).request("GET", "/block.txt"); });
    for (int i = 0; i < 500 && s.state.blocked == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    auto stopped = std::async(std::launch::async, [&] { s.server->stop(); });

    // While the request in flight holds the stop, a new connection is refused, not left waiting.
    bool refused = false;
    for (int i = 0; i < 100 && !refused; ++i) {
        QTcpSocket probe;
        probe.connectToHost(QStringLiteral("127.0.0.1"), port);
        refused =
            !probe.waitForConnected(HttpClient::kTimeoutMs) && probe.error() == QAbstractSocket::ConnectionRefusedError;
        if (!refused)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_TRUE(refused);
    s.state.release();
    const HttpReply r = inFlight.get();
    stopped.get();
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(r.body.size(), 16);
    EXPECT_EQ(s.log.lines().size(), 2) << s.log.lines().join(u'\n').toStdString();
}

TEST(ProvisioningHttp, HttpsOnlyTls12AndNewerWithACertificateMadeHere)
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

    // A handshake of each version, by a client that allows the old ones; on TLS 1.2 only suites with
    // forward secrecy and authenticated encryption.
    const auto handshake = [&](const QString& version, const QString& ciphers) {
        QProcess client;
        client.start(QStringLiteral("openssl"),
                     {QStringLiteral("s_client"), QStringLiteral("-connect"),
                      QStringLiteral("127.0.0.1:%1").arg(s.server->port()), QStringLiteral("-") + version,
                      QStringLiteral("-cipher"), ciphers + QStringLiteral(":@SECLEVEL=0")});
        client.closeWriteChannel();
        return client.waitForFinished(10000) && client.exitCode() == 0;
    };
    const QList<std::tuple<const char*, const char*, bool>> handshakes = {
        {"tls1", "DEFAULT", false},
        {"tls1_1", "DEFAULT", false},
        {"tls1_2", "DEFAULT", true},
        {"tls1_3", "DEFAULT", true},
        {"tls1_2", "ECDHE-RSA-AES128-GCM-SHA256", true},
        {"tls1_2", "ECDHE-RSA-CHACHA20-POLY1305", true},
        {"tls1_2", "AES128-GCM-SHA256:AES256-GCM-SHA384", false},          // no forward secrecy
        {"tls1_2", "ECDHE-RSA-AES128-SHA:ECDHE-RSA-AES256-SHA384", false}, // CBC
        {"tls1_2", "AES128-SHA:DES-CBC3-SHA", false},
    };
    for (const auto& [version, ciphers, accepted] : handshakes)
        EXPECT_EQ(handshake(QLatin1String(version), QLatin1String(ciphers)), accepted) << version << ' ' << ciphers;

    // A certificate without its key is refused at start.
    ServerOptions half;
    half.tlsCertificate = options.tlsCertificate;
    ProvisioningServer refused(
        half, [&](int) { return std::make_unique<FakeSource>(s.state); }, s.log);
    QString error;
    EXPECT_FALSE(refused.start(&error));
    EXPECT_FALSE(error.isEmpty());
}

TEST(ProvisioningHttp, MetricsOnTheirOwnPortParseBack)
{
    ServerOptions options;
    options.metricsPort = 0;
    Server s(options);
    ASSERT_NE(s.server->metricsPort(), 0);
    ASSERT_NE(s.server->metricsPort(), s.server->port());
    HttpClient client(s.server->port());
    for (const char* target : {"/plain.txt", "/plain.txt", "/none.txt", "/metrics"})
        client.request("GET", target);
    const HttpReply challenge = client.request("GET", "/secret.txt");
    client.request("GET", "/secret.txt", {{"Authorization", answerTo(challenge, "wrong", 1)}});
    s.log.waitFor(6);

    const HttpReply r = HttpClient(s.server->metricsPort()).request("GET", "/metrics");
    ASSERT_EQ(r.status, 200);
    EXPECT_TRUE(r.header("Content-Type").startsWith("text/plain; version=0.0.4")) << r.header("Content-Type").data();
    // Every line a comment or "name{labels} value".
    QMap<QString, double> samples;
    const QRegularExpression sample(QStringLiteral(R"(^([a-z_]+(?:\{[a-z]+="[^"]*"\})?) (\S+)$)"));
    for (const QByteArray& line : r.body.split('\n')) {
        if (line.isEmpty() || line.startsWith("# HELP ") || line.startsWith("# TYPE "))
            continue;
        const QRegularExpressionMatch m = sample.match(QString::fromUtf8(line));
        ASSERT_TRUE(m.hasMatch()) << line.constData();
        bool ok = false;
        samples.insert(m.captured(1), m.captured(2).toDouble(&ok));
        EXPECT_TRUE(ok || m.captured(2) == u"+Inf") << line.constData();
    }
    EXPECT_EQ(samples.value(QStringLiteral("vocaset_serve_requests_total{status=\"200\"}")), 2);
    EXPECT_EQ(samples.value(QStringLiteral("vocaset_serve_requests_total{status=\"404\"}")), 2);
    EXPECT_EQ(samples.value(QStringLiteral("vocaset_serve_requests_total{status=\"401\"}")), 2);
    EXPECT_EQ(samples.value(QStringLiteral("vocaset_serve_request_duration_seconds_count")), 6);
    EXPECT_EQ(samples.value(QStringLiteral("vocaset_serve_request_duration_seconds_bucket{le=\"+Inf\"}")), 6);
    EXPECT_EQ(samples.value(QStringLiteral("vocaset_serve_auth_failures_total")), 1);
    EXPECT_EQ(samples.value(QStringLiteral("vocaset_serve_auth_locks_total")), 0);
    EXPECT_EQ(samples.value(QStringLiteral("vocaset_serve_connections_open")), 1);
    EXPECT_TRUE(std::any_of(samples.keyBegin(), samples.keyEnd(), [](const QString& k) {
        return k.startsWith(QLatin1String("vocaset_serve_build_info{version=\""));
    }));
}

// Wrong answers from one address at the same instant, each looked up before any is checked: no more
// than the limit are checked, the others get 429, and so does a right answer behind the lock.
TEST(ProvisioningHttp, ABurstOfWrongAnswersChecksNoMoreThanTheLimit)
{
    ServerOptions options;
    options.threads = 64;
    options.perAddressLimit = 0;
    Server s(options);
    constexpr int kBurst = 63;
    s.state.burst = kBurst;
    HttpClient client(s.server->port());
    const HttpReply challenge = client.request("GET", "/secret.txt");
    ASSERT_EQ(challenge.status, 401);
    std::vector<std::future<int>> burst;
    for (int nc = 1; nc <= kBurst; ++nc) {
        burst.push_back(std::async(std::launch::async, [&, nc] {
            const QByteArray answer = answerTo(challenge, nc == kBurst ? "pw" : "wrong", nc, "/burst.txt");
            return HttpClient(s.server->port()).request("GET", "/burst.txt", {{"Authorization", answer}}).status;
        }));
    }
    QMap<int, int> statuses;
    for (auto& reply : burst)
        ++statuses[reply.get()];
    EXPECT_EQ(statuses.value(401), options.authFailures) << testing::PrintToString(statuses.toStdMap());
    EXPECT_EQ(statuses.value(401) + statuses.value(429) + statuses.value(200), kBurst);
    EXPECT_LE(statuses.value(200), 1) << "the right answer, when it was checked before the lock";
    EXPECT_EQ(client.request("GET", "/secret.txt", {{"Authorization", answerTo(challenge, "pw", kBurst + 1)}}).status,
              429);
    const QStringList lines = s.log.waitFor(kBurst + 3);
    EXPECT_EQ(lines.filter(QStringLiteral("locked out")).size(), 1) << lines.join(u'\n').toStdString();
}

// Counts of one nonce come in any order over parallel connections: each is accepted once within the
// window below the highest; an older one gets a challenge marked stale and is no failure. The nonce
// itself tells nothing: neither a serial nor a time can be read from it, and an altered one is stale.
TEST(ProvisioningHttp, DigestCountsAreAcceptedOnceWithinTheWindowInAnyOrder)
{
    ServerOptions options;
    options.authFailures = 3;
    Server s(options);
    HttpClient client(s.server->port());
    const HttpReply challenge = client.request("GET", "/secret.txt");
    ASSERT_EQ(challenge.status, 401);
    HttpReply altered = challenge;
    QByteArray& offered = altered.headers["www-authenticate"];
    const qsizetype digit = offered.indexOf("nonce=\"") + 7 + 40;
    offered[digit] = offered[digit] == '0' ? '1' : '0';

    const int window = int(DigestAuth::kCountWindow);
    struct Case
    {
        const char* what;
        int nc;
        int status;
        bool stale;
        const HttpReply* to = nullptr;
    };
    const QList<Case> cases = {
        {"a first count", 5, 200, false},
        {"its repeat", 5, 401, false}, // failure 1
        {"a count below", 4, 200, false},
        {"the top of a window moved up", window + 3, 200, false},
        {"a repeat inside the window", 4, 401, false}, // failure 2
        {"the bottom of the window", 6, 200, false},
        {"just below the window", 3, 401, true},
        {"far below it", 1, 401, true},
        {"just below it again", 3, 401, true},
        {"an altered nonce", window + 4, 401, true, &altered},
        {"still not locked out", window + 4, 200, false},
    };
    for (const Case& c : cases) {
        const HttpReply r =
            client.request("GET", "/secret.txt", {{"Authorization", answerTo(c.to ? *c.to : challenge, "pw", c.nc)}});
        EXPECT_EQ(r.status, c.status) << c.what;
        EXPECT_EQ(r.header("WWW-Authenticate").contains("stale=true"), c.stale) << c.what;
    }

    // Eight connections share the nonce and its counts.
    std::atomic<int> next{window + 5};
    std::vector<std::future<QList<int>>> workers;
    for (int w = 0; w < 8; ++w) {
        workers.push_back(std::async(std::launch::async, [&] {
            HttpClient parallel(s.server->port());
            QList<int> refused;
            for (int i = 0; i < 100; ++i) {
                const int nc = next++;
                if (parallel.request("GET", "/secret.txt", {{"Authorization", answerTo(challenge, "pw", nc)}}).status !=
                    200)
                    refused << nc;
            }
            return refused;
        }));
    }
    for (auto& worker : workers)
        EXPECT_EQ(worker.get(), QList<int>());

    // Two halves of nonces, each differing from every other's: no serial, no issue time in clear.
    QList<QByteArray> nonces;
    for (int i = 0; i < 16; ++i) {
        const QByteArray header = client.request("GET", "/secret.txt").header("WWW-Authenticate");
        const qsizetype at = header.indexOf("nonce=\"") + 7;
        nonces << header.mid(at, header.indexOf('"', at) - at);
    }
    for (qsizetype i = 0; i < nonces.size(); ++i) {
        for (qsizetype j = i + 1; j < nonces.size(); ++j) {
            EXPECT_NE(nonces[i].left(8), nonces[j].left(8)) << nonces[i].constData() << ' ' << nonces[j].constData();
            EXPECT_NE(nonces[i].mid(32, 8), nonces[j].mid(32, 8))
                << nonces[i].constData() << ' ' << nonces[j].constData();
        }
    }

    // Stale counts were no failures, but a repeat is: the third one locks the address out.
    const auto status = [&](int nc) {
        return client.request("GET", "/secret.txt", {{"Authorization", answerTo(challenge, "pw", nc)}}).status;
    };
    EXPECT_EQ(status(next - 1), 401);
    EXPECT_EQ(status(next), 429);
}

// An IPv4 address written as IPv6 is that IPv4 address wherever the server decides by address: as a
// trusted balancer, in X-Forwarded-For, and on a listener of both families, where IPv4 clients
// arrive mapped, for the lock-out and for the cap per address.
TEST(ProvisioningHttp, MappedAddressesAreTheirIPv4Address)
{
    ServerOptions options;
    options.authFailures = 2;
    options.perAddressLimit = 2;
    options.address = QStringLiteral("::ffff:127.0.0.1");
    options.trustedProxies = {QHostAddress(QStringLiteral("::ffff:127.0.0.3"))};
    Server s(options);
    ASSERT_NE(s.server->port(), 0);
    const auto from = [](const char* hops) { return HeaderList{{"X-Forwarded-For", hops}}; };
    HttpClient balancer(s.server->port(), nullptr, QStringLiteral("127.0.0.3"));
    EXPECT_EQ(attempts(balancer, {"a", "b"}, from("::ffff:198.51.100.7")), (QList<int>{401, 401}));
    EXPECT_EQ(attempts(balancer, {"pw"}, from("198.51.100.7")), QList<int>{429});
    EXPECT_EQ(attempts(balancer, {"pw"}, from("198.51.100.7, ::ffff:127.0.0.3")), QList<int>{429});
    EXPECT_EQ(attempts(balancer, {"pw"}, from("::ffff:203.0.113.9")), QList<int>{200});

    HttpClient direct(s.server->port(), nullptr, QStringLiteral("127.0.0.2"));
    EXPECT_EQ(attempts(direct, {"a", "b", "pw"}), (QList<int>{401, 401, 429}));
    const auto held = holdConnections(s.server->port(), options.perAddressLimit);
    EXPECT_EQ(HttpClient(s.server->port()).request("GET", "/plain.txt").status, 0) << "over its address's cap";
    EXPECT_EQ(HttpClient(s.server->port(), nullptr, QStringLiteral("127.0.0.4")).request("GET", "/plain.txt").status,
              200);

    const QStringList lines = s.log.waitFor(17);
    const QString all = lines.join(u'\n');
    EXPECT_EQ(
        lines.filter(QStringLiteral("locked out")),
        (QStringList{QStringLiteral("Client 198.51.100.7 locked out for 60 s after 2 wrong authentication answers"),
                     QStringLiteral("Client 127.0.0.2 locked out for 60 s after 2 wrong authentication answers")}))
        << all.toStdString();
    EXPECT_EQ(lines.filter(QStringLiteral(" 203.0.113.9 GET /secret.txt CO 7 200 ")).size(), 1) << all.toStdString();
    EXPECT_EQ(lines.filter(QStringLiteral(" 127.0.0.4 GET /plain.txt CO 7 200 ")).size(), 1) << all.toStdString();
    EXPECT_FALSE(all.contains(QStringLiteral("::ffff:"))) << all.toStdString();
}

// A request must be whole, headers and body, within the header deadline; these requests need no body,
// so one beyond a small cap, or of a length not told (chunked), is refused at once with 413.
TEST(ProvisioningHttp, ARequestIsWholeWithinTheDeadlineAndItsBodySmall)
{
    ServerOptions options;
    options.headerTimeoutSeconds = 1;
    Server s(options);
    const int cap = ProvisioningServer::kMaxBody;
    HttpClient client(s.server->port());
    const QList<std::tuple<HeaderList, QByteArray, int>> cases = {
        {{}, QByteArray(cap, 'x'), 200},
        {{}, QByteArray(cap + 1, 'x'), 413},
        {{{"Content-Length", "100000"}}, {}, 413},
        {{{"Transfer-Encoding", "chunked"}}, {}, 413},
    };
    for (const auto& [headers, body, status] : cases)
        EXPECT_EQ(client.request("GET", "/plain.txt", headers, body).status, status)
            << body.size() << ' ' << (headers.isEmpty() ? "" : headers.first().first.constData());

    // A body within the cap, trickled a byte at a time, is cut at the deadline before it is whole.
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in to = {};
    to.sin_family = AF_INET;
    to.sin_port = htons(s.server->port());
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to), 0);
    const QByteArray head =
        "GET /plain.txt HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: " + QByteArray::number(cap) + "\r\n\r\n";
    ASSERT_EQ(::send(fd, head.constData(), size_t(head.size()), MSG_NOSIGNAL), head.size());
    bool closed = false;
    int sent = 0;
    for (; sent < 40 && !closed; ++sent) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        char byte = 0;
        closed = ::send(fd, "x", 1, MSG_NOSIGNAL) != 1 || ::recv(fd, &byte, 1, MSG_DONTWAIT) == 0;
    }
    ::close(fd);
    EXPECT_TRUE(closed) << sent << " bytes of the body sent, and the connection still open";
}

// A client that shuts its side after the request still gets the answer, however long it takes.
TEST(ProvisioningHttp, AHalfClosedRequestIsAnswered)
{
    Server s;
    const QList<std::pair<QByteArray, QByteArray>> cases = {{"/plain.txt", "200"},  {"/slow.txt", "200"},
                                                            {"/secret.txt", "401"}, {"/missing.txt", "404"},
                                                            {"/healthz", "200"},    {"/", "404"}};
    for (int round = 0; round < 3; ++round) {
        for (const auto& [target, status] : cases) {
            const QByteArray reply =
                rawExchange(s.server->port(), "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", true);
            EXPECT_TRUE(reply.startsWith(QByteArray("HTTP/1.1 " + status + ' ')))
                << target.constData() << ": " << reply.left(40).constData();
        }
    }
}

// A HEAD of a telephone's file fetches nothing: the recorder gets only the GET.
TEST(ProvisioningHttp, OnlyAGetOfATelephonesFileIsRecorded)
{
    TestDatabase fetches;
    ASSERT_TRUE(FetchTable::prepare(fetches.db).isEmpty());
    LockedLog recorderLog;
    FetchRecorder recorder(fetches.connectionString(), recorderLog, std::chrono::milliseconds(5));
    ServerOptions options;
    options.recorder = &recorder;
    Server s(options);
    HttpClient client(s.server->port());
    const auto recorded = [&](const QByteArray& method, const HeaderList& headers, int status) {
        recorder.start();
        EXPECT_EQ(client.request(method, "/plain.txt", headers).status, status) << method.constData();
        recorder.stop();
        const Recordset rows =
            fetches.db.execute(QStringLiteral("SELECT CO_CODE, PH_CODE, PF_AGENT FROM PHONE_FETCHES"));
        return rows.isEmpty() ? std::string()
                              : QString(rows.text(0) + u'/' + rows.text(1) + u' ' + rows.text(2)).toStdString();
    };
    const QByteArray tag = client.request("HEAD", "/plain.txt").header("ETag");
    EXPECT_EQ(recorded("HEAD", {{"User-Agent", "head"}}, 200), "");
    EXPECT_EQ(recorded("HEAD", {{"User-Agent", "head"}, {"If-None-Match", tag}}, 304), "");
    EXPECT_EQ(recorded("GET", {{"User-Agent", "get"}}, 200), "CO/7 get");
    EXPECT_EQ(recorderLog.lines(), QStringList());
}

} // namespace
} // namespace vocaset::test
