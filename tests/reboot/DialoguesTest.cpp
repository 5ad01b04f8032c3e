#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QTimer>

#include "FakePhone.h"
#include "HttpExchange.h"
#include "RebootDialogues.h"
#include "RebootTestData.h"

namespace vocaset::test {
namespace {

QByteArray md5Hex(const QByteArray& text)
{
    return QCryptographicHash::hash(text, QCryptographicHash::Md5).toHex();
}

// The Authorization line a PAP2 expects, computed from RFC 2617 for user "admin".
QByteArray digestLine(const QByteArray& realm, const QByteArray& password, const QByteArray& nonce,
                      const QByteArray& qop, const QByteArray& opaque)
{
    const QByteArray cnonce = "5c1e0a7b93d24f86a0e3b7c9d15f2a48";
    const QByteArray ha1 = md5Hex("admin:" + realm + ":" + password);
    const QByteArray ha2 = md5Hex("GET:/admin/reboot");
    const QByteArray response = md5Hex(ha1 + ":" + nonce + ":00000001:" + cnonce + ":" + qop + ":" + ha2);
    return "Authorization: Digest username=\"admin\", realm=\"" + realm + "\", qop=\"" + qop +
           "\", algorithm=\"MD5\", uri=\"/admin/reboot\", nonce=\"" + nonce + "\", nc=00000001, cnonce=\"" + cnonce +
           "\", opaque=\"" + opaque + "\", response=\"" + response + "\"\r\n";
}

QByteArray basic(const QByteArray& userColonPassword)
{
    QByteArray b = userColonPassword.toBase64();
    b.replace("=", "");
    return b;
}

class DialoguesTest : public ::testing::Test
{
protected:
    DialoguesTest()
    {
        ensureCoreApp();
        addRebootMessages(t);
        t.s.currentPhone = Recordset({QStringLiteral("PH_CODE"), QStringLiteral("PH_DESC")},
                                     {{QStringLiteral("101"), QStringLiteral("Reception desk")}});
    }
    QString first(const char* label, const FakePhone& phone) const
    {
        return QLatin1String(label) + phone.address() + QStringLiteral(" - 101 - Reception desk");
    }
    void expectClean(const FakePhone& phone)
    {
        EXPECT_TRUE(phone.mismatches.isEmpty()) << phone.mismatches.join(u'\n').toStdString();
    }

    TestSession t;
    HttpExchange x{t.s, t.log, 3000};
    RebootDialogues d{t.s, t.log, x};
};

// --- GXP2000: probe, form login with a cookie, reboot page.

QByteArray gxpProbe(const QString& a)
{
    return "GET /" + block10(a) + "\r\n";
}
QByteArray gxpLogin(const QString& a, const QByteArray& form)
{
    return "POST /dologin.htm" + block10(a) + "Content-Length: " + QByteArray::number(form.size()) + "\r\n\r\n" + form +
           "\r\n";
}
QByteArray gxpReboot(const QString& a, const QByteArray& cookie)
{
    return "GET /rs.htm" + block10(a) + "Cookie: " + cookie + "\r\n\r\n";
}
const QByteArray kLoginPage = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n<html>login</html>";
const QByteArray kBusyPage = "HTTP/1.0 200 OK\r\n\r\n<html>The device is busy, try later</html>";

TEST_F(DialoguesTest, Gxp2000LogsInWithItsCookieAndReboots)
{
    FakePhone phone;
    const QString a = phone.address();
    phone.add({gxpProbe(a), kLoginPage});
    phone.add({gxpLogin(a, "P2=secret&gnkey=7d31"),
               "HTTP/1.0 200 OK\r\nSet-Cookie: SID=ab12; path=/\r\n\r\n<html>welcome</html>"});
    phone.add({gxpReboot(a, "SID=ab12"), "HTTP/1.0 200 OK\r\n\r\n<html>rebooting</html>"});
    d.RebootGXP2000(a, QStringLiteral("secret"));
    EXPECT_EQ(t.log.lines, (QStringList{first("GXP2000 ", phone), msg("M15")}));
    EXPECT_EQ(phone.connections, 3);
    expectClean(phone);
}

TEST_F(DialoguesTest, Gxp2000LoginCarriesTheRealLengthOfAnEncodedPassword)
{
    for (const auto& [password, form] : {std::pair{QStringLiteral("a much longer password&x=1"),
                                                   QByteArray("P2=a+much+longer+password%26x%3D1&gnkey=7d31")},
                                         std::pair{QString(), QByteArray("P2=&gnkey=7d31")}}) {
        FakePhone phone;
        const QString a = phone.address();
        phone.add({gxpProbe(a), kLoginPage});
        // Without a blank after the colon the cookie still keeps its first character; no ";" ends it at the line.
        phone.add({gxpLogin(a, form), "HTTP/1.0 200 OK\r\nSet-Cookie:SID=9\r\nX-B: c;d\r\n\r\n"});
        phone.add({gxpReboot(a, "SID=9"), "HTTP/1.0 200 OK\r\n\r\n"});
        t.log.lines.clear();
        d.RebootGXP2000(a, password);
        EXPECT_EQ(t.log.lines.value(1), msg("M15")) << form.constData();
        EXPECT_EQ(phone.requests.value(1), gxpLogin(a, form));
        expectClean(phone);
    }
}

TEST_F(DialoguesTest, Gxp2000WithoutCookieIsRefused)
{
    FakePhone phone;
    const QString a = phone.address();
    phone.add({gxpProbe(a), kLoginPage});
    phone.add({gxpLogin(a, "P2=bad&gnkey=7d31"), "HTTP/1.0 200 OK\r\n\r\n<html>wrong password</html>"});
    d.RebootGXP2000(a, QStringLiteral("bad"));
    EXPECT_EQ(t.log.lines, (QStringList{first("GXP2000 ", phone), msg("M22")}));
    EXPECT_EQ(phone.connections, 2);
    expectClean(phone);
}

TEST_F(DialoguesTest, Gxp2000BusyEndsOrIsAskedAgainAfterEachDeadline)
{
    {
        FakePhone phone;
        phone.add({gxpProbe(phone.address()), kBusyPage});
        d.setWaitIfBusy(false);
        d.RebootGXP2000(phone.address(), QStringLiteral("pw"));
        EXPECT_EQ(t.log.lines, (QStringList{first("GXP2000 ", phone), msg("M21")}));
        EXPECT_EQ(phone.connections, 1);
    }
    t.log.lines.clear();
    FakePhone phone;
    const QString a = phone.address();
    HttpExchange quick(t.s, t.log, 60);
    RebootDialogues waiting(t.s, t.log, quick);
    waiting.setWaitIfBusy(true);
    phone.add({gxpProbe(a), kBusyPage});
    phone.add({gxpProbe(a), kBusyPage});
    phone.add({gxpProbe(a), kLoginPage});
    phone.add({gxpLogin(a, "P2=pw&gnkey=7d31"), "HTTP/1.0 200 OK\r\nSet-Cookie: S=1;\r\n\r\n"});
    phone.add({gxpReboot(a, "S=1"), "HTTP/1.0 200 OK\r\n\r\n"});
    waiting.RebootGXP2000(a, QStringLiteral("pw"));
    EXPECT_EQ(t.log.lines, (QStringList{first("GXP2000 ", phone), msg("M21"), msg("M21"), msg("M15")}));
    EXPECT_EQ(phone.connections, 5);
    expectClean(phone);
}

// Records lines and presses Cancel shortly after the first busy line.
class CancelOnBusy final : public RunLog
{
public:
    explicit CancelOnBusy(QStringList& lines) : m_lines(lines) {}
    HttpExchange* exchange = nullptr;
    void append(const QString& line) override
    {
        m_lines.append(line);
        if (line == msg("M21"))
            QTimer::singleShot(10, exchange, [x = exchange] { x->abort(); });
    }

private:
    QStringList& m_lines;
};

TEST_F(DialoguesTest, Gxp2000AbortDuringTheBusyWaitEndsAtTheNextExchange)
{
    FakePhone phone;
    const QString a = phone.address();
    phone.add({gxpProbe(a), kBusyPage});
    phone.add({gxpProbe(a), kLoginPage});
    CancelOnBusy log(t.log.lines);
    HttpExchange quick(t.s, log, 100);
    log.exchange = &quick;
    RebootDialogues dialogue(t.s, log, quick);
    dialogue.RebootGXP2000(a, QStringLiteral("pw"));
    EXPECT_EQ(t.log.lines, (QStringList{first("GXP2000 ", phone), msg("M21")}));
    EXPECT_EQ(phone.connections, 1);
}

// --- PAP2: the reboot page behind Digest authentication.

const QByteArray kPapPath = "GET /admin/reboot";

TEST_F(DialoguesTest, Pap2AnswersTheDigestChallenge)
{
    FakePhone phone;
    const QString a = phone.address();
    phone.add({kPapPath + block10(a) + "\r\n",
               "HTTP/1.0 401 Unauthorized\r\nWWW-Authenticate: Digest realm=\"Linksys\", "
               "nonce=\"b7f0a1\", opaque=\"5ccc\", qop=\"auth\", domain=\"/admin\"\r\n\r\n"});
    const QByteArray line = digestLine("Linksys", "s3cr\xe9t", "b7f0a1", "auth", "5ccc");
    FakePhone::Step authed{kPapPath + block10(a) + line + "\r\n"};
    authed.answer = [line](const QByteArray& request) -> QByteArray {
        return request.contains(line) ? "HTTP/1.0 200 OK\r\n\r\n<html>Rebooting</html>" : "HTTP/1.0 401 No\r\n\r\n";
    };
    phone.add(authed);
    d.RebootPAP2(a, QStringLiteral("s3cr\u00e9t"));
    EXPECT_EQ(t.log.lines, (QStringList{first("PAP2 ", phone), msg("M15")}));
    expectClean(phone);
}

TEST_F(DialoguesTest, Pap2ChoosesAuthFromAListAndFindsParametersInAnyOrder)
{
    FakePhone phone;
    const QString a = phone.address();
    phone.add({kPapPath + block10(a) + "\r\n",
               "HTTP/1.0 401 Unauthorized\r\nWWW-Authenticate: Digest qop=\"auth,auth-int\", opaque=\"\", "
               "nonce=\"n-1\", realm=\"PAP\"\r\n\r\n"});
    const QByteArray line = digestLine("PAP", "pw", "n-1", "auth", "");
    FakePhone::Step authed{kPapPath + block10(a) + line + "\r\n"};
    authed.answer = [line](const QByteArray& request) -> QByteArray {
        return request.contains(line) ? "HTTP/1.0 200 OK\r\n\r\n" : "HTTP/1.0 401 No\r\n\r\n";
    };
    phone.add(authed);
    d.RebootPAP2(a, QStringLiteral("pw"));
    EXPECT_EQ(t.log.lines.value(1), msg("M15"));
    expectClean(phone);
}

TEST_F(DialoguesTest, Pap2RefusedAuthenticationAndNoChallenge)
{
    FakePhone phone;
    const QString a = phone.address();
    phone.add({kPapPath + block10(a) + "\r\n",
               "HTTP/1.0 401 Unauthorized\r\nWWW-Authenticate: Digest realm=\"R\", nonce=\"N\", opaque=\"O\", "
               "qop=\"auth\"\r\n\r\n"});
    // The device knows another password.
    const QByteArray wanted = digestLine("R", "right", "N", "auth", "O");
    FakePhone::Step authed{kPapPath + block10(a) + digestLine("R", "wrong", "N", "auth", "O") + "\r\n"};
    authed.answer = [wanted](const QByteArray& request) -> QByteArray {
        return request.contains(wanted) ? "HTTP/1.0 200 OK\r\n\r\n" : "HTTP/1.0 401 Unauthorized\r\n\r\n";
    };
    phone.add(authed);
    d.RebootPAP2(a, QStringLiteral("wrong"));
    EXPECT_EQ(t.log.lines, (QStringList{first("PAP2 ", phone), msg("M22")}));
    expectClean(phone);

    // A device that asks for nothing has accepted with the first request.
    FakePhone open;
    open.add({kPapPath + block10(open.address()) + "\r\n", "HTTP/1.0 200 OK\r\n\r\n<html>Rebooting</html>", false});
    t.log.lines.clear();
    d.RebootPAP2(open.address(), QStringLiteral("pw"));
    EXPECT_EQ(t.log.lines, (QStringList{first("PAP2 ", open), msg("M15")}));
    EXPECT_EQ(open.connections, 1);
    expectClean(open);
}

// --- F1000: Basic authentication, then the reboot form.

QByteArray f1000Get(const QString& a, const QByteArray& credentials)
{
    return "GET /adminprivate/contents_admin.html HTTP/1.1\r\nAccept: */*\r\nAccept-Language: fr\r\n"
           "User-Agent: Winsock\r\nHost: " +
           a.toLatin1() + "\r\nConnection: close\r\nAuthorization: Basic " + credentials + "\r\n\r\n";
}
QByteArray f1000Post(const QString& a, const QByteArray& credentials)
{
    return "POST /adminprivate/contents_admin.html HTTP/1.1\r\nAccept: */*\r\nReferer: http://" + a.toLatin1() +
           "/adminprivate/contents_admin.html\r\nAccept-Language: fr\r\n"
           "Content-Type: application/x-www-form-urlencoded\r\nUser-Agent: Winsock\r\nHost: " +
           a.toLatin1() + "\r\nConnection: close\r\nContent-Length: 25\r\nAuthorization: Basic " + credentials +
           "\r\n\r\nrebootcmd=1&reboot=REBOOT";
}

TEST_F(DialoguesTest, F1000AuthenticatesThenPostsTheRebootForm)
{
    for (const QByteArray& password : {QByteArray("1234"), QByteArray("a password longer than thirty chars")}) {
        FakePhone phone;
        const QString a = phone.address();
        const QByteArray credentials = basic("admin:" + password);
        ASSERT_FALSE(credentials.contains('='));
        phone.add({f1000Get(a, credentials), "HTTP/1.1 200 OK\r\n\r\n<html>admin</html>", false});
        phone.add({f1000Post(a, credentials), "HTTP/1.1 200 OK\r\n\r\n"});
        t.log.lines.clear();
        d.RebootF1000(a, QString::fromLatin1(password));
        EXPECT_EQ(t.log.lines, (QStringList{first("F1000 ", phone), msg("M15")}));
        EXPECT_TRUE(
            waitUntil([&] { return phone.requests.size() == 2 && phone.requests[1] == f1000Post(a, credentials); }));
        EXPECT_EQ(phone.requests.value(0), f1000Get(a, credentials));
        expectClean(phone);
    }
}

TEST_F(DialoguesTest, SilentDevicesCostOneDeadlineEach)
{
    HttpExchange quick(t.s, t.log, 150);
    RebootDialogues dialogues(t.s, t.log, quick);
    FakePhone phone;
    const QString a = phone.address();
    const QByteArray credentials = basic("admin:pw");
    phone.add({f1000Get(a, credentials), "HTTP/1.1 200 OK\r\n\r\npartial", false});
    dialogues.RebootF1000(a, QStringLiteral("pw"));
    // No reboot form after a failed exchange.
    EXPECT_EQ(t.log.lines, (QStringList{first("F1000 ", phone), msg("M23")}));
    EXPECT_EQ(phone.connections, 1);

    FakePhone mute;
    mute.add({kPapPath + block10(mute.address()) + "\r\n", {}, false});
    t.log.lines.clear();
    dialogues.RebootPAP2(mute.address(), QStringLiteral("pw"));
    EXPECT_EQ(t.log.lines, (QStringList{first("PAP2 ", mute), msg("M23")}));
}

// An error page is no restart, and a telephone that closes without answering is told as such, not
// as a refused login; a refusal of the credentials stays M22. Each ends the dialogue, false.
TEST_F(DialoguesTest, AnErrorPageOrNoAnswerIsAFailure)
{
    const QString noAnswer = QStringLiteral("No answer from %1: the connection closed without a reply.");
    const QString error = QStringLiteral("The telephone answered with an error: ");
    const QByteArray login = "HTTP/1.0 200 OK\r\nSet-Cookie: SID=1\r\n\r\n";
    const QByteArray challenge = "HTTP/1.0 401 Unauthorized\r\nWWW-Authenticate: Digest realm=\"R\", nonce=\"N\", "
                                 "opaque=\"O\", qop=\"auth\"\r\n\r\n";
    struct Case
    {
        const char* name;
        std::function<void(FakePhone&, const QString&)> steps;
        std::function<bool(const QString&)> reboot;
        QString last; // the last log line; %1 is the address
        int requests;
    };
    const QList<Case> cases = {
        {"GXP2000 reboot page 404",
         [&](FakePhone& p, const QString& a) {
             p.add({gxpProbe(a), kLoginPage});
             p.add({gxpLogin(a, "P2=pw&gnkey=7d31"), login});
             p.add({gxpReboot(a, "SID=1"), "HTTP/1.0 404 Not Found\r\n\r\n<html>no</html>"});
         },
         [&](const QString& a) { return d.RebootGXP2000(a, QStringLiteral("pw")); },
         error + QLatin1String("HTTP/1.0 404 Not Found"), 3},
        {"GXP2000 probe 500",
         [&](FakePhone& p, const QString& a) {
             p.add({gxpProbe(a), "HTTP/1.0 500 Server Error\r\n\r\n"});
         },
         [&](const QString& a) { return d.RebootGXP2000(a, QStringLiteral("pw")); },
         error + QLatin1String("HTTP/1.0 500 Server Error"), 1},
        {"GXP2000 login closed without a reply",
         [&](FakePhone& p, const QString& a) {
             p.add({gxpProbe(a), kLoginPage});
             p.add({gxpLogin(a, "P2=pw&gnkey=7d31"), {}});
         },
         [&](const QString& a) { return d.RebootGXP2000(a, QStringLiteral("pw")); }, noAnswer, 2},
        {"GXP2000 login 403",
         [&](FakePhone& p, const QString& a) {
             p.add({gxpProbe(a), kLoginPage});
             p.add({gxpLogin(a, "P2=pw&gnkey=7d31"), "HTTP/1.0 403 Forbidden\r\nSet-Cookie: SID=1\r\n\r\n"});
         },
         [&](const QString& a) { return d.RebootGXP2000(a, QStringLiteral("pw")); }, msg("M22"), 2},
        {"PAP2 without challenge 404",
         [&](FakePhone& p, const QString& a) {
             p.add({kPapPath + block10(a) + "\r\n", "HTTP/1.0 404 Not Found\r\n\r\n"});
         },
         [&](const QString& a) { return d.RebootPAP2(a, QStringLiteral("pw")); },
         error + QLatin1String("HTTP/1.0 404 Not Found"), 1},
        {"PAP2 closed without a reply",
         [&](FakePhone& p, const QString& a) {
             p.add({kPapPath + block10(a) + "\r\n", {}});
         },
         [&](const QString& a) { return d.RebootPAP2(a, QStringLiteral("pw")); }, noAnswer, 1},
        {"PAP2 authenticated 500",
         [&](FakePhone& p, const QString& a) {
             p.add({kPapPath + block10(a) + "\r\n", challenge});
             p.add({kPapPath + block10(a) + digestLine("R", "pw", "N", "auth", "O") + "\r\n",
                    "HTTP/1.0 500 Internal Error\r\n\r\n"});
         },
         [&](const QString& a) { return d.RebootPAP2(a, QStringLiteral("pw")); },
         error + QLatin1String("HTTP/1.0 500 Internal Error"), 2},
        {"F1000 credentials refused",
         [&](FakePhone& p, const QString& a) {
             p.add({f1000Get(a, basic("admin:pw")), "HTTP/1.1 401 Unauthorized\r\n\r\n"});
         },
         [&](const QString& a) { return d.RebootF1000(a, QStringLiteral("pw")); }, msg("M22"), 1},
        {"F1000 page 404",
         [&](FakePhone& p, const QString& a) {
             p.add({f1000Get(a, basic("admin:pw")), "HTTP/1.1 404 Not Found\r\n\r\n"});
         },
         [&](const QString& a) { return d.RebootF1000(a, QStringLiteral("pw")); },
         error + QLatin1String("HTTP/1.1 404 Not Found"), 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakePhone phone;
        c.steps(phone, phone.address());
        t.log.lines.clear();
        EXPECT_FALSE(c.reboot(phone.address()));
        EXPECT_EQ(t.log.lines.size(), 2) << t.log.lines.join(u'|').toStdString();
        EXPECT_EQ(t.log.lines.value(1), c.last.contains(u"%1") ? c.last.arg(phone.address()) : c.last);
        // Nothing more is sent after the failure: no reboot form follows a refused page.
        EXPECT_EQ(phone.connections, c.requests);
        expectClean(phone);
    }
}

} // namespace
} // namespace vocaset::test
