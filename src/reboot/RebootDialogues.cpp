#include "RebootDialogues.h"

#include "Base64.h"
#include "CMD5.h"
#include "Messages.h"
#include "TextFile.h"
#include "UiYield.h"

namespace vocaset {
namespace {

const QString kCrLf = QStringLiteral("\r\n");

} // namespace

void RebootDialogues::begin(const QString& label, const QString& address)
{
    m_log.append(label + address + QStringLiteral(" - ") + m_s.currentPhone.text(QStringLiteral("PH_CODE")) +
                 QStringLiteral(" - ") + m_s.currentPhone.text(QStringLiteral("PH_DESC")));
    giveUiTurn();
    m_cookieLine.clear();
}

void RebootDialogues::logMessage(const QString& code)
{
    m_log.append(MessageText(m_s, code));
}

int RebootDialogues::statusOf(const QString& reply)
{
    if (!reply.startsWith(QLatin1String("HTTP/")))
        return 0;
    const qsizetype blank = reply.indexOf(u' ');
    const QStringView code = QStringView(reply).mid(blank + 1, 3);
    bool ok = false;
    const int status = blank > 0 && code.size() == 3 ? code.toInt(&ok) : 0;
    return ok && status >= 100 && status <= 999 ? status : 0;
}

bool RebootDialogues::failedReply(const QString& address)
{
    const int status = statusOf(m_x.reply());
    if (status == 0) {
        m_log.append(textOr(m_s, QStringLiteral("M460"),
                            QStringLiteral("No answer from $$: the connection closed without a reply."), address));
        return true;
    }
    if (status >= 200 && status < 400)
        return false;
    const QString& reply = m_x.reply();
    qsizetype end = reply.size();
    for (const QChar stop : {QChar(u'\r'), QChar(u'\n')}) {
        const qsizetype at = reply.indexOf(stop);
        if (at >= 0 && at < end)
            end = at;
    }
    const QString statusLine = reply.left(std::min<qsizetype>(end, 200));
    m_log.append(textOr(m_s, QStringLiteral("M461"), QStringLiteral("The telephone answered with an error: $$"),
                        escapeControls(statusLine)));
    return true;
}

bool RebootDialogues::refusedLogin()
{
    const int status = statusOf(m_x.reply());
    if (status != 401 && status != 403)
        return false;
    logMessage(QStringLiteral("M22"));
    return true;
}

QString RebootDialogues::cookieOf(const QString& reply)
{
    static const QLatin1String kHeader("Set-Cookie:");
    const qsizetype at = reply.indexOf(kHeader);
    if (at < 0)
        return QString();
    qsizetype start = at + kHeader.size();
    while (start < reply.size() && (reply[start] == u' ' || reply[start] == u'\t'))
        ++start;
    qsizetype end = start;
    while (end < reply.size() && reply[end] != u';' && reply[end] != u'\r' && reply[end] != u'\n')
        ++end;
    return reply.mid(start, end - start);
}

QString RebootDialogues::formEncode(const QString& value)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    QString out;
    for (char ch : toCp1252(value)) {
        const auto b = static_cast<unsigned char>(ch);
        if ((b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9') || b == '*' || b == '-' ||
            b == '.' || b == '_') {
            out.append(QLatin1Char(char(b)));
        } else if (b == ' ') {
            out.append(u'+');
        } else {
            out.append(u'%');
            out.append(QLatin1Char(kHex[b >> 4]));
            out.append(QLatin1Char(kHex[b & 0xF]));
        }
    }
    return out;
}

QString RebootDialogues::chooseQop(const QString& offered)
{
    const QStringList options = offered.split(u',', Qt::SkipEmptyParts);
    if (options.size() > 1) {
        for (const QString& option : options) {
            if (option.trimmed() == u"auth")
                return QStringLiteral("auth");
        }
    }
    return offered;
}

QString RebootDialogues::basicCredentials(const QString& user, const QString& password)
{
    QString encoded = Encode64(user + u':' + password);
    // The encoder breaks long texts into lines; a header value must stay on one line.
    encoded.remove(QLatin1Char('='));
    encoded.remove(QLatin1Char('\r'));
    encoded.remove(QLatin1Char('\n'));
    return encoded;
}

bool RebootDialogues::RebootGXP2000(const QString& address, const QString& password)
{
    begin(QStringLiteral("GXP2000 "), address);
    const QString block = headerBlock10(address);

    for (;;) {
        if (!m_x.GetHttp(address, QStringLiteral("GET /") + block + kCrLf))
            return false;
        if (!m_x.reply().contains(QLatin1String("device is busy"))) {
            if (failedReply(address))
                return false;
            break;
        }
        logMessage(QStringLiteral("M21"));
        giveUiTurn();
        if (!m_waitIfBusy)
            return false;
        m_x.waitDeadline();
    }

    // The length is the form text's own; the line end after it is not part of the form.
    const QString body =
        QStringLiteral("P2=") + formEncode(password) + QStringLiteral("&gnkey=") + QLatin1String(kGnKey);
    if (!m_x.GetHttp(address, QStringLiteral("POST /dologin.htm") + block + QStringLiteral("Content-Length: ") +
                                  QString::number(body.size()) + kCrLf + kCrLf + body + kCrLf))
        return false;
    if (refusedLogin() || failedReply(address))
        return false;
    if (!m_x.reply().contains(QLatin1String("Set-Cookie:"))) {
        logMessage(QStringLiteral("M22"));
        return false;
    }
    m_cookieLine = QStringLiteral("Cookie: ") + cookieOf(m_x.reply());

    if (!m_x.GetHttp(address, QStringLiteral("GET /rs.htm") + block + m_cookieLine + kCrLf + kCrLf) ||
        failedReply(address))
        return false;
    logMessage(QStringLiteral("M15"));
    return true;
}

bool RebootDialogues::RebootPAP2(const QString& address, const QString& password)
{
    begin(QStringLiteral("PAP2 "), address);
    const CMD5 md5;
    const QString path = QStringLiteral("/admin/reboot");
    const QString block = headerBlock10(address);

    if (!m_x.GetHttp(address, QStringLiteral("GET ") + path + block + kCrLf))
        return false;
    if (!m_x.reply().contains(QLatin1String("WWW-Authenticate: Digest"))) {
        if (failedReply(address))
            return false;
        logMessage(QStringLiteral("M15"));
        return true;
    }

    const QString& challenge = m_x.reply();
    const QString realm = RecVal(QStringLiteral("realm"), challenge);
    const QString nonce = RecVal(QStringLiteral("nonce"), challenge);
    const QString opaque = RecVal(QStringLiteral("opaque"), challenge);
    const QString qop = chooseQop(RecVal(QStringLiteral("qop"), challenge));
    const QString user = QLatin1String(kUser);
    const QString nc = QLatin1String(kNc);
    const QString cnonce = QLatin1String(kCnonce);
    const QString method = QStringLiteral("GET");

    const QString ha1 = md5.MD5(user + u':' + realm + u':' + password);
    const QString ha2 = md5.MD5(method + u':' + path);
    const QString response = md5.MD5(ha1 + u':' + nonce + u':' + nc + u':' + cnonce + u':' + qop + u':' + ha2);
    const QString authorization = QStringLiteral("Authorization: Digest username=\"") + user +
                                  QStringLiteral("\", realm=\"") + realm + QStringLiteral("\", qop=\"") + qop +
                                  QStringLiteral("\", algorithm=\"MD5\", uri=\"") + path +
                                  QStringLiteral("\", nonce=\"") + nonce + QStringLiteral("\", nc=") + nc +
                                  QStringLiteral(", cnonce=\"") + cnonce + QStringLiteral("\", opaque=\"") + opaque +
                                  QStringLiteral("\", response=\"") + response + QStringLiteral("\"") + kCrLf;

    if (!m_x.GetHttp(address, QStringLiteral("GET ") + path + block + authorization + kCrLf))
        return false;
    if (m_x.reply().mid(9, 3) != u"200") {
        // An error page or no answer is told as such; any other answer than 200 is a refusal.
        if (!refusedLogin() && !failedReply(address))
            logMessage(QStringLiteral("M22"));
        giveUiTurn();
        return false;
    }
    logMessage(QStringLiteral("M15"));
    return true;
}

bool RebootDialogues::RebootF1000(const QString& address, const QString& password)
{
    begin(QStringLiteral("F1000 "), address);
    const QString path = QStringLiteral("/adminprivate/contents_admin.html");
    const QString user = QLatin1String(kUser);

    QString credentials = basicCredentials(user, password);
    if (!m_x.GetHttp(address, QStringLiteral("GET ") + path + headerBlock11(address) +
                                  QStringLiteral("Authorization: Basic ") + credentials + kCrLf + kCrLf) ||
        refusedLogin() || failedReply(address))
        return false;

    credentials = basicCredentials(user, password);
    const QString body = QStringLiteral("rebootcmd=1&reboot=REBOOT");
    const QString request = QStringLiteral("POST ") + path + QStringLiteral(" HTTP/1.1") + kCrLf +
                            QStringLiteral("Accept: */*") + kCrLf + QStringLiteral("Referer: http://") + address +
                            path + kCrLf + QStringLiteral("Accept-Language: fr") + kCrLf +
                            QStringLiteral("Content-Type: application/x-www-form-urlencoded") + kCrLf +
                            QStringLiteral("User-Agent: Winsock") + kCrLf + QStringLiteral("Host: ") + address + kCrLf +
                            QStringLiteral("Connection: close") + kCrLf + QStringLiteral("Content-Length: ") +
                            QString::number(body.size()) + kCrLf + QStringLiteral("Authorization: Basic ") +
                            credentials + kCrLf + kCrLf + body;
    if (!m_x.PostHttp(address, request))
        return false;
    logMessage(QStringLiteral("M15"));
    giveUiTurn();
    return true;
}

} // namespace vocaset
