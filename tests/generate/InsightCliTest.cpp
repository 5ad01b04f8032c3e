// vocaset-cli explain and generate --dry-run on a working database created from the demo source.

#include <QDir>

#include "DemoCli.h"

namespace vocaset::test {
namespace {

class InsightCli : public DemoCli
{
protected:
    int explain(const QStringList& more = {})
    {
        return run(QStringList{QStringLiteral("explain"), QStringLiteral("--company"), QStringLiteral("ALPIN"),
                               QStringLiteral("--phone"), QStringLiteral("202")} +
                   more);
    }
    int generate(const QStringList& more = {})
    {
        return run(QStringList{QStringLiteral("generate"), QStringLiteral("--company"), QStringLiteral("ALPIN"),
                               QStringLiteral("--model"), QStringLiteral("GXP2000"), QStringLiteral("--out"),
                               folder.path()} +
                   more);
    }
    QStringList lines() const { return out.split(u'\n', Qt::SkipEmptyParts); }
    int catalogueSize()
    {
        return working.db.execute(QStringLiteral("SELECT * FROM EQUIPMENT_PARAMETERS WHERE EQ_CODE = 'GXP2000'"))
            .count();
    }

    QTemporaryDir folder;
};

TEST_F(InsightCli, ExplainPrintsEveryParameterWithSecretsMaskedAndFailsWhenTheRunWouldRefuse)
{
    ASSERT_EQ(explain(), cli::Ok) << err.toStdString();
    QStringList text = lines();
    EXPECT_TRUE(text.first().startsWith(QStringLiteral("Telephone ALPIN/202 Anna Berger, MAC 000B82EE69AF, model "
                                                       "GXP2000, levels PCE, file cfg000B82EE69AF")))
        << text.first().toStdString();
    EXPECT_EQ(text.size(), catalogueSize() + 1);
    EXPECT_TRUE(text.contains(QStringLiteral("34 Telephone's own SIP password [P]: *** from P")));
    EXPECT_TRUE(text.contains(QStringLiteral("35 SIP user ID of account 1 [C]: \"202\" from C, raw \"$$P\"")));
    EXPECT_FALSE(out.contains(QStringLiteral("LrTvJaVfGUuD")));
    EXPECT_TRUE(err.endsWith(QStringLiteral(" with a value: the run writes cfg000B82EE69AF\n"))) << err.toStdString();

    ASSERT_EQ(
        explain({QStringLiteral("--format"), QStringLiteral("tsv"), QStringLiteral("--levels"), QStringLiteral("pe")}),
        cli::Ok);
    text = lines();
    EXPECT_EQ(text.first(), QStringLiteral("code\tdescription\tcatalogue level\tvalue\tlevel\traw value\tnote"));
    EXPECT_TRUE(text.contains(QStringLiteral("34\tTelephone's own SIP password\tP\t***\tP\t\t")));
    EXPECT_TRUE(text.contains(
        QStringLiteral("35\tSIP user ID of account 1\tC\t\t\t\tits value is at level C, which is not chosen")));
    ASSERT_EQ(explain({QStringLiteral("--show-secrets")}), cli::Ok);
    EXPECT_TRUE(out.contains(QStringLiteral("34 Telephone's own SIP password [P]: \"LrTvJaVfGUuD\" from P")));

    // A company value stored again for the telephone: the run would stop there.
    working.db.execute(QStringLiteral("INSERT INTO PHONES_PARAMETERS VALUES('ALPIN', 'GXP2000', '202', '47', 'x')"));
    EXPECT_EQ(explain(), cli::RunFailed);
    EXPECT_TRUE(
        out.contains(QStringLiteral("-- Telephone ALPIN/202: parameter 47 comes from level C and from level P")));
    EXPECT_TRUE(err.endsWith(QStringLiteral("the run stops at this telephone\n"))) << err.toStdString();

    EXPECT_EQ(run({QStringLiteral("explain"), QStringLiteral("--company"), QStringLiteral("ALPIN"),
                   QStringLiteral("--phone"), QStringLiteral("999")}),
              cli::Usage);
    EXPECT_TRUE(err.contains(QStringLiteral("No telephone ALPIN/999")));
    EXPECT_EQ(explain({QStringLiteral("--format"), QStringLiteral("xml")}), cli::Usage);
    EXPECT_EQ(explain({QStringLiteral("--levels"), QStringLiteral("x")}), cli::Usage);
}

TEST_F(InsightCli, DryRunListsWhatGenerateWouldChangeAndWritesNothing)
{
    ASSERT_EQ(generate({QStringLiteral("--dry-run")}), cli::Ok) << err.toStdString();
    EXPECT_TRUE(QDir(folder.path()).isEmpty());
    EXPECT_EQ(lines().size(), 10);
    EXPECT_TRUE(out.startsWith(QStringLiteral("201 Reception: cfg000B82E79E4A new, ")));
    EXPECT_EQ(err,
              QStringLiteral("10 telephone(s) selected: 0 unchanged, 10 new, 0 changed, 0 refused; nothing written\n"));

    ASSERT_EQ(generate(), cli::Ok);
    working.db.execute(QStringLiteral("UPDATE PHONES_PARAMETERS SET PA_VALUE = 'secret2' WHERE CO_CODE = 'ALPIN' AND "
                                      "PH_CODE = '202' AND PA_CODE = '34'"));
    working.db.execute(QStringLiteral("UPDATE PHONES SET PH_MAC = 'none' WHERE CO_CODE = 'ALPIN' AND PH_CODE = '210'"));
    EXPECT_EQ(generate({QStringLiteral("--dry-run"), QStringLiteral("--from"), QStringLiteral("202"),
                        QStringLiteral("--to"), QStringLiteral("210")}),
              cli::RunFailed);
    EXPECT_EQ(lines().first(), QStringLiteral("202 Anna Berger: cfg000B82EE69AF changed: 34 *** \u2192 ***"));
    EXPECT_EQ(err, QStringLiteral("9 telephone(s) selected: 7 unchanged, 0 new, 1 changed, 1 refused (210); nothing "
                                  "written\n"));
    ASSERT_EQ(generate({QStringLiteral("--dry-run"), QStringLiteral("--show-secrets"), QStringLiteral("--from"),
                        QStringLiteral("202"), QStringLiteral("--to"), QStringLiteral("202")}),
              cli::Ok);
    EXPECT_EQ(out,
              QStringLiteral("202 Anna Berger: cfg000B82EE69AF changed: 34 \"LrTvJaVfGUuD\" \u2192 \"secret2\"\n"));
    EXPECT_EQ(generate({QStringLiteral("--show-secrets")}), cli::Usage);
}

} // namespace
} // namespace vocaset::test
