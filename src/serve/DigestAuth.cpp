#include "DigestAuth.h"

#include <chrono>
#include <cstring>

#include <QCryptographicHash>
#include <QHash>
#include <QMessageAuthenticationCode>
#include <QRandomGenerator>
#include <QtEndian>

namespace vocaset {

namespace {

qint64 nowSeconds()
{
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

QByteArray randomBytes(int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (char& b : bytes)
        b = char(QRandomGenerator::system()->bounded(256));
    return bytes;
}

QByteArray md5Hex(const QByteArray& text)
{
    return QCryptographicHash::hash(text, QCryptographicHash::Md5).toHex();
}

// Compares in a time that depends on the lengths only.
bool sameBytes(const QByteArray& a, const QByteArray& b)
{
    if (a.size() != b.size())
        return false;
    unsigned char diff = 0;
    for (qsizetype i = 0; i < a.size(); ++i)
        diff |= static_cast<unsigned char>(a[i] ^ b[i]);
    return diff == 0;
}

// The parameters of a Digest answer: name=token or name="quoted \"string\"", separated by commas.
QHash<QByteArray, QByteArray> parameters(const QByteArray& text)
{
    QHash<QByteArray, QByteArray> out;
    qsizetype i = 0;
    const qsizetype n = text.size();
    const auto skip = [&](const char* set) {
        while (i < n && std::strchr(set, text[i]) && text[i] != '\0')
            ++i;
    };
    while (i < n) {
        skip(" \t,");
        const qsizetype nameStart = i;
        while (i < n && text[i] != '=' && text[i] != ',')
            ++i;
        const QByteArray name = text.mid(nameStart, i - nameStart).trimmed().toLower();
        if (i >= n || text[i] != '=')
            continue;
        ++i;
        skip(" \t");
        QByteArray value;
        if (i < n && text[i] == '"') {
            for (++i; i < n && text[i] != '"'; ++i) {
                if (text[i] == '\\' && i + 1 < n)
                    ++i;
                value += text[i];
            }
            ++i;
        } else {
            const qsizetype start = i;
            while (i < n && text[i] != ',')
                ++i;
            value = text.mid(start, i - start).trimmed();
        }
        if (!name.isEmpty())
            out.insert(name, value);
    }
    return out;
}

} // namespace

DigestAuth::DigestAuth(QByteArray realm, int nonceSeconds)
    : m_realm(std::move(realm)), m_nonceSeconds(nonceSeconds), m_key(randomBytes(32)), m_streamKey(randomBytes(32)),
      m_opaque(randomBytes(8).toHex()), m_nobodysSecret(randomBytes(24).toBase64())
{
}

QByteArray DigestAuth::keyStream(const QByteArray& tag) const
{
    return QMessageAuthenticationCode::hash(tag, m_streamKey, QCryptographicHash::Sha256).left(kStampSize);
}

// 32 bytes in hexadecimal: the hash of the stamp (serial and issue time, 8 bytes each), then the
// stamp under the key stream of that hash. Serials never repeat, so neither do streams.
QByteArray DigestAuth::nonceFor(Stamp stamp) const
{
    QByteArray plain(kStampSize, Qt::Uninitialized);
    qToBigEndian(stamp.serial, plain.data());
    qToBigEndian(quint64(stamp.issued), plain.data() + 8);
    const QByteArray tag = QMessageAuthenticationCode::hash(plain, m_key, QCryptographicHash::Sha256).left(kStampSize);
    const QByteArray stream = keyStream(tag);
    for (int i = 0; i < kStampSize; ++i)
        plain[i] = char(plain[i] ^ stream[i]);
    return QByteArray(tag + plain).toHex();
}

std::optional<DigestAuth::Stamp> DigestAuth::openNonce(const QByteArray& nonce) const
{
    const QByteArray bytes = QByteArray::fromHex(nonce);
    if (nonce.size() != 4 * kStampSize || bytes.toHex() != nonce)
        return std::nullopt;
    const QByteArray tag = bytes.left(kStampSize);
    QByteArray plain = bytes.mid(kStampSize);
    const QByteArray stream = keyStream(tag);
    for (int i = 0; i < kStampSize; ++i)
        plain[i] = char(plain[i] ^ stream[i]);
    if (!sameBytes(QMessageAuthenticationCode::hash(plain, m_key, QCryptographicHash::Sha256).left(kStampSize), tag))
        return std::nullopt;
    return Stamp{qFromBigEndian<quint64>(plain.constData()), qint64(qFromBigEndian<quint64>(plain.constData() + 8))};
}

QByteArray DigestAuth::challenge(bool stale)
{
    quint64 serial = 0;
    {
        const std::lock_guard lock(m_mutex);
        serial = ++m_serial;
    }
    // "MD5" as the RFC writes it: some clients compare the name letter for letter.
    return "Digest realm=\"" + m_realm + "\", qop=\"auth\", nonce=\"" + nonceFor({serial, nowSeconds()}) +
           "\", opaque=\"" + m_opaque + "\", algorithm=MD5" + (stale ? ", stale=true" : "");
}

DigestProof DigestAuth::proofOf(const QHash<QByteArray, QByteArray>& p, const QByteArray& method,
                                const QByteArray& user) const
{
    return {user + ':' + m_realm + ':',
            ':' + p.value("nonce") + ':' + p.value("nc") + ':' + p.value("cnonce") + ':' + p.value("qop") + ':' +
                md5Hex(method + ':' + p.value("uri")),
            p.value("response").toLower()};
}

DigestAuth::Answer DigestAuth::parse(const QByteArray& authorization)
{
    if (!authorization.left(7).toLower().startsWith("digest "))
        return std::nullopt;
    return parameters(authorization.mid(7));
}

std::optional<DigestProof> DigestAuth::proof(const Answer& answer, const QByteArray& method, const QString& user) const
{
    if (!answer)
        return std::nullopt;
    return proofOf(*answer, method, user.toUtf8());
}

QString DigestAuth::userOf(const Answer& answer)
{
    return answer ? QString::fromUtf8(answer->value("username")) : QString();
}

DigestAuth::Result DigestAuth::verify(const Answer& answer, const QByteArray& method, const QByteArray& target,
                                      const QString& user, const QStringList& passwords)
{
    if (!answer)
        return Result::Absent;
    const QHash<QByteArray, QByteArray>& p = *answer;
    const QByteArray nonce = p.value("nonce");
    const QByteArray nc = p.value("nc");
    const QByteArray cnonce = p.value("cnonce");
    const QByteArray qop = p.value("qop");
    const QByteArray userBytes = user.toUtf8();

    // The hashes are computed for every answer, against a secret nobody knows when the name has no
    // owner, so that the time taken says nothing about the name.
    const DigestProof proof = proofOf(p, method, userBytes);
    bool proven = false;
    for (const QString& secret : passwords.isEmpty() ? QStringList{QString::fromLatin1(m_nobodysSecret)} : passwords)
        proven |= sameBytes(md5Hex(md5Hex(proof.head + secret.toUtf8()) + proof.tail), proof.response);
    bool countOk = false;
    const quint32 count = nc.size() == 8 ? nc.toUInt(&countOk, 16) : 0;
    const QByteArray algorithm = p.value("algorithm").toLower();
    if (!proven || passwords.isEmpty() || p.value("username") != userBytes || p.value("realm") != m_realm ||
        p.value("uri") != target || qop != "auth" || !countOk || count == 0 || cnonce.isEmpty() ||
        !(algorithm.isEmpty() || algorithm == "md5"))
        return Result::Refused;

    // A right answer: is the nonce this server's, still young, and its count new?
    const std::optional<Stamp> stamp = openNonce(nonce);
    if (!stamp || nowSeconds() - stamp->issued >= m_nonceSeconds)
        return Result::Stale;
    const std::lock_guard lock(m_mutex);
    auto it = m_used.find(stamp->serial);
    if (it == m_used.end()) {
        if (stamp->serial <= m_forgottenUpTo)
            return Result::Stale;
        // Records of expired nonces go first, then the oldest beyond the cap.
        while (!m_used.empty() &&
               (m_used.size() >= kTrackedNonces || nowSeconds() - m_used.begin()->second.issued >= m_nonceSeconds)) {
            m_forgottenUpTo = std::max(m_forgottenUpTo, m_used.begin()->first);
            m_used.erase(m_used.begin());
        }
        it = m_used.emplace(stamp->serial, Use{0, stamp->issued, {}}).first;
    }
    return useCount(it->second, count);
}

DigestAuth::Result DigestAuth::useCount(Use& use, quint32 count)
{
    const auto bit = [&](quint32 c) { return std::pair{c % kCountWindow / 64, quint64(1) << (c % 64)}; };
    if (count > use.highest) {
        // The places of the counts that leave the window are cleared for the ones that come in.
        if (count - use.highest >= kCountWindow) {
            use.seen.fill(0);
        } else {
            for (quint32 c = use.highest + 1;; ++c) {
                const auto [word, mask] = bit(c);
                use.seen[word] &= ~mask;
                if (c == count)
                    break;
            }
        }
        use.highest = count;
    } else if (use.highest - count >= kCountWindow) {
        return Result::Stale;
    }
    const auto [word, mask] = bit(count);
    if (use.seen[word] & mask)
        return Result::Refused;
    use.seen[word] |= mask;
    return Result::Accepted;
}

} // namespace vocaset
