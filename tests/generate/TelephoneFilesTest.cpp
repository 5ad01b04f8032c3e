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
#include "Interleaving.h"

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

// Everything a turn makes, as one list to compare: status, bytes, rows with their origin, lines.
QStringList turnOf(const TelephoneFiles& f)
{
    QStringList out{QString::number(int(f.status)), f.names.config, f.names.source,
                    QString::fromLatin1(f.config.toHex()),
                    f.source ? QString::fromLatin1(f.source->toHex()) : QStringLiteral("(none)")};
    for (const QList<ParamRow>* rows : {&f.params, &f.rejected}) {
        for (const ParamRow& p : *rows)
            out << p.code + u'|' + p.desc + u'|' + (p.desc.isNull() ? u'n' : u'd') + u'|' + p.value + u'|' + p.level +
                       u'|' + p.rawValue + u'|' + p.problem;
        out << QStringLiteral("--");
    }
    for (const QList<TurnLine>* lines : {&f.lines, &f.afterWrite}) {
        for (const TurnLine& l : *lines)
            out << (l.kind == TurnLine::Kind::Log ? QStringLiteral("log ") : QStringLiteral("shown ")) + l.text;
        out << QStringLiteral("--");
    }
    return out + f.errors;
}

// The rows a company and model share are merged once; each telephone's turn made from them is what
// merging its levels row by row makes, for every writer and level choice: the same bytes, rows,
// lines and refusals, whether the shared rows serve the telephone or a failure sends it row by row.
TEST_F(TelephoneFilesTest, SharedRowsMakeWhatAMergeRowByRowMakes)
{
    const QString tpl = QStringLiteral("TPL");
    d.model(tpl, QStringLiteral("TEMPLATE"));
    d.param(tpl, QStringLiteral("1"), QStringLiteral("E"), QStringLiteral("one"));
    d.param(tpl, QStringLiteral("2"), QStringLiteral("E"), QStringLiteral("sip$$P"));
    d.param(tpl, QStringLiteral("10"), QStringLiteral("C"), {});
    d.param(tpl, QStringLiteral("20"), QStringLiteral("P"), {});
    d.companyValue(AC, tpl, QStringLiteral("10"), QStringLiteral("Acme $$N,1,4"));
    for (const char* ph : {"401", "402"}) {
        d.phone(AC, QLatin1String(ph), tpl, QStringLiteral("Desk ") + QLatin1String(ph),
                QStringLiteral("0011223344") + QLatin1String(ph).right(2));
        d.phoneValue(AC, tpl, QLatin1String(ph), QStringLiteral("20"), QStringLiteral("ext $$P"));
    }
    const ModelTemplate layout{tpl,
                               QStringLiteral("config"),
                               QStringLiteral("t{{mac}}.ini"),
                               QStringLiteral("none"),
                               QStringLiteral("Windows-1252"),
                               QStringLiteral("CRLF"),
                               {},
                               QStringLiteral("{{#params}}\n{{code}}={{value}} ({{description}})\n{{/params}}\n")};
    // On every model: a company value for a company-level code whose catalogue row has a default
    // and a place-holder in its description.
    const QStringList models = {QStringLiteral("GXP"), QStringLiteral("PAP"), QStringLiteral("F1"), tpl};
    for (const QString& eq : models) {
        d.param(eq, QStringLiteral("11"), QStringLiteral("C"), QStringLiteral("model default"),
                QStringLiteral("Line $$P"));
        d.companyValue(AC, eq, QStringLiteral("11"), QStringLiteral("company value"));
    }
    const struct
    {
        const char* name;
        const char* change;
        bool shared;   // the shared rows serve every telephone
        bool allReady; // every turn writes its files
    } cases[] = {
        {"as stored", "", true, true},
        {"an equipment place-holder fails", "UPDATE EQUIPMENT_PARAMETERS SET PA_DEFAULT = 'x$$Q' WHERE PA_CODE = '2'",
         false, false},
        {"a company place-holder fails", "UPDATE COMPANY_PARAMETERS SET PA_VALUE = '$$N,a,1' WHERE PA_CODE = '10'",
         false, false},
        {"a telephone place-holder fails", "UPDATE PHONES_PARAMETERS SET PA_VALUE = '$$P,1' WHERE PH_CODE <> '102'",
         false, false},
        {"the equipment and the company give a code",
         "INSERT INTO COMPANY_PARAMETERS SELECT 'AC', EQ_CODE, '1', 'again' FROM EQUIPMENT", false, false},
        {"the company and a telephone give a code",
         "INSERT INTO PHONES_PARAMETERS SELECT CO_CODE, EQ_CODE, PH_CODE, '11', 'mine' FROM PHONES WHERE PH_CODE LIKE "
         "'%1'",
         false, false},
        {"a code holds a place-holder",
         "INSERT INTO EQUIPMENT_PARAMETERS SELECT EQ_CODE, 'k$$P', 'Key', 'E', 'v', 'T', '' FROM EQUIPMENT", false,
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Transaction undo(d.tdb.db);
        if (*c.change)
            d.exec(QLatin1String(c.change));
        TelephoneFileMaker shared(d.tdb.db, d.s.language);
        TelephoneFileMaker rowByRow(d.tdb.db, d.s.language, TelephoneFileMaker::Merge::RowByRow);
        shared.useTemplate(layout);
        rowByRow.useTemplate(layout);
        int ready = 0;
        int notServed = 0;
        for (const QString& eq : models) {
            for (int choice = 1; choice < 8; ++choice) {
                const LevelChoice levels{(choice & 1) != 0, (choice & 2) != 0, (choice & 4) != 0};
                const std::shared_ptr<const SharedRows> rows =
                    SharedRows::read(d.tdb.db, SharedRows::keyOf(AC, eq, levels));
                const QStringList codes =
                    eq == tpl ? QStringList{QStringLiteral("401"), QStringLiteral("402")} : phones(eq);
                for (const QString& ph : codes) {
                    const std::string where =
                        eq.toStdString() + ' ' + ph.toStdString() + " levels " + std::to_string(choice);
                    const TelephoneFiles made = shared.make(AC, ph, levels, true);
                    ASSERT_NE(made.status, FilesStatus::NotFound) << where;
                    EXPECT_EQ(turnOf(made), turnOf(rowByRow.make(AC, ph, levels, true))) << where;
                    ready += made.ready();
                    OwnValues own;
                    const Recordset stored = d.tdb.db.execute(
                        QStringLiteral("SELECT PA_CODE, PA_VALUE FROM PHONES_PARAMETERS WHERE PH_CODE = '") + ph +
                        QStringLiteral("' ORDER BY PA_CODE"));
                    for (const QVariantList& v : stored.rows())
                        own.append({v.at(0).toString(), v.at(1).toString()});
                    notServed += !rows->merge(ph, made.phone.description, levels.phone ? &own : nullptr);
                    // The company's value, never the model's default of a company-level code.
                    if (c.shared) {
                        QStringList elevens;
                        for (const ParamRow& p : made.params)
                            if (p.code == u"11")
                                elevens << p.value + u' ' + p.level + u' ' + p.desc;
                        EXPECT_EQ(elevens, levels.company ? QStringList{QStringLiteral("company value C Line ") + ph}
                                                          : QStringList{})
                            << where;
                    }
                }
            }
        }
        // A failure refuses some turns, while other level choices still go through.
        const int turns = int(models.size()) * 7 * 2;
        EXPECT_GT(ready, 0);
        EXPECT_EQ(ready == turns, c.allReady);
        EXPECT_EQ(notServed == 0, c.shared);
    }
}

// A maker keeps the rows it read while the stamp its holder gives stays the same, and reads them
// again under a new one; a run reads one state, so a change committed between two of its
// telephones is in none of its files.
TEST_F(TelephoneFilesTest, KeptRowsLastWhileTheirStampDoes)
{
    const QString gxp = QStringLiteral("GXP");
    const auto values = [&](TelephoneFileMaker& maker, const QString& ph) {
        QStringList out;
        for (const ParamRow& p : maker.make(AC, ph, LevelChoice{}).params)
            out << p.code + u'=' + p.value;
        return out.join(u' ');
    };
    TelephoneFileMaker maker(d.tdb.db, d.s.language);
    maker.keepWhile(1);
    const QString before = values(maker, QStringLiteral("101"));
    EXPECT_EQ(before, QStringLiteral("1=one 10=Acme Desk 2=sip101 20=ext 101"));
    d.exec(QStringLiteral("UPDATE EQUIPMENT_PARAMETERS SET PA_DEFAULT = 'uno' WHERE PA_CODE = '1'"));
    d.exec(QStringLiteral("UPDATE COMPANY_PARAMETERS SET PA_VALUE = 'Beta' WHERE PA_CODE = '10'"));
    const struct
    {
        QVariant stamp;
        const char* expected;
    } steps[] = {{1, "1=one 10=Acme Desk 2=sip102 20=ext 102"},
                 {2, "1=uno 10=Beta 2=sip102 20=ext 102"},
                 {QVariant(), "1=uno 10=Beta 2=sip102 20=ext 102"}};
    for (const auto& step : steps) {
        maker.keepWhile(step.stamp);
        EXPECT_EQ(values(maker, QStringLiteral("102")), QLatin1String(step.expected))
            << step.stamp.toString().toStdString();
    }
    // A null stamp keeps nothing: the next change is seen at once.
    d.exec(QStringLiteral("UPDATE EQUIPMENT_PARAMETERS SET PA_DEFAULT = 'eins' WHERE PA_CODE = '1'"));
    maker.keepWhile(QVariant());
    EXPECT_TRUE(values(maker, QStringLiteral("102")).startsWith(QLatin1String("1=eins ")));

    const QString all = dir.filePath(QStringLiteral("all"));
    const QString during = dir.filePath(QStringLiteral("during"));
    QDir().mkpath(all);
    QDir().mkpath(during);
    ASSERT_EQ(run(gxp, all).written, 2);
    OtherOperator other(d.tdb);
    other.at(QStringLiteral("telephone.done"), [&] {
        EXPECT_EQ(
            other.attempt(QStringLiteral("UPDATE COMPANY_PARAMETERS SET PA_VALUE = 'Gamma' WHERE PA_CODE = '10'")),
            QString());
        EXPECT_EQ(
            other.attempt(QStringLiteral("UPDATE EQUIPMENT_PARAMETERS SET PA_DEFAULT = 'zwei' WHERE PA_CODE = '2'")),
            QString());
    });
    ASSERT_EQ(run(gxp, during).written, 2);
    for (const QString& name : QDir(all).entryList(QDir::Files))
        EXPECT_EQ(file(during + u'/' + name), file(all + u'/' + name)) << name.toStdString();
    EXPECT_TRUE(values(maker, QStringLiteral("102")).startsWith(QLatin1String("1=eins ")))
        << "kept until another stamp";
    maker.keepWhile(3);
    EXPECT_TRUE(values(maker, QStringLiteral("102")).contains(QLatin1String("10=Gamma 2=zwei")));
}

} // namespace
} // namespace vocaset::test
