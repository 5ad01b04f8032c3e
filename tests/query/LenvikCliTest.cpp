// lenvik without its window: options, output, exit codes, and the catalogue chosen by the name the
// executable is started under.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include "LenvikCommand.h"
#include "QueryFixture.h"
#include "XlsxReader.h"

using namespace vocaset;
using namespace vocaset::test;

namespace {

struct Cli
{
    Cli()
    {
        createCalls(t, sampleCalls());
        addQueryMessages(t);
        addCatalogue(t, QStringLiteral("calls"), QStringLiteral("CALLS"),
                     {QStringLiteral("CO_CODE"), QStringLiteral("CL_ID:COUNT"), QStringLiteral("CL_DATE"),
                      QStringLiteral("CL_COST"), QStringLiteral("NO_COLUMN")});
        settings = t.tdb.dir() + QStringLiteral("/ParamDB.txt");
        QFile file(settings);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(t.tdb.connectionString().toUtf8() + "\r\n");
    }
    int run(QStringList args, const QString& program = QStringLiteral("calls"))
    {
        out.clear();
        err.clear();
        QTextStream o(&out);
        QTextStream e(&err);
        return runLenvik(args << QStringLiteral("--settings") << settings, o, e, t.tdb.dir(), program);
    }

    TestSession t;
    QString settings;
    QString out;
    QString err;
};

} // namespace

TEST(LenvikCli, PrintsStatementHeaderAndRows)
{
    Cli c;
    ASSERT_EQ(c.run({QStringLiteral("--query"), QStringLiteral("--fields"), QStringLiteral("co_code,CL_ID"),
                     QStringLiteral("--set"), QStringLiteral("CO_CODE=<>O'N"), QStringLiteral("--set"),
                     QStringLiteral("CL_DATE=2024/01/0*")}),
              LenvikOk)
        << c.err.toStdString();
    const QStringList lines = c.out.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 4);
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("SELECT DISTINCT CO_CODE AS 0FLD, COUNT(CL_ID) AS 1FLD FROM CALLS "
                                                   "WHERE CO_CODE <> 'O''N' AND ")));
    EXPECT_EQ(lines[1], QStringLiteral("CO_CODE\tCL_ID"));
    // Calls of AC and BE with a date: 20 each, less the two of each without one.
    EXPECT_EQ(lines[2], QStringLiteral("AC\t18"));
    EXPECT_EQ(lines[3], QStringLiteral("BE\t18"));

    QTemporaryDir dir;
    const QString book = dir.filePath(QStringLiteral("calls.xlsx"));
    EXPECT_EQ(c.run({QStringLiteral("--query"), QStringLiteral("--fields"), QStringLiteral("CO_CODE,CL_COST"),
                     QStringLiteral("--export"), book}),
              LenvikOk);
    const XlsxReader r(book);
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.rows().size(), c.out.count(u'\n') - 1); // header and rows, as printed
    EXPECT_EQ(r.format(1, 1), QStringLiteral("# ##0.00"));
}

TEST(LenvikCli, ExitCodesNameTheProblem)
{
    Cli c;
    struct Case
    {
        QStringList args;
        int code;
        const char* says;
    };
    const QList<Case> cases = {
        {{}, LenvikUsage, "needs --query"},
        {{QStringLiteral("--query"), QStringLiteral("--catalogue"), QStringLiteral("a"), QStringLiteral("--catalogue"),
          QStringLiteral("b")},
         LenvikUsage,
         "--catalogue is given more than once"},
        {{QStringLiteral("--query"), QStringLiteral("--set"), QStringLiteral("NOPE=1")}, LenvikUsage, "No field NOPE"},
        {{QStringLiteral("--query"), QStringLiteral("--set"), QStringLiteral("CL_COST=1")},
         LenvikUsage,
         "has no filter"},
        {{QStringLiteral("--query"), QStringLiteral("--fields"), QStringLiteral("NO_COLUMN")},
         LenvikDatabaseFailed,
         "no_column"},
        {{QStringLiteral("--query"), QStringLiteral("--fields"), QStringLiteral("CO_CODE"), QStringLiteral("--export"),
          c.t.tdb.dir() + QStringLiteral("/none/x.xlsx")},
         LenvikRunFailed,
         "x.xlsx"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.says);
        EXPECT_EQ(c.run(k.args), k.code);
        EXPECT_TRUE(c.err.contains(QLatin1String(k.says), Qt::CaseInsensitive)) << c.err.toStdString();
    }
    EXPECT_EQ(c.run({QStringLiteral("--query")}, QStringLiteral("other")), LenvikRunFailed);
    EXPECT_TRUE(c.err.contains(QStringLiteral("Paramètre Table Inexistante")));
    c.settings += u'x';
    EXPECT_EQ(c.run({QStringLiteral("--query")}), LenvikUsage);
}

TEST(LenvikCli, TheNameStartedUnderChoosesTheCatalogue)
{
    Cli c;
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("calls"));
    ASSERT_TRUE(QFile::link(QStringLiteral(LENVIK_PATH), link));
    QProcess p;
    p.start(link, {QStringLiteral("--query"), QStringLiteral("--fields"), QStringLiteral("CO_CODE"),
                   QStringLiteral("--settings"), c.settings});
    ASSERT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(p.exitCode(), LenvikOk) << p.readAllStandardError().toStdString();
    EXPECT_EQ(
        QString::fromUtf8(p.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts).mid(1),
        (QStringList{QStringLiteral("CO_CODE"), QStringLiteral("AC"), QStringLiteral("BE"), QStringLiteral("O'N")}));
}

// The query tool reads only an existing database: a mistyped name, or one a NUL would cut short,
// is the open failure and leaves no new file behind; settings that are no plain file are refused.
TEST(LenvikCli, OpensOnlyAnExistingDatabase)
{
    Cli c;
    QTemporaryDir dir;
    for (const QByteArray& name : {QByteArray("missing.db"), QByteArray("voca\0set.db", 11)}) {
        QFile settings(c.settings);
        ASSERT_TRUE(settings.open(QIODevice::WriteOnly));
        settings.write("Provider=SQLite;Data Source=" + QFile::encodeName(dir.path()) + '/' + name + "\r\n");
        settings.close();
        EXPECT_EQ(c.run({QStringLiteral("--query")}), LenvikDatabaseFailed);
        EXPECT_TRUE(c.err.contains(QStringLiteral("Open Database Failed : Provider=SQLite;Data Source=")))
            << c.err.toStdString();
        EXPECT_TRUE(QDir(dir.path()).isEmpty()) << QDir(dir.path()).entryList().join(u' ').toStdString();
    }
    c.settings = QStringLiteral("/dev/zero");
    EXPECT_EQ(c.run({QStringLiteral("--query")}), LenvikUsage);
    EXPECT_TRUE(c.err.contains(QStringLiteral("/dev/zero"))) << c.err.toStdString();
}

// Two catalogue fields on one column are told apart by COLUMN:KIND, in --fields and in --set; a
// bare name is the column shown as it is.
TEST(LenvikCli, ColumnAndKindPickAmongFieldsOfOneColumn)
{
    Cli c;
    addCatalogue(c.t, QStringLiteral("dup"), QStringLiteral("CALLS"),
                 {QStringLiteral("CO_CODE"), QStringLiteral("CL_SECS:SUM"), QStringLiteral("CL_SECS"),
                  QStringLiteral("CL_NUM:SUB(1,3)"), QStringLiteral("CL_NUM")});
    const auto query = [&](const QStringList& args) {
        return c.run(QStringList{QStringLiteral("--query"), QStringLiteral("--catalogue"), QStringLiteral("dup")} +
                     args);
    };
    const std::pair<QStringList, const char*> picks[] = {
        {{QStringLiteral("--fields"), QStringLiteral("CO_CODE,CL_SECS")},
         "SELECT DISTINCT CO_CODE AS 0FLD, CL_SECS AS 2FLD FROM"},
        {{QStringLiteral("--fields"), QStringLiteral("cl_secs:sum")}, "SELECT DISTINCT SUM(CL_SECS) AS 1FLD FROM"},
        {{QStringLiteral("--fields"), QStringLiteral("CL_NUM:SUB(1,3),CL_NUM")},
         "SUBSTRING(CL_NUM, 1, 3) AS 3FLD, CL_NUM AS 4FLD FROM"},
        {{QStringLiteral("--fields"), QStringLiteral("CO_CODE"), QStringLiteral("--set"),
          QStringLiteral("CL_NUM:SUB(1,3)=041")},
         "WHERE SUBSTRING(CL_NUM, 1, 3) = '041'"},
    };
    for (const auto& [args, statement] : picks) {
        EXPECT_EQ(query(args), LenvikOk) << c.err.toStdString();
        EXPECT_TRUE(c.out.section(u'\n', 0, 0).contains(QLatin1String(statement)))
            << c.out.section(u'\n', 0, 0).toStdString();
    }
    for (const QString& unknown :
         {QStringLiteral("CL_SECS:AVG"), QStringLiteral("CL_NUM:SUB(2,3)"), QStringLiteral("CL_SECS:MAX")}) {
        EXPECT_EQ(query({QStringLiteral("--fields"), unknown}), LenvikUsage);
        EXPECT_TRUE(c.err.contains(QStringLiteral("No field ") + unknown)) << c.err.toStdString();
    }
}
