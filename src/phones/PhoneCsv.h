#pragma once

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

// A CSV text as spreadsheets write it: records end at CR LF, LF or CR; a cell in double quotes may
// hold the separator, line breaks and quotes written twice. The separator is ';' or ',', whichever
// the first record (the header) holds more of outside quotes; ';' when it holds neither or as many.
// Records whose cells are all empty are left out.
struct CsvTable
{
    QChar separator = u';';
    QList<CsvRecord> records;
};
CsvTable parseCsv(const QString& text);

// One record, cells joined by the separator and ended by CR LF; a cell holding the separator, a
// quote, a line break, or a blank at either end is quoted, so it reads back unchanged.
QString csvRecord(const QStringList& cells, QChar separator = u';');

} // namespace vocaset
