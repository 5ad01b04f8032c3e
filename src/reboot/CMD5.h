#pragma once

#include <array>
#include <cstdint>

#include <QString>

namespace vocaset {

// MD5 message digest (RFC 1321) in lower-case hexadecimal. Each character of the message contributes
// the low byte of its 16-bit code, so ISO-8859-1 text hashes as its single-byte form.
class CMD5 final
{
public:
    CMD5();

    QString MD5(const QString& message) const;

private:
    std::array<std::uint32_t, 64> m_sines; // floor(abs(sin(i + 1)) * 2^32)
    std::array<int, 64> m_shifts;          // left-rotation amount of each step
};

} // namespace vocaset
