// Template models on a working copy of the demo database, on the engine under test: templates that
// lay the built-in writers' files out give their bytes, written, served and compared by the dry run;
// a template model is served behind Digest, recorded, and its address book served; saving refuses
// what collides; a rename and a creation carry the templates.

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "ChangeHistory.h"
#include "CodeRename.h"
#include "DatabaseCreation.h"
#include "DryRun.h"
#include "FetchRecorder.h"
#include "FleetSurvey.h"
#include "GenerationRun.h"
#include "HttpClient.h"
#include "PhoneFileSource.h"
#include "RebootRun.h"
#include "ServeTestSupport.h"
#include "TemplateCheck.h"
#include "TestDatabase.h"

namespace vocaset::test {
namespace {

// Everything one telephone file source sees, without a password.
class Trusted final : public Credentials
{
public:
    Check check(const QString&, const QStringList&) override { return Check::Accepted; }
};

class TemplateDemo : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const QString sourceFile = root.filePath(QStringLiteral("source.db"));
        if (!QFile::copy(QStringLiteral(VOCASET_DEMO_DB), sourceFile))
            GTEST_SKIP() << "the demo source database has not been built: " << VOCASET_DEMO_DB;
        ASSERT_EQ(createDatabase(t.s, QStringLiteral("Provider=SQLite;Data Source=") + sourceFile, t.log),
                  CreationOutcome::Created);
        t.s.userName = QStringLiteral("TESTER");
    }

    QString folder(const QString& name)
    {
        const QString path = root.filePath(name);
        QDir().mkpath(path);
        return path;
    }
    // Every telephone of the model, each company's with one run: the files the folder then holds.
    QMap<QString, QByteArray> generate(const QString& model, const QString& into, bool dry = false)
    {
        const QString out = folder(into);
        for (const QString& company : {QStringLiteral("ALPIN"), QStringLiteral("OHARA")}) {
            GenerationRequest r{company, model, {}, QStringLiteral("000"), QStringLiteral("999"), out};
            if (dry) {
                DryRun run(t.s, t.log);
                const DryRunSummary summary = run.run(r);
                EXPECT_EQ(summary.unchanged, summary.selected) << summary.line.toStdString();
            } else {
                GenerationRun run(t.s, t.log);
                const RunSummary summary = run.run(r);
                EXPECT_EQ(summary.written, summary.selected) << t.log.lines.join(u'\n').toStdString();
            }
        }
        QMap<QString, QByteArray> files;
        for (const QString& name : QDir(out).entryList(QDir::Files)) {
            QFile f(out + u'/' + name);
            EXPECT_TRUE(f.open(QIODevice::ReadOnly));
            files.insert(name, f.readAll());
        }
        return files;
    }
    QStringList macs(const QString& model)
    {
        QStringList out;
        const Recordset rs = t.tdb.db.executeBound(
            QStringLiteral("SELECT PH_MAC FROM PHONES WHERE EQ_CODE = ? ORDER BY PH_MAC"), {model});
        for (const QVariantList& row : rs.rows())
            out.append(row.value(0).toString());
        return out;
    }

    QTemporaryDir root;
    TestSession t{false};
};

TEST_F(TemplateDemo, LayoutsOfTheBuiltInWritersGiveTheirBytesWrittenServedAndComparedByTheDryRun)
{
    struct Mirror
    {
        const char* model;
        const char* builtInName; // %1: the MAC as stored
        const char* pattern;
        const char* escape;
        const char* text;
    };
    const Mirror mirrors[] = {
        {"F1000", "ut%1.ini", "tpl{{mac}}.ini", "none", "{{#params}}\n{{code}}={{value}}\n{{/params}}\n"},
        {"PAP2", "%1.txt", "tpl{{mac}}.xml", "xml",
         "<flat-profile>\n{{#params}}\n<{{code}}>{{value}}</{{code}}>\n{{/params}}\n</flat-profile>\n"},
    };
    for (const Mirror& m : mirrors) {
        const QString model = QLatin1String(m.model);
        const QMap<QString, QByteArray> builtIn = generate(model, model + QStringLiteral("-builtin"));
        ASSERT_EQ(builtIn.size(), macs(model).size()) << m.model;

        t.tdb.db.executeBound(QStringLiteral("UPDATE EQUIPMENT SET EQ_MODULE = 'TEMPLATE' WHERE EQ_CODE = ?"), {model});
        const ModelTemplate mirror{model,
                                   QStringLiteral("config"),
                                   QLatin1String(m.pattern),
                                   QLatin1String(m.escape),
                                   QStringLiteral("Windows-1252"),
                                   QStringLiteral("CRLF"),
                                   {},
                                   QLatin1String(m.text)};
        const TemplateSave saved = saveTemplate(t.s, mirror);
        ASSERT_TRUE(saved.saved()) << (saved.problems.isEmpty() ? saved.refusal.value_or(QString())
                                                                : saved.problems.first().located())
                                          .toStdString();
        const QMap<QString, QByteArray> written = generate(model, model + QStringLiteral("-template"));
        PhoneFileSource source(t.tdb.connectionString(), QStringLiteral("EN"), 5000);
        Trusted trusted;
        const QString dry = folder(model + QStringLiteral("-dry"));
        for (const QString& mac : macs(model)) {
            const QString name = FileNamePattern::parse(mirror.fileName, true)->nameFor(mac);
            const QByteArray expected = builtIn.value(QLatin1String(m.builtInName).arg(mac));
            ASSERT_FALSE(expected.isEmpty()) << mac.toStdString();
            EXPECT_EQ(written.value(name), expected) << name.toStdString();
            const FileAnswer served = source.answer(name, trusted);
            EXPECT_EQ(served.status, 200) << name.toStdString();
            EXPECT_EQ(served.body, expected) << name.toStdString();
            QFile copy(dry + u'/' + name);
            ASSERT_TRUE(copy.open(QIODevice::WriteOnly));
            copy.write(expected);
        }
        // The built-in writer's files under the template's names: the dry run finds each unchanged.
        generate(model, model + QStringLiteral("-dry"), true);
    }
}

// A value the file cannot carry gets the built-in writer's own lines: '?' for a character outside
// Windows-1252, the telephone refused for a line break; only the file's name differs.
TEST_F(TemplateDemo, ValuesTheFileCannotCarryGetTheBuiltInWritersLines)
{
    const auto lines = [&](const QString& defaultValue) {
        t.tdb.db.executeBound(QStringLiteral("UPDATE EQUIPMENT_PARAMETERS SET PA_DEFAULT = ? WHERE EQ_CODE = "
                                             "'F1000' AND PA_CODE = 'audio.ring_tone'"),
                              {defaultValue});
        t.log.lines.clear();
        GenerationRun run(t.s, t.log);
        const RunSummary summary = run.run({QStringLiteral("ALPIN"),
                                            QStringLiteral("F1000"),
                                            {},
                                            QStringLiteral("000"),
                                            QStringLiteral("999"),
                                            folder(QStringLiteral("out"))});
        QStringList out = t.log.lines.filter(QStringLiteral("audio.ring_tone"));
        static const QRegularExpression names(QStringLiteral("(ut|tpl)[0-9A-F]{12}\\.ini"));
        out.replaceInStrings(names, QStringLiteral("FILE"));
        out.append(QStringLiteral("%1 of %2 written").arg(summary.written).arg(summary.selected));
        return out;
    };
    // The files in the folder, by the MAC in their names.
    const auto files = [&](const QString& prefix) {
        QMap<QString, QByteArray> out;
        const QDir dir(folder(QStringLiteral("out")));
        for (const QString& name : dir.entryList({prefix + QStringLiteral("*.ini")}, QDir::Files)) {
            QFile f(dir.filePath(name));
            EXPECT_TRUE(f.open(QIODevice::ReadOnly));
            out.insert(name.mid(prefix.size(), 12), f.readAll());
        }
        return out;
    };
    const QStringList lossy = lines(QStringLiteral("Fa\u00e7ade \u2192 east"));
    const QMap<QString, QByteArray> lossyFiles = files(QStringLiteral("ut"));
    ASSERT_EQ(lossyFiles.size(), 4);
    EXPECT_TRUE(lossyFiles.first().contains("audio.ring_tone=Fa\xe7" "ade ? east\r\n"));
    const QStringList builtIn[] = {lossy, lines(QStringLiteral("a\nb"))};
    ASSERT_EQ(builtIn[0].size(), 5) << builtIn[0].join(u'\n').toStdString();
    ASSERT_EQ(builtIn[1].size(), 5) << builtIn[1].join(u'\n').toStdString();
    EXPECT_EQ(builtIn[0].last(), QStringLiteral("4 of 4 written"));
    EXPECT_EQ(builtIn[1].last(), QStringLiteral("0 of 4 written"));

    t.tdb.db.execute(QStringLiteral("UPDATE EQUIPMENT SET EQ_MODULE = 'TEMPLATE' WHERE EQ_CODE = 'F1000'"));
    ModelTemplate mirror{QStringLiteral("F1000"), QStringLiteral("config"), QStringLiteral("tpl{{mac}}.ini")};
    mirror.text = QStringLiteral("{{#params}}\n{{code}}={{value}}\n{{/params}}\n");
    ASSERT_TRUE(saveTemplate(t.s, mirror).saved());
    EXPECT_EQ(lines(QStringLiteral("Fa\u00e7ade \u2192 east")), builtIn[0]);
    EXPECT_EQ(files(QStringLiteral("tpl")), lossyFiles);
    EXPECT_EQ(lines(QStringLiteral("a\nb")), builtIn[1]);
}

TEST_F(TemplateDemo, ATemplateModelIsServedBehindDigestRecordedAndItsAddressBookServed)
{
    ensureApp();
    t.exec(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('ALPIN', '$$PROVAUTH', 'alpine secret')"));
    ASSERT_TRUE(FetchTable::prepare(t.tdb.db).isEmpty());
    LockedLog log;
    FetchRecorder recorder(t.tdb.connectionString(), log, std::chrono::milliseconds(20));
    recorder.start();
    ServerOptions options;
    options.port = 0;
    options.recorder = &recorder;
    const QString db = t.tdb.connectionString();
    ProvisioningServer server(
        options, [db](int bound) { return std::make_unique<PhoneFileSource>(db, QStringLiteral("EN"), bound); }, log);
    QString error;
    ASSERT_TRUE(server.start(&error)) << error.toStdString();
    HttpClient client(server.port());

    const QByteArray file = "/provisioning/phone02A1C0000214.xml"; // ALPIN 214, SIPXML
    const QString mac = QStringLiteral("02A1C0000214");
    EXPECT_EQ(client.request("GET", file).status, 401);
    // A MAC without a telephone is refused as a wrong password is; a right answer asking another
    // model's name for the MAC finds no file.
    EXPECT_EQ(
        client.getWithDigest("/phone02A1C0000299.xml", QStringLiteral("02A1C0000299"), QStringLiteral("alpine secret"))
            .status,
        401);
    EXPECT_EQ(client.getWithDigest("/02a1c0000214.cfg", mac, QStringLiteral("alpine secret")).status, 404);
    EXPECT_EQ(client.getWithDigest(file, mac, QStringLiteral("wrong")).status, 401);
    const HttpReply served = client.getWithDigest(file, mac, QStringLiteral("alpine secret"));
    ASSERT_EQ(served.status, 200) << served.body.constData();
    EXPECT_EQ(served.header("Content-Type"), "text/xml; charset=utf-8");
    EXPECT_TRUE(served.body.contains("password=\"x&amp;4&lt;Qm&quot;9\"")) << served.body.constData();
    // What the generation writes, the server sends.
    QMap<QString, QByteArray> written = generate(QStringLiteral("SIPXML"), QStringLiteral("xml"));
    EXPECT_EQ(written.value(QStringLiteral("phone02A1C0000214.xml")), served.body);
    const QByteArray challenge = client.request("GET", file).header("WWW-Authenticate");
    const HttpReply again = client.request(
        "GET", file,
        {{"If-None-Match", served.header("ETag")},
         {"Authorization", digestAuthorization(challenge, "GET", file, mac, QStringLiteral("alpine secret"), 1)}});
    EXPECT_EQ(again.status, 304);
    recorder.stop();
    EXPECT_EQ(t.value(QStringLiteral("SELECT PF_ETAG FROM PHONE_FETCHES WHERE CO_CODE = 'ALPIN' AND PH_CODE = '214'"))
                  .toLatin1(),
              served.header("ETag"));
    // The fleet finds the file it was served current, until the template changes what it would get.
    FleetSurvey fleet(t.tdb.db, QStringLiteral("EN"));
    const auto states = [&] {
        QStringList out;
        for (const FleetPhone& p : fleet.survey({QStringLiteral("ALPIN"), QStringLiteral("SIPXML")}))
            out.append(p.code + u' ' + stateName(p.state));
        return out;
    };
    EXPECT_EQ(states(),
              (QStringList{QStringLiteral("214 current"), QStringLiteral("215 never"), QStringLiteral("216 never")}));
    ModelTemplate edited = *ModelTemplates::read(t.tdb.db, QStringLiteral("SIPXML"), QStringLiteral("config"));
    edited.text.append(QStringLiteral("<!-- {{phone.code}} -->\n"));
    ASSERT_TRUE(saveTemplate(t.s, edited).saved());
    EXPECT_EQ(states().value(0), QStringLiteral("214 stale"));

    // The address book, in the company's folder, behind the same password.
    const QByteArray book = "/ALPIN/directory.xml";
    EXPECT_EQ(client.request("GET", book).status, 401);
    const HttpReply listed = client.getWithDigest(book, mac, QStringLiteral("alpine secret"));
    ASSERT_EQ(listed.status, 200) << listed.body.constData();
    EXPECT_TRUE(listed.body.startsWith("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<directory company=\"Alpine "
                                       "Logistics SA\">\r\n"))
        << listed.body.constData();
    EXPECT_EQ(listed.body.count("<entry index="), t.value(QStringLiteral("SELECT COUNT(*) FROM PHONE_BOOK WHERE "
                                                                         "CO_CODE = 'ALPIN' AND BK_FLAG <> 'H'"))
                                                      .toInt());
    EXPECT_EQ(client.getWithDigest("/OHARA/directory.xml", mac, QStringLiteral("alpine secret")).status, 404);

    // A template saved while the server runs is served at once: its new name, not the old one.
    ModelTemplate changed = *ModelTemplates::read(t.tdb.db, QStringLiteral("SIPXML"), QStringLiteral("config"));
    changed.fileName = QStringLiteral("desk-{{mac_dashes}}.xml");
    ASSERT_TRUE(saveTemplate(t.s, changed).saved());
    EXPECT_EQ(client.getWithDigest("/desk-02-A1-C0-00-02-14.xml", mac, QStringLiteral("alpine secret")).status, 200);
    EXPECT_EQ(client.getWithDigest(file, mac, QStringLiteral("alpine secret")).status, 404);
    server.stop();
}

TEST_F(TemplateDemo, SavingChecksFirstAndKeepsItsHistoryARenameAndACreationCarryTheTemplates)
{
    ModelTemplate kv = *ModelTemplates::read(t.tdb.db, QStringLiteral("SIPKV"), QStringLiteral("config"));
    // Names another model's template or a built-in writer already takes are refused, naming the first.
    for (const char* taken : {"phone{{mac_lower}}.xml", "ut{{mac}}.ini"}) {
        ModelTemplate clash = kv;
        clash.fileName = QLatin1String(taken);
        const TemplateSave refused = saveTemplate(t.s, clash);
        ASSERT_EQ(refused.problems.size(), 1) << taken;
        EXPECT_EQ(refused.problems.first().in, TemplateProblem::In::FileName);
        EXPECT_TRUE(refused.problems.first().text.contains(
            QLatin1String(taken[0] == 'p' ? "template of SIPXML" : "F1000 files")))
            << refused.problems.first().text.toStdString();
    }
    ModelTemplate broken = kv;
    broken.text = QStringLiteral("{{#params}}\n{{code}}={{vlaue}}\n{{/params}}\n\u2192");
    const TemplateSave refused = saveTemplate(t.s, broken);
    QStringList problems;
    for (const TemplateProblem& p : refused.problems)
        problems.append(p.located());
    EXPECT_EQ(problems, (QStringList{QStringLiteral("line 4, column 1: U+2192 has no Windows-1252 code: the file would "
                                                    "get '?'"),
                                     QStringLiteral("line 2, column 10: \"vlaue\" names nothing a template can use")}));
    EXPECT_EQ(*ModelTemplates::read(t.tdb.db, kv.model, kv.kind), kv) << "nothing refused is saved";
    ModelTemplate large = kv;
    large.text = QString(ModelTemplates::kMaxTextBytes - 1, u'x') + QStringLiteral("\u00e7");
    const TemplateSave tooLarge = saveTemplate(t.s, large);
    ASSERT_FALSE(tooLarge.saved());
    EXPECT_TRUE(tooLarge.problems.value(0).text.contains(QStringLiteral("larger than 1048576 bytes")))
        << tooLarge.problems.value(0).located().toStdString();
    EXPECT_EQ(*ModelTemplates::read(t.tdb.db, kv.model, kv.kind), kv);
    ModelTemplate notTemplate = kv;
    notTemplate.model = QStringLiteral("F1000");
    EXPECT_TRUE(saveTemplate(t.s, notTemplate).refusal);

    kv.eol = QStringLiteral("CRLF");
    ASSERT_TRUE(saveTemplate(t.s, kv).changed);
    EXPECT_FALSE(saveTemplate(t.s, kv).changed);

    // A rename carries the model's templates and says so in the history.
    const RenamePlan plan =
        renameCode(t.s, {RenameRequest::Model, QStringLiteral("SIPXML"), QStringLiteral("DESKXML")});
    ASSERT_TRUE(plan.refusal.isEmpty()) << plan.refusal.toStdString();
    EXPECT_TRUE(plan.summary().contains(QStringLiteral("MODEL_TEMPLATES 2"))) << plan.summary().toStdString();
    EXPECT_FALSE(ModelTemplates::read(t.tdb.db, QStringLiteral("SIPXML"), QStringLiteral("config")));
    EXPECT_TRUE(ModelTemplates::read(t.tdb.db, QStringLiteral("DESKXML"), QStringLiteral("phonebook")));
    HistoryFilter filter;
    filter.table = QLatin1String(kTemplatesTable);
    QStringList history;
    for (const HistoryEntry& e : readHistory(t.tdb.db, filter))
        history.append(e.operation + u' ' + e.key + u' ' + e.column);
    history.sort();
    EXPECT_EQ(history,
              (QStringList{QStringLiteral("edit SIPKV/config MT_EOL"), QStringLiteral("rename SIPXML/config EQ_CODE"),
                           QStringLiteral("rename SIPXML/phonebook EQ_CODE")}));
    TemplateCheck renamed(t.s, *ModelTemplates::read(t.tdb.db, QStringLiteral("DESKXML"), QStringLiteral("config")));
    EXPECT_TRUE(renamed.templateProblems().isEmpty());
    EXPECT_TRUE(renamed.preview(QStringLiteral("ALPIN"), QStringLiteral("214")).made);

    // A database created from this one has the templates.
    TestSession copy(false);
    ASSERT_EQ(createDatabase(copy.s, t.tdb.connectionString(), copy.log), CreationOutcome::Created);
    EXPECT_EQ(ModelTemplates::readNames(copy.tdb.db), ModelTemplates::readNames(t.tdb.db));
    EXPECT_EQ(ModelTemplates::read(copy.tdb.db, QStringLiteral("SIPKV"), QStringLiteral("config")), kv);
    deleteTemplate(t.s, QStringLiteral("SIPKV"), QStringLiteral("config"));
    EXPECT_FALSE(ModelTemplates::read(t.tdb.db, QStringLiteral("SIPKV"), QStringLiteral("config")));
}

// A new database lists the module among the writers; the reboot run passes a template model's
// telephones with a line each, counting them neither restarted nor failed, and goes on.
TEST_F(TemplateDemo, ANewDatabaseOffersTheModuleAndTheRebootRunPassesItsTelephones)
{
    EXPECT_EQ(t.value(QStringLiteral("SELECT COUNT(*) FROM SYSTEM_PARAMETERS WHERE SY_CODE = '$$MODULES' AND "
                                     "SY_SUBCODE = 'TEMPLATE'")),
              QStringLiteral("1"));
    t.log.lines.clear();
    t.op.messages.clear();
    RebootRun reboot(t.s, t.log, 2000);
    EXPECT_EQ(
        reboot.run(QStringLiteral("ALPIN"), QStringLiteral("SIPKV"), QStringLiteral("211"), QStringLiteral("213")),
        RebootRun::Outcome::Completed);
    EXPECT_EQ(reboot.summary().selected, 3);
    EXPECT_EQ(reboot.summary().restarted, 0);
    EXPECT_EQ(reboot.summary().failures(), 0);
    EXPECT_EQ(t.log.lines.filter(QStringLiteral("takes its file from a template")).size(), 3)
        << t.log.lines.join(u'\n').toStdString();
    EXPECT_EQ(t.log.lines.filter(QStringLiteral("ALPIN/212")).size(), 1);
    EXPECT_TRUE(t.op.messages.isEmpty()) << t.op.messages.join(u'\n').toStdString();
}

} // namespace
} // namespace vocaset::test
