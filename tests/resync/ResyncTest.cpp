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
#include "PhoneFileSource.h"
#include "RebootCommands.h"
#include "RebootTestData.h"
#include "ResyncRun.h"

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

// A telephone that only listens: it counts what it receives and answers the second copy with 200
// when asked to, or every first copy when it has something to do on a NOTIFY (given the
// Request-URI's user).
class BareUdpPhone final : public QObject
{
public:
    explicit BareUdpPhone(bool answerSecond, std::function<void(const QByteArray&)> onNotify = {})
        : m_answerSecond(answerSecond), m_onNotify(std::move(onNotify))
    {
        m_socket.bind(QHostAddress::LocalHost, 0);
        QObject::connect(&m_socket, &QUdpSocket::readyRead, this, [this] {
            while (m_socket.hasPendingDatagrams()) {
                const QNetworkDatagram d = m_socket.receiveDatagram();
                copies.append(d.data());
                if (m_onNotify && d.data().startsWith("NOTIFY sip:")) {
                    const qsizetype at = d.data().indexOf('@');
                    m_onNotify(d.data().mid(11, at - 11));
                }
                if ((m_answerSecond && copies.size() == 2) || m_onNotify) {
                    QByteArray reply = "SIP/2.0 200 OK\r\n";
                    for (const QByteArray& line : d.data().split('\n')) {
                        const QByteArray l = line.trimmed();
                        if (l.startsWith("Via:") || l.startsWith("From:") || l.startsWith("To:") ||
                            l.startsWith("Call-ID:") || l.startsWith("CSeq:"))
                            reply += l + "\r\n";
                    }
                    reply += "Content-Length: 0\r\n\r\n";
                    m_socket.writeDatagram(reply, d.senderAddress(), quint16(d.senderPort()));
                }
            }
        });
    }
    quint16 port() const { return m_socket.localPort(); }
    QList<QByteArray> copies;

private:
    QUdpSocket m_socket;
    bool m_answerSecond;
    std::function<void(const QByteArray&)> m_onNotify;
};

// PAP2 telephones 101 and 102 of company AC, their address a telephone value, their SIP user and
// credentials telephone values, and the model's event.
class ResyncTest : public ::testing::Test
{
protected:
    ResyncTest()
    {
        ensureCoreApp();
        addRebootMessages(t);
        addRebootCatalogue(t);
        for (const char* sql : {
                 "INSERT INTO EQUIPMENT_PARAMETERS VALUES('PAP', 'User_ID', 'SIP user', 'P', '', 'T', '')",
                 "INSERT INTO EQUIPMENT_PARAMETERS VALUES('PAP', 'Auth_ID', 'SIP login', 'P', '', 'T', '')",
                 "INSERT INTO EQUIPMENT_PARAMETERS VALUES('PAP', 'Password', 'SIP password', 'E', 'secret', 'T', '')",
                 "INSERT INTO SYSTEM_PARAMETERS VALUES('$$PAP', '$$NOTIFY', 'check-sync;reboot=true')",
                 "INSERT INTO SYSTEM_PARAMETERS VALUES('$$PAP', '$$SIPUSER', 'User_ID')",
                 "INSERT INTO SYSTEM_PARAMETERS VALUES('$$PAP', '$$SIPAUTH', 'Auth_ID')",
                 "INSERT INTO SYSTEM_PARAMETERS VALUES('$$PAP', '$$SIPPWD', 'Password')",
             })
            t.exec(QLatin1String(sql));
        for (const char* code : {"101", "102"}) {
            t.exec(QStringLiteral("INSERT INTO RANGES VALUES('AC', '%1')").arg(QLatin1String(code)));
            t.exec(QStringLiteral("INSERT INTO PHONES VALUES('AC', '%1', 'PAP', 'Desk %1', '000B82000%1')")
                       .arg(QLatin1String(code)));
            setPapAddress(t, QLatin1String(code), QStringLiteral("127.0.0.1"));
            for (const char* p : {"User_ID", "Auth_ID"})
                t.exec(QStringLiteral("INSERT INTO PHONES_PARAMETERS VALUES('AC', 'PAP', '%1', '%2', '%3%1')")
                           .arg(QLatin1String(code), QLatin1String(p), QLatin1String(*p == 'U' ? "2" : "sip")));
        }
    }
    void setPort(quint16 port)
    {
        t.exec(QStringLiteral("DELETE FROM SYSTEM_PARAMETERS WHERE SY_SUBCODE = '$$SIPPORT'"));
        t.exec(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('$$PAP', '$$SIPPORT', '%1')").arg(port));
    }
    ResyncRun::Outcome resync(const QString& first, const QString& last, int t1Ms = 50)
    {
        ResyncRun run(t.s, t.log, t1Ms);
        const auto outcome = run.run({QStringLiteral("AC"), QStringLiteral("PAP"), first, last});
        summary = run.summary();
        return outcome;
    }
    // Everything allowed, English, and a settings file naming the database, for the command.
    void allowCommand()
    {
        t.exec(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('AUTHM', '*', '*')"));
        t.exec(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('$$LNG', '$', 'EN')"));
        QFile settings(t.tdb.dir() + QStringLiteral("/ParamDB.txt"));
        ASSERT_TRUE(settings.open(QIODevice::WriteOnly));
        settings.write(t.tdb.connectionString().toUtf8() + "\r\n");
    }
    // `resync --company AC --model PAP` and the arguments given, with short time-outs.
    int command(const QStringList& arguments)
    {
        out.clear();
        err.clear();
        QTextStream o(&out), e(&err);
        cli::CliContext ctx(o, e);
        ctx.appDir = t.tdb.dir();
        ctx.settingsPath = t.tdb.dir() + QStringLiteral("/ParamDB.txt");
        cli::ResyncCommand resync(10, 20);
        const int code = resync.execute(ctx, QStringList{QStringLiteral("--company"), QStringLiteral("AC"),
                                                         QStringLiteral("--model"), QStringLiteral("PAP")} +
                                                 arguments);
        o.flush();
        e.flush();
        return code;
    }
    TestSession t;
    ResyncRun::Summary summary;
    QString out, err;
};

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
    // The tag the server would send each now, as the server computes it.
    const auto tagOf = [this](const char* code) {
        struct Known final : Credentials
        {
            Check check(const QString&, const QStringList&) override { return Check::Accepted; }
        } known;
        PhoneFileSource source(t.tdb.db, QStringLiteral("EN"));
        const FileAnswer file = source.answer(QStringLiteral("000B82000%1.txt").arg(QLatin1String(code)), known);
        EXPECT_EQ(file.status, 200) << code;
        return QString::fromLatin1(entityTag(file.body));
    };
    const QString tags[] = {tagOf("101"), QStringLiteral("\"older\""), tagOf("103")};
    const auto fetched = [this](const QString& code, const QString& tag, const QString& at) {
        t.exec(QStringLiteral("DELETE FROM PHONE_FETCHES WHERE PH_CODE = '%1'").arg(code));
        t.exec(QStringLiteral("INSERT INTO PHONE_FETCHES VALUES('AC', '%1', '%2', '127.0.0.1', 'x', '%3')")
                   .arg(code, at, tag));
    };
    fetched(QStringLiteral("103"), tags[2], QStringLiteral("2026-01-01T00:00:00.000Z"));
    // On its NOTIFY each telephone fetches (as a server records it): 101 and 102, not 103.
    BareUdpPhone phone(false, [&](const QByteArray& user) {
        const QString code = QString::fromLatin1(user.mid(1));
        if (code == u"101" || code == u"102")
            fetched(code, tags[code.toInt() - 101],
                    QDateTime::currentDateTimeUtc().addMSecs(5).toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzzZ")));
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
