#include <gtest/gtest.h>

#include <QCryptographicHash>

#include "FakePhone.h"
#include "RebootRun.h"
#include "RebootTestData.h"

namespace vocaset::test {
namespace {

class RebootRunTest : public ::testing::Test
{
protected:
    RebootRunTest()
    {
        ensureCoreApp();
        addRebootMessages(t);
        addRebootCatalogue(t);
        // Here the password is a company value that carries the telephone's code.
        for (const char* sql : {
                 "UPDATE EQUIPMENT_PARAMETERS SET LE_CODE = 'C' WHERE PA_CODE = 'Admin_Passwd'",
                 "INSERT INTO COMPANY_PARAMETERS VALUES('AC', 'PAP', 'Admin_Passwd', 'pw-$$P')",
                 "INSERT INTO EQUIPMENT VALUES('GXP', 'Grandstream', 'GRANDSTREAM')",
                 "INSERT INTO EQUIPMENT VALUES('NON', 'Analog', 'NONE')",
             })
            t.exec(QLatin1String(sql));
    }

    void phone(const QString& company, const QString& code, const QString& equipment, const QString& desc)
    {
        addPhone(t, company, code, equipment, desc);
    }
    void papAddress(const QString& code, const QString& address) { setPapAddress(t, code, address); }

    TestSession t;
};

TEST_F(RebootRunTest, EntriesAndQuotedCodes)
{
    EXPECT_EQ(entryCode(QStringLiteral("102 \\\\ Shop \\\\ x")), QStringLiteral("102"));
    EXPECT_EQ(entryCode(QStringLiteral("102")), QStringLiteral("102"));
    // A code with an apostrophe is a value, not the end of the statement.
    RebootRun run(t.s, t.log);
    EXPECT_TRUE(run.equipments(QStringLiteral("O'H")).isEmpty());
    EXPECT_EQ(run.run(QStringLiteral("O'H"), QStringLiteral("P'P"), QStringLiteral("1'"), QStringLiteral("2'")),
              RebootRun::Outcome::Completed);
}

TEST_F(RebootRunTest, RunsEveryTelephoneOfTheRangeInOrder)
{
    FakePhone open, guarded;
    phone(QStringLiteral("AC"), QStringLiteral("101"), QStringLiteral("PAP"), QStringLiteral("Desk"));
    phone(QStringLiteral("AC"), QStringLiteral("102"), QStringLiteral("PAP"), QStringLiteral("Lab"));
    phone(QStringLiteral("AC"), QStringLiteral("103"), QStringLiteral("PAP"), QStringLiteral("Dead"));
    phone(QStringLiteral("AC"), QStringLiteral("104"), QStringLiteral("PAP"), QStringLiteral("Out of range"));
    phone(QStringLiteral("BT"), QStringLiteral("102"), QStringLiteral("PAP"), QStringLiteral("Other company"));
    QTcpServer gone;
    gone.listen(QHostAddress::LocalHost, 0);
    const QString deadAddress = QStringLiteral("127.0.0.1:") + QString::number(gone.serverPort());
    gone.close();
    papAddress(QStringLiteral("101"), open.address());
    papAddress(QStringLiteral("102"), guarded.address());
    papAddress(QStringLiteral("103"), deadAddress);

    open.add({papFirst(open.address()), "HTTP/1.0 200 OK\r\n\r\n<html>Rebooting</html>"});
    guarded.add({papFirst(guarded.address()),
                 "HTTP/1.0 401 Unauthorized\r\nWWW-Authenticate: Digest realm=\"r\", nonce=\"n\", qop=\"auth\", "
                 "opaque=\"o\"\r\n\r\n"});
    // The company's password with the telephone's code put in: "pw-102".
    const auto hex = [](const QByteArray& b) { return QCryptographicHash::hash(b, QCryptographicHash::Md5).toHex(); };
    const QByteArray response =
        hex(hex("admin:r:pw-102") + ":n:00000001:5c1e0a7b93d24f86a0e3b7c9d15f2a48:auth:" + hex("GET:/admin/reboot"));
    FakePhone::Step authed;
    authed.expect = "GET /admin/reboot" + block10(guarded.address()) +
                    "Authorization: Digest username=\"admin\", realm=\"r\", qop=\"auth\", algorithm=\"MD5\", "
                    "uri=\"/admin/reboot\", nonce=\"n\", nc=00000001, cnonce=\"5c1e0a7b93d24f86a0e3b7c9d15f2a48\", "
                    "opaque=\"o\", response=\"" +
                    response + "\"\r\n\r\n";
    authed.reply = "HTTP/1.0 200 OK\r\n\r\n";
    guarded.add(authed);

    RebootRun run(t.s, t.log, 300);
    EXPECT_EQ(run.run(QStringLiteral("AC"), QStringLiteral("PAP"), QStringLiteral("101"), QStringLiteral("103")),
              RebootRun::Outcome::Completed);
    ASSERT_EQ(t.log.lines.size(), 7) << t.log.lines.join(u'\n').toStdString();
    EXPECT_EQ(t.log.lines[0], QStringLiteral("PAP2 ") + open.address() + QStringLiteral(" - 101 - Desk"));
    EXPECT_EQ(t.log.lines[1], msg("M15"));
    EXPECT_EQ(t.log.lines[2], QStringLiteral("PAP2 ") + guarded.address() + QStringLiteral(" - 102 - Lab"));
    EXPECT_EQ(t.log.lines[3], msg("M15"));
    EXPECT_EQ(t.log.lines[4], QStringLiteral("PAP2 ") + deadAddress + QStringLiteral(" - 103 - Dead"));
    EXPECT_EQ(t.log.lines[5], QStringLiteral("Connection refused by ") + deadAddress + u'.');
    EXPECT_EQ(t.log.lines[6], msg("M23"));
    EXPECT_EQ(t.log.done, 3);
    EXPECT_EQ(t.log.total, 3);
    EXPECT_TRUE(open.mismatches.isEmpty() && guarded.mismatches.isEmpty())
        << (open.mismatches + guarded.mismatches).join(u'\n').toStdString();
    EXPECT_TRUE(t.op.messages.isEmpty());
    EXPECT_FALSE(run.running());
}

TEST_F(RebootRunTest, GrandstreamAddressIsBuiltFromFourParameters)
{
    FakePhone gxp;
    phone(QStringLiteral("AC"), QStringLiteral("201"), QStringLiteral("GXP"), QStringLiteral("Hall"));
    // The fourth number carries the fake telephone's port.
    int n = 0;
    for (const QString& value : {QStringLiteral("127"), QStringLiteral("0"), QStringLiteral("0"),
                                 QString(QStringLiteral("1:") + QString::number(gxp.port()))}) {
        const QString code = QString::number(++n);
        t.exec(QStringLiteral("INSERT INTO EQUIPMENT_PARAMETERS VALUES('GXP', '%1', 'IP', 'E', '%2', 'T', '')")
                   .arg(code, value));
        t.exec(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('$$GXP', '$$IP%1', '%1')").arg(code));
    }
    t.exec(QStringLiteral("INSERT INTO EQUIPMENT_PARAMETERS VALUES('GXP', '9', 'Password', 'E', 'adm', 'T', '')"));
    t.exec(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('$$GXP', '$$EPWD', '9')"));
    const QString a = gxp.address();
    gxp.add({"GET /" + block10(a) + "\r\n", "HTTP/1.0 200 OK\r\n\r\n<html>login</html>"});
    gxp.add({"POST /dologin.htm" + block10(a) + "Content-Length: 17\r\n\r\nP2=adm&gnkey=7d31\r\n",
             "HTTP/1.0 200 OK\r\nSet-Cookie: session=7; path=/\r\n\r\n"});
    gxp.add({"GET /rs.htm" + block10(a) + "Cookie: session=7\r\n\r\n", "HTTP/1.0 200 OK\r\n\r\n"});

    RebootRun run(t.s, t.log, 3000);
    EXPECT_EQ(run.run(QStringLiteral("AC"), QStringLiteral("GXP"), QStringLiteral("201"), QStringLiteral("201")),
              RebootRun::Outcome::Completed);
    EXPECT_EQ(t.log.lines, (QStringList{QStringLiteral("GXP2000 ") + a + QStringLiteral(" - 201 - Hall"), msg("M15")}));
    EXPECT_TRUE(gxp.mismatches.isEmpty()) << gxp.mismatches.join(u'\n').toStdString();
}

TEST_F(RebootRunTest, MissingSettingSkipsEachTelephoneWithAMessage)
{
    phone(QStringLiteral("AC"), QStringLiteral("201"), QStringLiteral("GXP"), QStringLiteral("Hall"));
    phone(QStringLiteral("AC"), QStringLiteral("202"), QStringLiteral("GXP"), QStringLiteral("Door"));
    t.exec(QStringLiteral("INSERT INTO EQUIPMENT_PARAMETERS VALUES('GXP', '1', 'IP', 'E', '127', 'T', '')"));
    t.exec(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('$$GXP', '$$IP1', '1')"));
    RebootRun run(t.s, t.log, 300);
    EXPECT_EQ(run.run(QStringLiteral("AC"), QStringLiteral("GXP"), QStringLiteral("201"), QStringLiteral("202")),
              RebootRun::Outcome::Completed);
    EXPECT_EQ(t.op.messages,
              (QStringList{QStringLiteral("Setting $$IP2 missing"), QStringLiteral("Setting $$IP2 missing")}));
    EXPECT_TRUE(t.log.lines.isEmpty());
    EXPECT_EQ(t.log.done, 2);
}

TEST_F(RebootRunTest, ModulesWithoutRebootAndUnknownModules)
{
    phone(QStringLiteral("AC"), QStringLiteral("301"), QStringLiteral("NON"), QStringLiteral("Fax"));
    phone(QStringLiteral("AC"), QStringLiteral("302"), QStringLiteral("NON"), QStringLiteral("Fax 2"));
    RebootRun run(t.s, t.log, 300);
    EXPECT_EQ(run.run(QStringLiteral("AC"), QStringLiteral("NON"), QStringLiteral("301"), QStringLiteral("302")),
              RebootRun::Outcome::Completed);
    EXPECT_TRUE(t.log.lines.isEmpty());
    EXPECT_TRUE(t.op.messages.isEmpty());

    phone(QStringLiteral("AC"), QStringLiteral("401"), QStringLiteral("ODD"), QStringLiteral("Odd 1"));
    phone(QStringLiteral("AC"), QStringLiteral("402"), QStringLiteral("ODD"), QStringLiteral("Odd 2"));
    // The run stops at the first telephone, and a new run starts afresh.
    for (int pass = 1; pass <= 2; ++pass) {
        EXPECT_EQ(run.run(QStringLiteral("AC"), QStringLiteral("ODD"), QStringLiteral("401"), QStringLiteral("402")),
                  RebootRun::Outcome::Stopped);
        EXPECT_EQ(t.op.messages.size(), pass);
        EXPECT_EQ(t.op.messages.last(), QStringLiteral("Unknown writer module"));
        EXPECT_EQ(t.log.done, 1);
    }
}

TEST_F(RebootRunTest, EquipmentMissingFromTheCatalogueStopsTheRun)
{
    if (t.tdb.engine() != Engine::SQLite)
        GTEST_SKIP() << "needs a telephone whose model row is missing";
    phone(QStringLiteral("AC"), QStringLiteral("501"), QStringLiteral("PAP"), QStringLiteral("Orphan"));
    t.exec(QStringLiteral("PRAGMA foreign_keys = OFF"));
    t.exec(QStringLiteral("UPDATE PHONES SET EQ_CODE = 'GONE' WHERE PH_CODE = '501'"));
    RebootRun run(t.s, t.log, 300);
    EXPECT_EQ(run.run(QStringLiteral("AC"), QStringLiteral("GONE"), QStringLiteral("5"), QStringLiteral("6")),
              RebootRun::Outcome::Stopped);
    EXPECT_EQ(t.op.messages, QStringList{QStringLiteral("Equipment not defined exactly once")});
}

TEST_F(RebootRunTest, AbortEndsTheRunAfterTheCurrentTelephone)
{
    FakePhone first, second;
    phone(QStringLiteral("AC"), QStringLiteral("101"), QStringLiteral("PAP"), QStringLiteral("Desk"));
    phone(QStringLiteral("AC"), QStringLiteral("102"), QStringLiteral("PAP"), QStringLiteral("Lab"));
    papAddress(QStringLiteral("101"), first.address());
    papAddress(QStringLiteral("102"), second.address());
    RebootRun run(t.s, t.log, 3000);
    FakePhone::Step hang{papFirst(first.address()), {}, false};
    hang.onRequest = [&run] { run.abort(); };
    first.add(hang);
    EXPECT_EQ(run.run(QStringLiteral("AC"), QStringLiteral("PAP"), QStringLiteral("101"), QStringLiteral("102")),
              RebootRun::Outcome::Aborted);
    EXPECT_EQ(t.log.lines, QStringList{QStringLiteral("PAP2 ") + first.address() + QStringLiteral(" - 101 - Desk")});
    EXPECT_EQ(second.connections, 0);
    EXPECT_EQ(t.log.done, 1);
}

} // namespace
} // namespace vocaset::test
