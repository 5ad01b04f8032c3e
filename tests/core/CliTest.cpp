#include <gtest/gtest.h>

#include <QFile>
#include <QTextStream>

#include "CliCommand.h"
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
    EXPECT_EQ(c.run({QStringLiteral("--user"), QStringLiteral("bob"), QStringLiteral("db"), QStringLiteral("info")}),
              cli::Usage);
    c.working.db.execute(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('$$SUPERUSER', '") + loginName() +
                         QStringLiteral("', '*')"));
    EXPECT_EQ(c.run({QStringLiteral("--user"), QStringLiteral("bob"), QStringLiteral("db"), QStringLiteral("info")}),
              cli::Ok);
    EXPECT_TRUE(c.out.contains(QStringLiteral("User: BOB")));
}
