#include "PhoneCsv.h"

#include <algorithm>

#include "TextFile.h"

namespace vocaset {
namespace {

bool isLineEnd(QChar c)
{
    return c == u'\r' || c == u'\n';
}

// The separator of the header line, given whole: the one of ';' and ',' it holds more of outside
// quotes. Nothing while the text may still go on before the header's end.
std::optional<QChar> detectSeparator(const QString& text, bool whole)
{
    int semicolons = 0;
    int commas = 0;
    bool quoted = false;
    for (const QChar c : text) {
        if (c == u'"')
            quoted = !quoted; // a doubled quote toggles twice
        else if (!quoted && isLineEnd(c))
            return commas > semicolons ? u',' : u';';
        else if (!quoted && c == u';')
            ++semicolons;
        else if (!quoted && c == u',')
            ++commas;
    }
    if (!whole)
        return std::nullopt;
    return commas > semicolons ? u',' : u';';
}

} // namespace

CsvReader::CsvReader(std::function<bool(QString&)> more, qsizetype maxRecord)
    : m_more(std::move(more)), m_max(maxRecord)
{
}

bool CsvReader::fill()
{
    if (m_end)
        return false;
    if (m_text.size() - m_pos > m_max) {
        m_tooLong = true;
        return false;
    }
    m_text.remove(0, m_pos);
    m_pos = 0;
    m_end = !m_more(m_text);
    return true;
}

QChar CsvReader::separator()
{
    while (!m_detected) {
        if (const std::optional<QChar> sep = detectSeparator(m_text, m_end)) {
            m_sep = *sep;
            m_detected = true;
        } else if (!fill()) {
            m_detected = m_tooLong;
        }
    }
    return m_sep;
}

CsvReader::Parse CsvReader::parse(CsvRecord& record)
{
    const QString& text = m_text;
    const qsizetype n = text.size();
    qsizetype i = m_pos;
    int line = m_line;
    record.line = line;
    record.cells.clear();
    record.badField = 0;
    // True where the piece read so far ends but the text may go on: the record waits for more.
    const auto cut = [&](qsizetype at) { return at >= n && !m_end; };
    // Past one line end, CR LF counting once.
    const auto skipLineEnd = [&] {
        i += text[i] == u'\r' && i + 1 < n && text[i + 1] == u'\n' ? 2 : 1;
        ++line;
    };
    for (;;) {
        QString cell;
        if (cut(i))
            return Parse::More;
        if (i < n && text[i] == u'"') {
            ++i;
            bool closed = false;
            while (i < n) {
                const QChar c = text[i];
                if (c == u'"') {
                    if (cut(i + 1))
                        return Parse::More;
                    if (i + 1 < n && text[i + 1] == u'"') {
                        cell += u'"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    closed = true;
                    break;
                }
                if (isLineEnd(c)) {
                    if (c == u'\r' && cut(i + 1))
                        return Parse::More;
                    // Kept as written, CR LF as one LF, as spreadsheets read a cell's line breaks.
                    cell += u'\n';
                    skipLineEnd();
                    continue;
                }
                cell += c;
                ++i;
            }
            if (!closed) {
                if (!m_end)
                    return Parse::More;
                record.badField = int(record.cells.size()) + 1;
            } else if (cut(i)) {
                return Parse::More;
            } else if (i < n && text[i] != m_sep && !isLineEnd(text[i])) {
                if (record.badField == 0)
                    record.badField = int(record.cells.size()) + 1;
                // The rest of the field is skipped, so the record's other cells stay in place.
                while (i < n && text[i] != m_sep && !isLineEnd(text[i]))
                    ++i;
                if (cut(i))
                    return Parse::More;
            }
        } else {
            const qsizetype start = i;
            while (i < n && text[i] != m_sep && !isLineEnd(text[i]))
                ++i;
            if (cut(i))
                return Parse::More;
            cell = text.mid(start, i - start);
        }
        // An empty cell is an empty text, never a null one that would be written as NULL.
        record.cells.append(cell.isNull() ? QStringLiteral("") : unmarkedCell(cell));
        if (i >= n)
            break;
        if (text[i] == m_sep) {
            ++i;
            continue;
        }
        if (text[i] == u'\r' && cut(i + 1))
            return Parse::More;
        skipLineEnd();
        break;
    }
    m_pos = i;
    m_line = line;
    const bool blank =
        std::all_of(record.cells.begin(), record.cells.end(), [](const QString& c) { return c.isEmpty(); });
    return blank && record.badField == 0 ? Parse::Blank : Parse::Record;
}

bool CsvReader::next(CsvRecord& record)
{
    separator();
    while (!m_tooLong) {
        if (m_pos >= m_text.size() && !fill() && m_pos >= m_text.size())
            return false;
        switch (parse(record)) {
        case Parse::Record:
            return true;
        case Parse::Blank:
            break;
        case Parse::More:
            fill();
            break;
        }
    }
    return false;
}

int CsvReader::lastLine()
{
    int ends = m_line - 1;
    bool tail = m_pos > 0 && m_pos <= m_text.size() && !isLineEnd(m_text[m_pos - 1]);
    bool afterCr = false;
    for (;;) {
        for (qsizetype i = m_pos; i < m_text.size(); ++i) {
            const QChar c = m_text[i];
            if (c == u'\n' && afterCr) {
                afterCr = false;
                continue;
            }
            afterCr = c == u'\r';
            tail = !isLineEnd(c);
            ends += tail ? 0 : 1;
        }
        m_pos = m_text.size();
        if (m_end)
            break;
        m_text.clear();
        m_pos = 0;
        m_end = !m_more(m_text);
    }
    return ends + (tail ? 1 : 0);
}

QString csvRecord(const QStringList& cells, QChar separator)
{
    QString out;
    for (qsizetype i = 0; i < cells.size(); ++i) {
        if (i > 0)
            out += separator;
        const QString c = markedCell(cells[i]);
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
