#pragma once

#include <map>
#include <mutex>
#include <optional>

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

namespace vocaset {

// What a database needs to check a Digest answer itself, beside the stored password: the answer
// proves password P when md5(md5(head + P) + tail), in lower-case hexadecimal, is response.
struct DigestProof
{
    QByteArray head;
    QByteArray tail;
    QByteArray response;
};

// HTTP Digest authentication (MD5, qop auth) with nonces of this server: each nonce carries its
// issue time and a keyed hash, so any nonce is checked without remembering it, and each (nonce,
// nonce count) is accepted once. A server restart or another server's nonce reads as stale.
class DigestAuth final
{
public:
    enum class Result {
        Absent,  // no Digest answer: challenge, not a failure
        Refused, // a wrong, malformed or replayed answer: a failure
        Stale,   // the answer was right but its nonce expired or is not this server's
        Accepted
    };

    DigestAuth(QByteArray realm, int nonceSeconds);
    Q_DISABLE_COPY_MOVE(DigestAuth)

    // The WWW-Authenticate value of a challenge with a fresh nonce.
    QByteArray challenge(bool stale);

    // The parameters of an Authorization header value, taken apart once for both uses below;
    // nothing when it is no Digest answer.
    using Answer = std::optional<QHash<QByteArray, QByteArray>>;
    static Answer parse(const QByteArray& authorization);

    // Checks an answer against the request's method and target as sent. The answer must carry user
    // and prove one of the passwords. Without passwords the same hashes are computed against a
    // secret nobody knows, so a wrong answer costs the same whether or not the name has an owner.
    Result verify(const Answer& answer, const QByteArray& method, const QByteArray& target, const QString& user,
                  const QStringList& passwords);

    // The proof an answer offers for user. A password it proves still needs verify() to accept the
    // answer (nonce, count, names).
    std::optional<DigestProof> proof(const Answer& answer, const QByteArray& method, const QString& user) const;

    // The user name an answer claims; empty when it is no Digest answer.
    static QString userOf(const Answer& answer);

    // Nonces whose counts are tracked at most; the oldest go first, and an answer to a nonce that
    // went is stale (never accepted twice).
    static constexpr size_t kTrackedNonces = 1 << 16;

private:
    struct Use
    {
        quint32 highest = 0; // the largest count accepted
        quint64 below = 0;   // bit i: count highest-1-i was accepted too
        qint64 issued = 0;
    };

    QByteArray nonceFor(quint64 serial, qint64 issued) const;
    DigestProof proofOf(const QHash<QByteArray, QByteArray>& parameters, const QByteArray& method,
                        const QByteArray& user) const;
    // Marks the count used; false when it was used before or the nonce's record went.
    bool useCount(quint64 serial, qint64 issued, quint32 count);

    const QByteArray m_realm;
    const int m_nonceSeconds;
    QByteArray m_key;
    QByteArray m_opaque;
    QByteArray m_nobodysSecret;
    std::mutex m_mutex;
    quint64 m_serial = 0;
    quint64 m_forgottenUpTo = 0; // serials up to this one had their record dropped
    std::map<quint64, Use> m_used;
};

} // namespace vocaset
