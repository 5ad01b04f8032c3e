#pragma once

#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>

#include <gtest/gtest.h>

#include "CliCommand.h"
#include "Schema.h"
#include "TestDatabase.h"

namespace vocaset::test {

// vocaset-cli run in-process in the folder of a working database of its own (the test target links
// vocaset_cli); standard output and error of the last run are left in out and err.
class CliFixture : public ::testing::Test
{
protected:
    // Writes ParamDB.txt naming the working database and a source, then fills the working database
    // from the source as "db create" does.
    void createFrom(const QString& sourceConnection)
    {
        QFile settings(working.dir() + QStringLiteral("/ParamDB.txt"));
        ASSERT_TRUE(settings.open(QIODevice::WriteOnly));
        settings.write((working.connectionString() + QStringLiteral("\r\n") + sourceConnection).toUtf8());
        settings.close();
        ASSERT_EQ(run({QStringLiteral("db"), QStringLiteral("create")}), cli::Ok) << err.toStdString();
    }

    // Gives the source the schema, its version and full rights for everyone, then the rows given as
    // "TABLE VALUES(...)".
    void seedSource(const QStringList& rows)
    {
        source.createSchema();
        source.db.execute(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('$$BASEVER', '$', '010142')"));
        source.db.execute(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('AUTHM', '*', '*')"));
        for (const QString& row : rows)
            source.db.execute(QStringLiteral("INSERT INTO ") + row);
    }

    int run(const QStringList& args)
    {
        out.clear();
        err.clear();
        QTextStream o(&out);
        QTextStream e(&err);
        return cli::runCli(args, o, e, working.dir(), interleaving);
    }

    // Every row of the tables a run fills (and of the history when asked and there), one line each
    // with its table, sorted: two states compare as wholes.
    QStringList rows(bool withHistory = false)
    {
        QStringList tables = Schema::copyOrder();
        if (withHistory && !working.db.columns(QStringLiteral("CHANGE_HISTORY")).isEmpty())
            tables.append(QStringLiteral("CHANGE_HISTORY"));
        QStringList out;
        for (const QString& table : std::as_const(tables)) {
            for (Recordset rs = working.db.execute(QStringLiteral("SELECT * FROM ") + table); !rs.eof();
                 rs.moveNext()) {
                QString line = table;
                for (int i = 0; i < rs.fieldCount(); ++i)
                    line += u'|' + rs.text(i);
                out << line;
            }
        }
        out.sort();
        return out;
    }

    // For the command line's own connection: an OtherOperator's hook, say.
    Database::InterleavingHook interleaving;

    TestDatabase working;
    TestDatabase source;
    QString out;
    QString err;
};

#ifdef VOCASET_DEMO_DB
// The same on a working database created from a copy of the demo source database (the test target
// defines VOCASET_DEMO_DB). Skipped when the demo is not built.
class DemoCli : public CliFixture
{
protected:
    void SetUp() override
    {
        const QString sourceFile = demoDir.filePath(QStringLiteral("source.db"));
        if (!QFile::copy(QStringLiteral(VOCASET_DEMO_DB), sourceFile))
            GTEST_SKIP() << "the demo source database has not been built: " << VOCASET_DEMO_DB;
        createFrom(QStringLiteral("Provider=SQLite;Data Source=") + sourceFile);
    }

    QTemporaryDir demoDir;
};
#endif

} // namespace vocaset::test
