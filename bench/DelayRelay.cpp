#include "DelayRelay.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <vector>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vocaset {
namespace {

using Clock = std::chrono::steady_clock;

void noDelay(int fd)
{
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

bool writeAll(int fd, const char* data, size_t size)
{
    while (size > 0) {
        const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= size_t(n);
    }
    return true;
}

int connectLoopback(quint16 port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd >= 0 && ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
        noDelay(fd);
        return fd;
    }
    if (fd >= 0)
        ::close(fd);
    return -1;
}

// Moves bytes both ways until either side closes or the relay stops. The client's bytes wait in
// a queue until their time has come; the target's go straight back.
void relay(int client, int target, int stopFd, std::chrono::microseconds delay)
{
    struct Held
    {
        Clock::time_point due;
        std::string bytes;
    };
    std::deque<Held> held;
    std::vector<char> buffer(64 * 1024);
    bool clientDone = false;
    bool shutDown = false;
    for (;;) {
        const Clock::time_point now = Clock::now();
        while (!held.empty() && held.front().due <= now) {
            if (!writeAll(target, held.front().bytes.data(), held.front().bytes.size()))
                return;
            held.pop_front();
        }
        // The client closed its side: so does the target's, once all it sent is through; a reply may still come.
        if (clientDone && held.empty() && !shutDown) {
            ::shutdown(target, SHUT_WR);
            shutDown = true;
        }
        pollfd fds[3] = {{stopFd, POLLIN, 0}, {target, POLLIN, 0}, {client, POLLIN, 0}};
        timespec wait{};
        timespec* timeout = nullptr;
        if (!held.empty()) {
            const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(held.front().due - Clock::now());
            const long long ns = std::max<long long>(0, left.count());
            wait.tv_sec = time_t(ns / 1000000000);
            wait.tv_nsec = long(ns % 1000000000);
            timeout = &wait;
        }
        const int ready = ::ppoll(fds, clientDone ? 2 : 3, timeout, nullptr);
        if (ready < 0 && errno != EINTR)
            return;
        if (fds[0].revents)
            return;
        if (fds[1].revents) {
            const ssize_t n = ::recv(target, buffer.data(), buffer.size(), 0);
            if (n <= 0 || !writeAll(client, buffer.data(), size_t(n)))
                return;
        }
        if (!clientDone && fds[2].revents) {
            const ssize_t n = ::recv(client, buffer.data(), buffer.size(), 0);
            if (n <= 0)
                clientDone = true;
            else
                held.push_back({Clock::now() + delay, std::string(buffer.data(), size_t(n))});
        }
    }
}

} // namespace

DelayRelay::DelayRelay(quint16 targetPort, std::chrono::microseconds delay) : m_targetPort(targetPort), m_delay(delay)
{
    if (::pipe2(m_stopPipe, O_CLOEXEC) != 0) {
        m_error = QString::fromLocal8Bit(std::strerror(errno));
        return;
    }
    m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (m_listener < 0 || ::bind(m_listener, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(m_listener, 512) != 0 ||
        ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        m_error = QString::fromLocal8Bit(std::strerror(errno));
        return;
    }
    m_port = ntohs(address.sin_port);
    m_acceptor = std::thread(&DelayRelay::acceptLoop, this);
}

DelayRelay::~DelayRelay()
{
    if (m_stopPipe[1] >= 0) {
        const char stop = 0;
        [[maybe_unused]] const ssize_t n = ::write(m_stopPipe[1], &stop, 1);
    }
    if (m_acceptor.joinable())
        m_acceptor.join();
    for (int fd : {m_listener, m_stopPipe[0], m_stopPipe[1]}) {
        if (fd >= 0)
            ::close(fd);
    }
}

QString DelayRelay::connectionThrough(const QString& connection) const
{
    QStringList pairs;
    for (const QString& pair : connection.split(u';', Qt::SkipEmptyParts)) {
        const QString key = pair.section(u'=', 0, 0).trimmed().toLower();
        if (key != u"host" && key != u"port")
            pairs.append(pair);
    }
    pairs << QStringLiteral("Host=127.0.0.1") << QStringLiteral("Port=") + QString::number(m_port);
    return pairs.join(u';');
}

void DelayRelay::acceptLoop()
{
    std::vector<std::thread> connections;
    for (;;) {
        pollfd fds[2] = {{m_stopPipe[0], POLLIN, 0}, {m_listener, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0 && errno != EINTR)
            break;
        if (fds[0].revents)
            break;
        if (!fds[1].revents)
            continue;
        const int client = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            continue;
        noDelay(client);
        const int target = connectLoopback(m_targetPort);
        if (target < 0) {
            ::close(client);
            continue;
        }
        connections.emplace_back([client, target, this] {
            relay(client, target, m_stopPipe[0], m_delay);
            ::close(client);
            ::close(target);
        });
    }
    for (std::thread& t : connections)
        t.join();
}

} // namespace vocaset
