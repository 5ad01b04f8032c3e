#include "Base64.h"

#include "TextFile.h"

namespace vocaset {

QString Encode64(const QString& text)
{
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    static constexpr int kLineLength = 40;

    const QByteArray bytes = toCp1252(text);
    QString out;
    int written = 0;
    auto put = [&](unsigned index) {
        out.append(QLatin1Char(kAlphabet[index & 0x3F]));
        if (++written % kLineLength == 0)
            out.append(QLatin1String("\r\n"));
    };

    qsizetype i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const unsigned group =
            (unsigned(uchar(bytes[i])) << 16) | (unsigned(uchar(bytes[i + 1])) << 8) | unsigned(uchar(bytes[i + 2]));
        put(group >> 18);
        put(group >> 12);
        put(group >> 6);
        put(group);
    }
    const qsizetype left = bytes.size() - i;
    if (left == 1) {
        const unsigned group = unsigned(uchar(bytes[i])) << 16;
        put(group >> 18);
        put(group >> 12);
        out.append(QLatin1String("=="));
    } else if (left == 2) {
        const unsigned group = (unsigned(uchar(bytes[i])) << 16) | (unsigned(uchar(bytes[i + 1])) << 8);
        put(group >> 18);
        put(group >> 12);
        put(group >> 6);
        out.append(QLatin1Char('='));
    }
    return out;
}

} // namespace vocaset
