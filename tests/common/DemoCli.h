#pragma once

#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>

#include <gtest/gtest.h>

#include "CliCommand.h"
#include "TestDatabase.h"

namespace vocaset::test {

// vocaset-cli run in-process on a working database created from a copy of the demo source database
// (the test target defines VOCASET_DEMO_DB and links vocaset_cli). Skipped when the demo is not built.
class DemoCli : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const QString sourceFile = demoDir.filePath(QStringLiteral("source.db"));
        if (!QFile::copy(QStringLiteral(VOCASET_DEMO_DB), sourceFile))
            GTEST_SKIP() << "the demo source database has not been built: " << VOCASET_DEMO_DB;
        QFile settings(working.dir() + QStringLiteral("/ParamDB.txt"));
        ASSERT_TRUE(settings.open(QIODevice::WriteOnly));
        settings.write(
            (working.connectionString() + QStringLiteral("\r\nProvider=SQLite;Data Source=") + sourceFile).toUtf8());
        settings.close();
        ASSERT_EQ(run({QStringLiteral("db"), QStringLiteral("create")}), cli::Ok) << err.toStdString();
    }

    // Standard output and error of the run are left in out and err.
    int run(const QStringList& args)
    {
        out.clear();
        err.clear();
        QTextStream o(&out);
        QTextStream e(&err);
        return cli::runCli(args, o, e, working.dir());
    }

    QTemporaryDir demoDir;
    TestDatabase working;
    QString out;
    QString err;
};

} // namespace vocaset::test
