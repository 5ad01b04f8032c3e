#include "PhoneCsv.h"

#include <algorithm>

namespace vocaset {
namespace {

bool isLineEnd(QChar c)
{
    return c == u'\r' || c == u'\n';
}

// The separator the header line uses: the one of ';' and ',' it holds more of outside quotes.
QChar detectSeparator(const QString& text)
{
    int semicolons = 0;
    int commas = 0;
    bool quoted = false;
    for (const QChar c : text) {
        if (c == u'"')
            quoted = !quoted; // a doubled quote toggles twice
        else if (!quoted && isLineEnd(c))
            break;
        else if (!quoted && c == u';')
            ++semicolons;
        else if (!quoted && c == u',')
            ++commas;
    }
    return commas > semicolons ? u',' : u';';
}

} // namespace

CsvTable parseCsv(const QString& text)
{
    CsvTable table;
    table.separator = detectSeparator(text);
    const QChar sep = table.separator;
    const qsizetype n = text.size();
    qsizetype i = 0;
    int line = 1;
    // Moves past one line end (CR LF counts once) and counts it.
    const auto skipLineEnd = [&] {
        if (text[i] == u'\r' && i + 1 < n && text[i + 1] == u'\n')
            ++i;
        ++i;
        ++line;
    };
    while (i < n) {
        CsvRecord record;
        record.line = line;
        bool recordEnded = false;
        while (!recordEnded) {
            QString cell;
            if (i < n && text[i] == u'"') {
                ++i;
                bool closed = false;
                while (i < n) {
                    if (text[i] == u'"') {
                        if (i + 1 < n && text[i + 1] == u'"') {
                            cell += u'"';
                            i += 2;
                            continue;
                        }
                        ++i;
                        closed = true;
                        break;
                    }
                    if (isLineEnd(text[i])) {
                        // Kept as written, CR LF as one LF, as spreadsheets read a cell's line breaks.
                        cell += u'\n';
                        skipLineEnd();
                        continue;
                    }
                    cell += text[i++];
                }
                if (!closed) {
                    record.badField = int(record.cells.size()) + 1;
                    i = n;
                } else if (i < n && text[i] != sep && !isLineEnd(text[i])) {
                    if (record.badField == 0)
                        record.badField = int(record.cells.size()) + 1;
                    // The rest of the field is skipped, so the record's other cells stay in place.
                    while (i < n && text[i] != sep && !isLineEnd(text[i]))
                        ++i;
                }
            } else {
                const qsizetype start = i;
                while (i < n && text[i] != sep && !isLineEnd(text[i]))
                    ++i;
                cell = text.mid(start, i - start);
            }
            record.cells.append(cell);
            if (i >= n) {
                recordEnded = true;
            } else if (text[i] == sep) {
                ++i;
            } else {
                skipLineEnd();
                recordEnded = true;
            }
        }
        const bool blank =
            std::all_of(record.cells.begin(), record.cells.end(), [](const QString& c) { return c.isEmpty(); });
        if (!blank || record.badField != 0)
            table.records.append(record);
    }
    return table;
}

QString csvRecord(const QStringList& cells, QChar separator)
{
    QString out;
    for (qsizetype i = 0; i < cells.size(); ++i) {
        if (i > 0)
            out += separator;
        const QString& c = cells[i];
        const bool quote = c.contains(separator) || c.contains(u'"') || c.contains(u'\r') || c.contains(u'\n') ||
                           (!c.isEmpty() && (c.front().isSpace() || c.back().isSpace()));
        if (quote) {
            QString inner = c;
            inner.replace(u'"', QLatin1String("\"\""));
            out += u'"' + inner + u'"';
        } else {
            out += c;
        }
    }
    out += QLatin1String("\r\n");
    return out;
}

} // namespace vocaset
