// vocaset-cli config: the editor's tabs, passwords, lookups and checks without a window, on a working
// database created from the demo source.

#include <QFile>
#include <QTextStream>

#include <gtest/gtest.h>

#include "CliCommand.h"
#include "DemoCli.h"
#include "EditorFixture.h"

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
}

TEST_F(ConfigCli, PasswordsDecideTheRows)
{
    const QStringList settings = {QStringLiteral("SYSTEM_PARAMETERS"), QStringLiteral("SY_CODE=$$TABS")};
    EXPECT_EQ(config("list", settings), cli::RunFailed) << "no terminal, no password";
    ASSERT_EQ(config("list", settings + QStringList{QStringLiteral("--password"), QStringLiteral("settings")}),
              cli::Ok);
    EXPECT_EQ(out.count(u'\n'), 1) << "the system rows are not listed with the first password";
    ASSERT_EQ(config("list", settings + QStringList{QStringLiteral("--password"), QStringLiteral("vocaset-admin")}),
              cli::Ok);
    EXPECT_GT(out.count(u'\n'), 10);
}

} // namespace
} // namespace vocaset::test
