#include "HttpExchange.h"

#include <QEventLoop>
#include <QNetworkProxy>

#include "Messages.h"
#include "TextFile.h"

namespace vocaset {

DeviceEndpoint splitAddress(const QString& address)
{
    DeviceEndpoint endpoint{address, 80};
    const qsizetype colon = address.lastIndexOf(u':');
    if (colon < 0)
        return endpoint;
    bool ok = false;
    const uint port = address.mid(colon + 1).toUInt(&ok);
    if (ok && port > 0 && port <= 65535) {
        endpoint.host = address.left(colon);
        endpoint.port = quint16(port);
    }
    return endpoint;
}

QString headerBlock10(const QString& address)
{
    return QStringLiteral(" HTTP/1.0\r\nAccept: */*\r\nAccept-Language: fr\r\nUser-Agent: Winsock\r\nHost: ") +
           address + QStringLiteral("\r\n");
}

QString headerBlock11(const QString& address)
{
    return QStringLiteral(" HTTP/1.1\r\nAccept: */*\r\nAccept-Language: fr\r\nUser-Agent: Winsock\r\nHost: ") +
           address + QStringLiteral("\r\nConnection: close\r\n");
}

QString RecVal(const QString& key, const QString& text)
{
    const QString opening = key + QStringLiteral("=\"");
    const qsizetype at = text.indexOf(opening);
    if (at < 0)
        return QString();
    const qsizetype start = at + opening.size();
    // The value ends at its closing quote, and never goes past its line: what is read here is sent
    // back in a header line.
    qsizetype end = text.size();
    for (QChar stop : {QChar(u'"'), QChar(u'\r'), QChar(u'\n')}) {
        const qsizetype e = text.indexOf(stop, start);
        if (e >= 0 && e < end)
            end = e;
    }
    return text.mid(start, end - start);
}

HttpExchange::HttpExchange(Session& session, RunLog& log, int deadlineMs, QObject* parent)
    : QObject(parent), m_s(session), m_log(log), m_deadlineMs(deadlineMs)
{
    m_ws1.setProxy(QNetworkProxy::NoProxy);
    m_tim1.setSingleShot(true);
    m_tim1.setTimerType(Qt::PreciseTimer);
    m_tim1.setInterval(m_deadlineMs);
    connect(&m_tim1, &QTimer::timeout, this, &HttpExchange::wake);
    connect(&m_ws1, &QTcpSocket::readyRead, this, &HttpExchange::onReadyRead);
    connect(&m_ws1, &QTcpSocket::disconnected, this, &HttpExchange::onDisconnected);
    connect(&m_ws1, &QTcpSocket::errorOccurred, this, &HttpExchange::onError);
    connect(&m_ws1, &QTcpSocket::stateChanged, this, &HttpExchange::wake);
    connect(&m_ws1, &QTcpSocket::bytesWritten, this, &HttpExchange::wake);
}

HttpExchange::~HttpExchange()
{
    m_ws1.abort();
}

void HttpExchange::startConnect(const QString& address)
{
    // Every exchange gets a connection of its own: the requests ask the device to close after its
    // reply, and a connection left open by an earlier reply may belong to another telephone.
    if (m_ws1.state() != QAbstractSocket::UnconnectedState)
        m_ws1.abort();
    const DeviceEndpoint endpoint = splitAddress(address);
    m_peer = endpoint.host + u':' + QString::number(endpoint.port);
    m_ws1.connectToHost(endpoint.host, endpoint.port);
}

bool HttpExchange::connectAndWait(const QString& address)
{
    // After Cancel nothing more goes to the device.
    if (m_abortRun)
        return false;
    startConnect(address);
    m_tim1.start();
    for (;;) {
        if (m_ws1.state() == QAbstractSocket::ConnectedState)
            return true;
        if (!m_tim1.isActive())
            return timedOut();
        if (m_abortRun) {
            m_tim1.stop();
            return false;
        }
        waitForEvent();
    }
}

bool HttpExchange::sendRequest(const QString& address, const QString& request)
{
    if (!connectAndWait(address))
        return false;
    m_reply.clear();
    m_ws1.write(toCp1252(request));
    return true;
}

bool HttpExchange::stoppedByCancel()
{
    // Cancel closes the socket; that must read as a failure, not as a reply ended by the device.
    if (!m_abortRun)
        return false;
    m_tim1.stop();
    closeSocket();
    return true;
}

bool HttpExchange::GetHttp(const QString& address, const QString& request)
{
    if (!sendRequest(address, request))
        return false;
    for (;;) {
        if (stoppedByCancel())
            return false;
        if (m_ws1.state() == QAbstractSocket::UnconnectedState || m_reply.contains(QLatin1String("</html>")))
            break;
        if (!m_tim1.isActive())
            return timedOut();
        waitForEvent();
    }
    m_tim1.stop();
    return true;
}

bool HttpExchange::PostHttp(const QString& address, const QString& request)
{
    if (!sendRequest(address, request))
        return false;
    // The request is handed over once it has left the socket's buffer; the next exchange or the end
    // of the run would otherwise drop it with the connection.
    for (;;) {
        if (stoppedByCancel())
            return false;
        if (m_ws1.bytesToWrite() == 0) {
            m_tim1.stop();
            return true;
        }
        if (m_ws1.state() != QAbstractSocket::ConnectedState) {
            m_tim1.stop();
            return false;
        }
        if (!m_tim1.isActive())
            return timedOut();
        waitForEvent();
    }
}

bool HttpExchange::timedOut()
{
    m_log.append(MessageText(m_s, QStringLiteral("M23")));
    closeSocket();
    return false;
}

void HttpExchange::abort()
{
    m_abortRun = true;
    closeSocket();
    wake();
}

void HttpExchange::closeSocket()
{
    m_ws1.abort();
}

void HttpExchange::waitDeadline()
{
    m_tim1.start();
    while (m_tim1.isActive() && !m_quitting)
        waitForEvent();
}

void HttpExchange::waitForEvent()
{
    QEventLoop loop;
    m_wait = &loop;
    // An application that is quitting runs no more event loops: end the run instead of spinning.
    if (loop.exec() == -1) {
        m_quitting = true;
        m_abortRun = true;
    }
    m_wait = nullptr;
}

void HttpExchange::wake()
{
    if (m_wait)
        m_wait->quit();
}

void HttpExchange::readAvailable()
{
    const qsizetype room = kMaxReply - m_reply.size();
    if (room <= 0)
        return;
    const QByteArray data = m_ws1.read(room);
    m_reply.append(fromCp1252(data));
    if (m_reply.size() >= kMaxReply) {
        // A device that sends without end gets no more of our memory: what is held is the reply.
        m_ws1.abort();
    }
}

void HttpExchange::onReadyRead()
{
    if (m_ws1.state() == QAbstractSocket::ConnectedState)
        readAvailable();
    wake();
}

void HttpExchange::onDisconnected()
{
    // The last bytes may come with the close; they belong to the reply.
    if (m_ws1.bytesAvailable() > 0)
        readAvailable();
    wake();
}

void HttpExchange::onError(QAbstractSocket::SocketError error)
{
    // The device closing its side ends a reply; that is no error.
    if (error == QAbstractSocket::RemoteHostClosedError) {
        wake();
        return;
    }
    // A readable line naming the telephone, from the messages table; the socket layer's own words
    // only where no message says more.
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
        m_log.append(textOr(m_s, QStringLiteral("M235"), QStringLiteral("Connection refused by $$."), m_peer));
        break;
    case QAbstractSocket::HostNotFoundError:
        m_log.append(textOr(m_s, QStringLiteral("M236"), QStringLiteral("The address $$ was not found."), m_peer));
        break;
    case QAbstractSocket::NetworkError:
        m_log.append(
            textOr(m_s, QStringLiteral("M237"), QStringLiteral("$$ cannot be reached from this computer."), m_peer));
        break;
    case QAbstractSocket::SocketTimeoutError:
        m_log.append(textOr(m_s, QStringLiteral("M238"), QStringLiteral("The connection to $$ was cut."), m_peer));
        break;
    default:
        m_log.append(textOr(m_s, QStringLiteral("M239"), QStringLiteral("Connection error with $$."), m_peer) +
                     QStringLiteral(" (") + m_ws1.errorString() + u')');
        break;
    }
    closeSocket();
    wake();
}

} // namespace vocaset
