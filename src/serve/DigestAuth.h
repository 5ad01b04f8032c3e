#pragma once

#include <array>
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

// HTTP Digest authentication (MD5, qop auth) with nonces of this server. A nonce is a keyed hash of
// its serial and issue time, followed by those two encrypted under a key stream drawn from the
// hash: it tells the client nothing, and the server checks any nonce without remembering it. Each
// (nonce, nonce count) is accepted once among the latest kCountWindow counts of its nonce, in any
// order, as parallel connections send them. A count older than that, an expired nonce, and one of
// another server or from before a restart read as stale.
class DigestAuth final
{
public:
    enum class Result {
        Absent,  // no Digest answer: challenge, not a failure
        Refused, // a wrong, malformed or replayed answer: a failure
        Stale,   // the answer was right but its nonce expired, is not this server's, or its count is
                 // older than the window
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
    // Counts of one nonce remembered below the highest accepted, the highest included.
    static constexpr quint32 kCountWindow = 1024;

private:
    struct Use
    {
        quint32 highest = 0; // the largest count accepted
        qint64 issued = 0;
        std::array<quint64, kCountWindow / 64> seen{}; // bit count % window: accepted
    };
    static constexpr int kStampSize = 16;
    struct Stamp
    {
        quint64 serial = 0;
        qint64 issued = 0;
    };

    QByteArray nonceFor(Stamp stamp) const;
    // What the nonce carries; nothing when it is not one this server made.
    std::optional<Stamp> openNonce(const QByteArray& nonce) const;
    QByteArray keyStream(const QByteArray& tag) const;
    DigestProof proofOf(const QHash<QByteArray, QByteArray>& parameters, const QByteArray& method,
                        const QByteArray& user) const;
    static Result useCount(Use& use, quint32 count);

    const QByteArray m_realm;
    const int m_nonceSeconds;
    QByteArray m_key;       // of the nonces' hashes
    QByteArray m_streamKey; // of their key streams
    QByteArray m_opaque;
    QByteArray m_nobodysSecret;
    std::mutex m_mutex;
    quint64 m_serial = 0;
    quint64 m_forgottenUpTo = 0; // serials up to this one had their record dropped
    std::map<quint64, Use> m_used;
};

} // namespace vocaset
