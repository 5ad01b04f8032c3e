#pragma once

#include <functional>

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QTcpServer>
#include <QTcpSocket>

namespace vocaset::test {

// The application object the socket tests need (one per test program). Widget tests create theirs first.
void ensureCoreApp();

// Runs the event loop until the condition holds or the bound passes; returns the condition.
bool waitUntil(const std::function<bool()>& condition, int boundMs = 3000);

// A telephone's web server on 127.0.0.1: each connection carries one request, which must arrive
// byte for byte as the step expects; the step then answers and closes (or not).
class FakePhone final : public QObject
{
    Q_OBJECT

public:
    struct Step
    {
        Step(QByteArray e = {}, QByteArray r = {}, bool c = true) : expect(std::move(e)), reply(std::move(r)), close(c)
        {
        }
        QByteArray expect; // the exact request; the step acts once that many bytes have arrived
        QByteArray reply;  // sent in one piece (empty: nothing)
        bool close = true; // close after the reply
        // Computes the reply from the request (a device checking credentials); replaces reply.
        std::function<QByteArray(const QByteArray&)> answer;
        std::function<void()> onRequest; // called when the request is complete, before answering
    };

    FakePhone();
    ~FakePhone() override;

    quint16 port() const { return m_server.serverPort(); }
    QString address() const { return QStringLiteral("127.0.0.1:") + QString::number(port()); }
    void add(Step step) { m_steps.append(std::move(step)); }

    QList<QByteArray> requests; // what each connection delivered, in order
    int connections = 0;
    // Requests whose bytes differed from the step's expectation.
    QStringList mismatches;

private:
    void onConnection();
    void onData(QTcpSocket* socket, int index);

    QTcpServer m_server;
    QList<Step> m_steps;
    QList<QTcpSocket*> m_sockets;
    int m_next = 0;
};

// The HTTP start-line and header texts the requests share.
QByteArray block10(const QString& address);

} // namespace vocaset::test
