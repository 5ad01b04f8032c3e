#pragma once

#include <QString>

namespace vocaset {

class ResultModel;

// Writes the result list into a one-sheet workbook: the column headers in row 1, the rows below in
// the order the list shows them. Number fields are numbers with the "# ##0.00" format, dates are
// dates, any other number stays a number, and null leaves its cell empty. On failure nothing is left
// at path and error names the file and the reason.
bool exportList(const ResultModel& list, const QString& path, QString* error = nullptr);

} // namespace vocaset
