#include "TextFile.h"

#include <array>

#include <QSaveFile>
#include <QStringList>

namespace vocaset {
namespace {

// Code points of bytes 0x80..0x9F; 0 marks the five bytes that have none.
constexpr std::array<char16_t, 32> kHigh = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

} // namespace

QByteArray toCp1252(const QString& text, bool* lossy)
{
    QByteArray out;
    out.reserve(text.size());
    for (QChar qc : text) {
        const char16_t c = qc.unicode();
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
            out.append(char(c));
            continue;
        }
        char byte = '?';
        for (std::size_t i = 0; i < kHigh.size(); ++i) {
            if (kHigh[i] != 0 && kHigh[i] == c) {
                byte = char(0x80 + i);
                break;
            }
        }
        if (byte == '?' && lossy)
            *lossy = true;
        out.append(byte);
    }
    return out;
}

QString fromCp1252(const QByteArray& bytes)
{
    QString out;
    out.reserve(bytes.size());
    for (char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        if (b >= 0x80 && b <= 0x9F && kHigh[b - 0x80] != 0)
            out.append(QChar(kHigh[b - 0x80]));
        else
            out.append(QChar(char16_t(b)));
    }
    return out;
}

bool writeFileAtomically(const QString& path, const QByteArray& bytes, QString* error)
{
    QSaveFile file(path);
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        if (error)
            *error = path + QStringLiteral(": ") + file.errorString();
        file.cancelWriting();
        return false;
    }
    return true;
}

QString trimFolder(const QString& folder)
{
    if (folder.endsWith(u'/') || folder.endsWith(u'\\'))
        return folder.chopped(1);
    return folder;
}

bool isSafeFileName(const QString& name)
{
    return !name.isEmpty() && !name.contains(u'/') && !name.contains(u'\\') && !name.contains(QLatin1String("..")) &&
           !name.contains(QChar(0));
}

QStringList splitLines(const QString& text)
{
    QStringList lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'\r' || text[i] == u'\n') {
            lines.append(text.mid(start, i - start));
            if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
                ++i;
            start = i + 1;
        }
    }
    if (start < text.size())
        lines.append(text.mid(start));
    return lines;
}

} // namespace vocaset
