// Where a telephone's values come from, and what a run would change in its folder before it writes.

#include "DryRun.h"
#include "Explain.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "GenerateFixture.h"
#include "GenerationRun.h"

namespace vocaset::test {
namespace {

const QString AC = QStringLiteral("AC");
const QString GXP = QStringLiteral("GXP");

class InsightTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        d.company(AC);
        d.model(GXP, QStringLiteral("GRANDSTREAM"));
        d.model(QStringLiteral("PAP"), QStringLiteral("PAP2"));
        d.model(QStringLiteral("F1"), QStringLiteral("F1000"));
        for (const QString& eq : {GXP, QStringLiteral("PAP"), QStringLiteral("F1")}) {
            d.param(eq, QStringLiteral("1"), QStringLiteral("E"), QStringLiteral("one"));
            d.param(eq, QStringLiteral("2"), QStringLiteral("E"), QStringLiteral("sip$$P"));
            d.param(eq, QStringLiteral("10"), QStringLiteral("C"), QStringLiteral("unused"));
            d.param(eq, QStringLiteral("11"), QStringLiteral("C"), {});
            d.param(eq, QStringLiteral("20"), QStringLiteral("P"), {});
            d.param(eq, QStringLiteral("34"), QStringLiteral("P"), {}, QStringLiteral("SIP Password of line 1"));
            d.param(eq, QStringLiteral("7"), QStringLiteral("C"), {}, QStringLiteral("Admin login"));
            d.companyValue(AC, eq, QStringLiteral("10"), QStringLiteral("Acme $$N,1,4"));
            d.companyValue(AC, eq, QStringLiteral("7"), QStringLiteral("adm1n"));
            d.setting(QStringLiteral("$$") + eq, QStringLiteral("$$EPWD"), QStringLiteral("7"));
        }
        const std::pair<const char*, const char*> phones[] = {{"101", "GXP"}, {"102", "GXP"}, {"103", "GXP"},
                                                              {"104", "GXP"}, {"201", "PAP"}, {"301", "F1"}};
        for (const auto& [ph, eq] : phones) {
            const QString code = QLatin1String(ph);
            d.phone(AC, code, QLatin1String(eq), QStringLiteral("Desk ") + code,
                    QStringLiteral("00112233") + code + u'0');
            d.phoneValue(AC, QLatin1String(eq), code, QStringLiteral("20"), QStringLiteral("ext ") + code);
            d.phoneValue(AC, QLatin1String(eq), code, QStringLiteral("34"), QStringLiteral("pw") + code);
        }
    }

    GenerationRequest request(const QString& model, const QString& folder) const
    {
        GenerationRequest r;
        r.company = AC;
        r.model = model;
        r.firstPhone = QStringLiteral("0");
        r.lastPhone = QStringLiteral("999");
        r.folder = folder;
        return r;
    }
    RunSummary generate(const QString& model, const QString& folder)
    {
        return GenerationRun(d.s, d.log).run(request(model, folder));
    }
    DryRunSummary dryRun(const QString& model, const QString& folder, bool showSecrets = false)
    {
        d.log.lines.clear();
        DryRun run(d.s, d.log);
        run.setShowSecrets(showSecrets);
        return run.run(request(model, folder));
    }
    // The explanation of a telephone as "code: value level raw | note" per parameter, in its order.
    QStringList explained(const QString& phone, const LevelChoice& levels = {})
    {
        const TelephoneExplanation e = explainTelephone(d.s, AC, phone, levels);
        QStringList out;
        for (const ParamExplanation& p : e.params) {
            QString line = p.code + QStringLiteral(": ") + (p.value ? *p.value + u' ' + p.level : QStringLiteral("-"));
            if (!p.rawValue.isEmpty())
                line += QStringLiteral(" raw ") + p.rawValue;
            out << line + QStringLiteral(" | ") + explanationNote(p);
        }
        return out;
    }
    // Names, bytes and modification times of the files of a folder.
    static QStringList snapshot(const QString& folder)
    {
        QStringList out;
        for (const QFileInfo& f : QDir(folder).entryInfoList(QDir::Files | QDir::Hidden, QDir::Name)) {
            QFile file(f.filePath());
            file.open(QIODevice::ReadOnly);
            out << f.fileName() + u' ' + QString::fromLatin1(file.readAll().toHex()) + u' ' +
                       QString::number(f.lastModified().toMSecsSinceEpoch());
        }
        return out;
    }

    GenerateData d;
    QTemporaryDir dir;
};

TEST_F(InsightTest, ExplainsEachValuesLevelRawTextAndWhatTheRunWouldRefuse)
{
    // Descending codes: the GXP2000 body's order.
    EXPECT_EQ(explained(QStringLiteral("101")),
              (QStringList{QStringLiteral("7: adm1n C | "), QStringLiteral("34: pw101 P | "),
                           QStringLiteral("20: ext 101 P | "), QStringLiteral("2: sip101 E raw sip$$P | "),
                           QStringLiteral("11: - | no value at the levels chosen"),
                           QStringLiteral("10: Acme Desk C raw Acme $$N,1,4 | "), QStringLiteral("1: one E | ")}));
    // A level left out: its values are named as out of reach; the flat profile's order ascends.
    const QStringList pap = explained(QStringLiteral("201"), LevelChoice{true, true, false});
    EXPECT_EQ(pap.first(), QStringLiteral("1: - | its value is at level E, which is not chosen"));
    EXPECT_EQ(pap.last(), QStringLiteral("7: adm1n C | "));

    // A code at two levels, a place-holder that fails and a value the format cannot carry: each on
    // its own line with the run's message, all at once although the run stops at the first.
    d.phoneValue(AC, GXP, QStringLiteral("101"), QStringLiteral("10"), QStringLiteral("mine"));
    d.exec(
        QStringLiteral("UPDATE EQUIPMENT_PARAMETERS SET PA_DEFAULT = 'a&b' WHERE EQ_CODE = 'GXP' AND PA_CODE = '1'"));
    d.exec(QStringLiteral("UPDATE PHONES_PARAMETERS SET PA_VALUE = '$$X' WHERE PH_CODE = '101' AND PA_CODE = '20'"));
    const TelephoneExplanation e = explainTelephone(d.s, AC, QStringLiteral("101"), LevelChoice{});
    EXPECT_TRUE(e.refused());
    QHash<QString, QStringList> problems;
    for (const ParamExplanation& p : e.params)
        problems.insert(p.code, p.problems);
    const QString collision = QStringLiteral("Telephone AC/101: parameter 10 comes from level C and from level P");
    EXPECT_EQ(problems.value(QStringLiteral("10")), QStringList{collision});
    EXPECT_EQ(problems.value(QStringLiteral("20")),
              QStringList{QStringLiteral("Telephone AC/101: parameter 20 at level P: M6:$$X")});
    EXPECT_EQ(problems.value(QStringLiteral("1")),
              QStringList{QStringLiteral("Telephone AC/101, parameter 1: the value holds \"&\", which starts a new "
                                         "parameter in a GXP2000 file; no file written")});
    EXPECT_EQ(e.problems, QStringList{QStringLiteral("M12:")});
    // The run's own lines say the same.
    InsightTexts t(d.s);
    EXPECT_TRUE(explanationSummary(t, e).endsWith(QStringLiteral("the run stops at this telephone")));
    d.exec(QStringLiteral("UPDATE EQUIPMENT_PARAMETERS SET PA_DEFAULT = 'one' WHERE PA_CODE = '1'"));
    generate(GXP, dir.path());
    EXPECT_TRUE(d.log.lines.contains(collision)) << d.log.lines.join(u'|').toStdString();
    EXPECT_TRUE(d.op.messages.contains(QStringLiteral("M6:$$X")));

    // Secrets: the reboot's password parameter and any description naming a password.
    const QString pw = explanationLine(t, e.params[0], false) + u'|' + explanationLine(t, e.params[1], false);
    EXPECT_EQ(pw, QStringLiteral("7 Admin login [C]: *** from C|34 SIP Password of line 1 [P]: *** from P"))
        << pw.toStdString();
    EXPECT_EQ(explanationLine(t, e.params[0], true), QStringLiteral("7 Admin login [C]: \"adm1n\" from C"));

    EXPECT_FALSE(explainTelephone(d.s, AC, QStringLiteral("999"), LevelChoice{}).found());
}

TEST_F(InsightTest, DryRunComparesEachFileWithTheFolderAndWritesNothing)
{
    for (const QString& model : {GXP, QStringLiteral("PAP"), QStringLiteral("F1")}) {
        QDir().mkpath(dir.filePath(model));
        ASSERT_EQ(generate(model, dir.filePath(model)).outcome, RunOutcome::Completed);
    }
    const QString gxp = dir.filePath(GXP);
    DryRunSummary sum = dryRun(GXP, gxp);
    EXPECT_EQ(sum.unchanged, 4);
    EXPECT_TRUE(sum.clean());
    EXPECT_EQ(d.log.lines.first(), QStringLiteral("101 Desk 101: cfg001122331010 unchanged"));

    // An older file, a missing one, one that is no GXP2000 file and a telephone refused.
    d.exec(QStringLiteral("UPDATE PHONES_PARAMETERS SET PA_VALUE = 'new' WHERE PH_CODE = '101'"));
    d.exec(QStringLiteral("DELETE FROM PHONES_PARAMETERS WHERE PH_CODE = '102' AND PA_CODE = '20'"));
    d.companyValue(AC, GXP, QStringLiteral("11"), QStringLiteral("added"));
    ASSERT_TRUE(QFile::remove(gxp + QStringLiteral("/cfg001122331030")));
    QFile bad(gxp + QStringLiteral("/cfg001122331040"));
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write("not a configuration file");
    bad.close();
    d.phone(AC, QStringLiteral("105"), GXP, QStringLiteral("Desk 105"), QStringLiteral("0011"));
    const QStringList before = snapshot(gxp);
    sum = dryRun(GXP, gxp);
    EXPECT_EQ(snapshot(gxp), before);
    EXPECT_EQ(d.log.lines.join(u'\n').toStdString(),
              (QStringList{
                   QStringLiteral("101 Desk 101: cfg001122331010 changed: 34 *** \u2192 ***; 20 \"ext 101\" \u2192 "
                                  "\"new\"; added 11 \"added\""),
                   QStringLiteral("102 Desk 102: cfg001122331020 changed: added 11 \"added\"; removed 20 \"ext 102\""),
                   QStringLiteral("103 Desk 103: cfg001122331030 new, 7 parameter(s)"),
                   QStringLiteral("104 Desk 104: cfg001122331040 changed: the file there is not a valid GXP2000 file "
                                  "(bytes 0 and 1 are not zero)"),
                   QStringLiteral("105 Desk 105: refused: Telephone AC/105: MAC address \"0011\" is not 12 hexadecimal "
                                  "digits; no file written")})
                  .join(u'\n')
                  .toStdString());
    EXPECT_EQ(sum.line, QStringLiteral("5 telephone(s) selected: 0 unchanged, 1 new, 3 changed, 1 refused (105); "
                                       "nothing written"));
    EXPECT_FALSE(sum.clean());
    EXPECT_EQ(d.log.total, 5);
    EXPECT_EQ(dryRun(GXP, gxp, true).refused, 1);
    EXPECT_TRUE(d.log.lines.first().startsWith(QStringLiteral("101 Desk 101: cfg001122331010 changed: 34 \"pw101\" "
                                                              "\u2192 \"new\"")));

    // The flat profile and the key=value file by their own syntax, escapes included.
    d.exec(QStringLiteral("UPDATE PHONES_PARAMETERS SET PA_VALUE = 'a<b&c' WHERE PH_CODE IN ('201', '301') AND "
                          "PA_CODE = '20'"));
    for (const auto& [model, file] :
         {std::pair{"PAP", "201 Desk 201: 001122332010.txt"}, {"F1", "301 Desk 301: ut001122333010.ini"}}) {
        dryRun(QLatin1String(model), dir.filePath(QLatin1String(model)));
        const QString line = d.log.lines.value(0);
        EXPECT_EQ(line, QLatin1String(file) +
                            QStringLiteral(" changed: 20 \"ext %1\" \u2192 \"a<b&c\"").arg(QLatin1String(file).left(3)))
            << line.toStdString();
    }

    // A folder that does not exist ends the preview as it ends the run.
    sum = dryRun(GXP, dir.filePath(QStringLiteral("missing")));
    EXPECT_EQ(sum.outcome, RunOutcome::FolderMissing);
    EXPECT_TRUE(d.op.messages.contains(QStringLiteral("M7:")));
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("missing"))));
}

TEST_F(InsightTest, FilesAreReadBackByTheirOwnSyntax)
{
    const struct
    {
        const char* module;
        QByteArray bytes;
        QStringList params;
        const char* problem;
    } cases[] = {
        {"PAP2",
         "<flat-profile>\r\n<!-- x -->\r\n<A>1 &amp; &lt;2&gt; & 3</A>\r\n<B></B>\r\n</flat-profile>\r\n",
         {QStringLiteral("A=1 & <2> & 3"), QStringLiteral("B=")},
         ""},
        {"PAP2", "<A>1</A>\r\n", {}, "it does not lie between <flat-profile> and </flat-profile>"},
        {"PAP2",
         "<flat-profile>\r\n<A>1</B>\r\n<C>2</C>\r\n</flat-profile>",
         {QStringLiteral("C=2")},
         "line 2 is not one parameter's element"},
        {"F1000",
         "a=1=2\r\n\r\n<!-- c -->\r\nb=\r\njunk\r\n",
         {QStringLiteral("a=1=2"), QStringLiteral("b=")},
         "line 5 is not code=value"},
        {"NONE", "x", {}, "no reader for the module NONE"},
    };
    for (const auto& c : cases) {
        const FileParameters f = readFileParameters(QLatin1String(c.module), c.bytes);
        QStringList params;
        for (const auto& [code, value] : f.params)
            params << code + u'=' + value;
        EXPECT_EQ(params, c.params) << c.bytes.constData();
        EXPECT_EQ(f.problem, QLatin1String(c.problem)) << c.bytes.constData();
    }
}

} // namespace
} // namespace vocaset::test
