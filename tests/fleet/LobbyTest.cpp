// New telephones in the lobby: a request for a MAC no telephone has is recorded (maker, guessed
// model) while its answer stays the one every unknown MAC gets; the gate keeps a flood out; a claim
// makes the telephones a company's in one step, or refuses with nothing changed. A known telephone's
// refused request is recorded with its reason, shown by the fleet, and never told to the telephone.

#include <gtest/gtest.h>

#include <functional>

#include <QFile>

#include "DemoCli.h"
#include "FetchRecorder.h"
#include "HttpClient.h"
#include "Interleaving.h"
#include "PhoneFileSource.h"
#include "PhoneLobby.h"
#include "ServeTestSupport.h"
#include "ServedDatabase.h"

namespace vocaset::test {
namespace {

class Lobby : public DemoCli
{
protected:
    std::unique_ptr<ProvisioningServer> serve(LockedLog& into, FetchRecorder* recorder)
    {
        ServerOptions options;
        options.recorder = recorder;
        return serveDatabase(working.connectionString(), into, options);
    }
    int count(const QString& sql) { return working.db.execute(sql).text(0).toInt(); }
};

TEST_F(Lobby, AnUnknownMacIsRecordedThenClaimedAndItsNextFetchIsServed)
{
    LockedLog log;
    const QByteArray path = "/cfg000b82aabbcc";
    const QList<std::pair<QByteArray, QByteArray>> agent = {{"User-Agent", "Grandstream GXP2000 1.1.6.46"}};
    // The answer without a lobby, then with one: the same bytes.
    HttpReply plain;
    {
        const auto server = serve(log, nullptr);
        plain = HttpClient(server->port()).request("GET", path, agent);
    }
    FetchRecorder recorder(working.connectionString(), log, std::chrono::milliseconds(20));
    recorder.start();
    {
        const auto server = serve(log, &recorder);
        HttpClient client(server->port());
        const HttpReply recorded = client.request("GET", path, agent);
        EXPECT_EQ(recorded.status, plain.status);
        EXPECT_EQ(recorded.body, plain.body);
        EXPECT_EQ(client.request("GET", path, agent).status, plain.status);
        EXPECT_EQ(client.request("HEAD", "/cfg000B82AABBDD").status, plain.status) << "a HEAD is not recorded";
        recorder.stop();
    }

    ASSERT_EQ(run({QStringLiteral("lobby"), QStringLiteral("--format"), QStringLiteral("tsv")}), cli::Ok)
        << err.toStdString();
    const QStringList lines = out.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2) << out.toStdString();
    const QStringList row = lines[1].split(u'\t');
    ASSERT_EQ(row.size(), 9);
    EXPECT_EQ(row[0], QStringLiteral("000B82AABBCC"));
    EXPECT_EQ(row[1], QStringLiteral("cfg000b82aabbcc"));
    EXPECT_EQ(row[4], QStringLiteral("2")) << "two requests";
    EXPECT_EQ(row[5], QStringLiteral("127.0.0.1"));
    EXPECT_EQ(row[6], QStringLiteral("GXP2000")) << "the one model that fetches cfg names";
    if (QFile::exists(MakerRegistry::defaultPath())) {
        EXPECT_EQ(row[7], QStringLiteral("Grandstream Networks, Inc."));
    }
    EXPECT_EQ(row[8], QStringLiteral("Grandstream GXP2000 1.1.6.46"));

    // Refusals name each MAC and change nothing: the wrong model's file name, an unknown company,
    // a MAC not in the lobby, a MAC that is a telephone already.
    const QString firstFree = working.db
                                  .execute(QStringLiteral("SELECT PH_CODE FROM RANGES WHERE CO_CODE = 'ALPIN' AND "
                                                          "PH_CODE NOT IN (SELECT PH_CODE FROM PHONES WHERE CO_CODE = "
                                                          "'ALPIN') ORDER BY LENGTH(PH_CODE), PH_CODE"))
                                  .text(0);
    const int phones = count(QStringLiteral("SELECT COUNT(*) FROM PHONES"));
    const QStringList claim = {QStringLiteral("lobby"), QStringLiteral("claim"), QStringLiteral("000B82AABBCC")};
    const struct
    {
        QStringList extra;
        const char* says;
    } refusals[] = {
        {{QStringLiteral("--company"), QStringLiteral("ALPIN"), QStringLiteral("--model"), QStringLiteral("PAP2")},
         "model PAP2 fetches"},
        {{QStringLiteral("--company"), QStringLiteral("NOSUCH")}, "No company NOSUCH"},
        {{QStringLiteral("000B82000000"), QStringLiteral("--company"), QStringLiteral("ALPIN")},
         "000B82000000: not in the lobby"},
        {{QStringLiteral("000b82e79e4a"), QStringLiteral("--company"), QStringLiteral("ALPIN")},
         "000B82E79E4A: not in the lobby"},
    };
    for (const auto& r : refusals) {
        EXPECT_EQ(run(claim + r.extra), cli::RunFailed) << r.says;
        EXPECT_TRUE(err.contains(QLatin1String(r.says))) << err.toStdString();
        EXPECT_EQ(count(QStringLiteral("SELECT COUNT(*) FROM PHONES")), phones) << r.says;
        EXPECT_EQ(count(QStringLiteral("SELECT COUNT(*) FROM PHONE_LOBBY")), 1) << r.says;
    }

    // A dry run shows, a claim creates the telephone at the lowest free code and empties the lobby.
    EXPECT_EQ(run(claim + QStringList{QStringLiteral("--company"), QStringLiteral("ALPIN"), QStringLiteral("--dry-run")}),
              cli::Ok);
    EXPECT_TRUE(out.startsWith(QStringLiteral("ALPIN/") + firstFree + QStringLiteral(" GXP2000 000B82AABBCC")))
        << out.toStdString();
    EXPECT_EQ(count(QStringLiteral("SELECT COUNT(*) FROM PHONES")), phones);
    ASSERT_EQ(run(claim + QStringList{QStringLiteral("--company"), QStringLiteral("ALPIN")}), cli::Ok)
        << err.toStdString();
    EXPECT_EQ(count(QStringLiteral("SELECT COUNT(*) FROM PHONES WHERE CO_CODE = 'ALPIN' AND PH_CODE = '") + firstFree +
                    QStringLiteral("' AND PH_MAC = '000B82AABBCC' AND EQ_CODE = 'GXP2000'")),
              1);
    EXPECT_EQ(count(QStringLiteral("SELECT COUNT(*) FROM PHONE_LOBBY")), 0);
    EXPECT_EQ(count(QStringLiteral("SELECT COUNT(*) FROM CHANGE_HISTORY WHERE HI_SOURCE = 'lobby claim' AND "
                                   "HI_TABLE = 'PHONES'")),
              1);
    EXPECT_EQ(run(claim + QStringList{QStringLiteral("--company"), QStringLiteral("ALPIN")}), cli::RunFailed);
    EXPECT_TRUE(err.contains(QStringLiteral("not in the lobby"))) << err.toStdString();

    const auto server = serve(log, nullptr);
    EXPECT_EQ(HttpClient(server->port()).request("GET", path, agent).status, 200);
}

// Another operator gives the planned code a telephone before the claim writes: on the server the
// claim ends in the program's words with exit 1 and nothing of it kept; on SQLite its write
// transaction keeps the other operator out and the claim goes through.
TEST_F(Lobby, AClaimMeetingAnotherOperatorsTelephoneKeepsNothing)
{
    ASSERT_EQ(LobbyTable::prepare(working.db), QString());
    std::map<QString, Arrival> arrival;
    arrival.emplace(QStringLiteral("000B82AABBCC"),
                    Arrival{QStringLiteral("000B82AABBCC"), QStringLiteral("cfg000B82AABBCC"),
                            QStringLiteral("GRANDSTREAM"), {}, QStringLiteral("2026-12-11T10:00:00.000Z"),
                            QStringLiteral("10.0.0.7"), QStringLiteral("x")});
    LobbyTable::write(working.db, arrival, MakerRegistry(QStringLiteral("/nonexistent")));
    const QString code = working.db
                             .execute(QStringLiteral("SELECT PH_CODE FROM RANGES WHERE CO_CODE = 'ALPIN' AND PH_CODE "
                                                     "NOT IN (SELECT PH_CODE FROM PHONES WHERE CO_CODE = 'ALPIN') "
                                                     "ORDER BY LENGTH(PH_CODE), PH_CODE"))
                             .text(0);
    OtherOperator other(working);
    interleaving = other.hook();
    QString refusal = QStringLiteral("not reached");
    other.at(QStringLiteral("claim.planned"), [&] {
        refusal = other.attempt(QStringLiteral("INSERT INTO PHONES VALUES('ALPIN', '%1', 'GXP2000', 'Other', "
                                               "'000B82FFFFFF')")
                                    .arg(code));
    });
    const int exit = run({QStringLiteral("lobby"), QStringLiteral("claim"), QStringLiteral("000B82AABBCC"),
                          QStringLiteral("--company"), QStringLiteral("ALPIN")});
    interleaving = {};
    const int claimed = count(QStringLiteral("SELECT COUNT(*) FROM PHONES WHERE PH_MAC = '000B82AABBCC'"));
    if (working.engine() == Engine::PostgreSQL) {
        EXPECT_EQ(refusal, QString());
        EXPECT_EQ(exit, cli::RunFailed) << err.toStdString();
        EXPECT_TRUE(err.contains(QStringLiteral("Another operator changed the telephone ALPIN/") + code))
            << err.toStdString();
        EXPECT_EQ(claimed, 0);
        EXPECT_EQ(count(QStringLiteral("SELECT COUNT(*) FROM PHONE_LOBBY")), 1);
    } else {
        EXPECT_TRUE(OtherOperator::lockedOut(refusal)) << refusal.toStdString();
        EXPECT_EQ(exit, cli::Ok) << err.toStdString();
        EXPECT_EQ(claimed, 1);
    }
}

// A flood of random MACs: one new MAC per client address and second, updates of known ones always,
// never more waiting than the lobby holds; the table keeps the newest rows up to its cap.
TEST_F(Lobby, TheGateAndTheCapHoldUnderAFlood)
{
    const auto arrival = [](const char* mac, const char* client, const char* at) {
        return Arrival{QLatin1String(mac), QStringLiteral("cfg") + QLatin1String(mac), QStringLiteral("GRANDSTREAM"),
                       {}, QLatin1String(at), QLatin1String(client), QStringLiteral("x")};
    };
    ArrivalGate gate;
    std::map<QString, Arrival> waiting;
    QHash<QString, bool> known{{QStringLiteral("000B82000009"), true}};
    const struct
    {
        Arrival a;
        bool admitted;
    } steps[] = {
        {arrival("000B82000001", "10.0.0.1", "2026-12-11T10:00:00.100Z"), true},
        {arrival("000B82000002", "10.0.0.1", "2026-12-11T10:00:00.900Z"), false}, // same client, same second
        {arrival("000B82000001", "10.0.0.1", "2026-12-11T10:00:00.950Z"), true},  // waiting already
        {arrival("000B82000009", "10.0.0.1", "2026-12-11T10:00:00.990Z"), true},  // in the lobby already
        {arrival("000B82000003", "10.0.0.2", "2026-12-11T10:00:00.990Z"), true},  // another client
        {arrival("000B82000004", "10.0.0.1", "2026-12-11T10:00:01.000Z"), true},  // the next second
    };
    for (const auto& s : steps) {
        EXPECT_EQ(gate.admit(s.a, waiting, known), s.admitted) << s.a.mac.toStdString() << ' ' << s.a.at.toStdString();
        if (s.admitted)
            waiting.insert_or_assign(s.a.mac, s.a);
    }
    for (int i = 0; i < ArrivalGate::kCap; ++i)
        waiting.insert_or_assign(QString::number(i), arrival("x", "y", "z"));
    EXPECT_FALSE(gate.admit(arrival("000B82000005", "10.0.0.5", "2026-12-11T10:00:02.000Z"), waiting, known));

    ASSERT_EQ(LobbyTable::prepare(working.db), QString());
    std::map<QString, Arrival> flood;
    for (int i = 0; i < ArrivalGate::kCap + 5; ++i) {
        const QString mac = QStringLiteral("02%1").arg(i, 10, 10, QLatin1Char('0'));
        // The first five are the oldest seen.
        Arrival a = arrival("", "10.0.0.1", "");
        a.mac = mac;
        a.at = QStringLiteral("2026-12-11T10:%1.000Z").arg(i < 5 ? QStringLiteral("00:00") : QStringLiteral("30:00"));
        flood.emplace(mac, a);
    }
    LobbyTable::write(working.db, flood, MakerRegistry(QStringLiteral("/nonexistent")));
    EXPECT_EQ(count(QStringLiteral("SELECT COUNT(*) FROM PHONE_LOBBY")), ArrivalGate::kCap);
    EXPECT_EQ(count(QStringLiteral("SELECT COUNT(*) FROM PHONE_LOBBY WHERE LB_LAST LIKE '%10:00:00%'")), 0);
}

// Each reason a telephone's request is refused for: the answer the same with and without the record,
// the reason the fleet's last column, --state refused listing it until a fetch comes after it.
TEST_F(Lobby, EachRefusalIsRecordedWithItsReasonAndTheAnswerStaysTheSame)
{
    const QByteArray path = "/cfg000B82E79E4A"; // ALPIN 201
    ASSERT_EQ(FetchTable::prepare(working.db), QString());
    const auto wrongDigest = [&](HttpClient& c) {
        return c.getWithDigest(path, QStringLiteral("000B82E79E4A"), QStringLiteral("wrong"));
    };
    const struct
    {
        const char* setting; // made before, undone after
        int authFailures;
        std::function<HttpReply(HttpClient&)> ask;
        const char* reason;
    } cases[] = {
        {"INSERT INTO SYSTEM_PARAMETERS VALUES('ALPIN', '$$PROVAUTH', 'alpine secret')", 10, wrongDigest,
         "wrong Digest answer"},
        {"INSERT INTO SYSTEM_PARAMETERS VALUES('ALPIN', '$$PROVAUTH', 'alpine secret')", 1,
         [&](HttpClient& c) {
             wrongDigest(c);
             return c.request("GET", path);
         },
         "address locked out"},
        {"INSERT INTO SYSTEM_PARAMETERS VALUES('ALPIN', '$$PROVNETS', '10.9.0.0/16')", 10,
         [&](HttpClient& c) { return c.request("GET", path); }, "outside the company's networks"},
        {"UPDATE COMPANY_PARAMETERS SET PA_VALUE = 'two' || CHAR(10) || 'lines' WHERE CO_CODE = 'ALPIN' AND "
         "EQ_CODE = 'GXP2000' AND PA_CODE = '2'",
         10, [&](HttpClient& c) { return c.request("GET", path); }, "a value the file cannot carry"},
    };
    const QString before = working.db.execute(QStringLiteral("SELECT PA_VALUE FROM COMPANY_PARAMETERS WHERE CO_CODE = "
                                                             "'ALPIN' AND EQ_CODE = 'GXP2000' AND PA_CODE = '2'"))
                               .text(0);
    const QStringList refused = {QStringLiteral("fleet"), QStringLiteral("--state"), QStringLiteral("refused"),
                                 QStringLiteral("--format"), QStringLiteral("tsv")};
    for (const auto& c : cases) {
        QString setting = QLatin1String(c.setting);
        if (working.engine() == Engine::PostgreSQL)
            setting.replace(QStringLiteral("CHAR(10)"), QStringLiteral("CHR(10)"));
        working.db.execute(setting);
        ServerOptions options;
        options.authFailures = c.authFailures;
        LockedLog log;
        HttpReply plain;
        {
            const auto server = serveDatabase(working.connectionString(), log, options);
            HttpClient client(server->port());
            plain = c.ask(client);
        }
        FetchRecorder recorder(working.connectionString(), log, std::chrono::milliseconds(20));
        recorder.start();
        options.recorder = &recorder;
        {
            const auto server = serveDatabase(working.connectionString(), log, options);
            HttpClient client(server->port());
            const HttpReply recorded = c.ask(client);
            EXPECT_NE(recorded.status, 200) << c.reason;
            EXPECT_EQ(recorded.status, plain.status) << c.reason;
            EXPECT_EQ(recorded.body, plain.body) << c.reason;
            EXPECT_EQ(recorded.headers.keys(), plain.headers.keys()) << c.reason;
            recorder.stop();
        }
        working.db.execute(QStringLiteral("DELETE FROM SYSTEM_PARAMETERS WHERE SY_CODE = 'ALPIN' AND SY_SUBCODE LIKE "
                                          "'$$PROV%'"));
        working.db.executeBound(QStringLiteral("UPDATE COMPANY_PARAMETERS SET PA_VALUE = ? WHERE CO_CODE = 'ALPIN' "
                                               "AND EQ_CODE = 'GXP2000' AND PA_CODE = '2'"),
                                {before});
        ASSERT_EQ(run(refused), cli::Ok) << err.toStdString();
        const QStringList lines = out.split(u'\n', Qt::SkipEmptyParts);
        ASSERT_EQ(lines.size(), 2) << c.reason << '\n' << out.toStdString();
        EXPECT_TRUE(lines[0].endsWith(QStringLiteral("\tLAST REFUSAL")));
        EXPECT_TRUE(lines[1].startsWith(QStringLiteral("ALPIN\t201\t"))) << lines[1].toStdString();
        EXPECT_TRUE(lines[1].endsWith(u' ' + QLatin1String(c.reason))) << lines[1].toStdString();
    }

    // A fetch after the refusal: the telephone is no longer refused, the refusal still shown.
    LockedLog log;
    FetchRecorder recorder(working.connectionString(), log, std::chrono::milliseconds(20));
    recorder.start();
    ServerOptions options;
    options.recorder = &recorder;
    {
        const auto server = serveDatabase(working.connectionString(), log, options);
        EXPECT_EQ(HttpClient(server->port()).request("GET", path).status, 200);
        recorder.stop();
    }
    ASSERT_EQ(run(refused), cli::Ok);
    EXPECT_EQ(out.count(u'\n'), 1) << out.toStdString();
    ASSERT_EQ(run({QStringLiteral("fleet"), QStringLiteral("--company"), QStringLiteral("ALPIN")}), cli::Ok);
    EXPECT_TRUE(out.contains(QStringLiteral("a value the file cannot carry"))) << out.toStdString();
}

// Claiming on arrival: only from inside the company's networks, only the models it lists, only up
// to its daily count; the history names the server; the next request is served.
TEST_F(Lobby, AutoClaimTakesOnlyListedModelsFromInsideTheNetworksUpToTheDailyCount)
{
    for (const char* row : {"('ALPIN', '$$AUTOCLAIM', 'F1000; GXP2000')", "('ALPIN', '$$PROVNETS', '127.0.0.0/29')",
                            "('ALPIN', '$$AUTOCLAIMMAX', '2')"})
        working.db.execute(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES") + QLatin1String(row));
    const struct
    {
        const char* from;
        QByteArray path;
        bool claimed;
    } requests[] = {
        {"127.0.0.1", "/cfg000B82AA0001", true},
        {"127.0.0.2", "/000E08AA0002.txt", false}, // PAP2 is not listed
        {"127.0.0.3", "/cfg000B82AA0003", true},
        {"127.0.0.4", "/cfg000B82AA0004", false}, // the third of the day
        {"127.0.0.9", "/cfg000B82AA0009", false}, // outside the networks
    };
    LockedLog log;
    FetchRecorder recorder(working.connectionString(), log, std::chrono::milliseconds(20));
    recorder.start();
    ServerOptions options;
    options.recorder = &recorder;
    {
        const auto server = serveDatabase(working.connectionString(), log, options);
        for (const auto& r : requests)
            EXPECT_EQ(HttpClient(server->port(), nullptr, QLatin1String(r.from)).request("GET", r.path).status, 404)
                << r.path.constData() << ": answered as unknown";
        recorder.stop();
    }
    const auto server = serveDatabase(working.connectionString(), log, {});
    for (const auto& r : requests) {
        const QString mac = QString::fromLatin1(r.path).mid(r.path.startsWith("/cfg") ? 4 : 1, 12);
        EXPECT_EQ(count(QStringLiteral("SELECT COUNT(*) FROM PHONES WHERE CO_CODE = 'ALPIN' AND PH_MAC = '%1'").arg(mac)),
                  r.claimed ? 1 : 0)
            << r.path.constData();
        EXPECT_EQ(count(QStringLiteral("SELECT COUNT(*) FROM PHONE_LOBBY WHERE LB_MAC = '%1'").arg(mac)),
                  r.claimed ? 0 : 1)
            << r.path.constData();
        EXPECT_EQ(HttpClient(server->port(), nullptr, QLatin1String(r.from)).request("GET", r.path).status,
                  r.claimed ? 200 : 404)
            << r.path.constData();
    }
    EXPECT_EQ(count(QStringLiteral("SELECT COUNT(*) FROM CHANGE_HISTORY WHERE HI_USER = 'SERVER' AND HI_SOURCE = "
                                   "'auto claim' AND HI_TABLE = 'PHONES'")),
              2);
    const QStringList lines = log.lines();
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const QString& l) { return l.startsWith(QLatin1String("Claimed on arrival: ALPIN/")); }),
              2)
        << lines.join(u'\n').toStdString();
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(),
                            [](const QString& l) { return l.startsWith(QLatin1String("Company ALPIN has claimed 2")); }));
}

} // namespace
} // namespace vocaset::test
