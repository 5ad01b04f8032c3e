#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QFile>

#include "DatabaseCreation.h"
#include "Schema.h"
#include "Startup.h"
#include "TestDatabase.h"

using namespace vocaset;
using vocaset::test::RecordingLog;
using vocaset::test::ScriptedOperator;
using vocaset::test::TestDatabase;

namespace {

// A program folder with its settings file, over a fresh working database.
struct Program
{
    TestDatabase working;
    ScriptedOperator op;
    RecordingLog log;
    Database db;
    Session s{db, op};

    Program()
    {
        s.appDir = working.dir();
        s.userName = QStringLiteral("ALICE");
    }
    QString settingsPath() const { return s.appDir + QStringLiteral("/ParamDB.txt"); }
    void writeSettings(const QByteArray& text)
    {
        QFile f(settingsPath());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
    }
    // The working database holds the schema at the program's version.
    void prepareWorking(const QString& language = QStringLiteral("EN"))
    {
        for (const QString& statement : Schema::createStatements())
            working.db.execute(statement);
        working.db.execute(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('$$BASEVER', '$', '010142')"));
        if (!language.isNull())
            working.db.execute(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('$$LNG', '$', '") + language + QStringLiteral("')"));
        writeSettings(working.connectionString().toUtf8() + "\r\n");
    }
    StartupOutcome run()
    {
        Startup startup(s, settingsPath(), log);
        return startup.run();
    }
};

} // namespace

TEST(Startup, MissingSettingsFileStopsBeforeAnyConnection)
{
    Program p;
    EXPECT_EQ(p.run(), StartupOutcome::SettingsMissing);
    ASSERT_EQ(p.op.messages.size(), 1);
    EXPECT_TRUE(p.op.messages[0].contains(p.settingsPath())) << p.op.messages[0].toStdString();
    EXPECT_FALSE(p.db.isOpen());
}

TEST(Startup, SettingsLinesTakeTheProgramFolder)
{
    Program p;
    p.writeSettings("Provider=SQLite;Data Source=$$APPPATH$$/a$$APPPATH$$\rsecond $$APPPATH$$\r\nthird\r\n");
    Startup startup(p.s, p.settingsPath(), p.log);
    ASSERT_TRUE(startup.readSettings());
    EXPECT_EQ(startup.workingConnection(),
              QStringLiteral("Provider=SQLite;Data Source=") + p.s.appDir + QStringLiteral("/a") + p.s.appDir);
    EXPECT_EQ(startup.sourceConnection(), QStringLiteral("second ") + p.s.appDir);
}

TEST(Startup, OpenFailureNamesTheConnectionWithoutItsPassword)
{
    const std::pair<const char*, const char*> cases[] = {
        {"Provider=PostgreSQL;Host=127.0.0.1;Port=1;Database=x;User ID=u;Password=topsecret",
         "Provider=PostgreSQL;Host=127.0.0.1;Port=1;Database=x;User ID=u;Password=****"},
        {"Provider=Nothing;Pwd=topsecret;User ID=u", "Provider=Nothing;Pwd=****;User ID=u"},
        {"Provider=Nothing; PASSWORD =topsecret", "Provider=Nothing; PASSWORD =****"},
    };
    for (const auto& [line, shown] : cases) {
        Program p;
        p.writeSettings(QByteArray(line) + "\r\n");
        EXPECT_EQ(p.run(), StartupOutcome::OpenFailed);
        EXPECT_EQ(p.op.messages, QStringList{QStringLiteral("Open Database Failed : ") + QLatin1String(shown)});
    }
}

// Only a regular file of reasonable size is read as settings: an endless device or a FIFO with no
// writer is refused by name before a byte is read.
TEST(Startup, SettingsThatAreNoPlainFileAreRefusedBeforeReading)
{
    Program p;
    const QString fifo = p.s.appDir + QStringLiteral("/fifo");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    for (const QString& path : {QStringLiteral("/dev/zero"), fifo, p.s.appDir}) {
        p.op.messages.clear();
        Startup startup(p.s, path, p.log);
        EXPECT_FALSE(startup.readSettings());
        ASSERT_EQ(p.op.messages.size(), 1);
        EXPECT_TRUE(p.op.messages[0].contains(path)) << p.op.messages[0].toStdString();
    }
    EXPECT_FALSE(p.db.isOpen());
}

TEST(Startup, EmptyDatabaseIsCreatedFromTheSourceThenStartsNormally)
{
    Program p;
    TestDatabase source;
    for (const QString& statement : Schema::createStatements())
        source.db.execute(statement);
    source.db.execute(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('$$BASEVER', '$', '010142')"));
    source.db.execute(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('$$LNG', '$', 'FR')"));
    p.writeSettings(p.working.connectionString().toUtf8() + "\r\n" + source.connectionString().toUtf8() + "\r\n");
    EXPECT_EQ(p.run(), StartupOutcome::Created);
    EXPECT_EQ(p.op.messages.last(), QStringLiteral("DATABASE CREATED --> RUN PROGRAM AGAIN"));

    p.op.messages.clear();
    EXPECT_EQ(p.run(), StartupOutcome::Ready);
    EXPECT_EQ(p.s.language, QStringLiteral("FR"));
    EXPECT_TRUE(p.op.messages.isEmpty()); // same version: no notice
}

TEST(Startup, LanguageDefaultsToEnglishOnlyWhenTheRowIsMissing)
{
    {
        Program p;
        p.prepareWorking(QString());
        EXPECT_EQ(p.run(), StartupOutcome::Ready);
        EXPECT_EQ(p.s.language, QStringLiteral("EN"));
    }
    {
        Program p;
        p.prepareWorking(QStringLiteral(""));
        EXPECT_EQ(p.run(), StartupOutcome::Ready);
        EXPECT_EQ(p.s.language, QString());
    }
}

TEST(Startup, SuperuserMayActAsAnotherUser)
{
    struct Case
    {
        bool listed;
        std::optional<QString> answer;
        QString user;
    };
    const Case cases[] = {
        {true, QStringLiteral("bob"), QStringLiteral("BOB")},
        {true, QStringLiteral(""), QStringLiteral("ALICE")},
        {true, std::nullopt, QStringLiteral("ALICE")},
        {false, QStringLiteral("bob"), QStringLiteral("ALICE")},
    };
    for (const Case& c : cases) {
        Program p;
        p.prepareWorking();
        p.working.db.execute(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'M34', 'Act as:')"));
        if (c.listed)
            p.working.db.execute(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('$$SUPERUSER', 'ALICE', '')"));
        p.op.texts.enqueue(c.answer);
        EXPECT_EQ(p.run(), StartupOutcome::Ready);
        EXPECT_EQ(p.s.userName, c.user);
        EXPECT_EQ(p.op.prompts, c.listed ? QStringList{QStringLiteral("Act as:")} : QStringList{});
    }
}

TEST(Startup, UpgradesThenImportsThePendingPatch)
{
    Program p;
    p.prepareWorking();
    p.working.db.execute(QStringLiteral("UPDATE SYSTEM_PARAMETERS SET SY_VALUE = '010140' WHERE SY_CODE = '$$BASEVER'"));
    {
        QFile f(p.s.appDir + QStringLiteral("/vocaset.csv"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("All;LEVELS;E;Equipment\r\n");
    }
    EXPECT_EQ(p.run(), StartupOutcome::Ready);
    EXPECT_EQ(p.op.messages, QStringList{QStringLiteral("Update From 010140 To 010142")});
    EXPECT_EQ(p.db.execute(QStringLiteral("SELECT LE_DESC FROM LEVELS")).text(0), QStringLiteral("Equipment"));
    EXPECT_TRUE(QFile::exists(p.s.appDir + QStringLiteral("/vocaset_010142.csv")));
}

namespace {

QByteArray fileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QString sqliteFile(const QString& connection)
{
    return ConnectionString(connection).value(QStringLiteral("Data Source"));
}

} // namespace

// Settings that cannot be read are damage to report, and a settings table without rows is a creation
// left unfinished: neither is created over nor upgraded from 000000.
TEST(Startup, AnIncompleteOrDamagedDatabaseIsReportedAndLeftAlone)
{
    {
        Program p;
        p.prepareWorking();
        p.working.db.execute(QStringLiteral("DELETE FROM SYSTEM_PARAMETERS"));
        EXPECT_EQ(p.run(), StartupOutcome::DatabaseFailed);
        EXPECT_EQ(p.op.messages, QStringList{kIncompleteDatabase});
        EXPECT_EQ(p.working.db.execute(QStringLiteral("SELECT * FROM SYSTEM_PARAMETERS")).count(), 0);
    }
    Program p;
    if (p.working.engine() != Engine::SQLite)
        GTEST_SKIP() << "the damaged file is a SQLite file";
    p.prepareWorking();
    const int root =
        p.working.db.execute(QStringLiteral("SELECT rootpage FROM sqlite_master WHERE name = 'SYSTEM_PARAMETERS'")).text(0).toInt();
    const int pageSize = p.working.db.execute(QStringLiteral("PRAGMA page_size")).text(0).toInt();
    p.working.db.close(); // the last connection moves the log into the file
    {
        QFile f(sqliteFile(p.working.connectionString()));
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        ASSERT_TRUE(f.seek(qint64(root - 1) * pageSize));
        f.write(QByteArray(pageSize, '\xff'));
    }
    EXPECT_EQ(p.run(), StartupOutcome::DatabaseFailed);
    ASSERT_EQ(p.op.messages.size(), 1);
    EXPECT_TRUE(p.op.messages[0].startsWith(QStringLiteral("The working database is damaged"))) << p.op.messages[0].toStdString();
    EXPECT_FALSE(p.op.messages[0].contains(QStringLiteral("already exists")));
}

// The source of a creation is only read: a mistyped name creates no file, and a source in another
// journal mode keeps every byte.
TEST(Startup, TheSourceIsOpenedReadOnly)
{
    Program p;
    if (p.working.engine() != Engine::SQLite)
        GTEST_SKIP() << "file bytes and names are SQLite's";
    const QString typo = p.working.dir() + QStringLiteral("/typo.db");
    p.writeSettings(p.working.connectionString().toUtf8() + "\r\nProvider=SQLite;Data Source=" + typo.toUtf8() + "\r\n");
    EXPECT_EQ(p.run(), StartupOutcome::CreationStopped);
    EXPECT_EQ(p.op.messages, QStringList{QStringLiteral("Open Original Database Failed : Provider=SQLite;Data Source=") + typo});
    EXPECT_FALSE(QFile::exists(typo));

    TestDatabase source;
    for (const QString& statement : Schema::createStatements())
        source.db.execute(statement);
    source.db.execute(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('$$BASEVER', '$', '010142')"));
    source.db.execute(QStringLiteral("PRAGMA journal_mode = DELETE"));
    source.db.close();
    const QString file = sqliteFile(source.connectionString());
    const QByteArray before = fileBytes(file);
    p.writeSettings(p.working.connectionString().toUtf8() + "\r\n" + source.connectionString().toUtf8() + "\r\n");
    EXPECT_EQ(p.run(), StartupOutcome::Created);
    EXPECT_EQ(fileBytes(file), before);
    EXPECT_FALSE(QFile::exists(file + QStringLiteral("-wal")));
}
