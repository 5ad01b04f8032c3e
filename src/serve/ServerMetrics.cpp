#include "ServerMetrics.h"

#include "Version.h"

namespace vocaset {

namespace {

void family(QByteArray& out, const char* name, const char* type, const char* help)
{
    out += QByteArray("# HELP ") + name + ' ' + help + "\n# TYPE " + name + ' ' + type + '\n';
}

void sample(QByteArray& out, const QByteArray& name, double value)
{
    out += name + ' ' + QByteArray::number(value, 'g', 15) + '\n';
}

} // namespace

void ServerMetrics::request(int status, double seconds)
{
    if (status >= 0 && status < int(m_byStatus.size()))
        ++m_byStatus[size_t(status)];
    size_t bucket = 0;
    while (bucket < kBuckets.size() && seconds > kBuckets[bucket])
        ++bucket;
    ++m_buckets[bucket];
    m_microseconds += quint64(seconds * 1e6);
}

QByteArray ServerMetrics::text() const
{
    QByteArray out;
    family(out, "vocaset_serve_requests_total", "counter", "Requests answered, by HTTP status.");
    for (size_t status = 0; status < m_byStatus.size(); ++status) {
        if (const quint64 n = m_byStatus[status].load())
            sample(out, "vocaset_serve_requests_total{status=\"" + QByteArray::number(quint64(status)) + "\"}",
                   double(n));
    }
    family(out, "vocaset_serve_request_duration_seconds", "histogram",
           "Time from the request line to the end of the reply.");
    quint64 cumulative = 0;
    for (size_t i = 0; i <= kBuckets.size(); ++i) {
        cumulative += m_buckets[i].load();
        const QByteArray bound = i < kBuckets.size() ? QByteArray::number(kBuckets[i], 'g', 6) : "+Inf";
        sample(out, "vocaset_serve_request_duration_seconds_bucket{le=\"" + bound + "\"}", double(cumulative));
    }
    sample(out, "vocaset_serve_request_duration_seconds_sum", double(m_microseconds.load()) / 1e6);
    sample(out, "vocaset_serve_request_duration_seconds_count", double(cumulative));
    const struct
    {
        const char* name;
        const char* type;
        const char* help;
        double value;
    } single[] = {
        {"vocaset_serve_database_errors_total", "counter", "Requests the database failed or did not answer in time.",
         double(databaseErrors.load())},
        {"vocaset_serve_database_statements_total", "counter", "Statements sent to the database for file requests.",
         double(databaseStatements.load())},
        {"vocaset_serve_auth_failures_total", "counter", "Wrong, malformed or replayed Digest answers.",
         double(authFailures.load())},
        {"vocaset_serve_auth_locks_total", "counter", "Client addresses locked out after wrong answers.",
         double(authLocks.load())},
        {"vocaset_serve_header_timeouts_total", "counter",
         "Connections closed because a whole request did not arrive in time.", double(headerTimeouts.load())},
        {"vocaset_serve_connections_open", "gauge", "Connections open on the telephones' port.",
         double(connectionsOpen.load())},
    };
    for (const auto& m : single) {
        family(out, m.name, m.type, m.help);
        sample(out, m.name, m.value);
    }
    family(out, "vocaset_serve_build_info", "gauge", "The program's version.");
    sample(out, "vocaset_serve_build_info{version=\"" + programVersionDotted().toLatin1() + "\"}", 1);
    return out;
}

} // namespace vocaset
