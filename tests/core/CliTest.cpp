#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include <QDir>
#include <QFile>
#include <QHash>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>

#include "CliCommand.h"
#include "DemoCli.h"
#include "FullDisk.h"
#include "Schema.h"
#include "TestDatabase.h"

using namespace vocaset;
using vocaset::test::TestDatabase;

namespace {

struct Cli
{
    TestDatabase working;
    TestDatabase source;
    QString out;
    QString err;

    Cli()
    {
        for (const QString& statement : Schema::createStatements())
            source.db.execute(statement);
        source.db.execute(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('$$BASEVER', '$', '010142')"));
        source.db.execute(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('AUTHM', '*', '*')"));
        source.db.execute(QStringLiteral("INSERT INTO COMPANY VALUES('AC', 'Acme')"));
        writeSettings(working.connectionString() + QStringLiteral("\r\n") + source.connectionString());
    }
    void writeSettings(const QString& text)
    {
        QFile f(working.dir() + QStringLiteral("/ParamDB.txt"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text.toUtf8());
    }
    int run(const QStringList& args)
    {
        out.clear();
        err.clear();
        QTextStream o(&out);
        QTextStream e(&err);
        return cli::runCli(args, o, e, working.dir());
    }
};

} // namespace

TEST(Cli, CreateUpgradeInfoOnAFreshDatabase)
{
    Cli c;
    EXPECT_EQ(c.run({QStringLiteral("db"), QStringLiteral("create")}), cli::Ok) << c.err.toStdString();
    EXPECT_TRUE(c.err.contains(QStringLiteral("DATABASE CREATED --> RUN PROGRAM AGAIN")));
    // A second create finds the settings table and leaves the database alone.
    EXPECT_EQ(c.run({QStringLiteral("db"), QStringLiteral("create")}), cli::Ok);
    EXPECT_EQ(c.run({QStringLiteral("db"), QStringLiteral("upgrade")}), cli::Ok) << c.err.toStdString();
    EXPECT_EQ(c.run({QStringLiteral("db"), QStringLiteral("info")}), cli::Ok);
    EXPECT_TRUE(c.out.contains(QStringLiteral("COMPANY: 1"))) << c.out.toStdString();
    EXPECT_TRUE(c.out.contains(QStringLiteral("Company AC \\\\ Acme")));
}

TEST(Cli, PatchCommandAppliesAndArchivesBesideTheFile)
{
    Cli c;
    ASSERT_EQ(c.run({QStringLiteral("db"), QStringLiteral("create")}), cli::Ok);
    const QString patch = c.working.dir() + QStringLiteral("/release.csv");
    {
        QFile f(patch);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("All;LEVELS;E;Equipment\r\nV010142;NO_TABLE;x\r\n");
    }
    EXPECT_EQ(c.run({QStringLiteral("db"), QStringLiteral("patch"), patch}), cli::RunFailed);
    EXPECT_TRUE(c.err.contains(QStringLiteral("no such table: NO_TABLE")));
    EXPECT_FALSE(QFile::exists(patch));
    EXPECT_TRUE(QFile::exists(c.working.dir() + QStringLiteral("/vocaset_010142.csv")));
}

TEST(Cli, UsageAndFailuresHaveTheirExitCodes)
{
    Cli c;
    EXPECT_EQ(c.run({QStringLiteral("--help")}), cli::Ok);
    EXPECT_TRUE(c.out.contains(QStringLiteral("db upgrade")));
    EXPECT_EQ(c.run({QStringLiteral("frobnicate")}), cli::Usage);
    EXPECT_EQ(c.run({QStringLiteral("db"), QStringLiteral("patch")}), cli::Usage);
    EXPECT_EQ(c.run({QStringLiteral("--settings"), QStringLiteral("/nonexistent/ParamDB.txt"), QStringLiteral("db"),
                     QStringLiteral("upgrade")}),
              cli::Usage);
    EXPECT_TRUE(c.err.contains(QStringLiteral("/nonexistent/ParamDB.txt")));
    c.writeSettings(QStringLiteral("Provider=Nothing"));
    EXPECT_EQ(c.run({QStringLiteral("db"), QStringLiteral("upgrade")}), cli::DatabaseFailed);
    EXPECT_TRUE(c.err.contains(QStringLiteral("Open Database Failed : Provider=Nothing")));
}

TEST(Cli, UserOptionNeedsASuperuser)
{
    Cli c;
    ASSERT_EQ(c.run({QStringLiteral("db"), QStringLiteral("create")}), cli::Ok);
    // Refused before the start-up stamps or upgrades anything.
    c.working.db.execute(QStringLiteral("UPDATE SYSTEM_PARAMETERS SET SY_VALUE = '010140' WHERE SY_CODE = '$$BASEVER'"));
    EXPECT_EQ(c.run({QStringLiteral("--user"), QStringLiteral("bob"), QStringLiteral("db"), QStringLiteral("info")}),
              cli::Usage);
    EXPECT_EQ(c.working.db.execute(QStringLiteral("SELECT SY_VALUE FROM SYSTEM_PARAMETERS WHERE SY_CODE = '$$BASEVER'"))
                  .text(0),
              QStringLiteral("010140"));
    c.working.db.execute(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('$$SUPERUSER', '") + loginName() +
                         QStringLiteral("', '*')"));
    EXPECT_EQ(c.run({QStringLiteral("--user"), QStringLiteral("bob"), QStringLiteral("db"), QStringLiteral("info")}),
              cli::Ok);
    EXPECT_TRUE(c.out.contains(QStringLiteral("User: BOB")));
}

namespace {

void writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

} // namespace

// A patch that did not fully apply, or could not be archived, never exits 0; what cannot be a patch
// file is refused before anything is touched, and the patch stays until its archive is on disk.
TEST(Cli, PatchExitCodesAndWhatStaysOnDisk)
{
    Cli c;
    ASSERT_EQ(c.run({QStringLiteral("db"), QStringLiteral("create")}), cli::Ok);
    c.working.db.execute(QStringLiteral("CREATE TABLE EXTRA (X nvarchar(5))"));
    const QString dir = c.working.dir();
    const QString archive = dir + QStringLiteral("/vocaset_010142.csv");
    const QByteArray good = "All;LEVELS;E;Equipment\r\n";
    const auto patch = [&](const QString& path) {
        return c.run({QStringLiteral("db"), QStringLiteral("patch"), path});
    };

    // Every line failed, one of them on a table outside the schema.
    writeBytes(dir + QStringLiteral("/bad.csv"), "All;NO_TABLE;x\r\nAll;EXTRA;x\r\n");
    EXPECT_EQ(patch(dir + QStringLiteral("/bad.csv")), cli::RunFailed) << c.err.toStdString();
    EXPECT_EQ(c.working.db.execute(QStringLiteral("SELECT * FROM EXTRA")).count(), 0);
    EXPECT_TRUE(c.out.contains(QStringLiteral("0 line(s) applied, 2 failed; archived as ")));

    // Refused before touching anything: the file, if any, is as it was.
    writeBytes(archive, good);
    ASSERT_TRUE(QDir(dir).mkdir(QStringLiteral("folder.csv")));
    for (const QString& path : QStringList{archive, dir + QStringLiteral("/folder.csv"),
                                           dir + QStringLiteral("/none.csv"), QStringLiteral("/dev/zero")}) {
        EXPECT_EQ(patch(path), cli::Usage) << path.toStdString();
        EXPECT_TRUE(c.err.contains(path)) << c.err.toStdString();
    }
    QFile kept(archive);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), good);
    EXPECT_EQ(c.working.db.execute(QStringLiteral("SELECT * FROM LEVELS")).count(), 0);

    // A line over 1 MiB refuses the whole file, before its first line.
    const QString huge = dir + QStringLiteral("/huge.csv");
    writeBytes(huge, good + QByteArray(2 * 1024 * 1024, 'x'));
    EXPECT_EQ(patch(huge), cli::RunFailed);
    EXPECT_TRUE(c.err.contains(QStringLiteral("line 2 is longer than 1 MiB"))) << c.err.toStdString();
    EXPECT_EQ(c.working.db.execute(QStringLiteral("SELECT * FROM LEVELS")).count(), 0);
    EXPECT_TRUE(QFile::exists(huge));

    // The archive cannot be written: the rows are in, the patch stays.
    const QString blocked = dir + QStringLiteral("/sub");
    ASSERT_TRUE(QDir(dir).mkpath(QStringLiteral("sub/vocaset_010142.csv")));
    writeBytes(blocked + QStringLiteral("/p.csv"), good);
    EXPECT_EQ(patch(blocked + QStringLiteral("/p.csv")), cli::RunFailed);
    EXPECT_TRUE(c.err.contains(blocked + QStringLiteral("/vocaset_010142.csv"))) << c.err.toStdString();
    EXPECT_TRUE(QFile::exists(blocked + QStringLiteral("/p.csv")));
    EXPECT_EQ(c.working.db.execute(QStringLiteral("SELECT * FROM LEVELS")).count(), 1);

    // A full disk: the same, with the system's reason.
    test::FullFolder full;
    if (!full.mounted())
        GTEST_SKIP() << "no right to mount a small file system; the full-disk case is not run";
    writeBytes(full.filePath(QStringLiteral("p.csv")), "All;LEVELS;C;Company\r\n" + QByteArray(8000, '#'));
    full.fill();
    EXPECT_EQ(patch(full.filePath(QStringLiteral("p.csv"))), cli::RunFailed);
    EXPECT_TRUE(c.err.contains(QString::fromLocal8Bit(std::strerror(ENOSPC)))) << c.err.toStdString();
    EXPECT_TRUE(QFile::exists(full.filePath(QStringLiteral("p.csv"))));
    EXPECT_FALSE(QFile::exists(full.filePath(QStringLiteral("vocaset_010142.csv"))));
}

// A patch run killed half-way applies nothing: a running server never sees part of it, the file
// stays, and the next run applies every line.
TEST(Cli, APatchKilledHalfWayAppliesNothing)
{
    Cli c;
    ASSERT_EQ(c.run({QStringLiteral("db"), QStringLiteral("create")}), cli::Ok);
    const QString path = c.working.dir() + QStringLiteral("/big.csv");
    QByteArray text;
    for (int n = 0; n < 20000; ++n) {
        // Every second line is refused and logged: the run cannot end while its output is not read.
        text += "All;SYSTEM_PARAMETERS;K" + QByteArray::number(n) + ";S;V\r\nAll;NO_TABLE;x\r\n";
    }
    writeBytes(path, text);
    const auto rows = [&] { return c.working.db.execute(QStringLiteral("SELECT * FROM SYSTEM_PARAMETERS")).count(); };
    const int before = rows();

    QProcess cli;
    cli.start(QStringLiteral(VOCASET_CLI),
              {QStringLiteral("--settings"), c.working.dir() + QStringLiteral("/ParamDB.txt"), QStringLiteral("db"),
               QStringLiteral("patch"), path});
    ASSERT_TRUE(cli.waitForStarted());
    QByteArray seen;
    while (seen.count("Error :") < 10 && cli.waitForReadyRead(30000))
        seen += cli.readAllStandardOutput();
    ASSERT_GE(seen.count("Error :"), 10) << cli.readAllStandardError().toStdString();
    cli.kill();
    cli.waitForFinished();
    EXPECT_EQ(cli.exitStatus(), QProcess::CrashExit);
    EXPECT_EQ(rows(), before);
    EXPECT_TRUE(QFile::exists(path));
    EXPECT_FALSE(QFile::exists(c.working.dir() + QStringLiteral("/vocaset_010142.csv")));

    EXPECT_EQ(c.run({QStringLiteral("db"), QStringLiteral("patch"), path}), cli::RunFailed);
    EXPECT_TRUE(c.out.contains(QStringLiteral("20000 line(s) applied, 20000 failed; archived as ")))
        << c.out.toStdString();
    EXPECT_EQ(rows(), before + 20000);
}

// Taking the last of two values would run on a choice the operator may not have meant.
TEST(Cli, ARepeatedOptionIsWrongUsage)
{
    Cli c;
    const QString a = QStringLiteral("A");
    const QList<QStringList> calls = {
        {QStringLiteral("--settings"), a, QStringLiteral("--settings"), a, QStringLiteral("db"),
         QStringLiteral("info")},
        {QStringLiteral("--yes"), QStringLiteral("db"), QStringLiteral("info"), QStringLiteral("--yes")},
        {QStringLiteral("generate"), QStringLiteral("--company"), a, QStringLiteral("--model"), a,
         QStringLiteral("--company"), QStringLiteral("B")},
        {QStringLiteral("reboot"), QStringLiteral("--company"), a, QStringLiteral("--model"), a,
         QStringLiteral("--from"), a, QStringLiteral("--to"), a, QStringLiteral("--to=B")},
        {QStringLiteral("db"), QStringLiteral("patch"), a, QStringLiteral("B")},
    };
    for (const QStringList& call : calls) {
        EXPECT_EQ(c.run(call), cli::Usage) << call.join(u' ').toStdString();
        EXPECT_FALSE(c.err.isEmpty());
    }
    EXPECT_TRUE(c.err.contains(QStringLiteral("Usage: vocaset-cli db patch FILE")));
    // Nothing of it reached the database.
    EXPECT_EQ(c.working.db.columns(QStringLiteral("SYSTEM_PARAMETERS")).count(), 0);
}

// A stored name can neither add a line to the log nor send a terminal escape; messages keep the
// line breaks of their own texts.
TEST(Cli, ControlCharactersReachThePersonEscaped)
{
    const struct
    {
        QString raw;
        QString logLine;
        QString message;
    } cases[] = {
        {QStringLiteral("plain \\\\ text"), QStringLiteral("plain \\\\ text"), QStringLiteral("plain \\\\ text")},
        {QStringLiteral("Desk\r\nDone."), QStringLiteral("Desk\\r\\nDone."), QStringLiteral("Desk\nDone.")},
        {QStringLiteral("a\rb\nc"), QStringLiteral("a\\rb\\nc"), QStringLiteral("a\\rb\nc")},
        {QStringLiteral("n") + QChar(0) + QStringLiteral("l\tt") + QChar(0x1b) + QStringLiteral("[2J"),
         QStringLiteral("n\\0l\\tt\\x1b[2J"), QStringLiteral("n\\0l\\tt\\x1b[2J")},
        {QStringLiteral("caf\u00e9 \u0085\u2028\u00a0"), QStringLiteral("caf\u00e9 \\x85\\u2028\u00a0"),
         QStringLiteral("caf\u00e9 \\x85\\u2028\u00a0")},
    };
    for (const auto& c : cases) {
        QString out;
        QString err;
        QTextStream o(&out);
        QTextStream e(&err);
        cli::StreamRunLog log(o);
        cli::CliOperator op(e, false, false);
        log.append(c.raw);
        op.showMessage(c.raw);
        EXPECT_EQ(out, c.logLine + u'\n');
        EXPECT_EQ(err, c.message + u'\n');
    }
}

#ifdef VOCASET_DEMO_DB
using DamagedCli = test::DemoCli;

// Every command over a working database with one page zeroed: whatever the engine finds wrong ends
// the command with its text and exit 3; nothing aborts the program, and no damage reads as usage.
TEST_F(DamagedCli, EveryCommandEndsInTheEnginesMessage)
{
    if (working.engine() != Engine::SQLite)
        GTEST_SKIP() << "the damaged file is a SQLite file";
    // No telephone of the runs can be reached: the reboot settings are gone and the range is empty.
    working.db.execute(QStringLiteral("DELETE FROM SYSTEM_PARAMETERS WHERE SY_SUBCODE LIKE '$$IP%'"));
    const QString file = ConnectionString(working.connectionString()).value(QStringLiteral("Data Source"));
    working.db.close(); // the last connection moves the log into the file
    QFile pristine(file);
    ASSERT_TRUE(pristine.open(QIODevice::ReadOnly));
    const QByteArray bytes = pristine.readAll();
    pristine.close();

    const QString dir = working.dir();
    const QString out = dir + QStringLiteral("/out");
    const QString patch = dir + QStringLiteral("/patch.csv");
    const QString phones = dir + QStringLiteral("/phones.csv");
    QFile phonesFile(phones);
    ASSERT_TRUE(phonesFile.open(QIODevice::WriteOnly));
    phonesFile.write("code;description;mac\r\n201;Reception;000B82E79E4A\r\n299;New;000B82E79E99\r\n");
    phonesFile.close();
    QDir().mkpath(out);
    const QHash<QString, QString> calls = {
        {QStringLiteral("db create"), {}},
        {QStringLiteral("db upgrade"), {}},
        {QStringLiteral("db info"), {}},
        {QStringLiteral("db patch"), patch},
        {QStringLiteral("config list"), QStringLiteral("PHONES CO_CODE=ALPIN")},
        {QStringLiteral("config set"), QStringLiteral("PHONES CO_CODE=ALPIN PH_CODE=201 PH_DESC=Desk")},
        {QStringLiteral("config add"), QStringLiteral("RANGES CO_CODE=ALPIN PH_CODE=998")},
        {QStringLiteral("config delete"), QStringLiteral("RANGES CO_CODE=ALPIN PH_CODE=210")},
        {QStringLiteral("rename"), QStringLiteral("company ALPIN ALP")},
        {QStringLiteral("history"), QStringLiteral("--company ALPIN")},
        {QStringLiteral("generate"), QStringLiteral("--company ALPIN --model GXP2000 --out ") + out},
        {QStringLiteral("explain"), QStringLiteral("--company ALPIN --phone 201")},
        {QStringLiteral("reboot"), QStringLiteral("--company ALPIN --model GXP2000 --from 999 --to 999")},
        {QStringLiteral("resync"), QStringLiteral("--company ALPIN --model GXP2000 --from 999 --to 999")},
        {QStringLiteral("fleet"), QStringLiteral("--company ALPIN")},
        {QStringLiteral("lobby"), {}},
        {QStringLiteral("lobby claim"), QStringLiteral("000B82AABBCC --company ALPIN")},
        {QStringLiteral("lobby forget"), QStringLiteral("000B82AABBCC")},
        {QStringLiteral("phonebook generate"), QStringLiteral("--company ALPIN --model GXP2000 --out ") + out},
        {QStringLiteral("phonebook import"), QStringLiteral("--company ALPIN --model GXP2000 --dir ") + out},
        {QStringLiteral("phonebook export"), QStringLiteral("--company ALPIN --out ") + out},
        {QStringLiteral("ranges add"), QStringLiteral("--company ALPIN --from 900 --to 905")},
        {QStringLiteral("ranges delete"), QStringLiteral("--company ALPIN --from 900 --to 905")},
        {QStringLiteral("phones import"), phones + QStringLiteral(" --company ALPIN --model GXP2000")},
        {QStringLiteral("template show"), QStringLiteral("--model GXP2000")},
        {QStringLiteral("template set"), patch + QStringLiteral(" --model GXP2000 --file-name cfg{{mac}}.txt")},
        {QStringLiteral("template check"), QStringLiteral("--model GXP2000")},
        {QStringLiteral("template delete"), QStringLiteral("--model GXP2000")},
        {QStringLiteral("phones export"),
         QStringLiteral("--company ALPIN --model GXP2000 --out ") + out + QStringLiteral("/phones.csv")},
    };
    // The server runs until it is stopped, and decode reads no database.
    for (const auto& command : cli::allCommands()) {
        const bool runsOnTheDatabase = command->name() != u"serve" && command->name() != u"decode";
        EXPECT_TRUE(!runsOnTheDatabase || calls.contains(command->name()))
            << "no call for " << command->name().toStdString();
    }

    const int pageSize = 4096;
    int damaged = 0;
    for (const int page : {5, 19, 31}) {
        for (auto call = calls.begin(); call != calls.end(); ++call) {
            QFile::remove(file + QStringLiteral("-wal"));
            QFile::remove(file + QStringLiteral("-shm"));
            QFile f(file);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            QByteArray broken = bytes;
            broken.replace(qsizetype(page - 1) * pageSize, pageSize, QByteArray(pageSize, '\0'));
            f.write(broken);
            f.close();
            QFile p(patch);
            ASSERT_TRUE(p.open(QIODevice::WriteOnly));
            p.write("All;LEVELS;X;Extra\r\n");
            p.close();

            const QStringList args = call.key().split(u' ') + call.value().split(u' ', Qt::SkipEmptyParts) +
                                     QStringList{QStringLiteral("--yes")};
            const int code = run(args);
            const std::string what =
                "page " + std::to_string(page) + ": " + args.join(u' ').toStdString() + "\n" + err.toStdString();
            EXPECT_NE(code, cli::Usage) << what;
            if (err.contains(QLatin1String("malformed")) || err.contains(QLatin1String("damaged"))) {
                ++damaged;
                EXPECT_EQ(code, cli::DatabaseFailed) << what;
            }
        }
    }
    EXPECT_GT(damaged, 10) << "the damage reaches most commands";
}
#endif

#ifdef VOCASET_DEMO_DB
using CountingCli = test::DemoCli;

// What the command line reports with a count reads in the singular for one and in the plural for
// more, in each language: a refused import's problems, the telephones an import changes, the
// changes and records listed, a column's width.
TEST_F(CountingCli, ACountOfOneReadsInTheSingularInEachLanguage)
{
    QTemporaryDir files;
    const auto csv = [&](const char* name, const QByteArray& lines) {
        const QString path = files.filePath(QLatin1String(name));
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("code;description;mac\r\n" + lines);
        return path;
    };
    const QString oneBad = csv("one.csv", "201;Reception;nomac\r\n");
    const QString twoBad = csv("two.csv", "201;Reception;nomac\r\n202;Anna;bad\r\n");
    const QString oneKnown = csv("known.csv", "201;Hall;000B82E79E4A\r\n");
    const QString twoKnown = csv("known2.csv", "201;Hall;000B82E79E4A\r\n202;Desk;000B82EE69AF\r\n");
    const auto phones = [](const QString& file) {
        return QStringList{QStringLiteral("phones"),    QStringLiteral("import"), file,
                           QStringLiteral("--company"), QStringLiteral("ALPIN"),  QStringLiteral("--model"),
                           QStringLiteral("GXP2000")};
    };
    // One range code and its history row, then two more.
    const QStringList ranges = {QStringLiteral("--yes"),     QStringLiteral("ranges"), QStringLiteral("add"),
                                QStringLiteral("--company"), QStringLiteral("ALPIN"),  QStringLiteral("--from")};
    ASSERT_EQ(run(ranges + QStringList{QStringLiteral("900"), QStringLiteral("--to"), QStringLiteral("900")}), cli::Ok)
        << err.toStdString();
    EXPECT_TRUE(err.endsWith(QStringLiteral("1 code selected, 1 created, 0 refused\n"))) << err.toStdString();
    ASSERT_EQ(run(ranges + QStringList{QStringLiteral("901"), QStringLiteral("--to"), QStringLiteral("902")}), cli::Ok)
        << err.toStdString();
    const QStringList history = {QStringLiteral("history"), QStringLiteral("--table"), QStringLiteral("RANGES")};
    const QStringList list = {QStringLiteral("config"), QStringLiteral("list"), QStringLiteral("RANGES"),
                              QStringLiteral("CO_CODE=ALPIN")};
    const QStringList level = {QStringLiteral("config"), QStringLiteral("add"), QStringLiteral("LEVELS")};
    // A company of its own record only, renamed: its plan counts one row.
    ASSERT_EQ(run({QStringLiteral("config"), QStringLiteral("add"), QStringLiteral("COMPANY"),
                   QStringLiteral("CO_CODE=ZZ"), QStringLiteral("CO_DESC=Empty")}),
              cli::Ok)
        << err.toStdString();
    qputenv("VOCASET_PASSWORD", "vocaset-admin");
    EXPECT_EQ(run({QStringLiteral("rename"), QStringLiteral("company"), QStringLiteral("ZZ"), QStringLiteral("ZY"),
                   QStringLiteral("--yes")}),
              cli::Ok);
    qunsetenv("VOCASET_PASSWORD");
    EXPECT_TRUE(err.contains(QStringLiteral("ZZ → ZY (1 row: COMPANY 1)"))) << err.toStdString();

    const struct
    {
        QStringList args;
        const char* english;
        const char* french;
    } cases[] = {
        {phones(oneBad), " was refused with 1 problem: nothing was changed.",
         " a été refusé, avec 1 problème : rien n'a été modifié."},
        {phones(twoBad), " was refused with 2 problems: nothing was changed.",
         " a été refusé, avec 2 problèmes : rien n'a été modifié."},
        {phones(oneKnown), "The import changes 1 telephone that is already in the database. Go on?",
         "L'importation modifie 1 téléphone déjà présent dans la base. Continuer ?"},
        {phones(twoKnown), "The import changes 2 telephones that are already in the database. Go on?",
         "L'importation modifie 2 téléphones déjà présents dans la base. Continuer ?"},
        {history + QStringList{QStringLiteral("--phone"), QStringLiteral("900")}, "1 change\n", "1 modification\n"},
        {history, "3 changes\n", "3 modifications\n"},
        {list + QStringList{QStringLiteral("PH_CODE=901")}, "1 record\n", "1 enregistrement\n"},
        {list, " records\n", " enregistrements\n"},
        {level + QStringList{QStringLiteral("LE_CODE=XY"), QStringLiteral("LE_DESC=Two")},
         "The value of LE_CODE is longer than the 1 character the column holds.",
         "La valeur de LE_CODE dépasse le 1 caractère que contient la colonne."},
        {level + QStringList{QStringLiteral("LE_CODE=X"), QStringLiteral("LE_DESC=") + QString(51, u'x')},
         "The value of LE_DESC is longer than the 50 characters the column holds.",
         "La valeur de LE_DESC dépasse les 50 caractères que contient la colonne."},
    };
    for (const char* language : {"EN", "FR"}) {
        working.db.execute(QStringLiteral("UPDATE SYSTEM_PARAMETERS SET SY_VALUE = '") + QLatin1String(language) +
                           QStringLiteral("' WHERE SY_CODE = '$$LNG'"));
        for (const auto& c : cases) {
            run(c.args);
            const QString expected = QString::fromUtf8(qstrcmp(language, "EN") == 0 ? c.english : c.french);
            EXPECT_TRUE(err.contains(expected)) << language << ' ' << c.args.join(u' ').toStdString() << '\n'
                                                << err.toStdString();
        }
    }
}
#endif
