#include "HttpClient.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QSslConfiguration>
#include <QSslSocket>

#include "CMD5.h"
#include "HttpExchange.h"

namespace vocaset::test {

void ensureApp()
{
    static int argc = 1;
    static char name[] = "serve-tests";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance())
        new QCoreApplication(argc, argv);
}

HttpClient::HttpClient(quint16 port, const QSslCertificate* trusted, const QString& from) : m_port(port), m_from(from)
{
    ensureApp();
    if (trusted)
        m_trusted = *trusted;
}

HttpClient::~HttpClient() = default;

bool HttpClient::connected() const
{
    return m_socket && m_socket->state() == QAbstractSocket::ConnectedState;
}

bool HttpClient::ensureConnected()
{
    if (connected())
        return true;
    if (!m_trusted) {
        m_socket = std::make_unique<QTcpSocket>();
        if (!m_from.isEmpty())
            m_socket->bind(QHostAddress(m_from));
        m_socket->connectToHost(QStringLiteral("127.0.0.1"), m_port);
        return m_socket->waitForConnected(kTimeoutMs);
    }
    auto tls = std::make_unique<QSslSocket>();
    if (!m_from.isEmpty())
        tls->bind(QHostAddress(m_from));
    QSslConfiguration config = tls->sslConfiguration();
    config.setCaCertificates({*m_trusted});
    tls->setSslConfiguration(config);
    tls->connectToHostEncrypted(QStringLiteral("127.0.0.1"), m_port);
    const bool ok = tls->waitForEncrypted(kTimeoutMs);
    m_socket = std::move(tls);
    return ok;
}

HttpReply HttpClient::request(const QByteArray& method, const QByteArray& target, const HeaderList& headers,
                              const QByteArray& body)
{
    HttpReply reply;
    if (!ensureConnected())
        return reply;
    QByteArray out = method + ' ' + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n";
    for (const auto& [name, value] : headers)
        out += name + ": " + value + "\r\n";
    if (!body.isEmpty())
        out += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    out += "\r\n" + body;
    m_socket->write(out);

    QByteArray in;
    QDeadlineTimer deadline(kTimeoutMs);
    const auto more = [&] {
        if (!m_socket->bytesAvailable() && !m_socket->waitForReadyRead(int(deadline.remainingTime())))
            return false;
        in += m_socket->readAll();
        return true;
    };
    qsizetype end = -1;
    while ((end = in.indexOf("\r\n\r\n")) < 0) {
        if (!more())
            return reply;
    }
    const QList<QByteArray> lines = in.left(end).split('\n');
    reply.status = lines.first().split(' ').value(1).toInt();
    for (const QByteArray& line : lines.mid(1)) {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0)
            reply.headers.insert(line.left(colon).trimmed().toLower(), line.mid(colon + 1).trimmed());
    }
    in = in.mid(end + 4);
    const qsizetype length = method == "HEAD" || reply.status == 304 ? 0 : reply.header("Content-Length").toLongLong();
    while (in.size() < length) {
        if (!more()) {
            reply.status = 0;
            return reply;
        }
    }
    reply.body = in.left(length);
    if (in.size() > length || reply.header("Connection").toLower() == "close")
        m_socket.reset(); // extra bytes would mean the reply was longer than it said
    return reply;
}

HttpReply HttpClient::getWithDigest(const QByteArray& target, const QString& user, const QString& password)
{
    const HttpReply challenge = request("GET", target);
    if (challenge.status != 401)
        return challenge;
    return request("GET", target,
                   {{"Authorization", digestAuthorization(challenge.header("WWW-Authenticate"), "GET", target, user,
                                                          password, ++m_nc)}});
}

QByteArray digestAuthorization(const QByteArray& challenge, const QByteArray& method, const QByteArray& uri,
                               const QString& user, const QString& password, int nc)
{
    const QString text = QString::fromLatin1(challenge);
    const QString realm = RecVal(QStringLiteral("realm"), text);
    const QString nonce = RecVal(QStringLiteral("nonce"), text);
    const QString opaque = RecVal(QStringLiteral("opaque"), text);
    const QString count = QStringLiteral("%1").arg(nc, 8, 16, QLatin1Char('0'));
    const QString cnonce = QStringLiteral("0a4f113b");
    const CMD5 md5;
    const QString ha1 = md5.MD5(user + u':' + realm + u':' + password);
    const QString ha2 = md5.MD5(QString::fromLatin1(method) + u':' + QString::fromLatin1(uri));
    const QString response =
        md5.MD5(ha1 + u':' + nonce + u':' + count + u':' + cnonce + QStringLiteral(":auth:") + ha2);
    return QStringLiteral("Digest username=\"%1\", realm=\"%2\", nonce=\"%3\", uri=\"%4\", algorithm=MD5, "
                          "response=\"%5\", opaque=\"%6\", qop=auth, nc=%7, cnonce=\"%8\"")
        .arg(user, realm, nonce, QString::fromLatin1(uri), response, opaque, count, cnonce)
        .toLatin1();
}

} // namespace vocaset::test
