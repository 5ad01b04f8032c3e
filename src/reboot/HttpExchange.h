#pragma once

#include <QObject>
#include <QString>
#include <QTcpSocket>
#include <QTimer>

#include "Interaction.h"
#include "Session.h"

class QEventLoop;

namespace vocaset {

// A device address as the reboot run builds it, optionally "host:port"; without a port it is 80.
struct DeviceEndpoint
{
    QString host;
    quint16 port = 80;
};
DeviceEndpoint splitAddress(const QString& address);

// The header lines every reboot request shares, each beginning with the protocol version so that
// "GET " + path + block gives the request line and the headers.
QString headerBlock10(const QString& address);
QString headerBlock11(const QString& address);

// The quoted value that follows key="..." in a text (first match anywhere, case-sensitive), or an
// empty text when the key is not there. A value never reaches past the end of its line.
QString RecVal(const QString& key, const QString& text);

// One HTTP request at a time to a telephone's web server over one socket, with one deadline per
// exchange. Runs on the caller's thread: the waits run a local event loop, so the window's Cancel,
// the timer and the socket events are delivered while an exchange waits.
class HttpExchange final : public QObject
{
    Q_OBJECT

public:
    static constexpr int kDefaultDeadlineMs = 5000;
    // A reply is cut at this size and the exchange completes with what it holds.
    static constexpr qsizetype kMaxReply = 1024 * 1024;

    HttpExchange(Session& session, RunLog& log, int deadlineMs = kDefaultDeadlineMs, QObject* parent = nullptr);
    ~HttpExchange() override;
    Q_DISABLE_COPY_MOVE(HttpExchange)

    // Sends the request and waits for the whole reply (up to "</html>" or the close). False on
    // time-out (logged) or Abort.
    bool GetHttp(const QString& address, const QString& request);
    // Sends the request without waiting for an answer. False on time-out (logged) or Abort.
    bool PostHttp(const QString& address, const QString& request);

    // Everything received since the last request was sent.
    const QString& reply() const { return m_reply; }

    // The operator's Cancel: the exchange under way (or the next one) fails, the socket is closed.
    void abort();
    void clearAbort() { m_abortRun = false; }
    bool aborted() const { return m_abortRun; }
    void closeSocket();

    // Lets one whole deadline pass (the pause before a busy telephone is asked again).
    void waitDeadline();
    int deadline() const { return m_deadlineMs; }

private:
    bool connectAndWait(const QString& address);
    bool sendRequest(const QString& address, const QString& request);
    bool stoppedByCancel(); // after Cancel: stops the timer, closes the socket, returns true
    void startConnect(const QString& address);
    bool timedOut(); // logs the time-out and closes the socket
    void waitForEvent();
    void wake();
    void onReadyRead();
    void onDisconnected();
    void onError(QAbstractSocket::SocketError error);
    void readAvailable();

    Session& m_s;
    RunLog& m_log;
    int m_deadlineMs;
    QTcpSocket m_ws1;
    QTimer m_tim1;
    QString m_reply;
    QString m_peer; // "host:port" of the exchange, as the log names it
    bool m_abortRun = false;
    QEventLoop* m_wait = nullptr;
    bool m_quitting = false;
};

} // namespace vocaset
