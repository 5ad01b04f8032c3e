// Telephones fetching their files from a working copy of the demo database on the engine under test:
// found by MAC, refused, in conflict, behind Digest per company without telling which MACs exist,
// changed between two requests, served by two servers on one database at once, answered in bounded
// time while the database is locked, after a lost connection and after the file was replaced.

#include <future>

#include <cstdio>

#include <QCryptographicHash>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "CodeRename.h"
#include "DatabaseCreation.h"
#include "Dialect.h"
#include "DigestAuth.h"
#include "FetchRecorder.h"
#include "HttpClient.h"
#include "Interleaving.h"
#include "PhoneFileSource.h"
#include "ServeTestSupport.h"
#include "ServedDatabase.h"
#include "Sql.h"
#include "TestDatabase.h"

namespace vocaset::test {
namespace {

const QByteArray kReception = "/cfg000B82E79E4A"; // ALPIN 201, GXP2000

class DemoSite : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const QString sourceFile = root.filePath(QStringLiteral("source.db"));
        if (!QFile::copy(QStringLiteral(VOCASET_DEMO_DB), sourceFile))
            GTEST_SKIP() << "the demo source database has not been built: " << VOCASET_DEMO_DB;
        ASSERT_EQ(createDatabase(working.s, QStringLiteral("Provider=SQLite;Data Source=") + sourceFile, working.log),
                  CreationOutcome::Created);
    }

    std::unique_ptr<ProvisioningServer> serve(LockedLog& into, const QString& connection = QString(),
                                              ServerOptions options = {})
    {
        return serveDatabase(connection.isEmpty() ? working.tdb.connectionString() : connection, into, options);
    }
    void exec(const QString& sql, const QVariantList& values = {}) { working.tdb.db.executeBound(sql, values); }

    QTemporaryDir root;
    TestSession working{false};
    LockedLog log;
};

TEST_F(DemoSite, FoundByMacRefusedInConflictAndChangedBetweenRequests)
{
    const auto server = serve(log);
    HttpClient client(server->port());
    const HttpReply first = client.request("GET", kReception);
    ASSERT_EQ(first.status, 200);
    EXPECT_EQ(first.header("Content-Type"), "application/octet-stream");
    EXPECT_EQ(first.body.mid(6, 6), QByteArray::fromHex("000B82E79E4A"));
    for (const QByteArray& same : {QByteArray("/cfg000b82e79e4a"), QByteArray("/phones/alpin/cfg000B82E79e4A")})
        EXPECT_EQ(client.request("GET", same).body, first.body) << same.constData();
    const HttpReply pap2 = client.request("GET", "/0014BF48995F.txt");
    EXPECT_EQ(pap2.status, 200);
    EXPECT_TRUE(pap2.body.startsWith("<flat-profile>\r\n")) << pap2.body.left(40).constData();

    // Names no telephone fetches: unknown MAC, another model's name for a known MAC, a short MAC.
    for (const char* missing : {"/cfg000B82E79E4B", "/ut000B82E79E4A.ini", "/cfg0014bf48995f", "/cfg000B82E79E4",
                                "/000B82E79E4A.TXT", "/cfg000B82E79E4A.txt"})
        EXPECT_EQ(client.request("GET", missing).status, 404) << missing;

    // A value the format cannot carry: 500 and the run's own line.
    exec(QStringLiteral("UPDATE COMPANY_PARAMETERS SET PA_VALUE = ? WHERE CO_CODE = 'ALPIN' AND EQ_CODE = 'GXP2000' "
                        "AND PA_CODE = '2'"),
         {QStringLiteral("two\nlines")});
    const HttpReply refused = client.request("GET", kReception);
    EXPECT_EQ(refused.status, 500);
    EXPECT_FALSE(refused.body.contains("two"));

    // One MAC on two telephones: neither is served, and the log names both.
    exec(QStringLiteral("UPDATE PHONES SET PH_MAC = '000b82e79e4a' WHERE CO_CODE = 'OHARA' AND PH_CODE = '101'"));
    EXPECT_EQ(client.request("GET", kReception).status, 409);

    // One line per request; the refusal and the conflict each after a line that says why.
    const QStringList lines = log.waitFor(14);
    const auto lineOf = [&](const QString& part) {
        return std::find_if(lines.begin(), lines.end(), [&](const QString& l) { return l.contains(part); }) -
               lines.begin();
    };
    EXPECT_TRUE(lines.value(0).contains(QStringLiteral(" GET /cfg000B82E79E4A ALPIN 201 200 ")))
        << lines.value(0).toStdString();
    const qsizetype failed = lineOf(QStringLiteral(" ALPIN 201 500 "));
    const qsizetype conflict = lineOf(QStringLiteral(" - - 409 "));
    ASSERT_TRUE(failed > 0 && conflict == lines.size() - 1) << lines.join(u'\n').toStdString();
    EXPECT_TRUE(lines[failed - 1].contains(QStringLiteral("line feed"))) << lines[failed - 1].toStdString();
    EXPECT_TRUE(lines[conflict - 1].contains(QStringLiteral("ALPIN/201")) &&
                lines[conflict - 1].contains(QStringLiteral("OHARA/101")))
        << lines[conflict - 1].toStdString();
    EXPECT_EQ(lines.size(), failed + 3) << "one line per request, and the notes";

    // A database that cannot be reached, or a file that is not there: 503, the reason in the log, and
    // never a new, empty database in its place.
    for (const QString& missing :
         {root.filePath(QStringLiteral("missing/folder/x.db")), root.filePath(QStringLiteral("x.db"))}) {
        LockedLog downLog;
        const auto down = serve(downLog, QStringLiteral("Provider=SQLite;Data Source=") + missing);
        EXPECT_EQ(HttpClient(down->port()).request("GET", kReception).status, 503);
        EXPECT_TRUE(downLog.waitFor(2).first().startsWith(QStringLiteral("Database unavailable")));
        EXPECT_FALSE(QFile::exists(missing)) << missing.toStdString();
    }
}

TEST_F(DemoSite, DigestPerCompanyWithTheTelephonesMac)
{
    exec(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('ALPIN', '$$PROVAUTH', 'alpine secret')"));
    exec(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('OHARA', '$$PROVAUTH', 'ohara secret')"));
    const auto server = serve(log);
    HttpClient client(server->port());
    const QByteArray ohara = "/cfg000B82946FF4";      // OHARA 101
    const QByteArray oharaPap2 = "/0014bf624d73.txt"; // OHARA 110, MAC stored in lower case

    struct Case
    {
        QByteArray target;
        QString user;
        QString password;
        int status;
    };
    const QList<Case> cases = {
        {kReception, QString(), QString(), 401},
        {kReception, QStringLiteral("000B82E79E4A"), QStringLiteral("alpine secret"), 200},
        {kReception, QStringLiteral("000b82e79e4a"), QStringLiteral("alpine secret"), 401},
        {kReception, QStringLiteral("000B82E79E4A"), QStringLiteral("alpine secreT"), 401},
        // Another telephone of the same company, and another company's telephone with its own password.
        {kReception, QStringLiteral("000B82EE69AF"), QStringLiteral("alpine secret"), 401},
        {kReception, QStringLiteral("000B82946FF4"), QStringLiteral("ohara secret"), 401},
        {kReception, QStringLiteral("000B82E79E4A"), QStringLiteral("ohara secret"), 401},
        {ohara, QStringLiteral("000B82946FF4"), QStringLiteral("ohara secret"), 200},
        {ohara, QStringLiteral("000B82946FF4"), QStringLiteral("alpine secret"), 401},
        {oharaPap2, QStringLiteral("0014BF624D73"), QStringLiteral("ohara secret"), 200},
    };
    for (const Case& c : cases) {
        const HttpReply r =
            c.user.isEmpty() ? client.request("GET", c.target) : client.getWithDigest(c.target, c.user, c.password);
        EXPECT_EQ(r.status, c.status) << c.target.constData() << ' ' << c.user.toStdString() << ' '
                                      << c.password.toStdString();
        if (r.status == 401) {
            const QByteArray challenge = r.header("WWW-Authenticate");
            EXPECT_TRUE(challenge.startsWith("Digest ") && challenge.contains("qop=\"auth\"") &&
                        challenge.contains("algorithm=MD5"))
                << challenge.constData();
        }
    }

    // Behind a balancer the answer to one server's challenge may reach another: it says the nonce is
    // stale, so the telephone answers its challenge without asking anyone for a password.
    LockedLog otherLog;
    const auto other = serve(otherLog);
    const HttpReply challenge = client.request("GET", ohara);
    HttpClient elsewhere(other->port());
    const HttpReply stale = elsewhere.request(
        "GET", ohara,
        {{"Authorization", digestAuthorization(challenge.header("WWW-Authenticate"), "GET", ohara,
                                               QStringLiteral("000B82946FF4"), QStringLiteral("ohara secret"), 1)}});
    EXPECT_EQ(stale.status, 401);
    EXPECT_TRUE(stale.header("WWW-Authenticate").toLower().replace('"', "").contains("stale=true"))
        << stale.header("WWW-Authenticate").constData();
    EXPECT_EQ(elsewhere
                  .request("GET", ohara,
                           {{"Authorization",
                             digestAuthorization(stale.header("WWW-Authenticate"), "GET", ohara,
                                                 QStringLiteral("000B82946FF4"), QStringLiteral("ohara secret"), 1)}})
                  .status,
              200);

    // Without its row a company's files are open again, at the next request.
    exec(QStringLiteral("DELETE FROM SYSTEM_PARAMETERS WHERE SY_CODE = 'ALPIN' AND SY_SUBCODE = '$$PROVAUTH'"));
    EXPECT_EQ(client.request("GET", kReception).status, 200);
    EXPECT_EQ(client.request("GET", ohara).status, 401);
}

TEST_F(DemoSite, UnderDigestNoReplyTellsWhichMacsExist)
{
    exec(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('ALPIN', '$$PROVAUTH', 'alpine secret')"));
    const auto server = serve(log);
    HttpClient client(server->port());
    // Everything but the nonce and the date, for comparing replies.
    const auto shape = [](const HttpReply& r) {
        QMap<QByteArray, QByteArray> headers = r.headers;
        headers.remove("date");
        QByteArray& challenge = headers["www-authenticate"];
        const qsizetype nonce = challenge.indexOf("nonce=\"");
        challenge.remove(nonce, challenge.indexOf('"', nonce + 7) - nonce + 1);
        return std::pair{r.status, std::pair{headers, r.body}};
    };
    const auto wrongAnswer = [&](const QByteArray& target, const QString& mac) {
        const HttpReply challenge = client.request("GET", target);
        return client.request("GET", target,
                              {{"Authorization", digestAuthorization(challenge.header("WWW-Authenticate"), "GET",
                                                                     target, mac, QStringLiteral("guess"), 1)}});
    };
    // A protected telephone, the same MAC by another model's name, an unknown MAC, and an open
    // company's telephone by another model's name.
    const QList<std::pair<QByteArray, QString>> names = {
        {kReception, QStringLiteral("000B82E79E4A")},
        {"/ut000B82E79E4A.ini", QStringLiteral("000B82E79E4A")},
        {"/cfg000B82E79E4B", QStringLiteral("000B82E79E4B")},
        {"/ut000B82946FF4.ini", QStringLiteral("000B82946FF4")},
    };
    const auto firstAsked = shape(client.request("GET", names.first().first));
    const auto firstWrong = shape(wrongAnswer(names.first().first, names.first().second));
    EXPECT_EQ(firstAsked.first, 401);
    EXPECT_TRUE(firstAsked.second.first.contains("www-authenticate"));
    for (const auto& [target, mac] : names) {
        EXPECT_EQ(shape(client.request("GET", target)), firstAsked) << target.constData();
        EXPECT_EQ(shape(wrongAnswer(target, mac)), firstWrong) << target.constData();
    }
    // Only a right answer for a telephone that exists gets further; an open company's file needs none.
    EXPECT_EQ(
        client.getWithDigest("/ut000B82E79E4A.ini", QStringLiteral("000B82E79E4A"), QStringLiteral("alpine secret"))
            .status,
        404);
    EXPECT_EQ(client.getWithDigest(kReception, QStringLiteral("000B82E79E4A"), QStringLiteral("alpine secret")).status,
              200);
    EXPECT_EQ(client.request("GET", "/cfg000B82946FF4").status, 200);
}

TEST_F(DemoSite, HeldDatabaseLockGives503WithinTheBoundAndTheHealthCheckSaysSo)
{
    ASSERT_TRUE(FetchTable::prepare(working.tdb.db).isEmpty());
    // Another session takes PHONES for itself, as a long migration would. On SQLite, whose readers
    // no writer holds up, that takes a connection with the file to itself.
    Database holder;
    holder.open(working.tdb.connectionString());
    if (holder.engine() == Engine::SQLite) {
        working.tdb.db.close();
        holder.execute(QStringLiteral("PRAGMA locking_mode = EXCLUSIVE"));
        holder.begin();
        holder.execute(QStringLiteral("UPDATE PHONES SET PH_DESC = PH_DESC WHERE PH_CODE = '201'"));
    } else {
        holder.begin();
        holder.execute(QStringLiteral("LOCK TABLE PHONES IN ACCESS EXCLUSIVE MODE"));
    }
    // The refusal is recorded for the telephone, as it was asked for, once the database answers again.
    FetchRecorder recorder(working.tdb.connectionString(), log, std::chrono::milliseconds(20));
    recorder.start();
    ServerOptions options;
    options.databaseBoundMs = 1000;
    options.recorder = &recorder;
    const auto server = serve(log, QString(), options);
    HttpClient client(server->port());
    const HttpReply held = client.request("GET", kReception);
    EXPECT_EQ(held.status, 503);
    EXPECT_FALSE(held.header("Retry-After").isEmpty());
    EXPECT_EQ(client.request("GET", "/healthz").status, 503);
    holder.close();

    EXPECT_EQ(client.request("GET", kReception).status, 200);
    EXPECT_EQ(client.request("GET", "/healthz").status, 200);
    recorder.stop();
    Database reader;
    reader.open(working.tdb.connectionString());
    EXPECT_EQ(
        reader.execute(QStringLiteral("SELECT PR_REASON FROM PHONE_REFUSALS WHERE CO_CODE = 'ALPIN' AND PH_CODE = '201'"))
            .text(0),
        QStringLiteral("database"));
    const QStringList lines = log.lines();
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const QString& l) { return l.startsWith(QLatin1String("Database unavailable")); }),
              1)
        << lines.join(u'\n').toStdString();
}

TEST_F(DemoSite, AReplacedSqliteFileAndALostConnectionAreServedFresh)
{
    ServerOptions options;
    options.threads = 1;
    const auto server = serve(log, QString(), options);
    HttpClient client(server->port());
    ASSERT_EQ(client.request("GET", kReception).status, 200);
    if (working.tdb.engine() == Engine::SQLite) {
        // A copy with another description, moved over the working file.
        const QString file = ConnectionString(working.tdb.connectionString()).value(QStringLiteral("Data Source"));
        const QString copy = root.filePath(QStringLiteral("replacement.db"));
        exec(QStringLiteral("VACUUM INTO '") + sqlText(copy) + u'\'');
        {
            Database replacement;
            replacement.open(QStringLiteral("Provider=SQLite;Data Source=") + copy);
            replacement.execute(
                QStringLiteral("UPDATE PHONES SET PH_DESC = 'Moved in' WHERE CO_CODE = 'ALPIN' AND PH_CODE = '201'"));
        }
        ASSERT_EQ(std::rename(QFile::encodeName(copy).constData(), QFile::encodeName(file).constData()), 0);
    } else {
        // The server ends every other session, the server's among them.
        exec(QStringLiteral("UPDATE PHONES SET PH_DESC = 'Moved in' WHERE CO_CODE = 'ALPIN' AND PH_CODE = '201'"));
        exec(QStringLiteral("SELECT pg_terminate_backend(pid) FROM pg_stat_activity "
                            "WHERE datname = current_database() AND pid <> pg_backend_pid()"));
    }
    for (int i = 0; i < 3; ++i) {
        const HttpReply r = client.request("GET", kReception);
        EXPECT_EQ(r.status, 200);
        EXPECT_TRUE(r.body.contains("Moved in")) << i;
    }
}

TEST_F(DemoSite, TwoServersOnOneDatabaseAnswerAtOnce)
{
    LockedLog otherLog;
    const auto a = serve(log);
    const auto b = serve(otherLog);
    QList<QByteArray> targets;
    QMap<QByteArray, QByteArray> expected;
    {
        Recordset phones = working.tdb.db.execute(QLatin1String(kDemoPhones));
        HttpClient client(a->port());
        for (; !phones.eof(); phones.moveNext()) {
            const QByteArray target = '/' + provisioningFileName(phones.text(4), phones.text(3)).toLatin1();
            const HttpReply r = client.request("GET", target);
            ASSERT_EQ(r.status, 200) << target.constData();
            targets.append(target);
            expected.insert(target, r.body);
        }
    }
    ASSERT_GE(targets.size(), 20);

    // Four clients, each on both servers in turn, fetching telephones in a random order.
    constexpr int kRounds = 40;
    std::vector<std::future<int>> clients;
    for (int c = 0; c < 4; ++c) {
        clients.push_back(std::async(std::launch::async, [&, c] {
            HttpClient onA(a->port());
            HttpClient onB(b->port());
            QRandomGenerator random(quint32(c + 1));
            int right = 0;
            for (int i = 0; i < kRounds; ++i) {
                const QByteArray& target = targets.at(random.bounded(int(targets.size())));
                const HttpReply r = (i % 2 ? onA : onB).request("GET", target);
                right += r.status == 200 && r.body == expected.value(target);
            }
            return right;
        }));
    }
    for (auto& c : clients)
        EXPECT_EQ(c.get(), kRounds);
    EXPECT_EQ(otherLog.waitFor(2 * kRounds).size(), 2 * kRounds) << "the second server answered its share";

    // Both see a change at once: neither keeps a copy of what it served.
    exec(QStringLiteral("UPDATE PHONES SET PH_DESC = 'Front door' WHERE CO_CODE = 'ALPIN' AND PH_CODE = '201'"));
    const HttpReply fromA = HttpClient(a->port()).request("GET", kReception);
    EXPECT_EQ(fromA.status, 200);
    EXPECT_TRUE(fromA.body.contains("Front door"));
    // The same bytes carry the same tag on every server, so a balancer may send the next request anywhere.
    HttpClient onB(b->port());
    EXPECT_EQ(onB.request("GET", kReception).body, fromA.body);
    EXPECT_EQ(onB.request("GET", kReception, {{"If-None-Match", fromA.header("ETag")}}).status, 304);
}

// The index on the telephone of PHONES_PARAMETERS comes with a new database, a server started on an
// older one that lacks it makes it, and a change of the table's constraints (which rebuilds the table
// on SQLite) keeps it.
TEST_F(DemoSite, TheTelephoneValuesIndexComesWithCreationAndServerStartAndStays)
{
    Database& db = working.tdb.db;
    const auto indexed = [&db] {
        return db.execute(db.engine() == Engine::SQLite
                              ? QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'index' AND "
                                               "tbl_name = 'PHONES_PARAMETERS' AND UPPER(name) = 'IX_PHOPAR_PHO'")
                              : QStringLiteral("SELECT indexname FROM pg_indexes WHERE tablename = "
                                               "'phones_parameters' AND UPPER(indexname) = 'IX_PHOPAR_PHO'"))
                   .count() == 1;
    };
    EXPECT_TRUE(indexed());
    db.execute(QStringLiteral("DROP INDEX IX_PHOPAR_PHO"));
    ASSERT_FALSE(indexed());
    EXPECT_EQ(PhoneFileSource::prepareDatabase(db), QStringList());
    EXPECT_TRUE(indexed());
    EXPECT_EQ(PhoneFileSource::prepareDatabase(db), QStringList()) << "a second start finds it there";
    db.execute(QStringLiteral("ALTER TABLE PHONES_PARAMETERS DROP CONSTRAINT FK_PHOPAR_EQUPAR"));
    db.execute(QStringLiteral("ALTER TABLE PHONES_PARAMETERS ADD CONSTRAINT FK_PHOPAR_EQUPAR FOREIGN KEY (EQ_CODE, "
                              "PA_CODE) REFERENCES EQUIPMENT_PARAMETERS(EQ_CODE, PA_CODE) ON UPDATE CASCADE"));
    EXPECT_TRUE(indexed());
}

// Answers every Digest check as right when it knows one of the passwords, as a telephone would, but
// offers the database no proof of it.
class KnownPassword final : public Credentials
{
public:
    explicit KnownPassword(QString password = QStringLiteral("right")) : m_password(std::move(password)) {}
    Check check(const QString&, const QStringList& passwords) override
    {
        return passwords.contains(m_password) ? Check::Accepted : Check::Refused;
    }

private:
    QString m_password;
};

// A company's networks: from inside them its files come without Digest; from outside Digest is asked
// where the company has a password, and a company without one is refused as a wrong password is.
// IPv4 and IPv6 networks, an address mapped from IPv4 into IPv6; a malformed row is ignored and said.
TEST_F(DemoSite, NetworksOfACompanyDecideWhoNeedsDigest)
{
    class From final : public Credentials
    {
    public:
        From(QString client, QString password) : m_client(std::move(client)), m_password(std::move(password)) {}
        QString client() const override { return m_client; }
        Check check(const QString&, const QStringList& passwords) override
        {
            // "*" stands for a caller that knows the telephone, as the fleet's survey does.
            return m_password == u"*" || (!m_password.isEmpty() && passwords.contains(m_password)) ? Check::Accepted
                                                                                                   : Check::Refused;
        }

    private:
        QString m_client, m_password;
    };
    exec(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('ALPIN', '$$PROVNETS', '10.1.0.0/16, 2001:db8:5::/48')"));
    exec(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('OHARA', '$$PROVNETS', '10.2.0.0/16')"));
    exec(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('OHARA', '$$PROVAUTH', 'ohara secret')"));
    const QString alpin = QStringLiteral("cfg000B82E79E4A"); // ALPIN 201
    const QString ohara = QStringLiteral("cfg000B82946FF4"); // OHARA 101
    const struct
    {
        QString name, client, password;
        int status;
    } cases[] = {
        {alpin, QStringLiteral("10.1.2.3"), {}, 200},
        {alpin, QStringLiteral("2001:db8:5::7"), {}, 200},
        {alpin, QStringLiteral("::ffff:10.1.2.3"), {}, 200},
        {alpin, QStringLiteral("10.2.0.1"), {}, 401},       // another company's network
        {alpin, QStringLiteral("10.9.9.9"), QStringLiteral("ohara secret"), 401},
        {alpin, {}, {}, 401},
        {alpin, {}, QStringLiteral("*"), 200},
        {ohara, QStringLiteral("10.2.200.1"), {}, 200},
        {ohara, QStringLiteral("10.9.9.9"), {}, 401},
        {ohara, QStringLiteral("10.9.9.9"), QStringLiteral("ohara secret"), 200},
    };
    PhoneFileSource source(working.tdb.connectionString(), QStringLiteral("EN"), 2000);
    for (const auto& c : cases) {
        From from(c.client, c.password);
        EXPECT_EQ(source.answer(c.name, from).status, c.status)
            << c.name.toStdString() << " from " << c.client.toStdString() << " with " << c.password.toStdString();
    }
    // A malformed row is as no row (ALPIN has no password: open), and the request's notes say so.
    exec(QStringLiteral("UPDATE SYSTEM_PARAMETERS SET SY_VALUE = '10.1.0.0/99' WHERE SY_CODE = 'ALPIN' AND "
                        "SY_SUBCODE = '$$PROVNETS'"));
    From outside(QStringLiteral("10.9.9.9"), {});
    const FileAnswer open = source.answer(alpin, outside);
    EXPECT_EQ(open.status, 200);
    EXPECT_TRUE(open.notes.join(u' ').contains(QStringLiteral("10.1.0.0/99"))) << open.notes.join(u' ').toStdString();
    for (const char* bad : {"10.1.0.0", "10.1.0.0/16, nonsense", "", "2001:db8::/129"})
        EXPECT_FALSE(parseNetworks(QLatin1String(bad))) << bad;
    EXPECT_EQ(parseNetworks(QStringLiteral(" 10.1.0.0/16 ,2001:db8:5::/48 "))->size(), 2);

    // Through the server, the client address it decides: loopback inside one network, not another.
    const auto server = serve(log);
    HttpClient client(server->port());
    for (const auto& [networks, status] : {std::pair{"127.0.0.0/8", 200}, std::pair{"10.0.0.0/8", 401}}) {
        exec(QStringLiteral("UPDATE SYSTEM_PARAMETERS SET SY_VALUE = ? WHERE SY_CODE = 'ALPIN' AND SY_SUBCODE = "
                            "'$$PROVNETS'"),
             {QLatin1String(networks)});
        EXPECT_EQ(client.request("GET", kReception).status, status) << networks;
    }
}

// A telephone's Digest answer to a nonce of auth, hashed over the UTF-8 texts, and checked as the
// server checks it.
class DigestAnswer final : public Credentials
{
public:
    DigestAnswer(DigestAuth& auth, const QByteArray& nonce, const QByteArray& uri, const QString& user,
                 const QString& password, int nc, const QByteArray& cnonce)
        : m_auth(auth), m_uri(uri)
    {
        const auto md5 = [](const QByteArray& text) {
            return QCryptographicHash::hash(text, QCryptographicHash::Md5).toHex();
        };
        const QByteArray count = QByteArray::number(nc, 16).rightJustified(8, '0');
        const QByteArray response = md5(md5(user.toUtf8() + ":realm:" + password.toUtf8()) + ':' + nonce + ':' + count +
                                        ':' + cnonce + ":auth:" + md5("GET:" + uri));
        m_header = "Digest username=\"" + user.toUtf8() + "\", realm=\"realm\", nonce=\"" + nonce + "\", uri=\"" + uri +
                   "\", response=\"" + response + "\", qop=auth, nc=" + count + ", cnonce=\"" + cnonce + '"';
    }
    Check check(const QString& user, const QStringList& passwords) override
    {
        const DigestAuth::Result result = m_auth.verify(DigestAuth::parse(m_header), "GET", m_uri, user, passwords);
        return result == DigestAuth::Result::Accepted ? Check::Accepted : Check::Refused;
    }
    std::optional<DigestProof> proof(const QString& user) const override
    {
        return m_auth.proof(DigestAuth::parse(m_header), "GET", user);
    }

private:
    DigestAuth& m_auth;
    QByteArray m_uri;
    QByteArray m_header;
};

// Behind a password the database checks the Digest answer in the statement that finds the telephone
// and sends its values only for a right one: one statement, the same bytes as reading them after the
// check. An answer the database cannot check (no UTF-8 text) still gets the file, by a second statement.
TEST_F(DemoSite, ARightDigestAnswerBringsTheValuesInTheFirstStatement)
{
    ASSERT_EQ(PhoneFileSource::prepareDatabase(working.tdb.db), QStringList());
    const QString secret = QStringLiteral("s\u00e9cret \u20ac");
    exec(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('ALPIN', '$$PROVAUTH', ?)"), {secret});
    const QString db = working.tdb.connectionString();
    const QString name = QString::fromLatin1(kReception.mid(1));
    const QString mac = name.mid(3);
    KnownPassword known(secret);
    const FileAnswer expected = PhoneFileSource(db, QStringLiteral("EN"), 5000).answer(name, known);
    ASSERT_EQ(expected.status, 200);

    DigestAuth auth("realm", 60);
    const QByteArray challenge = auth.challenge(false);
    const qsizetype at = challenge.indexOf("nonce=\"") + 7;
    const QByteArray nonce = challenge.mid(at, challenge.indexOf('"', at) - at);
    PhoneFileSource source(db, QStringLiteral("EN"), 5000);
    source.answer(name, known); // reads the rows it keeps
    struct Case
    {
        const char* what;
        QString password;
        int nc;
        QByteArray cnonce;
        int status;
        int statements;
    };
    // Where the database does not check answers, a right one is served by a second statement. A
    // request of two statements reads one state: on the server it reads the change count once more.
    const int again = working.tdb.engine() == Engine::PostgreSQL ? 1 : 0;
    const int right = Dialect::checksDigestInStatement(working.tdb.db.engine()) ? 1 : 2 + again;
    const QList<Case> cases = {
        {"right", secret, 1, "0a4f113b", 200, right},
        {"right again", secret, 2, "0a4f113b", 200, right},
        {"a count used before", secret, 2, "0a4f113b", 401, 1},
        {"wrong", QStringLiteral("secret"), 3, "0a4f113b", 401, 1},
        {"no UTF-8 text", secret, 4, "\xff\xfe", 200, 2 + again},
    };
    for (const Case& c : cases) {
        DigestAnswer answer(auth, nonce, kReception, mac, c.password, c.nc, c.cnonce);
        const FileAnswer got = source.answer(name, answer);
        EXPECT_EQ(got.status, c.status) << c.what;
        EXPECT_EQ(got.statements, c.statements) << c.what;
        if (c.status == 200) {
            EXPECT_EQ(got.body, expected.body) << c.what;
        }
    }
}

TEST_F(DemoSite, KeptRowsServeTheSameBytesInOneStatementAndFollowEveryChangeMadeElsewhere)
{
    ASSERT_EQ(PhoneFileSource::prepareDatabase(working.tdb.db), QStringList());
    // One company's files behind a password: its telephones' own values are read after the check.
    const QString guarded = QStringLiteral("OHARA");
    exec(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES(?, '$$PROVAUTH', 'right')"), {guarded});
    const QString db = working.tdb.connectionString();
    PhoneFileSource kept(db, QStringLiteral("EN"), 5000);
    KnownPassword password;
    // A source that has kept nothing reads every row as it is now.
    const auto fresh = [&](const QString& name) {
        PhoneFileSource source(db, QStringLiteral("EN"), 5000);
        return source.answer(name, password);
    };
    const auto same = [](const FileAnswer& a, const FileAnswer& b) {
        return a.status == b.status && a.body == b.body && a.contentType == b.contentType;
    };

    // Every demo telephone, companies and models mixed, twice: the second round from kept rows.
    QStringList names;
    QHash<QString, int> statements;
    for (Recordset phones = working.tdb.db.execute(QLatin1String(kDemoPhones)); !phones.eof(); phones.moveNext()) {
        names.append(provisioningFileName(phones.text(4), phones.text(3)));
        // Behind a password the values come by a second statement; on the server the change count
        // is read once more, so that the two read one state.
        statements.insert(names.last(),
                          phones.text(0) == guarded ? (working.tdb.engine() == Engine::PostgreSQL ? 3 : 2) : 1);
    }
    names.append(QStringLiteral("cfg000B82E79E4B")); // no telephone
    statements.insert(names.last(), 1);
    for (int round = 0; round < 2; ++round) {
        for (qsizetype i = 0; i < names.size(); ++i) {
            const QString& name = names.at(round ? names.size() - 1 - i : i);
            const FileAnswer answer = kept.answer(name, password);
            EXPECT_TRUE(same(answer, fresh(name))) << name.toStdString();
            if (round == 1) {
                EXPECT_EQ(answer.statements, statements.value(name)) << name.toStdString();
            }
        }
    }

    // Each kept table changed by another connection, as another operator would: served at once.
    const QString reception = QString::fromLatin1(kReception.mid(1));
    const QStringList changes = {
        QStringLiteral("UPDATE COMPANY_PARAMETERS SET PA_VALUE = '21' WHERE CO_CODE = 'ALPIN' AND EQ_CODE = 'GXP2000' "
                       "AND PA_CODE = '10'"),
        QStringLiteral("UPDATE EQUIPMENT_PARAMETERS SET PA_DEFAULT = 'time.example' WHERE EQ_CODE = 'GXP2000' "
                       "AND PA_CODE = '30' AND LE_CODE = 'E'"),
        // The telephone's row is no kept table: a file made from it is not sent again once it changed.
        QStringLiteral("UPDATE COMPANY_PARAMETERS SET PA_VALUE = 'Desk $$N' WHERE CO_CODE = 'ALPIN' AND EQ_CODE = "
                       "'GXP2000' AND PA_CODE = '2'"),
        QStringLiteral("UPDATE PHONES SET PH_DESC = 'Front desk' WHERE CO_CODE = 'ALPIN' AND PH_CODE = '201'"),
        QStringLiteral("UPDATE SYSTEM_PARAMETERS SET SY_VALUE = '100' WHERE SY_CODE = 'ALPINGXP2000' "
                       "AND SY_SUBCODE = '$$DEFGEN'"),
        QStringLiteral("UPDATE PHONES_PARAMETERS SET PA_VALUE = '3300' WHERE CO_CODE = 'ALPIN' AND PH_CODE = '201' "
                       "AND PA_CODE = '196'"),
        // Last: from here on the file needs a password the source does not know.
        QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('ALPIN', '$$PROVAUTH', 'wrong')"),
    };
    for (const QString& change : changes) {
        const FileAnswer before = kept.answer(reception, password);
        exec(change);
        const FileAnswer after = kept.answer(reception, password);
        EXPECT_FALSE(same(after, before)) << change.toStdString();
        EXPECT_TRUE(same(after, fresh(reception))) << change.toStdString();
    }
}

// A request reads one state of the database, as a run does. Here the rows a source keeps are stale
// (a company value changed), so the request reads them after the telephone's row; another operator
// renames the company in between. The answer is the file of one state, never the telephone's row of
// before with the values of after (none: the company is gone).
TEST_F(DemoSite, ARequestReadsOneStateWhateverCommitsMeanwhile)
{
    class Trusted final : public Credentials
    {
    public:
        Check check(const QString&, const QStringList&) override { return Check::Accepted; }
    } trusted;
    const QString name = QString::fromLatin1(kReception.mid(1));
    PhoneFileSource source(working.tdb.db, QStringLiteral("EN"));
    ASSERT_EQ(source.answer(name, trusted).status, 200);
    OtherOperator other(working.tdb);
    other.db.execute(QStringLiteral("UPDATE COMPANY_PARAMETERS SET PA_VALUE = '21' WHERE CO_CODE = 'ALPIN' AND "
                                    "EQ_CODE = 'GXP2000' AND PA_CODE = '10'"));
    other.at(QStringLiteral("request.found"), [&] {
        EXPECT_TRUE(
            renameCode(other.s, RenameRequest(RenameRequest::Company, QStringLiteral("ALPIN"), QStringLiteral("ALPX")))
                .refusal.isEmpty());
    });
    const FileAnswer during = source.answer(name, trusted);
    EXPECT_TRUE(other.passed.contains(QStringLiteral("request.found")));
    Database fresh;
    fresh.open(working.tdb.connectionString());
    const FileAnswer after = PhoneFileSource(fresh, QStringLiteral("EN")).answer(name, trusted);
    EXPECT_EQ(during.status, 200);
    // Before the rename or after (the renamed company keeps every value): the same bytes either way.
    EXPECT_TRUE(during.company == u"ALPX" || during.company == u"ALPIN") << during.company.toStdString();
    EXPECT_TRUE(during.body == after.body);
}

// Two servers start at once on one database: the second waits for the first to set up its index and
// change count, then finds them, and tells of nothing it could not set up.
TEST_F(DemoSite, TwoServersStartingAtOnceSetUpOnce)
{
    ConcurrentOperator second(working.tdb);
    QStringList secondNotes;
    OtherOperator points(working.tdb);
    points.at(QStringLiteral("counting.created"),
              [&] { second.start([&](Session& s) { secondNotes = PhoneFileSource::prepareDatabase(s.db); }); });
    const QStringList firstNotes = PhoneFileSource::prepareDatabase(working.tdb.db);
    EXPECT_EQ(second.finish(), QString());
    EXPECT_EQ(firstNotes, QStringList());
    EXPECT_EQ(secondNotes, QStringList());
    EXPECT_EQ(points.passed.contains(QStringLiteral("counting.created")), working.tdb.engine() == Engine::PostgreSQL);
}

} // namespace
} // namespace vocaset::test
