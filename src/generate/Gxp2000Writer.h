#pragma once

#include <QPair>

#include "ConfigWriter.h"

namespace vocaset {

// The binary parameter file of the GXP2000 family: a 16-byte header (length word, checksum, MAC,
// CR LF CR LF), then "P<code>=<value>" joined by "&" in descending code order, "&gnkey=7d31", and
// a pad byte to an even length.
class Gxp2000Writer final : public ConfigWriter
{
public:
    // The largest file the 16-bit length word (counting 16-bit words) can describe.
    static constexpr qsizetype kMaxFileBytes = 2 * 0xFFFF;

    FileNames names(const PhoneInfo& phone, const LevelChoice& levels) const override;
    bool needsMac(const LevelChoice&) const override { return true; } // the MAC is in every header
    std::optional<QByteArray> config(const PhoneInfo& phone, const QList<ParamRow>& rows, Cp1252Sink& sink,
                                     QString* refusal) const override;
    QByteArray source(const QList<ParamRow>& rows, Cp1252Sink& sink) const override;
};

// The value of a hexadecimal text; ok (when given) turns false at a character that is no digit.
int HexDec(const QString& text, bool* ok = nullptr);

// The checksum word: the 16-bit sum of the ones' complements of the file's big-endian words, taken
// while bytes 0 to 5 are zero. With the length word added the words of the file sum to 0.
quint16 gxp2000Checksum(const QByteArray& file);

// What a GXP2000 file holds, for reading files back.
struct Gxp2000Contents
{
    bool wellFormed = false;
    QString problem;        // why it is not well formed
    quint16 lengthWord = 0; // bytes 2 and 3
    bool lengthHolds = false;
    bool checksumHolds = false;
    QString mac;                           // upper-case hexadecimal
    QList<QPair<QString, QString>> params; // code (without "P") and value, in file order
};
Gxp2000Contents decodeGxp2000(const QByteArray& file);

} // namespace vocaset
