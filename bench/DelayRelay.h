#pragma once

#include <chrono>
#include <thread>

#include <QString>
#include <QStringList>

namespace vocaset {

// A TCP relay on 127.0.0.1 for benchmarks: every connection made to port() is joined to a new
// connection to targetPort on 127.0.0.1, and what the client sends is held for the delay before it
// goes on, so each round trip costs that much more, as a database across a network would. Replies
// pass at once. Runs on threads of its own (one for accepting, one per connection), so the
// benchmark's own loop may block; the destructor stops it.
//
//     DelayRelay relay(5432, std::chrono::microseconds(1000));
//     db.open(relay.connectionThrough("Provider=PostgreSQL;Host=127.0.0.1;Port=5432;..."));
class DelayRelay final
{
public:
    DelayRelay(quint16 targetPort, std::chrono::microseconds delay);
    ~DelayRelay();
    DelayRelay(const DelayRelay&) = delete;
    DelayRelay& operator=(const DelayRelay&) = delete;

    // The port it listens on, 0 when it could not listen (error() says why).
    quint16 port() const { return m_port; }
    QString error() const { return m_error; }
    // A connection string to the server database behind the relay ("Key=Value;..."), its Host and
    // Port replaced by the relay's.
    QString connectionThrough(const QString& connection) const;

private:
    void acceptLoop();

    quint16 m_targetPort;
    std::chrono::microseconds m_delay;
    int m_listener = -1;
    int m_stopPipe[2] = {-1, -1};
    quint16 m_port = 0;
    QString m_error;
    std::thread m_acceptor;
};

} // namespace vocaset
