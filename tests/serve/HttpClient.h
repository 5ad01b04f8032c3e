#pragma once

#include <memory>
#include <optional>

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QPair>
#include <QSslCertificate>
#include <QString>

class QTcpSocket;

namespace vocaset::test {

struct HttpReply
{
    int status = 0;                       // 0: no reply (refused, closed, timed out)
    QMap<QByteArray, QByteArray> headers; // names in lower case
    QByteArray body;
    QByteArray header(const QByteArray& name) const { return headers.value(name.toLower()); }
};

using HeaderList = QList<QPair<QByteArray, QByteArray>>;

// The application object sockets need, made once.
void ensureApp();

// A blocking HTTP/1.1 client on 127.0.0.1 that keeps its connection open between requests and sends
// the bytes it is given (bad paths included). With a certificate it speaks TLS and trusts only it.
// from: another loopback address to connect from (127.0.0.2), as a second client machine.
class HttpClient
{
public:
    explicit HttpClient(quint16 port, const QSslCertificate* trusted = nullptr, const QString& from = {});
    ~HttpClient();

    HttpReply request(const QByteArray& method, const QByteArray& target, const HeaderList& headers = {},
                      const QByteArray& body = {});
    // GET answered with a Digest challenge is sent again with credentials (MD5, qop auth).
    HttpReply getWithDigest(const QByteArray& target, const QString& user, const QString& password);
    // The connection the last request used is still open.
    bool connected() const;

    static constexpr int kTimeoutMs = 5000;

private:
    bool ensureConnected();

    quint16 m_port;
    std::optional<QSslCertificate> m_trusted;
    QString m_from;
    std::unique_ptr<QTcpSocket> m_socket;
    int m_nc = 0;
};

// The Authorization header answering a Digest challenge (RFC 7616, MD5, qop auth).
QByteArray digestAuthorization(const QByteArray& challenge, const QByteArray& method, const QByteArray& uri,
                               const QString& user, const QString& password, int nc);

} // namespace vocaset::test
