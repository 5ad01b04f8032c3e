// vocaset-cli config: the editor's tabs, passwords, lookups and checks without a window, on a working
// database created from the demo source.

#include <csignal>
#include <poll.h>
#include <pty.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTextStream>

#include <gtest/gtest.h>

#include "CliCommand.h"
#include "DemoCli.h"
#include "EditorFixture.h"
#include "FullDisk.h"
#include "Startup.h"

namespace vocaset::test {
namespace {

class ConfigCli : public DemoCli
{
protected:
    int config(const char* verb, const QStringList& args)
    {
        return run(QStringList{QStringLiteral("config"), QLatin1String(verb)} + args);
    }
    QString value(const QString& sql) { return working.db.execute(sql).text(0); }
};

TEST_F(ConfigCli, ListAddSetDeleteWithTheWindowsChecks)
{
    ASSERT_EQ(config("list", {QStringLiteral("phones"), QStringLiteral("CO_CODE=OHARA")}), cli::Ok)
        << err.toStdString();
    QStringList lines = out.split(u'\n', Qt::SkipEmptyParts);
    EXPECT_EQ(lines.first(), QStringLiteral("CO_CODE\tPH_CODE\tEQ_CODE\tPH_DESC\tPH_MAC"));
    EXPECT_EQ(lines.value(1).split(u'\t').size(), 5);
    EXPECT_EQ(lines.size() - 1,
              working.db.execute(QStringLiteral("SELECT * FROM PHONES WHERE CO_CODE = 'OHARA'")).count());

    // A new company, then a telephone for it through the drop-downs' chain; a bad MAC is refused first.
    ASSERT_EQ(config("add", {QStringLiteral("RANGES"), QStringLiteral("CO_CODE=ALPIN"), QStringLiteral("PH_CODE=999")}),
              cli::Ok)
        << err.toStdString();
    const QStringList phone = {QStringLiteral("PHONES"), QStringLiteral("CO_CODE=ALPIN"), QStringLiteral("PH_CODE=999"),
                               QStringLiteral("EQ_CODE=PAP2"), QStringLiteral("PH_DESC=O'Brien's desk")};
    EXPECT_EQ(config("add", phone + QStringList{QStringLiteral("PH_MAC=00:11")}), cli::RunFailed);
    EXPECT_TRUE(err.contains(QStringLiteral("00:11"))) << err.toStdString();
    ASSERT_EQ(config("add", phone + QStringList{QStringLiteral("PH_MAC=0011223344AA")}), cli::Ok) << err.toStdString();
    EXPECT_EQ(value(QStringLiteral("SELECT PH_DESC FROM PHONES WHERE PH_CODE = '999'")),
              QStringLiteral("O'Brien's desk"));

    EXPECT_EQ(config("set", {QStringLiteral("PHONES"), QStringLiteral("CO_CODE=ALPIN"), QStringLiteral("PH_CODE=999"),
                             QStringLiteral("EQ_CODE=NOPE")}),
              cli::RunFailed);
    ASSERT_EQ(config("set", {QStringLiteral("PHONES"), QStringLiteral("CO_CODE=ALPIN"), QStringLiteral("PH_CODE=999"),
                             QStringLiteral("EQ_CODE=F1000")}),
              cli::Ok)
        << err.toStdString();
    EXPECT_EQ(value(QStringLiteral("SELECT EQ_CODE FROM PHONES WHERE PH_CODE = '999'")), QStringLiteral("F1000"));

    // The range is still used: refused; the telephone goes, then the range.
    const QStringList range = {QStringLiteral("RANGES"), QStringLiteral("CO_CODE=ALPIN"),
                               QStringLiteral("PH_CODE=999")};
    EXPECT_EQ(config("delete", range), cli::RunFailed);
    EXPECT_EQ(
        config("delete", {QStringLiteral("PHONES"), QStringLiteral("CO_CODE=ALPIN"), QStringLiteral("PH_CODE=999")}),
        cli::Ok);
    EXPECT_EQ(config("delete", range), cli::Ok) << err.toStdString();
    EXPECT_TRUE(err.contains(QLatin1String("1 record deleted"))) << err.toStdString();
}

TEST_F(ConfigCli, PasswordsDecideTheRows)
{
    const QStringList settings = {QStringLiteral("SYSTEM_PARAMETERS"), QStringLiteral("SY_CODE=$$TABS")};
    EXPECT_EQ(config("list", settings), cli::RunFailed) << "no terminal, no password";
    qputenv("VOCASET_PASSWORD", "settings");
    ASSERT_EQ(config("list", settings), cli::Ok);
    EXPECT_EQ(out.count(u'\n'), 1) << "the system rows are not listed with the first password";
    qputenv("VOCASET_PASSWORD", "vocaset-admin");
    ASSERT_EQ(config("list", settings), cli::Ok);
    EXPECT_GT(out.count(u'\n'), 10);
    qunsetenv("VOCASET_PASSWORD");
}

// A value the generation cannot expand is saved with a warning (it may be meant); a new language is
// saved with the word that it applies at the next start.
TEST_F(ConfigCli, ASavedRecordIsWarnedOfWhatItWillDo)
{
    const QStringList value = {QStringLiteral("COMPANY_PARAMETERS"), QStringLiteral("CO_CODE=ALPIN"),
                               QStringLiteral("EQ_CODE=GXP2000"), QStringLiteral("PA_CODE=3")};
    ASSERT_EQ(config("set", value + QStringList{QStringLiteral("PA_VALUE=$$n,1,16")}), cli::Ok) << err.toStdString();
    EXPECT_TRUE(err.contains(QStringLiteral("the place-holder $$n,1,16 in Value \"$$n,1,16\" cannot be expanded")))
        << err.toStdString();
    ASSERT_EQ(config("set", value + QStringList{QStringLiteral("PA_VALUE=$$N,1,4")}), cli::Ok);
    EXPECT_EQ(err, QStringLiteral("1 record saved\n"));
    qputenv("VOCASET_PASSWORD", "vocaset-admin");
    EXPECT_EQ(config("set", {QStringLiteral("SYSTEM_PARAMETERS"), QStringLiteral("SY_CODE=$$LNG"),
                             QStringLiteral("SY_SUBCODE=$"), QStringLiteral("SY_VALUE=FR")}),
              cli::Ok);
    qunsetenv("VOCASET_PASSWORD");
    EXPECT_TRUE(err.contains(QStringLiteral("The language applies from the next start"))) << err.toStdString();
}

// A company's networks and its claiming on arrival are saved only well formed: the server would
// ignore a malformed row.
TEST_F(ConfigCli, ACompanysNetworksAndClaimingOnArrivalAreSavedOnlyWellFormed)
{
    qputenv("VOCASET_PASSWORD", "settings");
    const QStringList row = {QStringLiteral("SYSTEM_PARAMETERS"), QStringLiteral("SY_CODE=ALPIN"),
                             QStringLiteral("SY_SUBCODE=$$PROVNETS")};
    for (const char* bad : {"SY_VALUE=10.1.0.0", "SY_VALUE=10.1.0.0/16, 300.1.0.0/8", "SY_VALUE=2001:db8::/129"}) {
        EXPECT_EQ(config("add", row + QStringList{QLatin1String(bad)}), cli::RunFailed) << bad;
        EXPECT_TRUE(err.contains(QStringLiteral("not a list of networks"))) << err.toStdString();
    }
    EXPECT_EQ(config("add", row + QStringList{QStringLiteral("SY_VALUE=10.1.0.0/16, 2001:db8:5::/48")}), cli::Ok)
        << err.toStdString();
    // Claiming on arrival: the models named must exist, the daily count be a number.
    const struct
    {
        const char* subCode;
        const char* value;
        const char* refusal; // nullptr: saved
    } claims[] = {{"$$AUTOCLAIM", "GXP2000; GXP9999", "no model is named GXP9999"},
                  {"$$AUTOCLAIM", "GXP2000;PAP2", nullptr},
                  {"$$AUTOCLAIMMAX", "many", "not a number of telephones a day"},
                  {"$$AUTOCLAIMMAX", "-1", "not a number of telephones a day"},
                  {"$$AUTOCLAIMMAX", "20", nullptr}};
    for (const auto& c : claims) {
        const int exit = config("add", {QStringLiteral("SYSTEM_PARAMETERS"), QStringLiteral("SY_CODE=ALPIN"),
                                        QStringLiteral("SY_SUBCODE=") + QLatin1String(c.subCode),
                                        QStringLiteral("SY_VALUE=") + QLatin1String(c.value)});
        EXPECT_EQ(exit, c.refusal ? cli::RunFailed : cli::Ok) << c.value << ' ' << err.toStdString();
        if (c.refusal) {
            EXPECT_TRUE(err.contains(QLatin1String(c.refusal))) << err.toStdString();
        }
    }
    qunsetenv("VOCASET_PASSWORD");
}

// A user's menu rights name several entries in one row; a name that is no menu entry is refused, and
// the command line then allows exactly the named entries.
TEST_F(ConfigCli, MenuRightsOfAUserNameSeveralEntries)
{
    qputenv("VOCASET_PASSWORD", "settings");
    const QString user = loginName();
    const QStringList row = {QStringLiteral("SYSTEM_PARAMETERS"), QStringLiteral("SY_CODE=AUTHM"),
                             QStringLiteral("SY_SUBCODE=") + user};
    EXPECT_EQ(config("add", row + QStringList{QStringLiteral("SY_VALUE=Config;Rebot")}), cli::RunFailed);
    EXPECT_TRUE(err.contains(QStringLiteral("no menu entry is named Rebot"))) << err.toStdString();
    ASSERT_EQ(config("add", row + QStringList{QStringLiteral("SY_VALUE=Config; Reboot")}), cli::Ok)
        << err.toStdString();
    working.db.execute(QStringLiteral("DELETE FROM SYSTEM_PARAMETERS WHERE SY_CODE = 'AUTHM' AND SY_SUBCODE = '*'"));
    EXPECT_EQ(config("list", row), cli::Ok) << err.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("Config; Reboot")));
    EXPECT_EQ(run({QStringLiteral("generate"), QStringLiteral("--company"), QStringLiteral("ALPIN"),
                   QStringLiteral("--model"), QStringLiteral("GXP2000")}),
              cli::RunFailed);
    EXPECT_TRUE(err.contains(QStringLiteral("GenConf"))) << err.toStdString();
    qunsetenv("VOCASET_PASSWORD");
}

// A filter the command cannot apply, or a column named twice, is wrong usage naming the column; an
// insert names the column a drop-down waits for instead of blaming the value.
TEST_F(ConfigCli, ArgumentsTheCommandCannotApplyAreNamed)
{
    const QStringList phone = {QStringLiteral("PHONES"), QStringLiteral("CO_CODE=ALPIN"),
                               QStringLiteral("PH_CODE=201")};
    const QStringList parameter = {QStringLiteral("EQUIPMENT_PARAMETERS"), QStringLiteral("EQ_CODE=PAP2"),
                                   QStringLiteral("PA_CODE=Extra"), QStringLiteral("PA_DESC=Extra setting")};
    struct Case
    {
        const char* verb;
        QStringList args;
        int code;
        const char* says;
    };
    const QList<Case> cases = {
        {"list", {QStringLiteral("PHONES"), QStringLiteral("PH_DESC=Reception")}, cli::Usage, "PH_DESC"},
        {"list", phone + QStringList{QStringLiteral("co_code=OHARA")}, cli::Usage, "CO_CODE is given more than once"},
        {"delete", phone + QStringList{QStringLiteral("PH_MAC=0011223344AA")}, cli::Usage, "PH_MAC"},
        {"set", phone + QStringList{QStringLiteral("PH_DESC=a"), QStringLiteral("PH_DESC=b")}, cli::Usage,
         "PH_DESC is given more than once"},
        {"list",
         {QStringLiteral("PHONES"), QStringLiteral("--password"), QStringLiteral("x")},
         cli::Usage,
         "--password-file"},
        // The level is left out: the type's list is filled only once a level is chosen.
        {"add", parameter + QStringList{QStringLiteral("TY_CODE=S")}, cli::RunFailed, "give LE_CODE="},
        {"add", parameter.mid(0, 2) + QStringList{QStringLiteral("LE_CODE=C"), QStringLiteral("TY_CODE=S")},
         cli::RunFailed, "Give a value to PA_CODE of"},
        // The default, a text column before the type, is left out: it stays empty.
        {"add", parameter + QStringList{QStringLiteral("LE_CODE=C"), QStringLiteral("TY_CODE=S")}, cli::Ok,
         "1 record saved"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.verb) + " " + c.args.join(u' ').toStdString());
        EXPECT_EQ(config(c.verb, c.args), c.code) << err.toStdString();
        EXPECT_TRUE(err.contains(QLatin1String(c.says))) << err.toStdString();
        EXPECT_FALSE(err.contains(QLatin1String("is not a value offered"))) << err.toStdString();
    }
    EXPECT_EQ(value(QStringLiteral("SELECT PA_DEFAULT || '/' || TY_CODE FROM EQUIPMENT_PARAMETERS WHERE PA_CODE = "
                                   "'Extra'")),
              QStringLiteral("/S"));
    EXPECT_EQ(value(QStringLiteral("SELECT PH_DESC FROM PHONES WHERE CO_CODE = 'ALPIN' AND PH_CODE = '201'")),
              QStringLiteral("Reception"));
}

// The variable --help names for a script's password.
constexpr char kPasswordVariable[] = "VOCASET_PASSWORD";

// Runs the installed tool on a terminal of its own, types the answer at its prompt and returns what
// the terminal showed; exit holds its exit code.
QByteArray onTerminal(const QStringList& args, const QByteArray& typed, int& exit)
{
    QList<QByteArray> bytes;
    for (const QString& a : args)
        bytes.append(a.toLocal8Bit());
    std::vector<char*> argv{const_cast<char*>(VOCASET_CLI_PATH)};
    for (QByteArray& b : bytes)
        argv.push_back(b.data());
    argv.push_back(nullptr);
    int master = -1;
    const pid_t child = forkpty(&master, nullptr, nullptr, nullptr);
    if (child == 0) {
        ::unsetenv(kPasswordVariable);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    QByteArray shown;
    bool answered = false;
    char buffer[4096];
    for (int idle = 0; idle < 300;) {
        pollfd ready{master, POLLIN, 0};
        if (::poll(&ready, 1, 100) == 0) {
            ++idle;
            continue;
        }
        const ssize_t n = ::read(master, buffer, sizeof buffer);
        if (n <= 0)
            break;
        shown.append(buffer, n);
        if (!answered && shown.contains("Password")) {
            // Typed once the prompt is out, as a person would.
            ::usleep(100000);
            [[maybe_unused]] const ssize_t w = ::write(master, typed.constData(), size_t(typed.size()));
            answered = true;
        }
    }
    ::close(master);
    ::kill(child, SIGKILL); // a tool still waiting after 30 quiet seconds
    int status = 0;
    ::waitpid(child, &status, 0);
    exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return shown;
}

// A password comes from a file, the environment or the terminal, typed without echo; --user only
// says who acts, and answers no password question.
TEST_F(ConfigCli, PasswordsAreNeverShownNorTakenFromTheUserName)
{
    const QStringList rights = {QStringLiteral("config"), QStringLiteral("list"), QStringLiteral("SYSTEM_PARAMETERS"),
                                QStringLiteral("SY_CODE=AUTHM")};
    working.db.execute(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('$$SUPERUSER', '") + loginName() +
                       QStringLiteral("', '*')"));
    EXPECT_EQ(run(QStringList{QStringLiteral("--user"), QStringLiteral("settings")} + rights), cli::RunFailed);
    EXPECT_FALSE(out.contains(QStringLiteral("AUTHM"))) << out.toStdString();
    working.db.execute(QStringLiteral("DELETE FROM SYSTEM_PARAMETERS WHERE SY_CODE = '$$SUPERUSER'"));

    const QString file = working.dir() + QStringLiteral("/password");
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("settings\r\nnot this line\r\n");
    }
    ASSERT_EQ(run(QStringList{QStringLiteral("--password-file"), file} + rights), cli::Ok) << err.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("AUTHM\t*\t*")));
    qputenv(kPasswordVariable, "vocaset-admin");
    ASSERT_EQ(run({QStringLiteral("config"), QStringLiteral("list"), QStringLiteral("SYSTEM_PARAMETERS"),
                   QStringLiteral("SY_CODE=$$TABS")}),
              cli::Ok);
    EXPECT_TRUE(out.contains(QStringLiteral("$$TABS\t01\tCOMPANY")));
    qunsetenv(kPasswordVariable);

    // What cannot be a password file is refused before anything is read.
    const QString fifo = working.dir() + QStringLiteral("/fifo");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    for (const QString& bad : QStringList{QStringLiteral("/dev/zero"), fifo, working.dir() + QStringLiteral("/none")}) {
        EXPECT_EQ(run(QStringList{QStringLiteral("--password-file"), bad} + rights), cli::Usage);
        EXPECT_TRUE(err.contains(bad)) << err.toStdString();
    }

    int exit = -1;
    const QByteArray shown =
        onTerminal(QStringList{QStringLiteral("--settings"), working.dir() + QStringLiteral("/ParamDB.txt")} + rights,
                   "settings\n", exit);
    EXPECT_EQ(exit, cli::Ok) << shown.constData();
    EXPECT_TRUE(shown.contains("AUTHM\t*\t*")) << shown.constData();
    EXPECT_FALSE(shown.contains("settings")) << shown.constData();
}

// A value longer than its column is refused alike on both engines, naming the column and its width;
// a full disk is a database failure, reported once with the engine's reason, and nothing is stored.
TEST_F(ConfigCli, WidthsAndAFullDisk)
{
    const struct
    {
        const char* verb;
        QStringList args;
        const char* refusal;
    } cases[] = {
        {"add",
         {QStringLiteral("COMPANY"), QStringLiteral("CO_CODE=TOOLONGCODE123"), QStringLiteral("CO_DESC=x")},
         "The value of CO_CODE is longer than the 5 characters the column holds."},
        {"set",
         {QStringLiteral("PHONES"), QStringLiteral("CO_CODE=OHARA"), QStringLiteral("PH_CODE=101"),
          QStringLiteral("PH_DESC=") + QString(85, u'd')},
         "The value of PH_DESC is longer than the 50 characters the column holds."},
    };
    const QString phones = value(QStringLiteral("SELECT COUNT(*) FROM PHONES WHERE PH_DESC LIKE 'ddd%'"));
    for (const auto& c : cases) {
        EXPECT_EQ(config(c.verb, c.args), cli::RunFailed) << c.args.join(u' ').toStdString();
        EXPECT_TRUE(err.contains(QLatin1String(c.refusal))) << err.toStdString();
    }
    EXPECT_EQ(value(QStringLiteral("SELECT COUNT(*) FROM COMPANY WHERE CO_CODE LIKE 'TOOLO%'")), QStringLiteral("0"));
    EXPECT_EQ(value(QStringLiteral("SELECT COUNT(*) FROM PHONES WHERE PH_DESC LIKE 'ddd%'")), phones);

    refuseWrites(working.db, QStringLiteral("INSERT"), QStringLiteral("COMPANY"),
                 QStringLiteral("NEW.CO_CODE = 'FULL'"), Refusal::FullDisk);
    EXPECT_EQ(config("add", {QStringLiteral("COMPANY"), QStringLiteral("CO_CODE=FULL"), QStringLiteral("CO_DESC=x")}),
              cli::DatabaseFailed);
    EXPECT_EQ(fullDiskLines(err), 1) << err.toStdString();
    EXPECT_EQ(value(QStringLiteral("SELECT COUNT(*) FROM COMPANY WHERE CO_CODE = 'FULL'")), QStringLiteral("0"));
}

// rename: the admin password and a Yes, then the code changes everywhere; a model's run finds its
// folder and a company's export its folder under the new codes.
TEST_F(ConfigCli, RenameReachesWhatTheRunsRead)
{
    const auto rename = [this](const QStringList& args) { return run(QStringList{QStringLiteral("rename")} + args); };
    struct Case
    {
        QStringList args;
        int code;
        const char* says;
    };
    const QList<Case> refused = {
        {{QStringLiteral("phone"), QStringLiteral("201"), QStringLiteral("299")}, cli::Usage, "none of company"},
        {{QStringLiteral("telephone"), QStringLiteral("201"), QStringLiteral("299")}, cli::Usage, "--company"},
        {{QStringLiteral("model"), QStringLiteral("PAP2"), QStringLiteral("PAP3"), QStringLiteral("--company"),
          QStringLiteral("ALPIN")},
         cli::Usage,
         "--company"},
        {{QStringLiteral("company"), QStringLiteral("ALPIN"), QStringLiteral("ALP")},
         cli::RunFailed,
         "second password of the settings table"},
    };
    for (const Case& c : refused) {
        EXPECT_EQ(rename(c.args), c.code) << c.args.join(u' ').toStdString();
        EXPECT_TRUE(err.contains(QLatin1String(c.says))) << err.toStdString();
    }
    const QString phones =
        value(QStringLiteral("SELECT COUNT(*) FROM PHONES WHERE CO_CODE = 'ALPIN' AND EQ_CODE = 'GXP2000'"));
    qputenv("VOCASET_PASSWORD", "vocaset-admin");
    // No terminal and no --yes: the question is answered No.
    EXPECT_EQ(rename({QStringLiteral("company"), QStringLiteral("ALPIN"), QStringLiteral("ALP")}), cli::RunFailed);
    EXPECT_TRUE(err.contains(QStringLiteral("Rename ALPIN → ALP ("))) << err.toStdString();
    EXPECT_EQ(value(QStringLiteral("SELECT COUNT(*) FROM PHONES WHERE CO_CODE = 'ALPIN' AND EQ_CODE = 'GXP2000'")),
              phones);
    EXPECT_EQ(
        rename({QStringLiteral("company"), QStringLiteral("ALPIN"), QStringLiteral("OHARA"), QStringLiteral("--yes")}),
        cli::RunFailed);
    EXPECT_TRUE(err.contains(QStringLiteral("OHARA (COMPANY) is used already"))) << err.toStdString();

    ASSERT_EQ(
        rename({QStringLiteral("company"), QStringLiteral("ALPIN"), QStringLiteral("ALP"), QStringLiteral("--yes")}),
        cli::Ok)
        << err.toStdString();
    EXPECT_TRUE(out.startsWith(QStringLiteral("Renamed ALPIN → ALP ("))) << out.toStdString();
    ASSERT_EQ(
        rename({QStringLiteral("model"), QStringLiteral("GXP2000"), QStringLiteral("GX2"), QStringLiteral("--yes")}),
        cli::Ok)
        << err.toStdString();
    qunsetenv("VOCASET_PASSWORD");
    EXPECT_EQ(value(QStringLiteral("SELECT COUNT(*) FROM PHONES WHERE CO_CODE = 'ALP' AND EQ_CODE = 'GX2'")), phones);
    // The folder the setting names, beside the program.
    ASSERT_TRUE(QDir(working.dir()).mkpath(QStringLiteral("output/ALPIN/GXP2000/config")));
    EXPECT_EQ(run({QStringLiteral("generate"), QStringLiteral("--company"), QStringLiteral("ALP"),
                   QStringLiteral("--model"), QStringLiteral("GX2"), QStringLiteral("--dry-run")}),
              cli::Ok)
        << err.toStdString();
    EXPECT_FALSE(err.contains(QStringLiteral("No output folder"))) << err.toStdString();
}

// Every change of config and rename in the history, with the acting user, old and new values, and
// secrets masked; the history's filters and a bad date.
TEST_F(ConfigCli, HistoryListsEveryChangeWithItsUserAndValues)
{
    const QStringList phone = {QStringLiteral("PHONES"), QStringLiteral("CO_CODE=ALPIN"),
                               QStringLiteral("PH_CODE=201")};
    const QString desk =
        value(QStringLiteral("SELECT PH_DESC FROM PHONES WHERE CO_CODE = 'ALPIN' AND PH_CODE = '201'"));
    ASSERT_EQ(config("set", phone + QStringList{QStringLiteral("PH_DESC=Hall")}), cli::Ok) << err.toStdString();
    ASSERT_EQ(config("set", {QStringLiteral("PHONES_PARAMETERS"), QStringLiteral("CO_CODE=ALPIN"),
                             QStringLiteral("EQ_CODE=GXP2000"), QStringLiteral("PH_CODE=201"),
                             QStringLiteral("PA_CODE=34"), QStringLiteral("PA_VALUE=n3wS3cret")}),
              cli::Ok)
        << err.toStdString();
    const auto renamePhone = [this](const char* from, const char* to) {
        qputenv("VOCASET_PASSWORD", "vocaset-admin");
        EXPECT_EQ(run({QStringLiteral("rename"), QStringLiteral("telephone"), QLatin1String(from), QLatin1String(to),
                       QStringLiteral("--company"), QStringLiteral("ALPIN"), QStringLiteral("--yes")}),
                  cli::Ok)
            << err.toStdString();
        qunsetenv("VOCASET_PASSWORD");
    };
    renamePhone("201", "299");
    // A change the database refuses leaves no history.
    EXPECT_EQ(
        config("delete", {QStringLiteral("RANGES"), QStringLiteral("CO_CODE=ALPIN"), QStringLiteral("PH_CODE=299")}),
        cli::RunFailed);

    ASSERT_EQ(run({QStringLiteral("history"), QStringLiteral("--company"), QStringLiteral("ALPIN"),
                   QStringLiteral("--format"), QStringLiteral("tsv")}),
              cli::Ok)
        << err.toStdString();
    QStringList lines = out.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 5) << out.toStdString();
    lines.removeFirst();
    const QString user = loginName().toUpper();
    const auto change = [&](int i) -> QString {
        return lines[i].section(u'\t', 1, 1) + u'|' + lines[i].section(u'\t', 4);
    };
    EXPECT_EQ(change(0), QString(user + QStringLiteral("|rename\tPHONES\tALPIN/201\tPH_CODE\t201\t299")));
    EXPECT_EQ(change(1), QString(user + QStringLiteral("|new\tRANGES\tALPIN/299\t\t\t")));
    EXPECT_EQ(change(2),
              QString(user + QStringLiteral("|edit\tPHONES_PARAMETERS\tALPIN/GXP2000/201/34\tPA_VALUE\t***\t***")));
    EXPECT_EQ(change(3),
              QString(user + QStringLiteral("|edit\tPHONES\tALPIN/201\tPH_DESC\t") + desk + QStringLiteral("\tHall")));
    EXPECT_EQ(lines[3].section(u'\t', 3, 3), QStringLiteral("editor"));
    EXPECT_EQ(value(QStringLiteral("SELECT COUNT(*) FROM CHANGE_HISTORY WHERE HI_OLD LIKE '%n3wS3cret%' OR HI_NEW LIKE "
                                   "'%n3wS3cret%' OR HI_OLD LIKE '%dcpsRb4GxFQ8%'")),
              QStringLiteral("0"));

    // Text lines, the other filters, and --user after the command word filtering rather than acting as.
    ASSERT_EQ(
        run({QStringLiteral("history"), QStringLiteral("--phone"), QStringLiteral("299"), QStringLiteral("--table"),
             QStringLiteral("phones"), QStringLiteral("--since"), QStringLiteral("2020-01-01")}),
        cli::Ok);
    EXPECT_TRUE(out.contains(QStringLiteral("rename  PHONES ALPIN/201  PH_CODE: 201 → 299"))) << out.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("edit  PHONES ALPIN/201  PH_DESC: ") + desk + QStringLiteral(" → Hall")));
    EXPECT_EQ(out.count(u'\n'), 2) << out.toStdString();
    // A telephone's code follows it back through its renames, each older code only while the
    // telephone bore it: the new telephone 201 is another one.
    ASSERT_EQ(config("add", {QStringLiteral("PHONES"), QStringLiteral("CO_CODE=ALPIN"), QStringLiteral("PH_CODE=201"),
                             QStringLiteral("EQ_CODE=GXP2000"), QStringLiteral("PH_DESC=Newcomer"),
                             QStringLiteral("PH_MAC=000B82AAAAAA")}),
              cli::Ok)
        << err.toStdString();
    renamePhone("299", "300");
    const auto listed = [&](const char* phone, const char* company) {
        QStringList args = {QStringLiteral("history"), QStringLiteral("--phone"), QLatin1String(phone)};
        if (company)
            args << QStringLiteral("--company") << QLatin1String(company);
        EXPECT_EQ(run(args), cli::Ok) << err.toStdString();
        QStringList changes;
        for (const QString& line : out.split(u'\n', Qt::SkipEmptyParts))
            changes.append(line.section(QStringLiteral("  "), 3, 4));
        return changes;
    };
    const QStringList ofTheTelephone = {QStringLiteral("rename  PHONES ALPIN/299"),
                                        QStringLiteral("new  RANGES ALPIN/300"),
                                        QStringLiteral("rename  PHONES ALPIN/201"),
                                        QStringLiteral("new  RANGES ALPIN/299"),
                                        QStringLiteral("edit  PHONES_PARAMETERS ALPIN/GXP2000/201/34"),
                                        QStringLiteral("edit  PHONES ALPIN/201")};
    EXPECT_EQ(listed("300", nullptr), ofTheTelephone);
    EXPECT_EQ(listed("300", "ALPIN"), ofTheTelephone);
    EXPECT_TRUE(listed("300", "OHARA").isEmpty());
    EXPECT_EQ(listed("201", nullptr).first(), QStringLiteral("new  PHONES ALPIN/201"));
    EXPECT_EQ(listed("201", nullptr).size(), 3);
    EXPECT_EQ(run({QStringLiteral("history"), QStringLiteral("--user"), QStringLiteral("nobody")}), cli::Ok)
        << err.toStdString();
    EXPECT_TRUE(out.isEmpty()) << out.toStdString();
    EXPECT_EQ(run({QStringLiteral("history"), QStringLiteral("--since"), QStringLiteral("2026-13-01")}), cli::Usage);
    EXPECT_TRUE(err.contains(QStringLiteral("2026-13-01"))) << err.toStdString();
}

} // namespace
} // namespace vocaset::test
