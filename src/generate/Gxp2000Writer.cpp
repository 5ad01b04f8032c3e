#include "Gxp2000Writer.h"

#include <QRegularExpression>

#include "TextFile.h"

namespace vocaset {
namespace {

constexpr int kHeaderBytes = 16;
const QByteArray kTrailer = QByteArrayLiteral("&gnkey=7d31");
const QByteArray kHeaderEnd = QByteArrayLiteral("\r\n\r\n");

quint16 wordAt(const QByteArray& b, qsizetype at)
{
    return quint16((quint8(b[at]) << 8) | quint8(b[at + 1]));
}

void putWord(QByteArray& b, qsizetype at, quint16 w)
{
    b[at] = char(w >> 8);
    b[at + 1] = char(w & 0xFF);
}

} // namespace

FileNames Gxp2000Writer::names(const PhoneInfo& phone, const LevelChoice& levels) const
{
    if (levels.phone)
        return {QStringLiteral("cfg") + phone.mac,
                phone.code + QStringLiteral(" - ") + phone.mac + QStringLiteral(".TXT")};
    if (levels.company && levels.equipment)
        return {phone.company + phone.model + QStringLiteral(".txt"),
                phone.company + QStringLiteral(" - ") + phone.model + QStringLiteral(".txt")};
    // Company box alone, or equipment box alone: one file per model.
    return {phone.model + QStringLiteral(".txt"), phone.model + QStringLiteral(".txt")};
}

std::optional<QByteArray> Gxp2000Writer::config(const PhoneInfo& phone, const QList<ParamRow>& rows, Cp1252Sink& sink,
                                                QString* refusal) const
{
    QByteArray file(kHeaderBytes, '\0');
    file.reserve(kHeaderBytes + textSize(rows, false) + 3 * rows.size() + kTrailer.size() + 1);
    for (int i = 0; i < 6; ++i)
        file[6 + i] = char(HexDec(phone.mac.mid(2 * i, 2)) & 0xFF);
    file.replace(12, 4, kHeaderEnd);

    // Descending code order: the rows come ascending, and codes are unique.
    for (auto it = rows.crbegin(); it != rows.crend(); ++it) {
        if (file.size() > kHeaderBytes)
            file += '&';
        file += 'P';
        sink.append(file, it->code, it->code);
        file += '=';
        sink.append(file, it->value, it->code);
    }
    file += kTrailer;
    if (file.size() % 2 != 0)
        file += '\0';
    if (file.size() > kMaxFileBytes) {
        if (refusal)
            *refusal = QStringLiteral("the parameters need %1 bytes, more than the %2 a GXP2000 file can hold")
                           .arg(file.size())
                           .arg(kMaxFileBytes);
        return std::nullopt;
    }
    putWord(file, 4, gxp2000Checksum(file));
    putWord(file, 2, quint16(file.size() / 2));
    return file;
}

QByteArray Gxp2000Writer::source(const QList<ParamRow>& rows, Cp1252Sink& sink) const
{
    QByteArray out;
    out.reserve(textSize(rows, true) + 10 * rows.size());
    for (const ParamRow& r : rows) {
        out += "# ";
        sink.append(out, r.desc, r.code);
        out += kLineEnd;
        out += 'P';
        sink.append(out, r.code, r.code);
        out += " = ";
        sink.append(out, r.value, r.code);
        out += kLineEnd;
    }
    return out;
}

int HexDec(const QString& text, bool* ok)
{
    int value = 0;
    int weight = 1;
    for (qsizetype i = text.size() - 1; i >= 0; --i) {
        const QChar c = text[i].toUpper();
        int digit = 0;
        if (c >= u'A' && c <= u'F')
            digit = c.unicode() - u'A' + 10;
        else if (c >= u'0' && c <= u'9')
            digit = c.unicode() - u'0';
        else if (ok)
            *ok = false;
        value += digit * weight;
        weight *= 16;
    }
    return value;
}

quint16 gxp2000Checksum(const QByteArray& file)
{
    quint32 sum = 0;
    for (qsizetype k = 0; k + 1 < file.size(); k += 2)
        sum = (sum + (0xFFFFu - wordAt(file, k))) & 0xFFFFu;
    return quint16(sum);
}

Gxp2000Contents decodeGxp2000(const QByteArray& file)
{
    Gxp2000Contents c;
    if (file.size() < kHeaderBytes) {
        c.problem = QStringLiteral("shorter than the 16-byte header");
        return c;
    }
    c.lengthWord = wordAt(file, 2);
    c.lengthHolds = file.size() % 2 == 0 && qsizetype(c.lengthWord) * 2 == file.size();
    quint32 sum = 0;
    for (qsizetype k = 0; k + 1 < file.size(); k += 2)
        sum += wordAt(file, k);
    c.checksumHolds = file.size() % 2 == 0 && (sum & 0xFFFF) == 0;
    c.mac = QString::fromLatin1(file.mid(6, 6).toHex().toUpper());

    if (file[0] != 0 || file[1] != 0) {
        c.problem = QStringLiteral("bytes 0 and 1 are not zero");
        return c;
    }
    if (file.mid(12, 4) != kHeaderEnd) {
        c.problem = QStringLiteral("bytes 12 to 15 are not CR LF CR LF");
        return c;
    }
    QByteArray body = file.mid(kHeaderBytes);
    if (file.size() % 2 == 0 && body.endsWith('\0'))
        body.chop(1);
    if (!body.endsWith(kTrailer)) {
        c.problem = QStringLiteral("the body does not end with ") + QString::fromLatin1(kTrailer);
        return c;
    }
    body.chop(kTrailer.size());
    // Values are written unescaped, so an "&" starts a new parameter only when "P<code>=" follows.
    static const QRegularExpression start(QStringLiteral("^P[^=&]+="));
    const QString text = fromCp1252(body);
    for (const QString& piece : text.split(u'&')) {
        if (start.match(piece).hasMatch()) {
            const qsizetype eq = piece.indexOf(u'=');
            c.params.append({piece.mid(1, eq - 1), piece.mid(eq + 1)});
        } else if (!c.params.isEmpty()) {
            c.params.last().second += u'&' + piece;
        } else {
            c.problem = QStringLiteral("the body does not begin with a parameter");
            return c;
        }
    }
    if (!c.lengthHolds)
        c.problem = QStringLiteral("the length word does not match the file size");
    else if (!c.checksumHolds)
        c.problem = QStringLiteral("the words do not sum to zero");
    c.wellFormed = c.lengthHolds && c.checksumHolds;
    return c;
}

} // namespace vocaset
