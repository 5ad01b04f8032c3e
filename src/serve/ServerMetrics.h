#pragma once

#include <array>
#include <atomic>

#include <QByteArray>

namespace vocaset {

// The server's counters, updated by every thread, and their Prometheus text exposition.
class ServerMetrics final
{
public:
    ServerMetrics() = default;
    Q_DISABLE_COPY_MOVE(ServerMetrics)

    // One answered request: its status and its time from request line to completion.
    void request(int status, double seconds);
    QByteArray text() const;

    std::atomic<quint64> databaseErrors{0};
    std::atomic<quint64> databaseStatements{0};
    std::atomic<quint64> authFailures{0};
    std::atomic<quint64> authLocks{0};
    std::atomic<quint64> headerTimeouts{0};
    std::atomic<qint64> connectionsOpen{0};

    // Upper bounds (seconds) of the latency histogram's buckets.
    static constexpr std::array<double, 12> kBuckets = {0.001, 0.0025, 0.005, 0.01, 0.025, 0.05,
                                                        0.1,   0.25,   0.5,   1,    2.5,   10};

private:
    std::array<std::atomic<quint64>, 600> m_byStatus{};
    std::array<std::atomic<quint64>, kBuckets.size() + 1> m_buckets{}; // the last: above every bound
    std::atomic<quint64> m_microseconds{0};
};

} // namespace vocaset
