#include <future>
#include <thread>

#include <QDeadlineTimer>

#include <gtest/gtest.h>

#include "Interleaving.h"
#include "Schema.h"
#include "SchemaUpgrade.h"
#include "TestDatabase.h"

using namespace vocaset;
using vocaset::test::OtherOperator;
using vocaset::test::ScriptedOperator;
using vocaset::test::TestSession;

namespace {

// The tables as a release before 1.1.10 made them: no writer module, a phone book without its
// contact columns, and value tables whose catalogue keys do not cascade.
void createOldShape(TestSession& t, bool withModuleColumn)
{
    for (QString statement : Schema::createStatements()) {
        if (!withModuleColumn)
            statement.replace(QStringLiteral(", EQ_MODULE nvarchar(20) NOT NULL "), QString());
        if (statement.startsWith(QStringLiteral("CREATE TABLE PHONE_BOOK")))
            statement = QStringLiteral("CREATE TABLE PHONE_BOOK (CO_CODE nvarchar(5), BK_NUM nvarchar(50), BK_NAME nvarchar(50) "
                                       "NOT NULL , BK_FLAG nvarchar(1) NOT NULL , PRIMARY KEY (CO_CODE, BK_NUM), CONSTRAINT "
                                       "FK_PHOBOO_CRF FOREIGN KEY (BK_FLAG) REFERENCES CREATION_FLAGS(FL_CODE) ON UPDATE CASCADE)");
        statement.replace(QStringLiteral("REFERENCES EQUIPMENT_PARAMETERS(EQ_CODE, PA_CODE) ON UPDATE CASCADE"),
                          QStringLiteral("REFERENCES EQUIPMENT_PARAMETERS(EQ_CODE, PA_CODE)"));
        t.exec(statement);
    }
    t.exec(QStringLiteral("INSERT INTO CREATION_FLAGS VALUES('V', 'Valid', 'N')"));
    t.exec(QStringLiteral("INSERT INTO LEVELS VALUES('P', 'Phone')"));
    t.exec(QStringLiteral("INSERT INTO TYPES VALUES('S', 'Text')"));
    t.exec(QStringLiteral("INSERT INTO COMPANY VALUES('AC', 'Acme')"));
    const QString eq = withModuleColumn ? QStringLiteral("', '')") : QStringLiteral("')");
    for (const QString& code : {QStringLiteral("GXP2000"), QStringLiteral("PAP2"), QStringLiteral("OLD1")})
        t.exec(QStringLiteral("INSERT INTO EQUIPMENT VALUES('") + code + QStringLiteral("', 'model") + eq);
    t.exec(QStringLiteral("INSERT INTO EQUIPMENT_PARAMETERS VALUES('PAP2', 'Static_Ip', 'Address', 'P', '', 'S', '')"));
    t.exec(QStringLiteral("INSERT INTO EQUIPMENT_PARAMETERS VALUES('PAP2', 'User_Id_1_', 'User', 'P', '', 'S', '')"));
    t.exec(QStringLiteral("INSERT INTO RANGES VALUES('AC', '100')"));
    t.exec(QStringLiteral("INSERT INTO PHONES VALUES('AC', '100', 'PAP2', 'Desk', '00AABBCCDDEE')"));
    t.exec(QStringLiteral("INSERT INTO PHONES_PARAMETERS VALUES('AC', 'PAP2', '100', 'Static_Ip', '10.0.0.5')"));
    t.exec(QStringLiteral("INSERT INTO COMPANY_PARAMETERS VALUES('AC', 'PAP2', 'User_Id_1_', 'sip$$P')"));
    t.exec(QStringLiteral("INSERT INTO PHONE_BOOK VALUES('AC', '555', 'Ann', 'V')"));
    // Settings of the old form: a lookup outside the "$$" space, reboot keys without the prefix.
    t.exec(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('COMPANY', 'L_CO_CODE', 'SELECT CO_CODE FROM COMPANY')"));
    t.exec(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('$$PHONES', 'L_EQ_CODE', 'SELECT EQ_CODE FROM EQUIPMENT')"));
    t.exec(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('GXP2000', '$$EPWD', 'P2')"));
    t.exec(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('GXP2000', '$$IP1', 'P9')"));
    t.exec(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('PAP2', '$$IP1', 'Static_Ip')"));
}

QString setting(TestSession& t, const QString& code, const QString& sub)
{
    const Recordset rs = t.tdb.db.execute(QStringLiteral("SELECT SY_VALUE FROM SYSTEM_PARAMETERS WHERE SY_CODE = '") + code +
                                          QStringLiteral("' AND SY_SUBCODE = '") + sub + u'\'');
    return rs.eof() ? QStringLiteral("<none>") : rs.text(0);
}

} // namespace

TEST(Upgrade, FromAnUnversionedDatabaseRunsEveryStepInOrder)
{
    TestSession t(false);
    createOldShape(t, false);
    const UpgradeReport r = upgradeSchema(t.s);
    EXPECT_EQ(t.op.messages, QStringList{QStringLiteral("Update From 000000 To 010142")});
    EXPECT_EQ(r.stepsRun, (QStringList{QStringLiteral("010110"), QStringLiteral("010120"), QStringLiteral("010130"),
                                       QStringLiteral("010140")}));
    EXPECT_EQ(setting(t, QStringLiteral("$$BASEVER"), QStringLiteral("$")), QStringLiteral("010142"));
    // 010110: writer modules.
    EXPECT_EQ(t.value(QStringLiteral("SELECT EQ_MODULE FROM EQUIPMENT WHERE EQ_CODE = 'GXP2000'")), QStringLiteral("GRANDSTREAM"));
    EXPECT_EQ(t.value(QStringLiteral("SELECT EQ_MODULE FROM EQUIPMENT WHERE EQ_CODE = 'OLD1'")), QStringLiteral("NONE"));
    EXPECT_EQ(t.count(QStringLiteral("SELECT * FROM SYSTEM_PARAMETERS WHERE SY_CODE = '$$MODULES'")), 3);
    // 010120: lookups move into the "$$" space once.
    EXPECT_EQ(setting(t, QStringLiteral("$$COMPANY"), QStringLiteral("L_CO_CODE")), QStringLiteral("SELECT CO_CODE FROM COMPANY"));
    EXPECT_EQ(t.count(QStringLiteral("SELECT * FROM SYSTEM_PARAMETERS WHERE SY_SUBCODE = 'L_EQ_CODE' AND SY_CODE = '$$PHONES'")), 1);
    // 010130: contact columns, seeds, and the renames carried by the new cascades.
    EXPECT_EQ(t.value(QStringLiteral("SELECT BK_MAIL FROM PHONE_BOOK")), QString());
    EXPECT_EQ(setting(t, QStringLiteral("AUTHM"), QStringLiteral("*")), QStringLiteral("*"));
    EXPECT_EQ(t.value(QStringLiteral("SELECT PA_CODE FROM PHONES_PARAMETERS")), QStringLiteral("Static_IP"));
    EXPECT_EQ(t.value(QStringLiteral("SELECT PA_CODE FROM COMPANY_PARAMETERS")), QStringLiteral("User_ID_1_"));
    EXPECT_EQ(t.value(QStringLiteral("SELECT PA_VALUE FROM COMPANY_PARAMETERS")), QStringLiteral("sip$$P"));
    // 010140: fresh reboot keys replace both the old and the new forms.
    EXPECT_EQ(setting(t, QStringLiteral("GXP2000"), QStringLiteral("$$EPWD")), QStringLiteral("<none>"));
    EXPECT_EQ(setting(t, QStringLiteral("PAP2"), QStringLiteral("$$IP1")), QStringLiteral("<none>"));
    EXPECT_EQ(setting(t, QStringLiteral("$$GXP2000"), QStringLiteral("$$IP4")), QStringLiteral("12"));
    EXPECT_EQ(setting(t, QStringLiteral("$$PAP2"), QStringLiteral("$$IP1")), QStringLiteral("Static_IP"));
    // The cascades hold after the rebuild: a later rename still reaches the values.
    t.exec(QStringLiteral("UPDATE EQUIPMENT_PARAMETERS SET PA_CODE = 'IP' WHERE PA_CODE = 'Static_IP'"));
    EXPECT_EQ(t.value(QStringLiteral("SELECT PA_CODE FROM PHONES_PARAMETERS")), QStringLiteral("IP"));
    EXPECT_THROW(t.exec(QStringLiteral("INSERT INTO PHONES_PARAMETERS VALUES('AC', 'PAP2', '100', 'Nope', 'x')")), DbError);
}

TEST(Upgrade, OnlyStepsAboveTheStoredVersionRun)
{
    TestSession t(false);
    createOldShape(t, true);
    t.exec(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('$$BASEVER', '$', '010120')"));
    const UpgradeReport r = upgradeSchema(t.s);
    EXPECT_EQ(r.stepsRun, (QStringList{QStringLiteral("010130"), QStringLiteral("010140")}));
    // Step 010120 did not run again: the old-form lookup stays where it was.
    EXPECT_EQ(setting(t, QStringLiteral("COMPANY"), QStringLiteral("L_CO_CODE")), QStringLiteral("SELECT CO_CODE FROM COMPANY"));
}

TEST(Upgrade, VersionsAtOrAboveTheLastBoundAreOnlyRestamped)
{
    struct Case
    {
        const char* stored;
        bool notice;
    };
    for (const Case c : {Case{"010140", true}, Case{"010142", false}, Case{"020000", true}}) {
        TestSession t(false);
        t.tdb.createSchema();
        t.exec(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('$$BASEVER', '$', '") + QLatin1String(c.stored) +
               QStringLiteral("')"));
        const UpgradeReport r = upgradeSchema(t.s);
        EXPECT_TRUE(r.stepsRun.isEmpty()) << c.stored;
        EXPECT_EQ(r.noticeShown, c.notice) << c.stored;
        EXPECT_EQ(t.op.messages.size(), c.notice ? 1 : 0) << c.stored;
        EXPECT_EQ(setting(t, QStringLiteral("$$BASEVER"), QStringLiteral("$")), QStringLiteral("010142")) << c.stored;
    }
}

TEST(Upgrade, AFailingStepLeavesTheDatabaseAsItWas)
{
    TestSession t(false);
    createOldShape(t, false);
    // Step 010130 will fail on its seeded flag; 010110 and 010120 have run by then.
    t.exec(QStringLiteral("INSERT INTO CREATION_FLAGS VALUES('W', 'Already here', 'Y')"));
    EXPECT_THROW(upgradeSchema(t.s), DbError);
    EXPECT_EQ(t.count(QStringLiteral("SELECT * FROM SYSTEM_PARAMETERS WHERE SY_CODE = '$$BASEVER'")), 0);
    EXPECT_EQ(t.tdb.db.columns(QStringLiteral("EQUIPMENT"), QStringLiteral("EQ_MODULE")).count(), 0);
    EXPECT_EQ(setting(t, QStringLiteral("COMPANY"), QStringLiteral("L_CO_CODE")), QStringLiteral("SELECT CO_CODE FROM COMPANY"));
    EXPECT_EQ(t.count(QStringLiteral("SELECT * FROM SYSTEM_PARAMETERS WHERE SY_CODE = '$$MODULES'")), 0);

    // Once the cause is gone the next start upgrades from a clean state.
    t.exec(QStringLiteral("DELETE FROM CREATION_FLAGS WHERE FL_CODE = 'W'"));
    EXPECT_EQ(upgradeSchema(t.s).stepsRun.size(), 4);
}

TEST(Upgrade, ASecondUpgradeAtOnceWaitsForTheFirstThenFindsTheVersionCurrent)
{
    TestSession t(false);
    createOldShape(t, true);
    t.exec(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('$$BASEVER', '$', '010120')"));
    // Once the first upgrade has run a step, a second program starts its own upgrade; on the server
    // the first goes on only once the second waits for a lock the first holds.
    OtherOperator other(t.tdb);
    std::future<UpgradeReport> second;
    other.at(QStringLiteral("upgrade.step"), [&] {
        second = std::async(std::launch::async, [&] {
            Database db;
            db.open(t.tdb.connectionString());
            ScriptedOperator op;
            Session s(db, op);
            return upgradeSchema(s);
        });
        if (t.tdb.engine() != Engine::PostgreSQL)
            return;
        QDeadlineTimer deadline(10000);
        while (other.db.execute(QStringLiteral("SELECT COUNT(*) FROM pg_locks WHERE NOT granted AND database = "
                                               "(SELECT oid FROM pg_database WHERE datname = current_database())"))
                       .text(0) == u"0" &&
               !deadline.hasExpired())
            std::this_thread::yield();
    });
    const UpgradeReport first = upgradeSchema(t.s);
    EXPECT_EQ(first.stepsRun, (QStringList{QStringLiteral("010130"), QStringLiteral("010140")}));
    ASSERT_TRUE(second.valid());
    const UpgradeReport later = second.get();
    EXPECT_EQ(later.storedVersion, QStringLiteral("010142"));
    EXPECT_FALSE(later.noticeShown);
    EXPECT_TRUE(later.stepsRun.isEmpty());
    EXPECT_EQ(setting(t, QStringLiteral("$$BASEVER"), QStringLiteral("$")), QStringLiteral("010142"));
    EXPECT_EQ(t.count(QStringLiteral("SELECT * FROM CREATION_FLAGS WHERE FL_CODE = 'W'")), 1);
}
