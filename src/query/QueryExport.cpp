#include "QueryExport.h"

#include <algorithm>

#include "ResultModel.h"
#include "SpreadsheetFile.h"

namespace vocaset {

bool exportList(const ResultModel& list, const QString& path, QString* error)
{
    const QueryResult& r = list.result();
    SpreadsheetFile book(path);
    QStringList headers;
    QList<int> widths;
    for (const QueryField& f : r.fields) {
        headers.append(f.caption);
        widths.append(int(f.caption.size()));
    }
    book.writeHeader(0, headers);
    const QString numberFormat = QStringLiteral("# ##0.00");
    const int rows = list.rowCount();
    for (int shown = 0; shown < rows && book.ok(); ++shown) {
        const int row = list.rowAt(shown);
        for (int c = 0; c < r.columnCount(); ++c) {
            const QVariant value = r.value(row, c);
            widths[c] = std::max(widths[c], int(r.text(row, c).size()));
            if (value.isNull())
                continue;
            switch (r.fields[c].dataClass) {
            case DataClass::Number: {
                bool ok = false;
                const double number = value.toDouble(&ok);
                if (ok) {
                    book.writeNumber(shown + 1, c, number, numberFormat);
                    continue;
                }
                break;
            }
            case DataClass::Date:
                if (const auto when = dateOf(value)) {
                    book.writeDate(shown + 1, c, *when);
                    continue;
                }
                break;
            case DataClass::Text:
                break;
            }
            book.writeValue(shown + 1, c, value);
        }
    }
    for (int c = 0; c < widths.size(); ++c)
        book.setColumnWidth(c, std::min(widths[c], 80) + 2);
    if (book.save())
        return true;
    if (error)
        *error = book.error();
    return false;
}

} // namespace vocaset
