#include "SipNotifier.h"

#include <QEventLoop>
#include <QHostAddress>
#include <QNetworkDatagram>
#include <QRandomGenerator>

#include <osip2/osip.h>

#include "CMD5.h"

namespace vocaset {

struct SipNotifier::Pending
{
    SipNotifier* owner = nullptr;
    int index = 0;
    const NotifyRequest* request = nullptr;
    osip_transaction_t* tr = nullptr;
    QByteArray callId;
    QByteArray fromTag;
    int cseq = 0;
    bool ended = false;
    // A challenge to answer once the transaction that carried it is gone.
    QByteArray challenge;
    bool proxyChallenge = false;
    NotifyResult result;
};

namespace {

QByteArray randomToken()
{
    return QByteArray::number(QRandomGenerator::global()->generate64(), 36);
}

QByteArray hostPart(const QString& host)
{
    return host.contains(u':') ? '[' + host.toLatin1() + ']' : host.toLatin1();
}

// A quoted parameter of a challenge, without its quotes; empty when absent.
QByteArray unquoted(const char* value)
{
    QByteArray text(value ? value : "");
    if (text.size() >= 2 && text.startsWith('"') && text.endsWith('"'))
        text = text.mid(1, text.size() - 2);
    return text;
}

// A timer deadline of the library's, ms from now.
void deadlineIn(struct timeval& deadline, int ms)
{
    osip_gettimeofday(&deadline, nullptr);
    const long micro = deadline.tv_usec + long(ms % 1000) * 1000;
    deadline.tv_sec += ms / 1000 + micro / 1000000;
    deadline.tv_usec = micro % 1000000;
}

} // namespace

SipNotifier::SipNotifier(int t1Ms, int window, QObject* parent)
    : QObject(parent), m_t1(std::max(1, t1Ms)), m_window(std::max(1, window))
{
    osip_init(&m_osip);
    osip_set_application_context(m_osip, this);
    osip_set_cb_send_message(m_osip, &SipNotifier::sendMessage);
    for (int type : {OSIP_NICT_STATUS_2XX_RECEIVED, OSIP_NICT_STATUS_3XX_RECEIVED, OSIP_NICT_STATUS_4XX_RECEIVED,
                     OSIP_NICT_STATUS_5XX_RECEIVED, OSIP_NICT_STATUS_6XX_RECEIVED})
        osip_set_message_callback(m_osip, type, &SipNotifier::onResponse);
    osip_set_message_callback(m_osip, OSIP_NICT_STATUS_TIMEOUT, &SipNotifier::onTimeout);
    osip_set_transport_error_callback(m_osip, OSIP_NICT_TRANSPORT_ERROR, &SipNotifier::onTransportError);
    m_tick.setInterval(10);
    connect(&m_tick, &QTimer::timeout, this, &SipNotifier::step);
    connect(&m_socket, &QUdpSocket::readyRead, this, &SipNotifier::onReadyRead);
}

SipNotifier::~SipNotifier()
{
    for (const auto& p : std::as_const(m_active)) {
        if (p->tr)
            osip_transaction_free(p->tr);
    }
    osip_release(m_osip);
}

bool SipNotifier::run(const QList<NotifyRequest>& requests, const std::function<void(int, const NotifyResult&)>& done)
{
    m_aborted = false;
    m_requests = &requests;
    m_done = done;
    m_next = m_ended = 0;
    if (m_socket.state() != QAbstractSocket::BoundState && !m_socket.bind(QHostAddress::Any, 0) &&
        !m_socket.bind(QHostAddress::AnyIPv4, 0))
        return false;
    startMore();
    QEventLoop loop;
    m_loop = &loop;
    m_tick.start();
    if (m_ended < requests.size() && !m_aborted)
        loop.exec();
    m_loop = nullptr;
    m_tick.stop();
    for (const auto& p : std::as_const(m_active)) {
        if (p->tr)
            osip_transaction_free(p->tr);
    }
    m_active.clear();
    m_requests = nullptr;
    return true;
}

void SipNotifier::abort()
{
    m_aborted = true;
    if (m_loop)
        m_loop->quit();
}

void SipNotifier::startMore()
{
    while (!m_aborted && m_active.size() < m_window && m_next < m_requests->size()) {
        auto p = std::make_shared<Pending>();
        p->owner = this;
        p->index = m_next;
        p->request = &m_requests->at(m_next++);
        p->callId = randomToken() + '@' + "vocaset";
        p->fromTag = randomToken();
        m_active.append(p);
        if (!startTransaction(*p, {}, false)) {
            p->result.statusLine = QStringLiteral("the request could not be built");
            p->ended = true;
        }
    }
}

QString SipNotifier::localAddressFor(const QString& host)
{
    // The address this host is reached from, so that its answers come back to it.
    QUdpSocket probe;
    probe.connectToHost(QHostAddress(host), 9);
    QString local = probe.localAddress().toString();
    if (local.isEmpty() || probe.localAddress().isNull())
        local = QHostAddress(host).protocol() == QAbstractSocket::IPv6Protocol ? QStringLiteral("::1")
                                                                                : QStringLiteral("127.0.0.1");
    if (local.startsWith(QLatin1String("::ffff:")))
        local = local.mid(7);
    return local;
}

bool SipNotifier::startTransaction(Pending& p, const QByteArray& authorization, bool proxy)
{
    const NotifyRequest& r = *p.request;
    const QByteArray target = "sip:" + (r.user.isEmpty() ? QByteArray() : r.user.toUtf8() + '@') + hostPart(r.host) +
                              ':' + QByteArray::number(r.port);
    const QByteArray local = hostPart(localAddressFor(r.host)) + ':' + QByteArray::number(m_socket.localPort());
    ++p.cseq;

    osip_message_t* sip = nullptr;
    if (osip_message_init(&sip) != 0)
        return false;
    osip_message_set_method(sip, osip_strdup("NOTIFY"));
    osip_message_set_version(sip, osip_strdup("SIP/2.0"));
    osip_uri_t* uri = nullptr;
    osip_uri_init(&uri);
    if (osip_uri_parse(uri, target.constData()) != 0) {
        osip_uri_free(uri);
        osip_message_free(sip);
        return false;
    }
    osip_message_set_uri(sip, uri);
    const QByteArray via = "SIP/2.0/UDP " + local + ";rport;branch=z9hG4bK" + randomToken() + randomToken();
    const QByteArray from = "<sip:vocaset@" + local + ">;tag=" + p.fromTag;
    const QByteArray cseq = QByteArray::number(p.cseq) + " NOTIFY";
    const QByteArray contact = "<sip:vocaset@" + local + '>';
    const QByteArray event = r.event.toUtf8();
    const QByteArray to = '<' + target + '>';
    bool built = osip_message_set_via(sip, via.constData()) == 0 &&
                 osip_message_set_from(sip, from.constData()) == 0 &&
                 osip_message_set_to(sip, to.constData()) == 0 &&
                 osip_message_set_call_id(sip, p.callId.constData()) == 0 &&
                 osip_message_set_cseq(sip, cseq.constData()) == 0 &&
                 osip_message_set_max_forwards(sip, "70") == 0 &&
                 osip_message_set_contact(sip, contact.constData()) == 0 &&
                 osip_message_set_header(sip, "Event", event.constData()) == 0 &&
                 osip_message_set_header(sip, "Subscription-State", "terminated") == 0 &&
                 osip_message_set_user_agent(sip, "Vocaset") == 0;
    if (built && !authorization.isEmpty())
        built = (proxy ? osip_message_set_proxy_authorization(sip, authorization.constData())
                       : osip_message_set_authorization(sip, authorization.constData())) == 0;
    if (built)
        built = osip_message_set_content_length(sip, "0") == 0;
    osip_transaction_t* tr = nullptr;
    if (!built || osip_transaction_init(&tr, NICT, m_osip, sip) != 0) {
        osip_message_free(sip);
        return false;
    }
    // The library's timers, with our base interval: retransmissions at T1, 2 T1, ... until 64 T1.
    // The library set their deadlines from its default when it made the transaction: they are set
    // again from ours.
    tr->nict_context->timer_e_length = m_t1;
    tr->nict_context->timer_f_length = 64 * m_t1;
    deadlineIn(tr->nict_context->timer_e_start, m_t1);
    deadlineIn(tr->nict_context->timer_f_start, 64 * m_t1);
    osip_transaction_set_reserved2(tr, &p);
    p.tr = tr;
    osip_event_t* evt = osip_new_outgoing_sipmessage(sip);
    evt->transactionid = tr->transactionid;
    osip_transaction_add_event(tr, evt);
    return true;
}

int SipNotifier::sendMessage(osip_transaction_t* tr, osip_message_t* sip, char*, int, int)
{
    auto* p = static_cast<Pending*>(osip_transaction_get_reserved2(tr));
    if (!p)
        return -1;
    char* text = nullptr;
    size_t length = 0;
    if (osip_message_to_str(sip, &text, &length) != 0)
        return -1;
    const qint64 sent = p->owner->m_socket.writeDatagram(text, qint64(length), QHostAddress(p->request->host),
                                                         p->request->port);
    osip_free(text);
    return sent == qint64(length) ? 0 : -1;
}

void SipNotifier::onResponse(int, osip_transaction_t* tr, osip_message_t* sip)
{
    auto* p = static_cast<Pending*>(osip_transaction_get_reserved2(tr));
    if (!p || p->ended)
        return;
    const int status = sip->status_code;
    const QString line = QString::number(status) + u' ' + QString::fromUtf8(sip->reason_phrase ? sip->reason_phrase : "");
    if ((status == 401 || status == 407) && p->request->hasCredentials && !p->result.answeredChallenge) {
        osip_www_authenticate_t* challenge = nullptr;
        if (status == 401)
            osip_message_get_www_authenticate(sip, 0, &challenge);
        else
            osip_message_get_proxy_authenticate(sip, 0, &challenge);
        if (challenge) {
            const QByteArray algorithm = unquoted(osip_www_authenticate_get_algorithm(challenge));
            const QByteArray realm = unquoted(osip_www_authenticate_get_realm(challenge));
            const QByteArray nonce = unquoted(osip_www_authenticate_get_nonce(challenge));
            const QByteArray opaque = unquoted(osip_www_authenticate_get_opaque(challenge));
            const QByteArray qops = unquoted(osip_www_authenticate_get_qop_options(challenge));
            if (algorithm.isEmpty() || algorithm.compare("MD5", Qt::CaseInsensitive) == 0) {
                const NotifyRequest& r = *p->request;
                const QString uri = QStringLiteral("sip:") + (r.user.isEmpty() ? QString() : r.user + u'@') +
                                    QString::fromLatin1(hostPart(r.host)) + u':' + QString::number(r.port);
                const CMD5 md5;
                const QString ha1 = md5.MD5(r.authUser + u':' + QString::fromLatin1(realm) + u':' + r.authPassword);
                const QString ha2 = md5.MD5(QStringLiteral("NOTIFY:") + uri);
                const bool qopAuth = qops.split(',').contains("auth");
                const QByteArray cnonce = randomToken();
                const QString response =
                    qopAuth ? md5.MD5(ha1 + u':' + QString::fromLatin1(nonce) + QStringLiteral(":00000001:") +
                                      QString::fromLatin1(cnonce) + QStringLiteral(":auth:") + ha2)
                            : md5.MD5(ha1 + u':' + QString::fromLatin1(nonce) + u':' + ha2);
                QByteArray answer = "Digest username=\"" + r.authUser.toUtf8() + "\", realm=\"" + realm +
                                    "\", nonce=\"" + nonce + "\", uri=\"" + uri.toUtf8() + "\", response=\"" +
                                    response.toLatin1() + "\", algorithm=MD5";
                if (!opaque.isEmpty())
                    answer += ", opaque=\"" + opaque + '"';
                if (qopAuth)
                    answer += ", qop=auth, nc=00000001, cnonce=\"" + cnonce + '"';
                p->challenge = answer;
                p->proxyChallenge = status == 407;
                p->result.answeredChallenge = true;
                return;
            }
        }
    }
    p->result.status = status;
    p->result.statusLine = line;
    p->result.accepted = status >= 200 && status < 300;
    p->ended = true;
}

void SipNotifier::onTimeout(int, osip_transaction_t* tr, osip_message_t*)
{
    auto* p = static_cast<Pending*>(osip_transaction_get_reserved2(tr));
    if (!p || p->ended)
        return;
    p->result.statusLine = QStringLiteral("no answer");
    p->ended = true;
}

void SipNotifier::onTransportError(int, osip_transaction_t* tr, int)
{
    auto* p = static_cast<Pending*>(osip_transaction_get_reserved2(tr));
    if (!p || p->ended)
        return;
    p->result.statusLine = QStringLiteral("the request could not be sent");
    p->ended = true;
}

void SipNotifier::onReadyRead()
{
    while (m_socket.hasPendingDatagrams()) {
        const QNetworkDatagram datagram = m_socket.receiveDatagram(65536);
        const QByteArray data = datagram.data();
        osip_event_t* evt = osip_parse(data.constData(), size_t(data.size()));
        if (!evt)
            continue;
        // Requests sent to us, and answers no transaction of ours is waiting for, are dropped.
        if (!evt->sip || !MSG_IS_RESPONSE(evt->sip) || osip_find_transaction_and_add_event(m_osip, evt) != 0)
            osip_event_free(evt);
    }
    step();
}

void SipNotifier::step()
{
    if (!m_requests)
        return;
    osip_timers_nict_execute(m_osip);
    osip_nict_execute(m_osip);
    for (qsizetype i = 0; i < m_active.size();) {
        const std::shared_ptr<Pending> p = m_active.at(i);
        if (!p->challenge.isEmpty()) {
            // The challenged transaction is done with; the answer goes in a new one of the same call.
            osip_transaction_free(p->tr);
            p->tr = nullptr;
            const QByteArray answer = std::exchange(p->challenge, {});
            if (!startTransaction(*p, answer, p->proxyChallenge)) {
                p->result.statusLine = QStringLiteral("the request could not be built");
                p->ended = true;
            }
        }
        if (p->ended) {
            finish(*p);
            m_active.removeAt(i);
            continue;
        }
        ++i;
    }
    startMore();
    // Transactions started just now send their first copy at once.
    osip_nict_execute(m_osip);
    if ((m_ended >= m_requests->size() || m_aborted) && m_loop)
        m_loop->quit();
}

void SipNotifier::finish(Pending& p)
{
    if (p.tr) {
        osip_transaction_free(p.tr);
        p.tr = nullptr;
    }
    ++m_ended;
    if (m_done)
        m_done(p.index, p.result);
}

} // namespace vocaset
