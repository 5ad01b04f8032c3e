#pragma once

#include <QDateTime>
#include <QHash>
#include <QString>
#include <QStringList>
#include <QVariant>

struct lxw_workbook;
struct lxw_worksheet;
struct lxw_format;

namespace vocaset {

// A workbook of one sheet, written as an .xlsx file. The cells go into a temporary file beside the
// target, which takes the target's name only when the whole workbook is on disk: a reader never sees
// half a workbook, and a failed save leaves the old file as it was.
//
// Rows and columns count from 0. The first failure (a cell beyond the sheet's limits, a text too long
// for a cell, the disk) sticks: later writes do nothing, save() returns false and error() names the
// file, the cell and the reason.
class SpreadsheetFile final
{
public:
    explicit SpreadsheetFile(const QString& path, const QString& sheetName = QString());
    ~SpreadsheetFile(); // without save(), the temporary file is removed and the target is untouched
    Q_DISABLE_COPY_MOVE(SpreadsheetFile)

    bool ok() const { return m_error.isEmpty(); }
    const QString& error() const { return m_error; }
    const QString& path() const { return m_path; }

    // Bold texts across one row, and that row kept in view when the sheet scrolls.
    bool writeHeader(int row, const QStringList& names);
    bool writeText(int row, int column, const QString& text);
    // numberFormat is a spreadsheet format code such as "# ##0.00"; empty means the general format.
    bool writeNumber(int row, int column, double value, const QString& numberFormat = QString());
    bool writeDate(int row, int column, const QDateTime& when,
                   const QString& dateFormat = QStringLiteral("yyyy/mm/dd"));
    // Null leaves the cell empty; numbers and dates keep their kind; everything else is text.
    bool writeValue(int row, int column, const QVariant& value, const QString& numberFormat = QString());
    bool setColumnWidth(int column, double characters);

    // Closes the workbook and moves it under its name. Returns false (and sets error()) when anything
    // failed, in which case nothing is left under either name.
    bool save();

private:
    lxw_format* format(const QString& code, bool bold = false);
    bool check(int code, int row, int column);
    bool fail(const QString& reason);
    void discard();

    QString m_path;
    QString m_tempPath;
    QString m_error;
    lxw_workbook* m_book = nullptr;
    lxw_worksheet* m_sheet = nullptr;
    QHash<QString, lxw_format*> m_formats;
};

} // namespace vocaset
