// The generation run as several desks share one database: two connections generating at once, a
// server session lost in the middle of a run, and a working copy of the demo database on whichever
// engine the suite runs against writing exactly what the embedded source database writes.

#include <functional>

#include <QDir>
#include <QFile>
#include <QMap>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "CodeRename.h"
#include "DatabaseCreation.h"
#include "DryRun.h"
#include "GenerateFixture.h"
#include "GenerationRun.h"
#include "Interleaving.h"
#include "TelephoneFiles.h"

namespace vocaset::test {
namespace {

// A run log that also hands each line to a hook, so a test can act at a chosen moment of a run.
class HookLog final : public RunLog
{
public:
    void append(const QString& line) override
    {
        lines.append(line);
        if (hook)
            hook(line);
    }
    QStringList lines;
    std::function<void(const QString&)> hook;
};

// Every file below a folder, by relative path, with its bytes.
QMap<QString, QByteArray> filesIn(const QString& root)
{
    QMap<QString, QByteArray> out;
    const QDir base(root);
    QStringList pending{root};
    while (!pending.isEmpty()) {
        const QDir dir(pending.takeFirst());
        for (const QFileInfo& info :
             dir.entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden)) {
            if (info.isDir()) {
                pending.append(info.filePath());
                continue;
            }
            QFile f(info.filePath());
            out.insert(base.relativeFilePath(info.filePath()),
                       f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("?"));
        }
    }
    return out;
}

QString folder(const QTemporaryDir& root, const QString& name)
{
    QDir(root.path()).mkpath(name);
    return root.filePath(name);
}

GenerationRequest request(const QString& company, const QString& model, const QString& first, const QString& last,
                          const QString& into)
{
    GenerationRequest r;
    r.company = company;
    r.model = model;
    r.firstPhone = first;
    r.lastPhone = last;
    r.folder = into;
    r.source = true;
    return r;
}

// Two companies on two models, with values of their own at every level.
void seedTwoCompanies(GenerateData& d)
{
    d.company(QStringLiteral("AC"));
    d.company(QStringLiteral("BX"));
    d.model(QStringLiteral("GXP"), QStringLiteral("GRANDSTREAM"));
    d.model(QStringLiteral("PAP"), QStringLiteral("PAP2"));
    d.param(QStringLiteral("GXP"), QStringLiteral("1"), QStringLiteral("E"), QStringLiteral("one"));
    d.param(QStringLiteral("GXP"), QStringLiteral("2"), QStringLiteral("E"), QStringLiteral("sip$$P"));
    d.param(QStringLiteral("GXP"), QStringLiteral("10"), QStringLiteral("C"), QString());
    d.param(QStringLiteral("GXP"), QStringLiteral("20"), QStringLiteral("P"), QString());
    d.param(QStringLiteral("PAP"), QStringLiteral("Admin_Passwd"), QStringLiteral("E"), QStringLiteral("adm$$P,2,2"));
    d.param(QStringLiteral("PAP"), QStringLiteral("Display_Name_1_"), QStringLiteral("C"), QString());
    d.param(QStringLiteral("PAP"), QStringLiteral("Static_IP"), QStringLiteral("P"), QString());
    d.companyValue(QStringLiteral("AC"), QStringLiteral("GXP"), QStringLiteral("10"), QStringLiteral("Acme $$N"));
    d.companyValue(QStringLiteral("BX"), QStringLiteral("PAP"), QStringLiteral("Display_Name_1_"),
                   QStringLiteral("B'x & Co $$N"));
    for (int i = 1; i <= 3; ++i) {
        const QString ph = QString::number(100 + i);
        d.phone(QStringLiteral("AC"), ph, QStringLiteral("GXP"), QStringLiteral("Desk ") + ph,
                QStringLiteral("0011223344%1").arg(i, 2, 10, QLatin1Char('0')));
        d.phoneValue(QStringLiteral("AC"), QStringLiteral("GXP"), ph, QStringLiteral("20"),
                     QStringLiteral("ext ") + ph);
    }
    for (int i = 1; i <= 4; ++i) {
        const QString ph = QString::number(200 + i);
        d.phone(QStringLiteral("BX"), ph, QStringLiteral("PAP"), QStringLiteral("Lab ") + ph,
                QStringLiteral("00AABBCCDD%1").arg(i, 2, 10, QLatin1Char('0')));
        d.phoneValue(QStringLiteral("BX"), QStringLiteral("PAP"), ph, QStringLiteral("Static_IP"),
                     QStringLiteral("10.0.2.") + QString::number(i));
    }
}

} // namespace

TEST(GenerationOnTwoConnections, EachRunWritesWhatItWouldWriteAlone)
{
    GenerateData d;
    seedTwoCompanies(d);
    Database other;
    other.open(d.tdb.connectionString());
    ScriptedOperator otherOp;
    Session desk2(other, otherOp);
    QTemporaryDir root;

    const GenerationRequest aloneA = request(QStringLiteral("AC"), QStringLiteral("GXP"), QStringLiteral("101"),
                                             QStringLiteral("103"), folder(root, QStringLiteral("aloneA")));
    const GenerationRequest aloneB = request(QStringLiteral("BX"), QStringLiteral("PAP"), QStringLiteral("201"),
                                             QStringLiteral("204"), folder(root, QStringLiteral("aloneB")));
    HookLog logA, logB;
    ASSERT_EQ(GenerationRun(d.s, logA).run(aloneA).written, 3);
    ASSERT_EQ(GenerationRun(desk2, logB).run(aloneB).written, 4);

    // At once: each time the first desk has merged a telephone's set and is about to write it, the
    // second desk runs its whole company on its own connection.
    GenerationRequest atOnceA = aloneA;
    atOnceA.folder = folder(root, QStringLiteral("atOnceA"));
    GenerationRequest atOnceB = aloneB;
    atOnceB.folder = folder(root, QStringLiteral("atOnceB"));
    HookLog logA2;
    QList<RunSummary> interleaved;
    logA2.hook = [&](const QString& line) {
        if (line.startsWith(QStringLiteral("M13:"))) {
            HookLog logB2;
            interleaved.append(GenerationRun(desk2, logB2).run(atOnceB));
            EXPECT_EQ(logB2.lines, logB.lines);
        }
    };
    const RunSummary a = GenerationRun(d.s, logA2).run(atOnceA);
    EXPECT_EQ(a.outcome, RunOutcome::Completed);
    EXPECT_EQ(a.written, 3);
    ASSERT_EQ(interleaved.size(), 3);
    for (const RunSummary& b : std::as_const(interleaved))
        EXPECT_EQ(b.written, 4);
    EXPECT_EQ(logA2.lines, logA.lines);
    EXPECT_EQ(filesIn(atOnceA.folder), filesIn(aloneA.folder));
    EXPECT_EQ(filesIn(atOnceB.folder), filesIn(aloneB.folder));
    EXPECT_EQ(filesIn(aloneA.folder).size(), 6);
    EXPECT_TRUE(d.op.messages.isEmpty());
    EXPECT_TRUE(otherOp.messages.isEmpty());
    // Neither desk left anything in the shared scratch table.
    Database third;
    third.open(d.tdb.connectionString());
    EXPECT_EQ(third.execute(QStringLiteral("SELECT * FROM EQ_TEMP")).count(), 0);
}

// Runs company AC's three telephones and breaks the database once the first telephone's files are
// written, before the second telephone's values are read: the run ends with the database's error,
// the first telephone's files are whole, nothing of the others is there, no temporary file.
void expectFinishedTelephoneKept(GenerateData& d, const std::function<void()>& breakDatabase, const QString& errorText)
{
    seedTwoCompanies(d);
    QTemporaryDir root;
    const GenerationRequest alone = request(QStringLiteral("AC"), QStringLiteral("GXP"), QStringLiteral("101"),
                                            QStringLiteral("103"), folder(root, QStringLiteral("alone")));
    HookLog log;
    ASSERT_EQ(GenerationRun(d.s, log).run(alone).written, 3);

    GenerationRequest broken = alone;
    broken.folder = folder(root, QStringLiteral("broken"));
    int telephones = 0;
    HookLog brokenLog;
    brokenLog.hook = [&](const QString& line) {
        if (line.startsWith(QStringLiteral("M15:")) && ++telephones == 1)
            breakDatabase();
    };
    try {
        GenerationRun(d.s, brokenLog).run(broken);
        FAIL() << "the run went on without its database";
    } catch (const DbError& e) {
        EXPECT_TRUE(e.text().contains(errorText, Qt::CaseInsensitive)) << e.text().toStdString();
    }
    QMap<QString, QByteArray> expected = filesIn(alone.folder);
    for (auto it = expected.begin(); it != expected.end();) {
        if (it.key().contains(QStringLiteral("001122334401")))
            ++it;
        else
            it = expected.erase(it);
    }
    EXPECT_EQ(expected.size(), 2);
    EXPECT_EQ(filesIn(broken.folder), expected);
}

// Another operator renames the company once the run has done its first telephone. The run reads one
// state from its first statement to its last: every file is the one it writes alone before the
// rename, the dry run finds every file unchanged, whether it has read the telephones' values yet or not.
TEST(GenerationOnTwoConnections, ARenameCommittedMidRunIsWhollyOutOfIt)
{
    for (const bool dry : {false, true}) {
        SCOPED_TRACE(dry ? "dry run" : "generation");
        GenerateData d;
        seedTwoCompanies(d);
        QTemporaryDir root;
        const GenerationRequest alone = request(QStringLiteral("BX"), QStringLiteral("PAP"), QStringLiteral("201"),
                                                QStringLiteral("204"), folder(root, QStringLiteral("alone")));
        HookLog log;
        ASSERT_EQ(GenerationRun(d.s, log).run(alone).written, 4);

        OtherOperator other(d.tdb);
        other.at(QStringLiteral("telephone.done"), [&] {
            const RenamePlan renamed =
                renameCode(other.s, RenameRequest(RenameRequest::Company, QStringLiteral("BX"), QStringLiteral("BZ")));
            EXPECT_TRUE(renamed.refusal.isEmpty()) << renamed.refusal.toStdString();
        });
        if (dry) {
            HookLog dryLog;
            const DryRunSummary sum = DryRun(d.s, dryLog).run(alone);
            EXPECT_EQ(sum.unchanged, 4) << dryLog.lines.join(u'\n').toStdString();
        } else {
            GenerationRequest during = alone;
            during.folder = folder(root, QStringLiteral("during"));
            HookLog duringLog;
            EXPECT_EQ(GenerationRun(d.s, duringLog).run(during).written, 4);
            EXPECT_TRUE(filesIn(during.folder) == filesIn(alone.folder));
        }
        EXPECT_EQ(other.passed.count(QStringLiteral("telephone.done")), 4);
        EXPECT_EQ(d.count(QStringLiteral("SELECT * FROM PHONES WHERE CO_CODE = 'BZ'")), 4) << "the rename is in";
    }
}

TEST(GenerationOnTheServer, ASessionLostMidRunStopsWithItsErrorAndNoPartialFile)
{
    if (TestDatabase::server().isEmpty())
        GTEST_SKIP() << "needs the PostgreSQL server named by VOCASET_TEST_DB";
    GenerateData d;
    Database admin;
    admin.open(TestDatabase::server());
    const QString pid = d.value(QStringLiteral("SELECT pg_backend_pid()"));
    // The server ends the session, as a shutdown does.
    expectFinishedTelephoneKept(
        d, [&] { admin.execute(QStringLiteral("SELECT pg_terminate_backend(") + pid + QStringLiteral(", 10000)")); },
        QStringLiteral("The connection to the database server was lost: "));
}

TEST(GenerationOnEitherEngine, ADatabaseErrorMidRunKeepsTheFinishedTelephonesFiles)
{
    GenerateData d;
    // The run reads in a snapshot on its connection: on the server a read-only one, which refuses the
    // drop itself; SQLite drops the table and the run's next read fails.
    expectFinishedTelephoneKept(
        d, [&] { d.exec(QStringLiteral("DROP TABLE PHONES_PARAMETERS")); },
        d.tdb.engine() == Engine::PostgreSQL ? QStringLiteral("read-only transaction")
                                             : QStringLiteral("PHONES_PARAMETERS"));
}

#ifdef VOCASET_DEMO_DB
TEST(DemoGeneration, AWorkingCopyOnTheEngineWritesWhatTheSourceWrites)
{
    QTemporaryDir root;
    const QString sourceFile = root.filePath(QStringLiteral("source.db"));
    if (!QFile::copy(QStringLiteral(VOCASET_DEMO_DB), sourceFile))
        GTEST_SKIP() << "the demo source database has not been built: " << VOCASET_DEMO_DB;
    const QString sourceConnection = QStringLiteral("Provider=SQLite;Data Source=") + sourceFile;

    // The site moves: a working database on the engine under test, filled by the creation run.
    TestSession working(false);
    ASSERT_EQ(createDatabase(working.s, sourceConnection, working.log), CreationOutcome::Created);

    Database source;
    source.open(sourceConnection);
    ScriptedOperator sourceOp;
    Session onSource(source, sourceOp);
    onSource.userName = working.s.userName;
    onSource.appDir = working.s.appDir;

    Recordset pairs =
        source.execute(QStringLiteral("SELECT CO_CODE, EQ_CODE, MIN(PH_CODE), MAX(PH_CODE) FROM PHONES "
                                      "WHERE EQ_CODE IS NOT NULL GROUP BY CO_CODE, EQ_CODE ORDER BY CO_CODE, EQ_CODE"));
    ASSERT_GE(pairs.count(), 3);
    int files = 0;
    int served = 0;
    for (; !pairs.eof(); pairs.moveNext()) {
        const QString pair = pairs.text(0) + u'-' + pairs.text(1);
        for (const bool phoneLevel : {true, false}) {
            const QString tag = pair + (phoneLevel ? QStringLiteral("-phones") : QStringLiteral("-group"));
            GenerationRequest r = request(pairs.text(0), pairs.text(1), pairs.text(2), pairs.text(3),
                                          folder(root, QStringLiteral("source/") + tag));
            r.levels.phone = phoneLevel;
            HookLog fromSource, fromWorking;
            const RunSummary a = GenerationRun(onSource, fromSource).run(r);
            r.folder = folder(root, QStringLiteral("working/") + tag);
            const RunSummary b = GenerationRun(working.s, fromWorking).run(r);
            EXPECT_EQ(b.outcome, a.outcome) << tag.toStdString();
            EXPECT_EQ(b.written, a.written) << tag.toStdString();
            EXPECT_EQ(fromWorking.lines, fromSource.lines) << tag.toStdString();
            const QMap<QString, QByteArray> written = filesIn(r.folder);
            files += int(written.size());
            if (!phoneLevel)
                continue;
            // What a telephone is served on request is what the run wrote for it.
            TelephoneFileMaker maker(working.tdb.db, working.s.language);
            const Recordset phones = working.tdb.db.execute(
                QStringLiteral("SELECT PH_CODE FROM PHONES WHERE CO_CODE = '%1' AND EQ_CODE = '%2'")
                    .arg(pairs.text(0), pairs.text(1)));
            for (const QVariantList& row : phones.rows()) {
                const TelephoneFiles f = maker.make(pairs.text(0), row.at(0).toString(), r.levels, true);
                ASSERT_TRUE(f.ready()) << tag.toStdString() << ' ' << f.errors.join(u' ').toStdString();
                EXPECT_EQ(f.config, written.value(f.names.config))
                    << tag.toStdString() << ' ' << f.names.config.toStdString();
                EXPECT_EQ(f.source.value_or(QByteArray()), written.value(f.names.source)) << tag.toStdString();
                ++served;
            }
        }
    }
    EXPECT_EQ(working.op.messages.mid(1), sourceOp.messages);
    EXPECT_GT(files, 10);
    EXPECT_EQ(served, working.count(QStringLiteral("SELECT * FROM PHONES WHERE EQ_CODE IS NOT NULL")));
    const QMap<QString, QByteArray> fromSource = filesIn(root.filePath(QStringLiteral("source")));
    const QMap<QString, QByteArray> fromWorking = filesIn(root.filePath(QStringLiteral("working")));
    EXPECT_EQ(fromWorking.keys(), fromSource.keys());
    for (auto it = fromSource.begin(); it != fromSource.end(); ++it)
        EXPECT_EQ(fromWorking.value(it.key()), it.value()) << it.key().toStdString();
}
#endif

} // namespace vocaset::test
