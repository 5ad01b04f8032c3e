// The server records each telephone's fetch; the fleet's states follow the database from there: a
// changed value makes exactly its telephone stale, a 304 keeps it current, and two servers on one
// database record at once. Then vocaset-cli fleet as a script reads it. Last, the company's address
// book served live, as phonebook generate writes it, behind the company's Digest.

#include <future>

#include <QRandomGenerator>

#include <gtest/gtest.h>

#include "DemoCli.h"
#include "FetchRecorder.h"
#include "FleetSurvey.h"
#include "HttpClient.h"
#include "Interleaving.h"
#include "PhoneFileSource.h"
#include "ServeTestSupport.h"
#include "ServedDatabase.h"
#include "Sql.h"

namespace vocaset::test {
namespace {

const QByteArray kReception = "/cfg000B82E79E4A"; // ALPIN 201, GXP2000
const QByteArray kPap2 = "/0014BF48995F.txt";

class Fleet : public DemoCli
{
protected:
    std::unique_ptr<ProvisioningServer> serve(LockedLog& into, FetchRecorder* recorder)
    {
        ServerOptions options;
        options.recorder = recorder;
        return serveDatabase(working.connectionString(), into, options);
    }
    QMap<QString, FleetPhone> survey(const FleetFilter& filter = {})
    {
        FleetSurvey survey(working.db, QStringLiteral("EN"));
        QMap<QString, FleetPhone> byPhone;
        for (const FleetPhone& p : survey.survey(filter))
            byPhone.insert(p.company + u'/' + p.code, p);
        return byPhone;
    }
    // The telephones in each state, as "CO/CODE".
    QMap<FleetState, QStringList> states(const QMap<QString, FleetPhone>& phones)
    {
        QMap<FleetState, QStringList> by;
        for (const FleetPhone& p : phones)
            by[p.state].append(p.company + u'/' + p.code);
        return by;
    }
    QString ownerOf(const QString& mac)
    {
        const Recordset r = working.db.executeBound(
            QStringLiteral("SELECT CO_CODE, PH_CODE FROM PHONES WHERE UPPER(PH_MAC) = ?"), {mac});
        return r.text(0) + u'/' + r.text(1);
    }
};

TEST_F(Fleet, FetchesRecordedAndStatesFollowTheDatabase)
{
    ASSERT_TRUE(FetchTable::prepare(working.db).isEmpty());
    const QString reception = QStringLiteral("ALPIN/201");
    const QString pap2 = ownerOf(QStringLiteral("0014BF48995F"));
    const QMap<QString, FleetPhone> before = survey();
    ASSERT_GE(before.size(), 20);
    EXPECT_EQ(states(before).value(FleetState::Never).size(), before.size()) << "nothing fetched yet";

    LockedLog log;
    FetchRecorder recorder(working.connectionString(), log, std::chrono::milliseconds(20));
    recorder.start();
    const auto server = serve(log, &recorder);
    HttpClient client(server->port());
    const HttpReply first = client.request("GET", kReception, {{"User-Agent", "Grandstream GXP2000 1.1.6.46"}});
    ASSERT_EQ(first.status, 200);
    const HttpReply other = client.request("GET", kPap2, {{"User-Agent", "Linksys/PAP2-3.1.9(LSc)"}});
    ASSERT_EQ(other.status, 200);
    // Neither a HEAD nor a refusal is a fetch.
    EXPECT_EQ(client.request("HEAD", "/cfg000B82E79E4B").status, 404);
    recorder.stop();

    QMap<QString, FleetPhone> now = survey();
    EXPECT_EQ(states(now).value(FleetState::Current), (QStringList{reception, pap2}));
    EXPECT_EQ(states(now).value(FleetState::Never).size(), before.size() - 2);
    EXPECT_EQ(now[reception].userAgent, QStringLiteral("Grandstream GXP2000 1.1.6.46"));
    EXPECT_EQ(now[reception].client, QStringLiteral("127.0.0.1"));
    EXPECT_EQ(now[reception].fetchedAt.size(), 24) << now[reception].fetchedAt.toStdString();
    EXPECT_EQ(working.db
                  .executeBound(QStringLiteral("SELECT PF_ETAG FROM PHONE_FETCHES WHERE CO_CODE = ? AND PH_CODE = ?"),
                                {QStringLiteral("ALPIN"), QStringLiteral("201")})
                  .text(0)
                  .toLatin1(),
              first.header("ETag"));

    // A value of one telephone changes: that one is stale, the other stays current.
    working.db.execute(
        QStringLiteral("UPDATE PHONES SET PH_DESC = 'Front door' WHERE CO_CODE = 'ALPIN' AND PH_CODE = '201'"));
    now = survey();
    EXPECT_EQ(states(now).value(FleetState::Stale), QStringList{reception});
    EXPECT_EQ(states(now).value(FleetState::Current), QStringList{pap2});

    // It fetches the new file (its old tag no longer matches), then asks again and gets 304: current
    // both times, and the 304 is recorded with its own time.
    recorder.start();
    const HttpReply fresh = client.request("GET", kReception, {{"If-None-Match", first.header("ETag")}});
    ASSERT_EQ(fresh.status, 200);
    recorder.stop();
    const QString freshAt = survey()[reception].fetchedAt;
    recorder.start();
    EXPECT_EQ(
        client.request("GET", kReception, {{"If-None-Match", fresh.header("ETag")}, {"User-Agent", "again"}}).status,
        304);
    recorder.stop();
    now = survey();
    EXPECT_EQ(states(now).value(FleetState::Current), (QStringList{reception, pap2}));
    EXPECT_EQ(now[reception].userAgent, QStringLiteral("again"));
    EXPECT_GT(now[reception].fetchedAt, freshAt);

    // A telephone that would be served nothing now (its MAC given to a second telephone) is stale.
    working.db.execute(QStringLiteral("UPDATE PHONES SET PH_MAC = '0014bf48995f' WHERE CO_CODE = 'ALPIN' AND "
                                      "PH_CODE = '202'"));
    EXPECT_EQ(survey()[pap2].state, FleetState::Stale);

    // The command lists the same, as a script reads it.
    ASSERT_EQ(run({QStringLiteral("fleet"), QStringLiteral("--state"), QStringLiteral("current"),
                   QStringLiteral("--format"), QStringLiteral("tsv")}),
              cli::Ok)
        << err.toStdString();
    const QStringList lines = out.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2) << out.toStdString();
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("COMPANY\tCODE\tMODEL\tMAC\tSTATE\t")));
    EXPECT_TRUE(lines[1].startsWith(QStringLiteral("ALPIN\t201\tGXP2000\t"))) << lines[1].toStdString();
    EXPECT_TRUE(lines[1].endsWith(QStringLiteral("\tcurrent\t") + now[reception].fetchedAt +
                                  QStringLiteral("\t127.0.0.1\tagain\t\t")))
        << lines[1].toStdString();
    // The two telephones with one MAC are named before the summary: the server serves neither.
    const QStringList told = err.trimmed().split(u'\n');
    QStringList sharing = {QStringLiteral("ALPIN/202"), pap2};
    sharing.sort();
    EXPECT_EQ(told.value(0),
              QStringLiteral("MAC 0014BF48995F belongs to 2 telephones: ") + sharing.join(QStringLiteral(", ")));
    EXPECT_EQ(told.value(1), QStringLiteral("1 current, 1 stale, %1 never").arg(before.size() - 2));
    EXPECT_FALSE(log.lines().join(u'\n').contains(QStringLiteral("not recorded")));

    // Renamed, the telephone keeps its last fetch under its new code, then under its company's new
    // code; a stale row left under the new code by a deleted telephone does not stop the rename.
    FetchTable::write(working.db, {Fetch{QStringLiteral("ALPIN"),
                                         QStringLiteral("299"),
                                         QStringLiteral("2020-01-01T00:00:00.000Z"),
                                         {},
                                         {},
                                         "\"gone\"",
                                         {}}});
    // Its last refusal follows it the same way.
    FetchTable::write(working.db, {Fetch{QStringLiteral("ALPIN"), QStringLiteral("201"),
                                         QStringLiteral("2030-01-01T00:00:00.000Z"), {}, {}, {}, {},
                                         QLatin1String(Refusal::kNetwork)}});
    qputenv("VOCASET_PASSWORD", "vocaset-admin");
    for (const QStringList& rename :
         {QStringList{QStringLiteral("telephone"), QStringLiteral("201"), QStringLiteral("299"),
                      QStringLiteral("--company"), QStringLiteral("ALPIN")},
          QStringList{QStringLiteral("company"), QStringLiteral("ALPIN"), QStringLiteral("ALP")}})
        ASSERT_EQ(run(QStringList{QStringLiteral("rename")} + rename + QStringList{QStringLiteral("--yes")}), cli::Ok)
            << err.toStdString();
    qunsetenv("VOCASET_PASSWORD");
    const FleetPhone renamed = survey().value(QStringLiteral("ALP/299"));
    EXPECT_NE(renamed.state, FleetState::Never);
    EXPECT_EQ(renamed.fetchedAt, now[reception].fetchedAt);
    EXPECT_EQ(renamed.userAgent, QStringLiteral("again"));
    EXPECT_EQ(renamed.refusal, QLatin1String(Refusal::kNetwork));
    EXPECT_TRUE(renamed.lastRefused());
}

// The survey makes many files without a statement for each: every telephone of the demo data,
// whatever its writer, template, company password, networks or default levels, is current when its
// last fetch carries the tag of the file the server makes for it by its name now, and stale when not.
TEST_F(Fleet, EachTelephoneIsCurrentExactlyWhenItsTagIsTheOneTheServerSendsNow)
{
    ASSERT_TRUE(FetchTable::prepare(working.db).isEmpty());
    working.db.execute(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('OHARA', '$$PROVAUTH', 'secret')"));
    working.db.execute(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('ALPIN', '$$PROVNETS', '10.9.0.0/16')"));
    working.db.execute(
        QStringLiteral("UPDATE SYSTEM_PARAMETERS SET SY_VALUE = '101' WHERE SY_SUBCODE = '$$DEFGEN' AND SY_CODE "
                       "IN ('ALPINGXP2000', 'OHARAPAP2', 'ALPINSIPKV')"));
    std::vector<Fetch> fetches;
    QMap<QString, FleetState> expected;
    QSet<QString> modules;
    {
        PhoneFileSource server(working.db, QStringLiteral("EN"));
        KnownCaller known;
        const Recordset phones = working.db.execute(QStringLiteral(
            "SELECT P.CO_CODE, P.PH_CODE, P.EQ_CODE, P.PH_MAC, E.EQ_MODULE FROM PHONES P JOIN EQUIPMENT E ON "
            "E.EQ_CODE = P.EQ_CODE ORDER BY 1, 2"));
        for (int i = 0; i < phones.count(); ++i) {
            const QVariantList& row = phones.rows().at(i);
            const std::optional<QString> name =
                server.fileNameOf(row.at(2).toString(), row.at(4).toString(), row.at(3).toString());
            const FileAnswer now = name ? server.answer(*name, known) : FileAnswer{};
            const bool right = now.status == 200 && i % 3 != 0;
            fetches.push_back(Fetch{row.at(0).toString(), row.at(1).toString(),
                                    QStringLiteral("2026-01-01T00:00:00.000Z"), QStringLiteral("127.0.0.1"), {},
                                    right ? entityTag(now.body) : QByteArray("\"other\""), {}});
            expected.insert(row.at(0).toString() + u'/' + row.at(1).toString(),
                            right ? FleetState::Current : FleetState::Stale);
            if (right)
                modules.insert(row.at(4).toString());
        }
    }
    FetchTable::write(working.db, fetches);
    ASSERT_EQ(modules.size(), 4) << "each writer and the templates";
    QMap<QString, FleetState> listed;
    for (const FleetPhone& p : survey())
        listed.insert(p.company + u'/' + p.code, p.state);
    EXPECT_EQ(listed, expected);
    EXPECT_GE(expected.values().count(FleetState::Current), 20);

    // Another operator changes every telephone's own values once the first file is built: the
    // survey reads one state, so it lists what it would have listed before the change.
    OtherOperator other(working);
    other.at(QStringLiteral("telephone.done"), [&] {
        EXPECT_EQ(other.attempt(QStringLiteral("UPDATE PHONES_PARAMETERS SET PA_VALUE = PA_VALUE || 'x'")), QString());
    });
    listed.clear();
    for (const FleetPhone& p : survey())
        listed.insert(p.company + u'/' + p.code, p.state);
    EXPECT_EQ(listed, expected);
    EXPECT_EQ(other.passed.count(QStringLiteral("telephone.done")), listed.size()) << "the change came mid-survey";
}

TEST_F(Fleet, TwoServersRecordIntoOneDatabaseAtOnceAndTheLaterFetchWins)
{
    ASSERT_TRUE(FetchTable::prepare(working.db).isEmpty());
    // A second server starting finds the table there.
    ASSERT_TRUE(FetchTable::prepare(working.db).isEmpty());
    LockedLog logA;
    LockedLog logB;
    FetchRecorder recordA(working.connectionString(), logA, std::chrono::milliseconds(5));
    FetchRecorder recordB(working.connectionString(), logB, std::chrono::milliseconds(5));
    recordA.start();
    recordB.start();
    const auto a = serve(logA, &recordA);
    const auto b = serve(logB, &recordB);
    QList<QByteArray> targets;
    for (Recordset phones = working.db.execute(QLatin1String(kDemoPhones)); !phones.eof(); phones.moveNext())
        targets.append('/' + provisioningFileName(phones.text(4), phones.text(3)).toLatin1());

    // Four clients, each on both servers in turn, fetch telephones in a random order; every
    // telephone is fetched at least once.
    std::vector<std::future<QSet<QByteArray>>> clients;
    for (int c = 0; c < 4; ++c) {
        clients.push_back(std::async(std::launch::async, [&, c] {
            HttpClient onA(a->port());
            HttpClient onB(b->port());
            QRandomGenerator random(quint32(c + 1));
            QSet<QByteArray> fetched;
            for (int i = 0; i < 60; ++i) {
                const QByteArray& target =
                    c == 0 && i < targets.size() ? targets.at(i) : targets.at(random.bounded(int(targets.size())));
                const QByteArray agent = (i % 2 ? "A" : "B") + QByteArray::number(c);
                if ((i % 2 ? onA : onB).request("GET", target, {{"User-Agent", agent}}).status == 200)
                    fetched.insert(target);
            }
            return fetched;
        }));
    }
    QSet<QByteArray> fetched;
    for (auto& c : clients)
        fetched += c.get();
    recordA.stop();
    recordB.stop();
    EXPECT_EQ(fetched.size(), targets.size());
    const QMap<QString, FleetPhone> now = survey();
    EXPECT_EQ(states(now).value(FleetState::Current).size(), targets.size());
    EXPECT_EQ(working.db.execute(QStringLiteral("SELECT COUNT(*) FROM PHONE_FETCHES")).text(0).toInt(), targets.size());
    for (const LockedLog* log : {&logA, &logB})
        EXPECT_FALSE(log->lines().join(u'\n').contains(QStringLiteral("not recorded")));

    // A server that writes late never replaces a later fetch by an earlier one.
    const auto fetch = [](const char* at, const char* agent) {
        return Fetch{QStringLiteral("ALPIN"),    QStringLiteral("201"), QLatin1String(at),
                     QStringLiteral("10.0.0.9"), QLatin1String(agent),  "\"x\"", {}};
    };
    FetchTable::write(working.db, {fetch("2031-01-02T03:04:05.006Z", "later")});
    FetchTable::write(working.db, {fetch("2031-01-02T03:04:05.005Z", "earlier")});
    EXPECT_EQ(survey()[QStringLiteral("ALPIN/201")].userAgent, QStringLiteral("later"));
    EXPECT_EQ(survey()[QStringLiteral("ALPIN/201")].state, FleetState::Stale);
}

TEST_F(Fleet, FirmwareTakenFromTheUserAgentByEachModelsExpressionAndChosenByFirmwareNot)
{
    ASSERT_TRUE(FetchTable::prepare(working.db).isEmpty());
    struct Agent
    {
        const char* phone;
        const char* userAgent;
        const char* firmware; // by the demo models' own expressions
    };
    const QList<Agent> agents = {
        {"201", "Grandstream GXP2000 1.1.6.46", "1.1.6.46"},
        {"220", "Linksys/PAP2-3.1.9(LSc) (4J10L0B21414)", "3.1.9(LSc)"},
        {"225", "IP-Phone F1000 V2.4.17", "2.4.17"},
        {"221", "Linksys/PAP2", ""}, // no version in it
    };
    std::vector<Fetch> fetches;
    for (const Agent& a : agents)
        fetches.push_back({QStringLiteral("ALPIN"), QLatin1String(a.phone), QStringLiteral("2031-01-01T00:00:00.000Z"),
                           QStringLiteral("10.0.0.9"), QLatin1String(a.userAgent), "\"x\"", {}});
    ASSERT_TRUE(FetchTable::write(working.db, fetches).empty());
    const auto firmwareOf = [&](const FleetFilter& filter, QStringList* notes = nullptr) {
        FleetSurvey survey(working.db, QStringLiteral("EN"));
        QMap<QString, QString> by;
        for (const FleetPhone& p : survey.survey(filter))
            by.insert(p.code, p.firmware);
        if (notes)
            *notes = survey.notes();
        return by;
    };
    const FleetFilter alpin{QStringLiteral("ALPIN"), {}};
    QStringList notes;
    const QMap<QString, QString> seen = firmwareOf(alpin, &notes);
    for (const Agent& a : agents)
        EXPECT_EQ(seen.value(QLatin1String(a.phone)), QLatin1String(a.firmware)) << a.userAgent;
    EXPECT_EQ(seen.value(QStringLiteral("226")), QString()) << "never fetched";
    EXPECT_TRUE(notes.isEmpty()) << notes.join(u'\n').toStdString();

    // The command lists, after the old columns, the firmware; --firmware-not lists exactly the other
    // telephones of the models chosen, those whose firmware is unknown included.
    const QList<std::pair<QStringList, QString>> choices = {
        {{QStringLiteral("--firmware-not"), QStringLiteral("1.1.6.46")}, QStringLiteral("201")},
        {{QStringLiteral("--model"), QStringLiteral("PAP2"), QStringLiteral("--firmware-not"),
          QStringLiteral("3.1.9(LSc)")},
         QStringLiteral("220")},
        {{QStringLiteral("--model"), QStringLiteral("F1000"), QStringLiteral("--firmware-not"), QStringLiteral("9")},
         QString()},
    };
    for (const auto& [args, left] : choices) {
        ASSERT_EQ(run(QStringList{QStringLiteral("fleet"), QStringLiteral("--company"), QStringLiteral("ALPIN"),
                                  QStringLiteral("--format"), QStringLiteral("tsv")} +
                      args),
                  cli::Ok)
            << err.toStdString();
        const QStringList lines = out.split(u'\n', Qt::SkipEmptyParts);
        ASSERT_FALSE(lines.isEmpty());
        EXPECT_EQ(lines[0], QStringLiteral("COMPANY\tCODE\tMODEL\tMAC\tSTATE\tFETCHED (UTC)\tCLIENT\tUSER "
                                           "AGENT\tFIRMWARE\tLAST REFUSAL"));
        QStringList listed;
        for (const QString& line : lines.mid(1)) {
            const QStringList fields = line.split(u'\t');
            ASSERT_EQ(fields.size(), 10) << line.toStdString();
            listed.append(fields[1]);
            EXPECT_EQ(fields[8], seen.value(fields[1])) << line.toStdString();
        }
        const int model = args.indexOf(QStringLiteral("--model"));
        QStringList expected;
        const Recordset phones =
            working.db.execute(QStringLiteral("SELECT PH_CODE FROM PHONES WHERE CO_CODE = 'ALPIN'") +
                               (model < 0 ? QString() : QStringLiteral(" AND EQ_CODE = '") + args[model + 1] + u'\'') +
                               QStringLiteral(" ORDER BY PH_CODE"));
        for (const QVariantList& row : phones.rows())
            if (row.at(0).toString() != left)
                expected.append(row.at(0).toString());
        EXPECT_EQ(listed, expected) << args.join(u' ').toStdString();
    }
    EXPECT_EQ(run({QStringLiteral("fleet"), QStringLiteral("--firmware-not"), QString()}), cli::Usage);

    // An expression that cannot be used gives no firmware, and is named once however many telephones
    // its model has; a survey of another model does not name it. Without a setting, no firmware.
    for (const char* wrong : {"F1000 V([0-9.]+", "F1000 V[0-9.]+", "F1000 V([0-9]+)[.]([0-9.]+)"}) {
        working.db.execute(QStringLiteral("UPDATE SYSTEM_PARAMETERS SET SY_VALUE = '") + sqlText(QLatin1String(wrong)) +
                           QStringLiteral("' WHERE SY_CODE = '$$F1000' AND SY_SUBCODE = '$$UAFIRMWARE'"));
        EXPECT_EQ(firmwareOf(alpin, &notes).value(QStringLiteral("225")), QString()) << wrong;
        ASSERT_EQ(notes.size(), 1) << wrong;
        EXPECT_TRUE(notes[0].contains(QStringLiteral("F1000")) && notes[0].contains(QLatin1String(wrong)))
            << notes[0].toStdString();
        firmwareOf({QStringLiteral("ALPIN"), QStringLiteral("PAP2")}, &notes);
        EXPECT_TRUE(notes.isEmpty()) << wrong;
    }
    working.db.execute(QStringLiteral("DELETE FROM SYSTEM_PARAMETERS WHERE SY_SUBCODE = '$$UAFIRMWARE' AND SY_CODE "
                                      "= '$$GXP2000'"));
    EXPECT_EQ(firmwareOf(alpin).value(QStringLiteral("201")), QString());
}

TEST_F(Fleet, CommandRefusesWrongValuesAndReportsDatabaseErrors)
{
    // Before any server ran there is no table: every telephone is never.
    ASSERT_EQ(run({QStringLiteral("fleet"), QStringLiteral("--company"), QStringLiteral("ALPIN")}), cli::Ok)
        << err.toStdString();
    const QStringList lines = out.split(u'\n', Qt::SkipEmptyParts);
    EXPECT_TRUE(lines.first().startsWith(QStringLiteral("COMPANY  CODE"))) << lines.first().toStdString();
    EXPECT_EQ(lines.last(), QStringLiteral("0 current, 0 stale, %1 never").arg(lines.size() - 2));

    // Each filter lists exactly its telephones, all never fetched yet.
    const QList<std::pair<QStringList, QString>> filters = {
        {{QStringLiteral("--model"), QStringLiteral("PAP2")}, QStringLiteral("EQ_CODE = 'PAP2'")},
        {{QStringLiteral("--company"), QStringLiteral("OHARA"), QStringLiteral("--model"), QStringLiteral("GXP2000")},
         QStringLiteral("CO_CODE = 'OHARA' AND EQ_CODE = 'GXP2000'")},
        {{QStringLiteral("--state"), QStringLiteral("never"), QStringLiteral("--company"), QStringLiteral("ALPIN")},
         QStringLiteral("CO_CODE = 'ALPIN'")},
    };
    for (const auto& [args, where] : filters) {
        ASSERT_EQ(run(QStringList{QStringLiteral("fleet"), QStringLiteral("--format"), QStringLiteral("tsv")} + args),
                  cli::Ok)
            << err.toStdString();
        QStringList listed;
        for (const QString& line : out.split(u'\n', Qt::SkipEmptyParts).mid(1)) {
            const QStringList fields = line.split(u'\t');
            listed.append(fields.value(0) + u'/' + fields.value(1));
            EXPECT_EQ(fields.value(4), QStringLiteral("never")) << line.toStdString();
        }
        QStringList expected;
        const Recordset phones =
            working.db.execute(QStringLiteral("SELECT CO_CODE, PH_CODE FROM PHONES WHERE ") + where);
        for (const QVariantList& row : phones.rows())
            expected.append(row.at(0).toString() + u'/' + row.at(1).toString());
        listed.sort();
        expected.sort();
        EXPECT_FALSE(expected.isEmpty()) << where.toStdString();
        EXPECT_EQ(listed, expected) << args.join(u' ').toStdString();
    }

    const QList<std::pair<QStringList, QString>> wrong = {
        {{QStringLiteral("--state"), QStringLiteral("old")}, QStringLiteral("\"old\"")},
        {{QStringLiteral("--format"), QStringLiteral("csv")}, QStringLiteral("\"csv\"")},
        {{QStringLiteral("--company"), QStringLiteral("NOBODY")}, QStringLiteral("NOBODY")},
        {{QStringLiteral("--model"), QStringLiteral("GXP9")}, QStringLiteral("GXP9")},
    };
    for (const auto& [args, named] : wrong) {
        EXPECT_EQ(run(QStringList{QStringLiteral("fleet")} + args), cli::Usage) << args.join(u' ').toStdString();
        EXPECT_TRUE(err.contains(named)) << err.toStdString();
        EXPECT_TRUE(out.isEmpty());
    }

    // A table of that name the engine cannot read as the recordings: its own text, exit 3.
    working.db.execute(QStringLiteral("CREATE TABLE PHONE_FETCHES (CO_CODE nvarchar(5), PH_CODE nvarchar(5))"));
    EXPECT_EQ(run({QStringLiteral("fleet")}), cli::DatabaseFailed);
    EXPECT_TRUE(err.contains(QStringLiteral("PF_"), Qt::CaseInsensitive)) << err.toStdString();
}

TEST_F(Fleet, AddressBookServedAsGenerateWritesItToItsOwnCompanyOnly)
{
    ASSERT_TRUE(FetchTable::prepare(working.db).isEmpty());
    working.db.execute(QStringLiteral("INSERT INTO PHONE_BOOK VALUES ('ALPIN', '+41 21 555 02 77', 'R&D <lab>', 'V', "
                                      "'', '', '', '')"));
    working.db.execute(QStringLiteral("INSERT INTO PHONE_BOOK VALUES ('ALPIN', '+41 21 555 02 78', 'Hidden', 'H', "
                                      "'', '', '', '')"));
    const auto generated = [&] {
        EXPECT_EQ(run({QStringLiteral("phonebook"), QStringLiteral("generate"), QStringLiteral("--company"),
                       QStringLiteral("ALPIN"), QStringLiteral("--model"), QStringLiteral("GXP2000"),
                       QStringLiteral("--out"), demoDir.path()}),
                  cli::Ok)
            << err.toStdString();
        QFile file(demoDir.filePath(QStringLiteral("gs_phonebook.xml")));
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        return file.readAll();
    };
    const QByteArray written = generated();
    ASSERT_TRUE(written.contains("R&amp;D &lt;lab&gt;"));

    LockedLog log;
    FetchRecorder recorder(working.connectionString(), log, std::chrono::milliseconds(5));
    recorder.start();
    const auto server = serve(log, &recorder);
    HttpClient client(server->port());
    const QByteArray book = "/phonebook/ALPIN/gs_phonebook.xml";
    const HttpReply live = client.request("GET", book);
    ASSERT_EQ(live.status, 200);
    EXPECT_EQ(live.body, written);
    EXPECT_EQ(client.request("GET", book, {{"If-None-Match", live.header("ETag")}}).status, 304);
    for (const char* missing : {"/NOPE/gs_phonebook.xml", "/gs_phonebook.xml", "/ALPIN/x/gs_phonebook.xml/"})
        EXPECT_EQ(client.request("GET", missing).status, 404) << missing;

    // Changed in the database: served changed at the next request, as generate would write it now.
    working.db.execute(QStringLiteral("UPDATE PHONE_BOOK SET BK_NAME = 'Lobby' WHERE CO_CODE = 'ALPIN' AND "
                                      "BK_NAME = 'Reception'"));
    EXPECT_EQ(client.request("GET", book).body, generated());

    // Behind the company's password, with the MAC of one of its telephones as the user name: another
    // company's telephone is refused even with the right password, and so is a code nobody has.
    working.db.execute(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('ALPIN', '$$PROVAUTH', 'alpine secret')"));
    struct Case
    {
        QByteArray target;
        QString user;
        int status;
    };
    const QList<Case> cases = {
        {book, QString(), 401},
        {book, QStringLiteral("000B82E79E4A"), 200},
        {book, QStringLiteral("0014BF48995F"), 200}, // its PAP2 telephone is one of its telephones too
        {book, QStringLiteral("000B82946FF4"), 401}, // OHARA 101
        {book, QStringLiteral("000B82E79E4B"), 401},
        {"/NOPE/gs_phonebook.xml", QString(), 401},
        {"/NOPE/gs_phonebook.xml", QStringLiteral("000B82E79E4A"), 401},
        {"/OHARA/gs_phonebook.xml", QString(), 200}, // no password of its own
    };
    for (const Case& c : cases) {
        const HttpReply r = c.user.isEmpty() ? client.request("GET", c.target)
                                             : client.getWithDigest(c.target, c.user, QStringLiteral("alpine secret"));
        EXPECT_EQ(r.status, c.status) << c.target.constData() << ' ' << c.user.toStdString();
        if (c.status == 200 && c.target == book) {
            EXPECT_EQ(r.body, generated());
        }
    }
    // An address book is no telephone's configuration: nothing is recorded.
    recorder.stop();
    EXPECT_EQ(working.db.execute(QStringLiteral("SELECT COUNT(*) FROM PHONE_FETCHES")).text(0), QStringLiteral("0"));
}

} // namespace
} // namespace vocaset::test
