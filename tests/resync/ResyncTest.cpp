#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QNetworkDatagram>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>
#include <QUdpSocket>

#include "FetchRecorder.h"
#include "ResyncFixture.h"

namespace vocaset::test {
namespace {

// SIPp as the telephone, playing one scenario once on 127.0.0.1, ended after 20 s at the latest.
class Sipp final
{
public:
    explicit Sipp(const QByteArray& scenario)
    {
        QFile file(m_dir.path() + QStringLiteral("/uas.xml"));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        // SIPp refuses a variable that is set and never read: the checks' matches are marked as read.
        const QByteArray read = scenario.contains("assign_to=\"seen\"") ? "<Reference variables=\"seen\"/>" : "";
        file.write("<?xml version=\"1.0\" encoding=\"ISO-8859-1\" ?>\n<scenario name=\"phone\">\n" + scenario +
                   read + "\n</scenario>\n");
        file.close();
        // SIPp takes no port 0: a port the system just gave out and took back.
        QUdpSocket probe;
        probe.bind(QHostAddress::LocalHost, 0);
        port = probe.localPort();
        probe.close();
        m_process.setWorkingDirectory(m_dir.path());
        // Its statistics screen only when traces are asked for; its errors always.
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_dir.setAutoRemove(qEnvironmentVariableIsEmpty("SIPP_TRACE"));
        if (m_dir.autoRemove())
            m_process.setStandardOutputFile(QProcess::nullDevice());
        if (!m_dir.autoRemove())
            qInfo("SIPp traces in %s", qPrintable(m_dir.path()));
        m_process.start(QStringLiteral("sipp"), {QStringLiteral("-sf"), file.fileName(), QStringLiteral("-i"),
                                                 QStringLiteral("127.0.0.1"), QStringLiteral("-p"),
                                                 QString::number(port), QStringLiteral("-m"), QStringLiteral("1"),
                                                 QStringLiteral("-nostdin"), QStringLiteral("-timeout"),
                                                 QStringLiteral("20s"), QStringLiteral("-timeout_error"),
                                                 QStringLiteral("-trace_msg"), QStringLiteral("-trace_err")});
        // Listening once the port can no longer be taken.
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < 5000) {
            QUdpSocket taken;
            if (!taken.bind(QHostAddress::LocalHost, port))
                break;
            taken.close();
            QThread::msleep(20);
        }
    }
    ~Sipp()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(2000);
        }
    }
    // SIPp's exit code: 0 when its scenario ran through with every check passed.
    int finish()
    {
        m_process.waitForFinished(20000);
        return m_process.exitCode();
    }
    static bool available() { return !QStandardPaths::findExecutable(QStringLiteral("sipp")).isEmpty(); }

    quint16 port = 0;

private:
    QTemporaryDir m_dir;
    QProcess m_process;
};

const QByteArray kAnswer = R"(
    <![CDATA[
SIP/2.0 %1
[last_Via:]
[last_From:]
[last_To:];tag=[pid]ph[call_number]
[last_Call-ID:]
[last_CSeq:]
%2Content-Length: 0

    ]]>)";

QByteArray answer(const char* status, const QByteArray& extra = {})
{
    return "<send>" + QByteArray(kAnswer).replace("%1", status).replace("%2", extra) + "</send>";
}

QByteArray check(const char* where, const char* header, const char* regexp)
{
    const QByteArray escaped = QByteArray(regexp).replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;");
    return QByteArray("<ereg regexp=\"") + escaped + "\" search_in=\"" + where + "\"" +
           (*header ? QByteArray(" header=\"") + header + "\"" : QByteArray()) +
           " check_it=\"true\" assign_to=\"seen\"/>";
}

TEST_F(ResyncTest, AWellFormedNotifyWithTheModelsEventIsAcceptedBy200)
{
    if (!Sipp::available())
        GTEST_SKIP() << "sipp is not installed";
    Sipp phone("<recv request=\"NOTIFY\"><action>" +
               check("msg", "", "^NOTIFY sip:2101@127\\.0\\.0\\.1:[0-9]+ SIP/2\\.0") +
               check("hdr", "Event:", "^ *check-sync;reboot=true$") +
               check("hdr", "Subscription-State:", "^ *terminated$") + check("hdr", "Max-Forwards:", "^ *70$") +
               check("hdr", "Via:", "SIP/2\\.0/UDP .*;branch=z9hG4bK") + check("hdr", "From:", ";tag=.+") +
               check("hdr", "To:", "sip:2101@127\\.0\\.0\\.1") + check("hdr", "CSeq:", "^ *1 NOTIFY$") +
               check("hdr", "Contact:", "<sip:.+>") + check("hdr", "Call-ID:", ".+") +
               check("hdr", "Content-Length:", "^ *0$") + "</action></recv>" + answer("200 OK"));
    setPort(phone.port);
    EXPECT_EQ(resync(QStringLiteral("101"), QStringLiteral("101")), ResyncRun::Outcome::Completed);
    EXPECT_EQ(phone.finish(), 0) << "SIPp found the NOTIFY wrong";
    EXPECT_EQ(summary.restarted, 1);
    EXPECT_EQ(summary.failures(), 0);
    ASSERT_EQ(t.log.lines.size(), 1);
    EXPECT_TRUE(t.log.lines[0].contains(QStringLiteral("AC/101"))) << t.log.lines[0].toStdString();
    EXPECT_TRUE(t.log.lines[0].endsWith(QStringLiteral("200 OK"))) << t.log.lines[0].toStdString();
}

// A 401 is answered once with the telephone's credentials; SIPp answers 200 only when they check out.
TEST_F(ResyncTest, AChallengeIsAnsweredOnceWithTheTelephonesCredentials)
{
    if (!Sipp::available())
        GTEST_SKIP() << "sipp is not installed";
    for (const bool right : {true, false}) {
        if (!right)
            t.exec(QStringLiteral("UPDATE EQUIPMENT_PARAMETERS SET PA_DEFAULT = 'wrong' WHERE PA_CODE = 'Password'"));
        Sipp phone("<recv request=\"NOTIFY\"/>" +
                   answer("401 Unauthorized", "WWW-Authenticate: Digest realm=\"phone\", nonce=\"4f1a\", qop=\"auth\"\n") +
                   "<recv request=\"NOTIFY\"><action>" + check("hdr", "CSeq:", "^ *2 NOTIFY$") +
                   "<verifyauth assign_to=\"good\" username=\"sip101\" password=\"secret\"/></action></recv>"
                   "<nop test=\"good\" next=\"ok\"/>" +
                   answer("403 Forbidden") + "<nop next=\"end\"/><label id=\"ok\"/>" + answer("200 OK") +
                   "<label id=\"end\"/>");
        setPort(phone.port);
        t.log.lines.clear();
        resync(QStringLiteral("101"), QStringLiteral("101"));
        phone.finish();
        EXPECT_EQ(summary.restarted, right ? 1 : 0);
        ASSERT_EQ(t.log.lines.size(), 1);
        EXPECT_TRUE(t.log.lines[0].endsWith(right ? QStringLiteral("200 OK") : QStringLiteral("403 Forbidden")))
            << t.log.lines[0].toStdString();
    }
}

TEST_F(ResyncTest, BusyAndSilentTelephonesFailWithWhatTheyDid)
{
    if (!Sipp::available())
        GTEST_SKIP() << "sipp is not installed";
    Sipp busy("<recv request=\"NOTIFY\"/>" + answer("486 Busy Here"));
    setPort(busy.port);
    resync(QStringLiteral("101"), QStringLiteral("101"));
    busy.finish();
    ASSERT_EQ(t.log.lines.size(), 1);
    EXPECT_TRUE(t.log.lines[0].endsWith(QStringLiteral("486 Busy Here"))) << t.log.lines[0].toStdString();
    EXPECT_EQ(summary.failed, QStringList{QStringLiteral("101")});

    // Retransmitted at T1, 2 T1, ... and given up after 64 T1.
    BareUdpPhone silent(false);
    setPort(silent.port());
    t.log.lines.clear();
    resync(QStringLiteral("101"), QStringLiteral("102"), 10);
    EXPECT_EQ(summary.failed, (QStringList{QStringLiteral("101"), QStringLiteral("102")}));
    ASSERT_EQ(t.log.lines.size(), 2);
    EXPECT_TRUE(t.log.lines[0].endsWith(QStringLiteral("no answer"))) << t.log.lines[0].toStdString();
    EXPECT_GT(silent.copies.size(), 4);
}

TEST_F(ResyncTest, ADroppedFirstCopyIsSentAgainUnchanged)
{
    BareUdpPhone phone(true);
    setPort(phone.port());
    resync(QStringLiteral("101"), QStringLiteral("101"), 20);
    EXPECT_EQ(summary.restarted, 1);
    ASSERT_GE(phone.copies.size(), 2);
    EXPECT_EQ(phone.copies[0], phone.copies[1]);
}

// Each telephone that accepted is confirmed by the next fetch any server records: one fetches the
// file it would be served now, one an older file, one nothing; a fetch from before the resync does
// not count. The wait ends as soon as the last telephone awaited is confirmed.
TEST_F(ResyncTest, TheNextRecordedFetchConfirmsEachTelephone)
{
    allowCommand();
    t.exec(QStringLiteral("INSERT INTO RANGES VALUES('AC', '103')"));
    t.exec(QStringLiteral("INSERT INTO PHONES VALUES('AC', '103', 'PAP', 'Desk 103', '000B82000103')"));
    setPapAddress(t, QStringLiteral("103"), QStringLiteral("127.0.0.1"));
    t.exec(QStringLiteral("INSERT INTO PHONES_PARAMETERS VALUES('AC', 'PAP', '103', 'User_ID', '2103')"));
    t.exec(QStringLiteral("INSERT INTO PHONES_PARAMETERS VALUES('AC', 'PAP', '103', 'Auth_ID', 'sip103')"));
    ASSERT_EQ(FetchTable::prepare(t.tdb.db), QString());
    const QString tags[] = {currentTag("101"), QStringLiteral("\"older\""), currentTag("103")};
    recordFetch(QStringLiteral("103"), tags[2], QStringLiteral("2026-01-01T00:00:00.000Z"));
    // On its NOTIFY each telephone fetches (as a server records it): 101 and 102, not 103.
    BareUdpPhone phone(false, [&](const QByteArray& user) {
        const QString code = QString::fromLatin1(user.mid(1));
        if (code == u"101" || code == u"102")
            recordFetch(code, tags[code.toInt() - 101], soon());
    });
    setPort(phone.port());
    EXPECT_EQ(command({QStringLiteral("--confirm"), QStringLiteral("1")}), cli::RunFailed) << err.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("AC/101 confirmed: fetched the current file at 20"))) << out.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("AC/102 fetched, but not the current file"))) << out.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("AC/103 no fetch within 1 s"))) << out.toStdString();
    EXPECT_TRUE(err.endsWith(QStringLiteral("3 telephone(s) awaited: 1 confirmed, 1 fetched another file, 1 no fetch\n")))
        << err.toStdString();

    EXPECT_EQ(command({QStringLiteral("--to"), QStringLiteral("101"), QStringLiteral("--confirm"),
                       QStringLiteral("600")}),
              cli::Ok)
        << err.toStdString();
    EXPECT_TRUE(err.endsWith(QStringLiteral("1 telephone(s) awaited: 1 confirmed, 0 fetched another file, 0 no fetch\n")))
        << err.toStdString();
    EXPECT_EQ(command({QStringLiteral("--confirm"), QStringLiteral("soon")}), cli::Usage);
}

// --stale takes exactly the telephones the fleet lists as stale: not the current one, not the one
// never fetched.
TEST_F(ResyncTest, StaleTakesExactlyTheFleetsStaleTelephones)
{
    allowCommand();
    t.exec(QStringLiteral("INSERT INTO RANGES VALUES('AC', '103')"));
    t.exec(QStringLiteral("INSERT INTO PHONES VALUES('AC', '103', 'PAP', 'Desk 103', '000B82000103')"));
    setPapAddress(t, QStringLiteral("103"), QStringLiteral("127.0.0.1"));
    ASSERT_EQ(FetchTable::prepare(t.tdb.db), QString());
    recordFetch(QStringLiteral("101"), QStringLiteral("\"older\""), QStringLiteral("2026-01-01T00:00:00.000Z"));
    recordFetch(QStringLiteral("102"), currentTag("102"), QStringLiteral("2026-01-01T00:00:00.000Z"));
    QStringList asked;
    BareUdpPhone phone(false, [&](const QByteArray& user) { asked << QString::fromLatin1(user); });
    setPort(phone.port());
    EXPECT_EQ(command({QStringLiteral("--stale")}), cli::Ok) << err.toStdString();
    EXPECT_EQ(asked, QStringList{QStringLiteral("2101")});
    EXPECT_EQ(err, QStringLiteral("1 telephone(s) selected, 1 restarted, 0 failed\n"));
}

// The address of the last recorded fetch stands in for an empty address parameter, or always with
// --address fetch; a model without the event is refused naming the row; exit codes as the reboot's.
TEST_F(ResyncTest, TheCommandRefusesAModelWithoutItsEventAndFallsBackToTheFetchAddress)
{
    allowCommand();
    BareUdpPhone phone(true);
    setPort(phone.port());
    t.exec(QStringLiteral("UPDATE PHONES_PARAMETERS SET PA_VALUE = '' WHERE PA_CODE = 'Static_IP'"));
    t.exec(QStringLiteral("CREATE TABLE PHONE_FETCHES (CO_CODE nvarchar(5) NOT NULL, PH_CODE nvarchar(5) NOT NULL, "
                          "PF_TIME nvarchar(24) NOT NULL, PF_CLIENT nvarchar(64), PF_AGENT nvarchar(255), "
                          "PF_ETAG nvarchar(40), PRIMARY KEY (CO_CODE, PH_CODE))"));
    t.exec(QStringLiteral("INSERT INTO PHONE_FETCHES VALUES('AC', '101', '2026-01-01T00:00:00.000Z', '127.0.0.1', "
                          "'x', '\"a\"')"));
    // 101 is reached at its fetch's address; 102 has neither an address nor a fetch.
    EXPECT_EQ(command({}), cli::RunFailed) << err.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("AC/101 (sip:2101@127.0.0.1:%1) resynchronised").arg(phone.port())))
        << out.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("AC/102 not resynchronised"))) << out.toStdString();
    EXPECT_EQ(err, QStringLiteral("2 telephone(s) selected, 1 restarted, 1 failed: 102\n"));

    // An address parameter that points elsewhere is left aside with --address fetch.
    t.exec(QStringLiteral("UPDATE PHONES_PARAMETERS SET PA_VALUE = '127.0.0.9' WHERE PA_CODE = 'Static_IP'"));
    BareUdpPhone second(true);
    setPort(second.port());
    EXPECT_EQ(command({QStringLiteral("--to"), QStringLiteral("101"), QStringLiteral("--address"),
                                     QStringLiteral("fetch")}),
              cli::Ok)
        << out.toStdString() << err.toStdString();

    t.exec(QStringLiteral("UPDATE SYSTEM_PARAMETERS SET SY_VALUE = '70000' WHERE SY_SUBCODE = '$$SIPPORT'"));
    EXPECT_EQ(command({}), cli::RunFailed);
    EXPECT_TRUE(err.contains(QStringLiteral("$$SIPPORT")) && err.contains(QStringLiteral("70000")))
        << err.toStdString();
    t.exec(QStringLiteral("DELETE FROM SYSTEM_PARAMETERS WHERE SY_SUBCODE = '$$NOTIFY'"));
    EXPECT_EQ(command({}), cli::RunFailed);
    EXPECT_TRUE(err.contains(QStringLiteral("\"$$PAP\"")) && err.contains(QStringLiteral("\"$$NOTIFY\"")))
        << err.toStdString();
}

} // namespace
} // namespace vocaset::test
