#include "FakePhone.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

namespace vocaset::test {

void ensureCoreApp()
{
    if (QCoreApplication::instance())
        return;
    static int argc = 1;
    static char name[] = "reboot-tests";
    static char* argv[] = {name, nullptr};
    new QCoreApplication(argc, argv);
}

bool waitUntil(const std::function<bool()>& condition, int boundMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition() && clock.elapsed() < boundMs) {
        QEventLoop loop;
        QTimer::singleShot(5, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return condition();
}

FakePhone::FakePhone()
{
    m_server.listen(QHostAddress::LocalHost, 0);
    connect(&m_server, &QTcpServer::newConnection, this, &FakePhone::onConnection);
}

FakePhone::~FakePhone()
{
    for (QTcpSocket* s : std::as_const(m_sockets))
        s->abort();
    qDeleteAll(m_sockets);
}

void FakePhone::onConnection()
{
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        socket->setParent(nullptr);
        m_sockets.append(socket);
        const int index = int(requests.size());
        requests.append(QByteArray());
        ++connections;
        connect(socket, &QTcpSocket::readyRead, this, [this, socket, index] { onData(socket, index); });
    }
}

void FakePhone::onData(QTcpSocket* socket, int index)
{
    QByteArray& got = requests[index];
    const qsizetype before = got.size();
    got.append(socket->readAll());
    if (m_next >= m_steps.size()) {
        if (before == 0)
            mismatches.append(QStringLiteral("unexpected request: ") + QString::fromLatin1(got));
        return;
    }
    const Step& step = m_steps[m_next];
    if (got.size() < step.expect.size() || before >= step.expect.size())
        return;
    ++m_next;
    if (got != step.expect)
        mismatches.append(QStringLiteral("request %1 differs:\n%2\nexpected:\n%3")
                              .arg(index)
                              .arg(QString::fromLatin1(got), QString::fromLatin1(step.expect)));
    if (step.onRequest)
        step.onRequest();
    const QByteArray reply = step.answer ? step.answer(got) : step.reply;
    if (!reply.isEmpty())
        socket->write(reply);
    if (step.close)
        socket->disconnectFromHost();
}

QByteArray block10(const QString& address)
{
    return " HTTP/1.0\r\nAccept: */*\r\nAccept-Language: fr\r\nUser-Agent: Winsock\r\nHost: " + address.toLatin1() +
           "\r\n";
}

} // namespace vocaset::test
