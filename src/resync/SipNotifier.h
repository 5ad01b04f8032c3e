#pragma once

#include <functional>
#include <memory>

#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QUdpSocket>

struct osip;
struct osip_transaction;
struct osip_message;
class QEventLoop;

namespace vocaset {

// One out-of-dialogue NOTIFY to send.
struct NotifyRequest
{
    QString host; // an IPv4 or IPv6 address
    quint16 port = 5060;
    QString user;  // the user part of the Request-URI; empty: none
    QString event; // the Event header
    // Digest credentials for one answer to a 401 or 407; no answer when hasCredentials is false.
    bool hasCredentials = false;
    QString authUser;
    QString authPassword;
};

struct NotifyResult
{
    bool accepted = false;  // a final 2xx
    int status = 0;         // the final status, 0 when none came
    QString statusLine;     // "200 OK", "486 Busy Here", or what went wrong without a status
    bool answeredChallenge = false;
};

// Sends NOTIFY requests over UDP, each as a non-INVITE client transaction of the SIP library (its
// retransmissions and time-outs), several at once, on the caller's thread: run() turns a local event
// loop, so a window's Abort is delivered while it waits.
class SipNotifier final : public QObject
{
    Q_OBJECT

public:
    // t1Ms: the transaction's base interval (retransmissions at T1, 2 T1, ... ; no answer after 64 T1).
    explicit SipNotifier(int t1Ms = 500, int window = 64, QObject* parent = nullptr);
    ~SipNotifier() override;
    Q_DISABLE_COPY_MOVE(SipNotifier)

    // Sends every request, at most window at once, and calls done(index, result) as each ends. Returns
    // when every request has ended, or at once after abort(): the requests not ended then have no result.
    // False when the socket could not be opened.
    bool run(const QList<NotifyRequest>& requests, const std::function<void(int, const NotifyResult&)>& done);
    void abort();
    bool aborted() const { return m_aborted; }
    // The local UDP port the requests leave from (after run() opened it).
    quint16 localPort() const { return m_socket.localPort(); }

    struct Pending;

private:
    static int sendMessage(osip_transaction*, osip_message*, char*, int, int);
    static void onResponse(int type, osip_transaction*, osip_message*);
    static void onTimeout(int type, osip_transaction*, osip_message*);
    static void onTransportError(int type, osip_transaction*, int error);

    bool startTransaction(Pending& p, const QByteArray& authorization, bool proxy);
    void startMore();
    void onReadyRead();
    void step();
    void finish(Pending& p);
    QString localAddressFor(const QString& host);

    osip* m_osip = nullptr;
    QUdpSocket m_socket;
    QTimer m_tick;
    int m_t1;
    int m_window;
    bool m_aborted = false;
    const QList<NotifyRequest>* m_requests = nullptr;
    std::function<void(int, const NotifyResult&)> m_done;
    QList<std::shared_ptr<Pending>> m_active;
    int m_next = 0;
    int m_ended = 0;
    QEventLoop* m_loop = nullptr;
};

} // namespace vocaset
