// Renaming a company, a model or a telephone on a copy of the demo database: every row and setting
// that names the code follows it in one go, and a refused rename changes nothing.

#include <numeric>

#include <gtest/gtest.h>

#include "CodeRename.h"
#include "EditorFixture.h"
#include "Interleaving.h"
#include "Schema.h"

namespace vocaset::test {
namespace {

class RenameTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!d.ready)
            GTEST_SKIP() << "the demo source database has not been built";
        d.s.language = QStringLiteral("EN");
    }
    // Rows of a table whose column holds the value.
    int rows(const char* table, const char* column, const QString& value)
    {
        return d.count(QStringLiteral("SELECT * FROM %1 WHERE %2 = '%3'")
                           .arg(QLatin1String(table), QLatin1String(column), sqlText(value)));
    }
    void addSetting(const QString& code, const QString& subCode, const QString& value)
    {
        d.exec(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('%1', '%2', '%3')").arg(code, subCode, value));
    }
    QString setting(const QString& code, const char* subCode)
    {
        const Recordset rs =
            d.tdb.db.execute(QStringLiteral("SELECT SY_VALUE FROM SYSTEM_PARAMETERS WHERE SY_CODE = '") +
                             sqlText(code) + QStringLiteral("' AND SY_SUBCODE = '") + QLatin1String(subCode) + u'\'');
        return rs.eof() ? QStringLiteral("<none>") : rs.text(0);
    }
    // Every row of every table, in key order: what "nothing changed" compares.
    QString everything()
    {
        QString all;
        for (const QString& table : Schema::copyOrder()) {
            Recordset rs =
                d.tdb.db.execute(QStringLiteral("SELECT * FROM ") + table + QStringLiteral(" ORDER BY 1, 2"));
            for (const QVariantList& row : rs.rows())
                for (const QVariant& v : row)
                    all += v.toString() + u'|';
        }
        return all;
    }

    DemoData d;
};

TEST_F(RenameTest, EveryRowAndSettingThatNamesTheCodeFollowsIt)
{
    // A company the telephones of which use ranges, a phone book and settings of every kind.
    addSetting(QStringLiteral("OHARA"), QStringLiteral("$$PROVAUTH"), QStringLiteral("secret"));
    d.exec(QStringLiteral("UPDATE SYSTEM_PARAMETERS SET SY_VALUE = 'YYY' WHERE SY_CODE = 'OHARAPAP2' AND "
                          "SY_SUBCODE = '$$DEFGEN'"));
    const QString folder = setting(QStringLiteral("OHARAGXP2000"), "$$GENPATH");
    const char* const companyTables[] = {"COMPANY",   "RANGES", "PHONES", "PHONES_PARAMETERS", "COMPANY_PARAMETERS",
                                         "PHONE_BOOK"};
    QList<int> before;
    for (const char* table : companyTables)
        before.append(rows(table, "CO_CODE", QStringLiteral("OHARA")));
    ASSERT_GT(before[2], 0);
    ASSERT_GT(before[5], 0);

    const RenameRequest company{RenameRequest::Company, QStringLiteral("OHARA"), QStringLiteral("OH2")};
    const RenamePlan plan = planRename(d.s, company);
    ASSERT_TRUE(plan.refusal.isEmpty()) << plan.refusal.toStdString();
    const RenamePlan done = renameCode(d.s, company);
    EXPECT_EQ(done.total(), plan.total());
    int settings = 0;
    for (const RenamePlan::Rows& r : done.rows)
        settings += r.table == u"SYSTEM_PARAMETERS" ? r.count : 0;
    EXPECT_EQ(plan.total(), std::accumulate(before.begin(), before.end(), 0) + settings);
    for (int i = 0; i < int(before.size()); ++i) {
        EXPECT_EQ(rows(companyTables[i], "CO_CODE", QStringLiteral("OHARA")), 0) << companyTables[i];
        EXPECT_EQ(rows(companyTables[i], "CO_CODE", QStringLiteral("OH2")), before[i]) << companyTables[i];
    }
    EXPECT_EQ(setting(QStringLiteral("OH2GXP2000"), "$$GENPATH"), folder);
    EXPECT_EQ(setting(QStringLiteral("OH2PAP2"), "$$DEFGEN"), QStringLiteral("YYY"));
    EXPECT_EQ(setting(QStringLiteral("OH2"), "$$PROVAUTH"), QStringLiteral("secret"));
    EXPECT_EQ(setting(QStringLiteral("OHARAGXP2000"), "$$GENPATH"), QStringLiteral("<none>"));

    // A model: its catalogue, the values and telephones that use it, its reboot and folder settings.
    const char* const modelTables[] = {"EQUIPMENT", "PHONES", "EQUIPMENT_PARAMETERS", "COMPANY_PARAMETERS",
                                       "PHONES_PARAMETERS"};
    before.clear();
    for (const char* table : modelTables)
        before.append(rows(table, "EQ_CODE", QStringLiteral("GXP2000")));
    const QString address = setting(QStringLiteral("$$GXP2000"), "$$IP1");
    ASSERT_TRUE(renameCode(d.s, {RenameRequest::Model, QStringLiteral("GXP2000"), QStringLiteral("GXP2100")})
                    .refusal.isEmpty());
    for (int i = 0; i < int(before.size()); ++i) {
        EXPECT_EQ(rows(modelTables[i], "EQ_CODE", QStringLiteral("GXP2000")), 0) << modelTables[i];
        EXPECT_EQ(rows(modelTables[i], "EQ_CODE", QStringLiteral("GXP2100")), before[i]) << modelTables[i];
    }
    EXPECT_EQ(setting(QStringLiteral("$$GXP2100"), "$$IP1"), address);
    EXPECT_EQ(setting(QStringLiteral("OH2GXP2100"), "$$GENPATH"), folder);
    EXPECT_EQ(setting(QStringLiteral("ALPINGXP2100"), "$$GENPATH"), QStringLiteral("output/ALPIN/GXP2000/config"));

    // A telephone: its values follow; its new code joins the range, the old one stays free there.
    const int values =
        d.count(QStringLiteral("SELECT * FROM PHONES_PARAMETERS WHERE CO_CODE = 'ALPIN' AND PH_CODE = '201'"));
    ASSERT_GT(values, 0);
    ASSERT_EQ(rows("RANGES", "PH_CODE", QStringLiteral("299")), 0);
    ASSERT_TRUE(renameCode(d.s, {RenameRequest::Telephone, QStringLiteral("201"), QStringLiteral("299"),
                                 QStringLiteral("ALPIN")})
                    .refusal.isEmpty());
    EXPECT_EQ(d.count(QStringLiteral("SELECT * FROM PHONES_PARAMETERS WHERE CO_CODE = 'ALPIN' AND PH_CODE = '299'")),
              values);
    EXPECT_EQ(d.count(QStringLiteral("SELECT * FROM PHONES WHERE CO_CODE = 'ALPIN' AND PH_CODE IN ('201', '299')")), 1);
    EXPECT_EQ(d.count(QStringLiteral("SELECT * FROM RANGES WHERE CO_CODE = 'ALPIN' AND PH_CODE IN ('201', '299')")), 2);
}

// Every settings row keyed on the code follows it: those of the company alone, of the company and a
// model joined, of "$$" and the model.
TEST_F(RenameTest, EverySettingKeyedOnTheCodeFollowsIt)
{
    const QStringList pair = {QStringLiteral("$$GENPATH"), QStringLiteral("$$DEFGEN"), QStringLiteral("$$PBGEN"),
                              QStringLiteral("$$PBIMP")};
    const struct
    {
        RenameRequest request;
        QList<std::pair<QString, QString>> keys; // code before and after the rename, keyed with each of its keys
        QStringList subCodes;
    } cases[] = {
        {{RenameRequest::Company, QStringLiteral("ALPIN"), QStringLiteral("AL2")},
         {{QStringLiteral("ALPIN"), QStringLiteral("AL2")}},
         {QStringLiteral("$$PBExp"), QStringLiteral("$$PROVAUTH")}},
        {{RenameRequest::Company, QStringLiteral("AL2"), QStringLiteral("AL3")},
         {{QStringLiteral("AL2GXP2000"), QStringLiteral("AL3GXP2000")}},
         pair},
        {{RenameRequest::Model, QStringLiteral("GXP2000"), QStringLiteral("GX2")},
         {{QStringLiteral("OHARAGXP2000"), QStringLiteral("OHARAGX2")}},
         pair},
        {{RenameRequest::Model, QStringLiteral("GX2"), QStringLiteral("GX3")},
         {{QStringLiteral("$$GX2"), QStringLiteral("$$GX3")}},
         {QStringLiteral("$$IP1"), QStringLiteral("$$IP2"), QStringLiteral("$$IP3"), QStringLiteral("$$IP4"),
          QStringLiteral("$$EPWD")}},
    };
    // Each row exists before the renames, with a value of its own.
    for (const auto& [company, model] : {std::pair{"ALPIN", "GXP2000"}, std::pair{"OHARA", "GXP2000"}}) {
        for (const QString& key : pair) {
            const QString code = QLatin1String(company) + QLatin1String(model);
            if (setting(code, key.toLatin1().constData()) == u"<none>")
                addSetting(code, key, key + code);
        }
    }
    for (const char* key : {"$$PBExp", "$$PROVAUTH"}) {
        if (setting(QStringLiteral("ALPIN"), key) == u"<none>")
            addSetting(QStringLiteral("ALPIN"), QLatin1String(key), QLatin1String(key));
    }
    for (const char* key : {"$$IP1", "$$IP2", "$$IP3", "$$IP4", "$$EPWD"}) {
        if (setting(QStringLiteral("$$GXP2000"), key) == u"<none>")
            addSetting(QStringLiteral("$$GXP2000"), QLatin1String(key), QLatin1String(key));
    }
    for (const auto& c : cases) {
        QStringList before;
        for (const auto& [from, to] : c.keys)
            for (const QString& key : c.subCodes)
                before.append(setting(from, key.toLatin1().constData()));
        const RenamePlan done = renameCode(d.s, c.request);
        ASSERT_TRUE(done.refusal.isEmpty()) << done.refusal.toStdString();
        QStringList after;
        for (const auto& [from, to] : c.keys) {
            for (const QString& key : c.subCodes) {
                after.append(setting(to, key.toLatin1().constData()));
                EXPECT_EQ(setting(from, key.toLatin1().constData()), QStringLiteral("<none>"))
                    << from.toStdString() << ' ' << key.toStdString();
            }
        }
        EXPECT_EQ(after, before) << c.request.from.toStdString();
        EXPECT_FALSE(before.contains(QStringLiteral("<none>")));
    }
}

TEST_F(RenameTest, ARefusedRenameChangesNothingAndSaysWhy)
{
    // Settings rows of the new key exist already; a range and phone-book entry name a company that
    // does not exist.
    addSetting(QStringLiteral("NEWGXP2000"), QStringLiteral("$$GENPATH"), QStringLiteral("x"));
    d.exec(QStringLiteral("INSERT INTO RANGES VALUES('GHOST', '1')"));
    using R = RenameRequest;
    struct Case
    {
        RenameRequest request;
        const char* says;
    };
    const QList<Case> cases = {
        {{R::Company, QStringLiteral("ALPIN"), QStringLiteral("OHARA")}, "OHARA (COMPANY) is used already"},
        {{R::Company, QStringLiteral("ALPIN"), QStringLiteral("GHOST")}, "GHOST (RANGES) is used already"},
        {{R::Company, QStringLiteral("ALPIN"), QStringLiteral("NEW")}, "NEWGXP2000 $$GENPATH (SYSTEM_PARAMETERS)"},
        {{R::Company, QStringLiteral("ALPIN"), QStringLiteral("TOOLONG")}, "CO_CODE"},
        {{R::Company, QStringLiteral("ALPIN"), QStringLiteral("A/B")}, "cannot name a file"},
        {{R::Company, QStringLiteral("ALPIN"), QStringLiteral("..")}, "cannot name a file"},
        {{R::Company, QStringLiteral("ALPIN"), QStringLiteral("A:B")}, "cannot name a file"},
        {{R::Company, QStringLiteral("ALPIN"), QStringLiteral(" AB")}, "cannot name a file"},
        {{R::Company, QStringLiteral("ALPIN"), QStringLiteral("A\nB")}, "cannot name a file"},
        {{R::Company, QStringLiteral("ALPIN"), QString()}, "cannot name a file"},
        {{R::Company, QStringLiteral("ALPIN"), QStringLiteral("$$AB")}, "CO_CODE"},
        {{R::Company, QStringLiteral("ALPIN"), QStringLiteral("ALPIN")}, "nothing to rename"},
        {{R::Company, QStringLiteral("NOONE"), QStringLiteral("AB")}, "no company NOONE"},
        {{R::Model, QStringLiteral("GXP2000"), QStringLiteral("PAP2")}, "PAP2 (EQUIPMENT) is used already"},
        {{R::Model, QStringLiteral("GXP2000"), QStringLiteral("GXP2000-LONG")}, "EQ_CODE"},
        {{R::Model, QStringLiteral("NOPE"), QStringLiteral("X")}, "no model NOPE"},
        {{R::Telephone, QStringLiteral("201"), QStringLiteral("202"), QStringLiteral("ALPIN")}, "ALPIN 202 (PHONES)"},
        {{R::Telephone, QStringLiteral("201"), QStringLiteral("123456"), QStringLiteral("ALPIN")}, "PH_CODE"},
        {{R::Telephone, QStringLiteral("201"), QStringLiteral("299"), QStringLiteral("OHARA")},
         "no telephone OHARA 201"},
    };
    const QString before = everything();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.request.to.toStdString());
        const RenamePlan plan = renameCode(d.s, c.request);
        EXPECT_TRUE(plan.refusal.contains(QLatin1String(c.says), Qt::CaseInsensitive)) << plan.refusal.toStdString();
        EXPECT_TRUE(plan.rows.isEmpty() || !plan.refusal.isEmpty());
    }
    EXPECT_EQ(everything(), before);
}

// A key that a company and a model make joined may be another pair's key too: that pair keeps it.
TEST_F(RenameTest, ASettingsKeyTwoPairsShareIsCopied)
{
    for (const char* co : {"AB", "ABC"})
        d.exec(QStringLiteral("INSERT INTO COMPANY VALUES('%1', 'x')").arg(QLatin1String(co)));
    for (const char* eq : {"CD", "D"})
        d.exec(QStringLiteral("INSERT INTO EQUIPMENT VALUES('%1', 'x', 'NONE')").arg(QLatin1String(eq)));
    addSetting(QStringLiteral("ABCD"), QStringLiteral("$$GENPATH"), QStringLiteral("shared"));
    ASSERT_TRUE(
        renameCode(d.s, {RenameRequest::Company, QStringLiteral("AB"), QStringLiteral("AX")}).refusal.isEmpty());
    EXPECT_EQ(setting(QStringLiteral("AXCD"), "$$GENPATH"), QStringLiteral("shared"));
    EXPECT_EQ(setting(QStringLiteral("ABCD"), "$$GENPATH"), QStringLiteral("shared")) << "ABC with D still reads it";
}

// From its check to its commit a rename holds the row it renames: another operator's change of it
// in the meantime waits (here: is refused after its short wait), so the rename never
// reports, nor records in the history, a change it did not make.
TEST_F(RenameTest, TheRenamedRowIsHeldFromTheCheckToTheCommit)
{
    using R = RenameRequest;
    const struct
    {
        RenameRequest request;
        QString other;
        QString renamed;
    } cases[] = {
        {{R::Telephone, QStringLiteral("201"), QStringLiteral("299"), QStringLiteral("ALPIN")},
         QStringLiteral("UPDATE PHONES SET PH_DESC = 'by bob' WHERE CO_CODE = 'ALPIN' AND PH_CODE = '201'"),
         QStringLiteral("SELECT * FROM PHONES WHERE CO_CODE = 'ALPIN' AND PH_CODE = '299' AND PH_DESC <> 'by bob'")},
        {{R::Model, QStringLiteral("PAP2"), QStringLiteral("PAP2B")},
         QStringLiteral("UPDATE EQUIPMENT SET EQ_DESC = 'by bob' WHERE EQ_CODE = 'PAP2'"),
         QStringLiteral("SELECT * FROM EQUIPMENT WHERE EQ_CODE = 'PAP2B' AND EQ_DESC <> 'by bob'")},
        {{R::Company, QStringLiteral("OHARA"), QStringLiteral("OHR")},
         QStringLiteral("UPDATE COMPANY SET CO_DESC = 'by bob' WHERE CO_CODE = 'OHARA'"),
         QStringLiteral("SELECT * FROM COMPANY WHERE CO_CODE = 'OHR' AND CO_DESC <> 'by bob'")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.other.toStdString());
        OtherOperator other(d.tdb);
        QString refusal;
        other.at(QStringLiteral("rename.read"), [&] { refusal = other.attempt(c.other); });
        const RenamePlan plan = renameCode(d.s, c.request);
        EXPECT_EQ(plan.refusal, QString());
        EXPECT_TRUE(OtherOperator::lockedOut(refusal)) << refusal.toStdString();
        EXPECT_EQ(d.count(c.renamed), 1);
        EXPECT_EQ(d.count(QStringLiteral("SELECT * FROM CHANGE_HISTORY WHERE HI_TABLE = '%1' AND HI_NEW = '%2'")
                              .arg(renamedTable(c.request.kind), c.request.to)),
                  1);
    }
}

} // namespace
} // namespace vocaset::test
