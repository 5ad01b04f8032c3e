// Telephone files made in memory, as a server hands them out, against what the run writes; and the
// refusals that keep data from forging parameters, lines or folders.

#include "TelephoneFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "FolderSetting.h"
#include "GenerateFixture.h"
#include "GenerationRun.h"

namespace vocaset::test {
namespace {

const QString AC = QStringLiteral("AC");

class TelephoneFilesTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        d.company(AC);
        const std::pair<const char*, const char*> models[] = {{"GXP", "GRANDSTREAM"}, {"PAP", "PAP2"}, {"F1", "F1000"}};
        for (const auto& [model, module] : models) {
            const QString eq = QLatin1String(model);
            d.model(eq, QLatin1String(module));
            d.param(eq, QStringLiteral("1"), QStringLiteral("E"), QStringLiteral("one"));
            d.param(eq, QStringLiteral("2"), QStringLiteral("E"), QStringLiteral("sip$$P"));
            d.param(eq, QStringLiteral("10"), QStringLiteral("C"), {});
            d.param(eq, QStringLiteral("20"), QStringLiteral("P"), {});
            d.companyValue(AC, eq, QStringLiteral("10"), QStringLiteral("Acme $$N,1,4"));
            for (const QString& ph : phones(eq)) {
                d.phone(AC, ph, eq, QStringLiteral("Desk ") + ph, QStringLiteral("00112233") + ph + u'0');
                d.phoneValue(AC, eq, ph, QStringLiteral("20"), QStringLiteral("ext ") + ph);
            }
        }
    }

    RunSummary run(const QString& model, const QString& folder, bool source = true)
    {
        GenerationRequest r;
        r.company = AC;
        r.model = model;
        r.firstPhone = QStringLiteral("0");
        r.lastPhone = QStringLiteral("zzzzz");
        r.folder = folder;
        r.source = source;
        return GenerationRun(d.s, d.log).run(r);
    }
    // The two telephones of a model: 101 and 102 for GXP, 201 and 202 for PAP, 301 and 302 for F1.
    static QStringList phones(const QString& model)
    {
        const int first = model == u"GXP" ? 101 : model == u"PAP" ? 201 : 301;
        return {QString::number(first), QString::number(first + 1)};
    }
    QByteArray file(const QString& path) const
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(missing)");
    }
    static QStringList logLines(const QList<TurnLine>& lines)
    {
        QStringList out;
        for (const TurnLine& l : lines) {
            if (l.kind == TurnLine::Kind::Log)
                out.append(l.text);
        }
        return out;
    }

    GenerateData d;
    QTemporaryDir dir;
};

TEST_F(TelephoneFilesTest, MakesWhatTheRunWritesWithTheOriginOfEachValue)
{
    TelephoneFileMaker maker(d.tdb.db, d.s.language);
    for (const char* model : {"GXP", "PAP", "F1"}) {
        const QString folder = dir.filePath(QLatin1String(model));
        QDir().mkpath(folder);
        d.log.lines.clear();
        ASSERT_EQ(run(QLatin1String(model), folder).written, 2) << model;
        QStringList lines;
        for (const QString& code : phones(QLatin1String(model))) {
            const TelephoneFiles f = maker.make(AC, code, LevelChoice{}, true);
            ASSERT_TRUE(f.ready()) << model << ' ' << f.errors.join(u'\n').toStdString();
            EXPECT_EQ(f.config, file(folder + u'/' + f.names.config)) << model;
            ASSERT_TRUE(f.source);
            EXPECT_EQ(*f.source, file(folder + u'/' + f.names.source)) << model;
            lines += logLines(f.lines) + logLines(f.afterWrite);
            // Each value with the level that gave it and its text before expansion.
            QStringList origin;
            for (const ParamRow& p : f.params)
                origin << p.code + u'=' + p.value + u' ' + p.level + u' ' + p.rawValue;
            EXPECT_EQ(origin, (QStringList{QStringLiteral("1=one E one"),
                                           QStringLiteral("10=Acme Desk C Acme $$N,1,4"),
                                           QStringLiteral("2=sip") + code + QStringLiteral(" E sip$$P"),
                                           QStringLiteral("20=ext ") + code + QStringLiteral(" P ext ") + code}));
        }
        EXPECT_EQ(lines, d.log.lines) << model;
        EXPECT_EQ(QDir(folder).entryList(QDir::Files).size(), 4);
    }

    // Only the levels asked for, and a fresh maker sees a value changed since.
    d.exec(QStringLiteral("UPDATE PHONES_PARAMETERS SET PA_VALUE = 'changed' WHERE PH_CODE = '101'"));
    const TelephoneFiles phoneOnly = makeTelephoneFiles(d.tdb.db, d.s.language, AC, QStringLiteral("101"),
                                                        LevelChoice{true, false, false});
    ASSERT_EQ(phoneOnly.params.size(), 1);
    EXPECT_EQ(phoneOnly.params.first().value, QStringLiteral("changed"));
    EXPECT_FALSE(phoneOnly.source);

    const TelephoneFiles none = maker.make(AC, QStringLiteral("999"), LevelChoice{});
    EXPECT_EQ(none.status, FilesStatus::NotFound);
    EXPECT_EQ(none.errors, QStringList{QStringLiteral("No telephone AC/999")});
    EXPECT_TRUE(d.op.messages.isEmpty());
}

TEST_F(TelephoneFilesTest, OwnValuesReadInBlocksMakeWhatEachTelephonesOwnReadMakes)
{
    // Beside 101 and 102: 103 without values of its own, 104 with two; a telephone of another model
    // whose code falls between them, with a value left from this model, belongs to no block.
    const QString gxp = QStringLiteral("GXP");
    d.param(gxp, QStringLiteral("21"), QStringLiteral("P"), {});
    d.phone(AC, QStringLiteral("103"), gxp, QStringLiteral("Spare"), QStringLiteral("001122331030"));
    d.phone(AC, QStringLiteral("1035"), QStringLiteral("PAP"), QStringLiteral("Fax"), QStringLiteral("001122331035"));
    d.phoneValue(AC, gxp, QStringLiteral("1035"), QStringLiteral("20"), QStringLiteral("stray"));
    d.phone(AC, QStringLiteral("104"), gxp, QStringLiteral("Hall"), QStringLiteral("001122331040"));
    d.phoneValue(AC, gxp, QStringLiteral("104"), QStringLiteral("21"), QStringLiteral("it's $$P"));
    d.phoneValue(AC, gxp, QStringLiteral("104"), QStringLiteral("20"), QStringLiteral("ext 104"));

    const QStringList codes = {QStringLiteral("101"), QStringLiteral("102"), QStringLiteral("103"),
                               QStringLiteral("104")};
    OwnValueBlocks blocks(d.tdb.db, AC, gxp, codes, 2);
    TelephoneFileMaker maker(d.tdb.db, d.s.language);
    QList<bool> read;
    // In order, then one already passed: its block is read again from it on.
    for (const QString& code : codes + QStringList{QStringLiteral("102")}) {
        const quint64 sent = d.tdb.db.exchanges();
        const OwnValues& own = blocks.of(code);
        read.append(d.tdb.db.exchanges() != sent);
        PhoneInfo phone = makeTelephoneFiles(d.tdb.db, d.s.language, AC, code, LevelChoice{}).phone;
        const TelephoneFiles fromBlock = maker.make(phone, LevelChoice{}, true, &own);
        const TelephoneFiles alone = makeTelephoneFiles(d.tdb.db, d.s.language, AC, code, LevelChoice{}, true);
        ASSERT_EQ(fromBlock.status, FilesStatus::Ready) << code.toStdString();
        EXPECT_EQ(fromBlock.config, alone.config) << code.toStdString();
        EXPECT_EQ(fromBlock.source, alone.source) << code.toStdString();
        EXPECT_EQ(fromBlock.params.size(), alone.params.size()) << code.toStdString();
    }
    // Blocks of one, then two telephones.
    EXPECT_EQ(read, (QList<bool>{true, true, false, true, true}));
    EXPECT_EQ(blocks.of(QStringLiteral("104")).size(), 2);
    EXPECT_TRUE(blocks.of(QStringLiteral("103")).isEmpty());
}

TEST_F(TelephoneFilesTest, CodesComeInTheDatabasesOrder)
{
    // Code-point order, as both engines sort the code columns: digits before capitals before small
    // letters, then accented letters, then the rest of the plane, then characters beyond it.
    const QStringList codes = {QStringLiteral("a"),      QStringLiteral("B"),          QStringLiteral("\u00e9"),
                               QStringLiteral("\ufffd"), QStringLiteral("\U0001F600"), QStringLiteral("9"),
                               QStringLiteral("_x"),     QStringLiteral("\u4e2d")};
    for (const QString& code : codes)
        d.param(QStringLiteral("F1"), code, QStringLiteral("E"), QStringLiteral("v"));
    const TelephoneFiles f = makeTelephoneFiles(d.tdb.db, d.s.language, AC, QStringLiteral("301"),
                                                LevelChoice{false, false, true});
    QStringList made;
    for (const ParamRow& p : f.params)
        made.append(p.code);
    const Recordset sorted = d.tdb.db.execute(
        QStringLiteral("SELECT PA_CODE FROM EQUIPMENT_PARAMETERS WHERE EQ_CODE = 'F1' AND LE_CODE = 'E' ORDER BY PA_CODE"));
    QStringList stored;
    for (const QVariantList& row : sorted.rows())
        stored.append(row.at(0).toString());
    EXPECT_EQ(made, stored);
    EXPECT_EQ(made.size(), codes.size() + 2);
}

TEST_F(TelephoneFilesTest, ValuesAFormatCannotCarryRefuseTheirTelephoneOnly)
{
    const struct
    {
        const char* model;
        QString value;
        const char* refusal; // empty: the file is written
    } cases[] = {
        {"GXP", QStringLiteral("x&P2=attacker"), "holds \"&\", which starts a new parameter in a GXP2000 file"},
        {"F1", QStringLiteral("x\r\nadmin.password=1"),
         "holds a carriage return (CR), which no configuration file can carry"},
        {"PAP", QStringLiteral("a\nb"), "holds a line feed (LF), which no configuration file can carry"},
        {"PAP", QStringLiteral("A & B"), ""},
        {"F1", QStringLiteral("a&b=c"), ""},
        {"GXP", QStringLiteral("a") + QChar(0) + QStringLiteral("$$P"),
         "holds a NUL character, which no configuration file can carry"},
    };
    for (const auto& c : cases) {
        const QString model = QLatin1String(c.model);
        // The server engine cannot store NUL at all.
        if (c.value.contains(QChar(0)) && d.tdb.engine() != Engine::SQLite)
            continue;
        const QString first = phones(model).first();
        d.tdb.db.executeBound(QStringLiteral("UPDATE PHONES_PARAMETERS SET PA_VALUE = ? WHERE PH_CODE = ?"),
                              {c.value, first});
        QTemporaryDir out;
        d.log.lines.clear();
        const RunSummary sum = run(model, out.path(), false);
        const bool refused = *c.refusal != 0;
        EXPECT_EQ(sum.outcome, RunOutcome::Completed) << c.model;
        EXPECT_EQ(sum.skipped, refused ? 1 : 0) << c.model;
        EXPECT_EQ(sum.written, refused ? 1 : 2) << c.model;
        EXPECT_EQ(QDir(out.path()).entryList(QDir::Files).size(), refused ? 1 : 2) << c.model;
        EXPECT_EQ(d.log.lines.contains(QStringLiteral("Telephone AC/%1, parameter 20: the value %2; no file written")
                                           .arg(first, QLatin1String(c.refusal))),
                  refused)
            << c.model << ' ' << d.log.lines.join(u'|').toStdString();
        EXPECT_EQ(formatRefusal(model == u"GXP" ? QStringLiteral("GRANDSTREAM") : model, c.value).has_value(), refused)
            << c.model;
        d.tdb.db.executeBound(QStringLiteral("UPDATE PHONES_PARAMETERS SET PA_VALUE = ? WHERE PH_CODE = ?"),
                              {QString(QStringLiteral("ext ") + first), first});
    }
    EXPECT_FALSE(formatRefusal(QStringLiteral("NONE"), QStringLiteral("a&b")));
    EXPECT_TRUE(formatRefusal(QStringLiteral("NONE"), QStringLiteral("a\nb")));
    EXPECT_FALSE(d.s.runError);
}

TEST_F(TelephoneFilesTest, FoldersStayWhereTheSettingPointsThem)
{
    // Place-holders in the folder may only add a folder name, never leave the chosen folder.
    const QString root = dir.filePath(QStringLiteral("out"));
    QDir().mkpath(root + QStringLiteral("/Desk 102"));
    QDir().mkpath(root + QStringLiteral("/elsewhere"));
    d.exec(QStringLiteral("UPDATE PHONES SET PH_DESC = '../elsewhere' WHERE PH_CODE = '101'"));
    RunSummary sum = run(QStringLiteral("GXP"), root + QStringLiteral("/$$N"), false);
    EXPECT_EQ(sum.written, 1);
    EXPECT_EQ(sum.skipped, 1);
    EXPECT_TRUE(QDir(root + QStringLiteral("/elsewhere")).isEmpty());
    EXPECT_EQ(QDir(root + QStringLiteral("/Desk 102")).entryList(QDir::Files), QStringList{QStringLiteral("cfg001122331020")});
    EXPECT_TRUE(d.log.lines.contains(QStringLiteral("Telephone AC/101: a place-holder puts \"../elsewhere\" into the "
                                                    "output folder, which must stay one folder name; no file written")));

    // "$$APPPATH$$" and relative folders are the program's.
    d.s.appDir = dir.path();
    for (const QString& setting : {QStringLiteral("$$APPPATH$$/out"), QStringLiteral("out")}) {
        QDir(root).removeRecursively();
        QDir().mkpath(root);
        EXPECT_EQ(run(QStringLiteral("PAP"), setting, false).written, 2) << setting.toStdString();
        EXPECT_EQ(QDir(root).entryList(QDir::Files).size(), 2) << setting.toStdString();
    }
    EXPECT_EQ(resolveFolderSetting(QStringLiteral("/srv/cfg"), dir.path()), QStringLiteral("/srv/cfg"));
    EXPECT_EQ(resolveFolderSetting(QString(), dir.path()), QString());

    // A code that cannot name a source file costs nothing while no source file is asked for.
    d.exec(QStringLiteral("UPDATE RANGES SET PH_CODE = 'a/b' WHERE PH_CODE = '201'"));
    EXPECT_EQ(run(QStringLiteral("PAP"), root, false).written, 2);
    sum = run(QStringLiteral("PAP"), root, true);
    EXPECT_EQ(sum.written, 1);
    EXPECT_EQ(sum.skipped, 1);
}

// A source file named like the configuration file would replace it: it is left out, the log says
// so, and the descriptions only a source file holds refuse nothing.
TEST_F(TelephoneFilesTest, ASourceFileThatWouldReplaceTheFileIsLeftOut)
{
    d.tdb.db.executeBound(QStringLiteral("UPDATE EQUIPMENT_PARAMETERS SET PA_DESC = ? WHERE PA_CODE = '10'"),
                          {QStringLiteral("Company\nname")});
    const QString out = dir.filePath(QStringLiteral("company"));
    QDir().mkpath(out);
    GenerationRequest r;
    r.company = AC;
    r.model = QStringLiteral("PAP");
    r.levels = {false, true, false};
    r.folder = out;
    r.source = true;
    const RunSummary sum = GenerationRun(d.s, d.log).run(r);
    EXPECT_EQ(sum.skipped, 0);
    EXPECT_EQ(sum.written, 2);
    EXPECT_EQ(d.log.lines.count(QStringLiteral("Source file not written: it would replace PAP.txt")), 2)
        << d.log.lines.join(u'|').toStdString();
    EXPECT_EQ(QDir(out).entryList(QDir::Files), QStringList{QStringLiteral("PAP.txt")});
}

} // namespace
} // namespace vocaset::test
