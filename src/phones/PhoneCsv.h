#pragma once

#include <functional>

#include <QList>
#include <QString>
#include <QStringList>

namespace vocaset {

// One record of a CSV text: its cells and the line it begins on (a quoted cell may span lines).
struct CsvRecord
{
    int line = 0;
    QStringList cells;
    // Not 0 when the record could not be read whole, its cells then incomplete: the field (from 1)
    // whose quote does not close, or after whose closing quote more text follows.
    int badField = 0;
};

// A CSV text as spreadsheets write it, read one record at a time: records end at CR LF, LF or CR; a
// cell in double quotes may hold the separator, line breaks and quotes written twice; a cell behind
// the apostrophe that markedCell() puts before a formula reads without it. The separator is ';' or
// ',', whichever the first record (the header) holds more of outside quotes; ';' when it holds
// neither or as many. Records whose cells are all empty are left out. The reader holds the record
// it reads and the text of one piece, however long the text is.
class CsvReader final
{
public:
    // more appends the next piece of the text to its argument and returns false at the end.
    // A record longer than maxRecord characters is not read: the reader stops there (tooLong()).
    CsvReader(std::function<bool(QString&)> more, qsizetype maxRecord);
    Q_DISABLE_COPY_MOVE(CsvReader)

    // The next record; false at the end of the text, or at a record too long.
    bool next(CsvRecord& record);
    QChar separator();
    bool tooLong() const { return m_tooLong; }
    // The line the next record begins on; after a record too long, the line it begins on.
    int line() const { return m_line; }
    // Reads the rest of the text without keeping it: the number of its last line (a line end at the
    // very end closes the last line rather than opening one).
    int lastLine();

private:
    enum class Parse { Record, Blank, More };
    // Reads one record from the buffer at m_pos; More when the buffer ends before the record does.
    Parse parse(CsvRecord& record);
    bool fill();

    std::function<bool(QString&)> m_more;
    qsizetype m_max;
    QString m_text;
    qsizetype m_pos = 0;
    int m_line = 1;
    bool m_end = false;
    bool m_tooLong = false;
    bool m_detected = false;
    QChar m_sep = u';';
};

// One record, cells joined by the separator and ended by CR LF; a cell holding the separator, a
// quote, a line break, or a blank at either end is quoted, and a cell a spreadsheet would take for
// a formula is marked (markedCell()), so it reads back unchanged.
QString csvRecord(const QStringList& cells, QChar separator = u';');

} // namespace vocaset
