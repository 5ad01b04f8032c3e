#include "GenerationRun.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "FileBatch.h"
#include "GenerateFixture.h"
#include "Gxp2000Writer.h"
#include "ParamResolution.h"
#include "TextFile.h"

namespace vocaset::test {
namespace {

const QString AC = QStringLiteral("AC");
const QString GXP = QStringLiteral("GXP");

class GenerationRunTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        d.company(AC);
        d.model(GXP, QStringLiteral("GRANDSTREAM"));
        d.param(GXP, QStringLiteral("1"), QStringLiteral("E"), QStringLiteral("one"));
        d.param(GXP, QStringLiteral("2"), QStringLiteral("E"), QStringLiteral("sip$$P"));
        d.param(GXP, QStringLiteral("10"), QStringLiteral("C"), QStringLiteral("unused default"));
        d.param(GXP, QStringLiteral("11"), QStringLiteral("C"), QStringLiteral("no company value"));
        d.param(GXP, QStringLiteral("20"), QStringLiteral("P"), QStringLiteral("unused default"));
        d.companyValue(AC, GXP, QStringLiteral("10"), QStringLiteral("O'Brien $$N"));
        for (const char* ph : {"101", "102", "103"}) {
            const QString code = QLatin1String(ph);
            d.phone(AC, code, GXP, QStringLiteral("Desk ") + code, QStringLiteral("0011223344") + code.right(2));
            d.phoneValue(AC, GXP, code, QStringLiteral("20"), QStringLiteral("ext ") + code);
        }
        request.company = AC;
        request.model = GXP;
        request.firstPhone = QStringLiteral("101");
        request.lastPhone = QStringLiteral("103");
        request.folder = dir.path();
    }

    RunSummary run()
    {
        GenerationRun r(d.s, d.log);
        return r.run(request);
    }
    QByteArray file(const QString& name) const
    {
        QFile f(dir.filePath(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    QStringList files() const { return QDir(dir.path()).entryList(QDir::Files, QDir::Name); }
    QList<QPair<QString, QString>> params(const QString& name) const { return decodeGxp2000(file(name)).params; }

    GenerateData d;
    QTemporaryDir dir;
    GenerationRequest request;
};

using Params = QList<QPair<QString, QString>>;

TEST_F(GenerationRunTest, MergesTheChosenLevelsWithoutFallBack)
{
    const RunSummary sum = run();
    EXPECT_EQ(sum.outcome, RunOutcome::Completed);
    EXPECT_EQ(sum.selected, 3);
    EXPECT_EQ(sum.written, 3);
    EXPECT_TRUE(sum.cleanedUp);
    EXPECT_EQ(files(), (QStringList{QStringLiteral("cfg0011223344") + QStringLiteral("01"),
                                    QStringLiteral("cfg001122334402"), QStringLiteral("cfg001122334403")}));
    // Descending text order; parameter 11 has no company value and is simply absent.
    EXPECT_EQ(params(QStringLiteral("cfg001122334402")),
              (Params{{QStringLiteral("20"), QStringLiteral("ext 102")},
                      {QStringLiteral("2"), QStringLiteral("sip102")},
                      {QStringLiteral("10"), QStringLiteral("O'Brien Desk 102")},
                      {QStringLiteral("1"), QStringLiteral("one")}}));
    EXPECT_EQ(d.count(QStringLiteral("SELECT * FROM EQ_TEMP")), 0);
    EXPECT_EQ(d.log.done, 3);
    EXPECT_EQ(d.log.total, 3);
    EXPECT_EQ(d.log.lines.first(), QStringLiteral("M13:101 Desk 101 001122334401"));
    EXPECT_EQ(d.log.lines.at(1), QStringLiteral("M15:"));
    EXPECT_TRUE(d.op.messages.isEmpty());
    EXPECT_FALSE(d.s.runError);

    request.levels = {false, true, false};
    d.log.lines.clear();
    run();
    // Telephone box clear: every telephone is processed, the last one's group file remains.
    EXPECT_EQ(d.log.lines.count(QStringLiteral("M13:GXP.txt")), 3);
    const Gxp2000Contents group = decodeGxp2000(file(QStringLiteral("GXP.txt")));
    EXPECT_EQ(group.mac, QStringLiteral("001122334403"));
    EXPECT_EQ(group.params, (Params{{QStringLiteral("10"), QStringLiteral("O'Brien Desk 103")}}));
}

TEST_F(GenerationRunTest, RangeAndSourceFiles)
{
    request.firstPhone = request.lastPhone = QStringLiteral("102");
    request.source = true;
    const QString otherSource = dir.filePath(QStringLiteral("101 - 001122334401.TXT"));
    ASSERT_TRUE(writeFileAtomically(otherSource, "keep"));
    EXPECT_EQ(run().written, 1);
    EXPECT_EQ(files(), (QStringList{QStringLiteral("101 - 001122334401.TXT"), QStringLiteral("102 - 001122334402.TXT"),
                                    QStringLiteral("cfg001122334402")}));
    EXPECT_EQ(file(QStringLiteral("102 - 001122334402.TXT")),
              QByteArray("# Desc 1\r\nP1 = one\r\n# Desc 10\r\nP10 = O'Brien Desk 102\r\n"
                         "# Desc 2\r\nP2 = sip102\r\n# Desc 20\r\nP20 = ext 102\r\n"));
    request.source = false;
    EXPECT_EQ(run().written, 1);
    EXPECT_EQ(file(QStringLiteral("101 - 001122334401.TXT")), QByteArray("keep"));
}

TEST_F(GenerationRunTest, PlaceHolderErrorsStopAfterTheLevel)
{
    d.exec(QStringLiteral("UPDATE EQUIPMENT_PARAMETERS SET PA_DEFAULT = 'bad $$Q' WHERE PA_CODE = '1'"));
    d.exec(QStringLiteral("UPDATE EQUIPMENT_PARAMETERS SET PA_DEFAULT = '$$P,x,1' WHERE PA_CODE = '2'"));
    const RunSummary sum = run();
    EXPECT_EQ(sum.outcome, RunOutcome::MergeFailed);
    EXPECT_FALSE(sum.cleanedUp);
    EXPECT_TRUE(d.s.runError);
    EXPECT_EQ(d.op.messages, (QStringList{QStringLiteral("M6:$$Q"), QStringLiteral("M6:$$P,x,1")}));
    // Each refused place-holder is named in the log with its telephone, parameter and level.
    EXPECT_EQ(d.log.lines, (QStringList{QStringLiteral("Telephone AC/101: parameter 1 at level E: M6:$$Q"),
                                        QStringLiteral("Telephone AC/101: parameter 2 at level E: M6:$$P,x,1"),
                                        QStringLiteral("M12:")}));
    // Both rows were stored as far as they were expanded; the company level never ran.
    EXPECT_EQ(d.value(QStringLiteral("SELECT PA_VALUE FROM EQ_TEMP WHERE PA_CODE = '1'")), QStringLiteral("bad $$Q"));
    EXPECT_EQ(d.count(QStringLiteral("SELECT * FROM EQ_TEMP")), 2);
    EXPECT_TRUE(files().isEmpty());
}

TEST_F(GenerationRunTest, NoTelephonesAndMissingFolder)
{
    request.firstPhone = QStringLiteral("2");
    request.lastPhone = QStringLiteral("3");
    EXPECT_EQ(run().outcome, RunOutcome::NoTelephones);
    EXPECT_EQ(d.op.messages, QStringList{QStringLiteral("M8:")});

    d.op.messages.clear();
    request.firstPhone = QStringLiteral("101");
    request.lastPhone = QStringLiteral("103");
    request.folder = dir.filePath(QStringLiteral("$$P"));
    QDir(dir.path()).mkdir(QStringLiteral("101"));
    QDir(dir.path()).mkdir(QStringLiteral("102"));
    const RunSummary sum = run();
    EXPECT_EQ(sum.outcome, RunOutcome::FolderMissing);
    EXPECT_EQ(sum.written, 2);
    EXPECT_FALSE(sum.cleanedUp);
    EXPECT_EQ(d.op.messages, QStringList{QStringLiteral("M7:")});
    EXPECT_FALSE(file(QStringLiteral("102/cfg001122334402")).isEmpty());
}

TEST_F(GenerationRunTest, CollisionBetweenLevelsWritesNoFile)
{
    d.companyValue(AC, GXP, QStringLiteral("20"), QStringLiteral("company"));
    const RunSummary sum = run();
    EXPECT_EQ(sum.outcome, RunOutcome::MergeFailed);
    EXPECT_TRUE(d.s.runError);
    EXPECT_EQ(d.log.lines,
              (QStringList{QStringLiteral("Telephone AC/101: parameter 20 comes from level C and from level P"),
                           QStringLiteral("M12:")}));
    EXPECT_TRUE(files().isEmpty());
    // The telephone's rows stay for inspection, without the one that collided.
    EXPECT_EQ(d.count(QStringLiteral("SELECT * FROM EQ_TEMP")), 4);
    EXPECT_EQ(d.value(QStringLiteral("SELECT LE_CODE FROM EQ_TEMP WHERE PA_CODE = '20'")), QStringLiteral("C"));
}

TEST_F(GenerationRunTest, ValuesLeftFromAnotherModelStayOut)
{
    const QString pap = QStringLiteral("PAP");
    d.model(pap, QStringLiteral("PAP2"));
    d.param(pap, QStringLiteral("20"), QStringLiteral("P"), QStringLiteral("x"));
    d.param(pap, QStringLiteral("Proxy"), QStringLiteral("P"), QStringLiteral("x"));
    d.phoneValue(AC, pap, QStringLiteral("101"), QStringLiteral("20"), QStringLiteral("old model"));
    d.phoneValue(AC, pap, QStringLiteral("101"), QStringLiteral("Proxy"), QStringLiteral("old model"));
    request.lastPhone = QStringLiteral("101");
    request.levels = {true, false, false};
    EXPECT_EQ(run().outcome, RunOutcome::Completed);
    EXPECT_EQ(params(QStringLiteral("cfg001122334401")), (Params{{QStringLiteral("20"), QStringLiteral("ext 101")}}));

    d.current(AC, QStringLiteral("101"));
    EXPECT_EQ(GetParamValue(d.s, QStringLiteral("20")), QStringLiteral("ext 101"));
}

TEST_F(GenerationRunTest, ModulesDecideTheWriter)
{
    d.exec(QStringLiteral("UPDATE EQUIPMENT SET EQ_MODULE = 'NONE'"));
    RunSummary sum = run();
    EXPECT_EQ(sum.outcome, RunOutcome::Completed);
    EXPECT_EQ(sum.done, 3);
    EXPECT_TRUE(d.log.lines.isEmpty());
    EXPECT_TRUE(files().isEmpty());

    d.exec(QStringLiteral("UPDATE EQUIPMENT SET EQ_MODULE = 'grandstream'"));
    sum = run();
    EXPECT_EQ(sum.outcome, RunOutcome::Stopped);
    EXPECT_EQ(sum.done, 1);
    EXPECT_TRUE(sum.cleanedUp);
    EXPECT_EQ(d.op.messages, QStringList{QStringLiteral("M10:")});
    EXPECT_EQ(d.count(QStringLiteral("SELECT * FROM EQ_TEMP")), 0);

    // The equipment level alone gives one model-wide file: written and logged once, for the last
    // telephone, whose file is the one that would otherwise remain.
    d.exec(QStringLiteral("UPDATE EQUIPMENT SET EQ_MODULE = 'F1000'"));
    request.levels = {false, false, true};
    d.log.lines.clear();
    sum = run();
    EXPECT_EQ(sum.selected, 1);
    EXPECT_EQ(sum.written, 1);
    EXPECT_EQ(d.log.lines, (QStringList{QStringLiteral("M13:ACGXP.ini"), QStringLiteral("M15:")}));
    EXPECT_EQ(file(QStringLiteral("ACGXP.ini")), QByteArray("1=one\r\n2=sip103\r\n"));

    d.exec(QStringLiteral("UPDATE EQUIPMENT SET EQ_MODULE = 'PAP2'"));
    request.levels = {true, false, false};
    EXPECT_EQ(run().written, 3);
    EXPECT_EQ(file(QStringLiteral("001122334401.txt")),
              QByteArray("<flat-profile>\r\n<20>ext 101</20>\r\n</flat-profile>\r\n"));
}

TEST_F(GenerationRunTest, EmptySetWritesNothing)
{
    d.exec(QStringLiteral("DELETE FROM PHONES_PARAMETERS"));
    request.levels = {true, false, false};
    const RunSummary sum = run();
    EXPECT_EQ(sum.outcome, RunOutcome::Completed);
    EXPECT_EQ(sum.written, 0);
    EXPECT_EQ(d.log.lines.count(QStringLiteral("M14:")), 3);
    EXPECT_TRUE(files().isEmpty());
    EXPECT_FALSE(d.s.runError);
}

TEST_F(GenerationRunTest, TelephonesWithUnusableNamesGetNoFile)
{
    d.exec(QStringLiteral("UPDATE PHONES SET PH_MAC = '0011223344zz' WHERE PH_CODE = '101'"));
    d.exec(QStringLiteral("UPDATE PHONES SET PH_MAC = '../../x/y/z' WHERE PH_CODE = '102'"));
    const RunSummary sum = run();
    EXPECT_EQ(sum.outcome, RunOutcome::Completed);
    EXPECT_EQ(sum.skipped, 2);
    EXPECT_EQ(sum.refused, (QStringList{QStringLiteral("101"), QStringLiteral("102")}));
    EXPECT_EQ(sum.written, 1);
    EXPECT_EQ(files(), QStringList{QStringLiteral("cfg001122334403")});
    EXPECT_EQ(d.op.messages, (QStringList{QStringLiteral("M11:"), QStringLiteral("M11:")}));
    EXPECT_FALSE(d.s.runError);

    // A group file needs no MAC in its name for PAP2, but a path in a code is refused.
    d.exec(QStringLiteral("UPDATE EQUIPMENT SET EQ_MODULE = 'PAP2'"));
    const QString bad = QStringLiteral("a/..");
    d.company(bad);
    d.phone(bad, QStringLiteral("9"), GXP, QStringLiteral("x"), QStringLiteral("x"));
    d.companyValue(bad, GXP, QStringLiteral("10"), QStringLiteral("v"));
    request.company = bad;
    request.levels = {false, true, true};
    d.op.messages.clear();
    EXPECT_EQ(run().skipped, 1);
    EXPECT_EQ(d.op.messages.size(), 1);
    EXPECT_EQ(files(), QStringList{QStringLiteral("cfg001122334403")});
}

TEST_F(GenerationRunTest, LossyCharactersAreLoggedAndFilesReplaced)
{
    ASSERT_TRUE(writeFileAtomically(dir.filePath(QStringLiteral("cfg001122334401")), QByteArray(5000, 'x')));
    d.exec(QStringLiteral("UPDATE PHONES_PARAMETERS SET PA_VALUE = '\u4e2d\u00e9' WHERE PH_CODE = '101'"));
    request.lastPhone = QStringLiteral("101");
    run();
    EXPECT_EQ(params(QStringLiteral("cfg001122334401")).first(),
              (QPair<QString, QString>(QStringLiteral("20"), QStringLiteral("?\u00e9"))));
    EXPECT_TRUE(decodeGxp2000(file(QStringLiteral("cfg001122334401"))).wellFormed);
    EXPECT_TRUE(d.log.lines.contains(
        QStringLiteral("Telephone AC/101, parameter 20: characters without a Windows-1252 code written as '?'")));
    EXPECT_EQ(files().size(), 1); // no temporary file left behind
}

TEST_F(GenerationRunTest, AFileThatCannotBeReplacedFailsTheRunButNotTheOthersOfItsBatch)
{
    // Files are put in place in batches: the telephone whose file cannot land is the only one
    // without its file, the run ends in error, and no temporary file stays behind.
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("cfg001122334402")));
    const RunSummary sum = run();
    EXPECT_EQ(sum.outcome, RunOutcome::Stopped);
    EXPECT_EQ(sum.written, 2);
    EXPECT_TRUE(d.s.runError);
    ASSERT_EQ(d.op.messages.size(), 1);
    EXPECT_TRUE(d.op.messages.first().contains(dir.filePath(QStringLiteral("cfg001122334402"))));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
              (QStringList{QStringLiteral("cfg001122334401"), QStringLiteral("cfg001122334403")}));
    EXPECT_TRUE(QFileInfo(dir.filePath(QStringLiteral("cfg001122334402"))).isDir());

    // A telephone's group whose second file cannot even be written leaves nothing of the first.
    FileBatch batch;
    QString error;
    EXPECT_FALSE(batch.add({{dir.filePath(QStringLiteral("101 - source.TXT")), "source"},
                            {dir.filePath(QStringLiteral("missing/cfg001122334401")), "config"}},
                           &error));
    EXPECT_TRUE(error.contains(dir.filePath(QStringLiteral("missing/cfg001122334401")))) << error.toStdString();
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
              (QStringList{QStringLiteral("cfg001122334401"), QStringLiteral("cfg001122334403")}));
}

TEST_F(GenerationRunTest, ScratchTableIsPrivateToTheConnection)
{
    Database other;
    other.open(d.tdb.connectionString());
    other.execute(QStringLiteral("INSERT INTO EQ_TEMP VALUES('shared', 'd', 'v', 'E')"));
    GenerationRun::preparePrivateScratch(other);
    other.execute(QStringLiteral("INSERT INTO EQ_TEMP VALUES('20', 'theirs', 'v', 'E')"));
    EXPECT_EQ(run().written, 3);
    EXPECT_EQ(other.execute(QStringLiteral("SELECT * FROM EQ_TEMP")).count(), 1);
    const QString shared =
        d.tdb.engine() == Engine::SQLite ? QStringLiteral("main.EQ_TEMP") : QStringLiteral("public.EQ_TEMP");
    EXPECT_EQ(other.execute(QStringLiteral("SELECT PA_CODE FROM ") + shared).text(0), QStringLiteral("shared"));
}

// Stops the run it is handed at its first line, as a window's Cancel does while the run yields.
class StoppingLog final : public RunLog
{
public:
    void append(const QString& line) override
    {
        lines.append(line);
        if (run)
            run->requestStop();
    }
    GenerationRun* run = nullptr;
    QStringList lines;
};

TEST_F(GenerationRunTest, StopRequestEndsAfterTheCurrentTelephone)
{
    StoppingLog log;
    GenerationRun r(d.s, log);
    log.run = &r;
    const RunSummary sum = r.run(request);
    EXPECT_EQ(sum.outcome, RunOutcome::Cancelled);
    EXPECT_EQ(sum.done, 1);
    EXPECT_EQ(sum.written, 1);
    EXPECT_TRUE(sum.cleanedUp);
    EXPECT_EQ(files(), QStringList{QStringLiteral("cfg001122334401")});
    // The next run starts afresh.
    log.run = nullptr;
    EXPECT_EQ(r.run(request).outcome, RunOutcome::Completed);
}

} // namespace
} // namespace vocaset::test
