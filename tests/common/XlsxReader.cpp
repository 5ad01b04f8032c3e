#include "XlsxReader.h"

#include <QFile>
#include <QXmlStreamReader>

#include <zlib.h>

namespace vocaset::test {
namespace {

quint32 le(const QByteArray& b, qsizetype at, int bytes)
{
    quint32 v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = (v << 8) | quint8(b.at(at + i));
    return v;
}

QByteArray inflateRaw(const QByteArray& in, quint32 size, bool& good)
{
    QByteArray out(qsizetype(size), Qt::Uninitialized);
    z_stream z{};
    good = inflateInit2(&z, -MAX_WBITS) == Z_OK;
    if (!good)
        return {};
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.constData()));
    z.avail_in = uInt(in.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = uInt(out.size());
    good = inflate(&z, Z_FINISH) == Z_STREAM_END && z.total_out == size;
    inflateEnd(&z);
    return out;
}

// "BC12" -> row 11, column 54 (both from 0).
void cellRef(const QString& ref, int& row, int& column)
{
    column = 0;
    qsizetype i = 0;
    for (; i < ref.size() && ref[i].isLetter(); ++i)
        column = column * 26 + (ref[i].toUpper().unicode() - u'A' + 1);
    --column;
    row = ref.mid(i).toInt() - 1;
}

// Every <t> text inside the current element, concatenated (rich text has several runs).
QString textsUntilEnd(QXmlStreamReader& xml, const QString& end)
{
    QString text;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement() && xml.name() == u"t")
            text += xml.readElementText();
        else if (xml.isEndElement() && xml.name() == end)
            break;
    }
    return text;
}

} // namespace

XlsxReader::XlsxReader(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        m_error = path + QStringLiteral(": ") + f.errorString();
        return;
    }
    unzip(f.readAll());
    if (ok())
        parse();
    if (!ok())
        m_error = path + QStringLiteral(": ") + m_error;
}

void XlsxReader::unzip(const QByteArray& zip)
{
    // The end-of-directory record sits in the last 64 KiB (plus its own 22 bytes).
    qsizetype end = -1;
    for (qsizetype i = zip.size() - 22; i >= 0 && i >= zip.size() - 22 - 65535; --i) {
        if (le(zip, i, 4) == 0x06054b50) {
            end = i;
            break;
        }
    }
    if (end < 0) {
        m_error = QStringLiteral("not a zip file");
        return;
    }
    const quint32 entries = le(zip, end + 10, 2);
    qsizetype at = le(zip, end + 16, 4);
    for (quint32 n = 0; n < entries; ++n) {
        if (at + 46 > zip.size() || le(zip, at, 4) != 0x02014b50) {
            m_error = QStringLiteral("broken central directory");
            return;
        }
        const quint32 method = le(zip, at + 10, 2);
        const quint32 packed = le(zip, at + 20, 4);
        const quint32 size = le(zip, at + 24, 4);
        const quint32 nameLen = le(zip, at + 28, 2);
        const quint32 extraLen = le(zip, at + 30, 2);
        const quint32 commentLen = le(zip, at + 32, 2);
        const qsizetype local = le(zip, at + 42, 4);
        const QString name = QString::fromUtf8(zip.mid(at + 46, nameLen));
        at += 46 + nameLen + extraLen + commentLen;

        if (local + 30 > zip.size() || le(zip, local, 4) != 0x04034b50) {
            m_error = QStringLiteral("broken entry ") + name;
            return;
        }
        const qsizetype data = local + 30 + le(zip, local + 26, 2) + le(zip, local + 28, 2);
        const QByteArray raw = zip.mid(data, packed);
        bool good = raw.size() == qsizetype(packed);
        if (method == 0)
            m_entries.insert(name, raw);
        else if (method == 8 && good)
            m_entries.insert(name, inflateRaw(raw, size, good));
        if (!good || (method != 0 && method != 8)) {
            m_error = QStringLiteral("cannot read entry ") + name;
            return;
        }
    }
}

void XlsxReader::parse()
{
    QStringList shared;
    QXmlStreamReader sst(entry(QStringLiteral("xl/sharedStrings.xml")));
    while (!sst.atEnd()) {
        if (sst.readNext() == QXmlStreamReader::StartElement && sst.name() == u"si")
            shared.append(textsUntilEnd(sst, QStringLiteral("si")));
    }

    // Styles: custom format codes by id, bold fonts by index, and each cell style's format and font.
    QHash<int, QString> codes;
    QList<bool> boldFonts;
    QList<QPair<int, int>> xfs; // format id, font id
    QXmlStreamReader styles(entry(QStringLiteral("xl/styles.xml")));
    QString section;
    while (!styles.atEnd()) {
        styles.readNext();
        if (!styles.isStartElement())
            continue;
        const auto a = styles.attributes();
        if (styles.name() == u"numFmt")
            codes.insert(a.value(QLatin1String("numFmtId")).toInt(), a.value(QLatin1String("formatCode")).toString());
        else if (styles.name() == u"fonts" || styles.name() == u"cellXfs" || styles.name() == u"cellStyleXfs")
            section = styles.name().toString();
        else if (styles.name() == u"font" && section == u"fonts")
            boldFonts.append(false);
        else if (styles.name() == u"b" && section == u"fonts" && !boldFonts.isEmpty())
            boldFonts.last() = true;
        else if (styles.name() == u"xf" && section == u"cellXfs")
            xfs.append({a.value(QLatin1String("numFmtId")).toInt(), a.value(QLatin1String("fontId")).toInt()});
    }

    QXmlStreamReader sheet(entry(QStringLiteral("xl/worksheets/sheet1.xml")));
    if (entry(QStringLiteral("xl/worksheets/sheet1.xml")).isEmpty()) {
        m_error = QStringLiteral("no sheet 1");
        return;
    }
    while (!sheet.atEnd()) {
        if (sheet.readNext() != QXmlStreamReader::StartElement || sheet.name() != u"c")
            continue;
        const auto a = sheet.attributes();
        int row = 0;
        int column = 0;
        cellRef(a.value(QLatin1String("r")).toString(), row, column);
        const QString type =
            a.value(QLatin1String("t")).isEmpty() ? QStringLiteral("n") : a.value(QLatin1String("t")).toString();
        const int style = a.value(QLatin1String("s")).toInt();
        QString value;
        if (type == u"inlineStr") {
            value = textsUntilEnd(sheet, QStringLiteral("c"));
        } else {
            while (!sheet.atEnd()) {
                sheet.readNext();
                if (sheet.isStartElement() && sheet.name() == u"v")
                    value = sheet.readElementText();
                else if (sheet.isEndElement() && sheet.name() == u"c")
                    break;
            }
            if (type == u"s")
                value = shared.value(value.toInt());
        }
        while (m_rows.size() <= row)
            m_rows.append(QStringList());
        QStringList& r = m_rows[row];
        while (r.size() <= column)
            r.append(QString());
        r[column] = value;
        m_types.insert(key(row, column), type);
        if (style > 0 && style < xfs.size()) {
            const int id = xfs[style].first;
            if (id != 0)
                m_formats.insert(key(row, column),
                                 codes.contains(id) ? codes.value(id) : QStringLiteral("builtin:%1").arg(id));
            m_bold.insert(key(row, column), boldFonts.value(xfs[style].second));
        }
    }
    if (sheet.hasError())
        m_error = sheet.errorString();
}

} // namespace vocaset::test
