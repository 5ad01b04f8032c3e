#include "CMD5.h"

#include <cmath>

#include <QByteArray>

namespace vocaset {
namespace {

std::uint32_t rotateLeft(std::uint32_t x, int n)
{
    return (x << n) | (x >> (32 - n));
}

std::uint32_t readLittleEndian(const unsigned char* p)
{
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) | (std::uint32_t(p[3]) << 24);
}

} // namespace

CMD5::CMD5()
{
    static constexpr int kRoundShifts[4][4] = {{7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};
    for (int i = 0; i < 64; ++i) {
        m_sines[i] = std::uint32_t(std::floor(std::fabs(std::sin(double(i + 1))) * 4294967296.0));
        m_shifts[i] = kRoundShifts[i / 16][i % 4];
    }
}

QString CMD5::MD5(const QString& message) const
{
    QByteArray data;
    data.reserve(message.size() + 72);
    for (QChar c : message)
        data.append(char(c.unicode() & 0xFF));
    const std::uint64_t bitLength = std::uint64_t(data.size()) * 8;
    data.append(char(0x80));
    while (data.size() % 64 != 56)
        data.append(char(0));
    for (int i = 0; i < 8; ++i)
        data.append(char((bitLength >> (8 * i)) & 0xFF));

    std::uint32_t state[4] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
    const auto* bytes = reinterpret_cast<const unsigned char*>(data.constData());
    for (qsizetype block = 0; block < data.size(); block += 64) {
        std::uint32_t m[16];
        for (int i = 0; i < 16; ++i)
            m[i] = readLittleEndian(bytes + block + 4 * i);
        std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
        for (int i = 0; i < 64; ++i) {
            std::uint32_t f;
            int g;
            if (i < 16) {
                f = (b & c) | (~b & d);
                g = i;
            } else if (i < 32) {
                f = (d & b) | (~d & c);
                g = (5 * i + 1) % 16;
            } else if (i < 48) {
                f = b ^ c ^ d;
                g = (3 * i + 5) % 16;
            } else {
                f = c ^ (b | ~d);
                g = (7 * i) % 16;
            }
            const std::uint32_t next = b + rotateLeft(a + f + m_sines[i] + m[g], m_shifts[i]);
            a = d;
            d = c;
            c = b;
            b = next;
        }
        state[0] += a;
        state[1] += b;
        state[2] += c;
        state[3] += d;
    }

    static constexpr char kHex[] = "0123456789abcdef";
    QString out;
    out.reserve(32);
    for (std::uint32_t word : state) {
        for (int i = 0; i < 4; ++i) {
            const unsigned byte = (word >> (8 * i)) & 0xFF;
            out.append(QLatin1Char(kHex[byte >> 4]));
            out.append(QLatin1Char(kHex[byte & 0xF]));
        }
    }
    return out;
}

} // namespace vocaset
