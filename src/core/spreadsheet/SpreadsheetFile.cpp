#include "SpreadsheetFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryFile>

#include <xlsxwriter.h>

namespace vocaset {
namespace {

// The largest sheet the format holds.
constexpr int kMaxRows = 1048576;
constexpr int kMaxColumns = 16384;

QString cellName(int row, int column)
{
    return QStringLiteral("row %1, column %2").arg(row + 1).arg(column + 1);
}

// A workbook reads _xHHHH_ in a text as the character of that code. A text that holds such a
// sequence keeps it by escaping its underscore as _x005F_ (every one, even where two overlap).
QByteArray cellText(const QString& text)
{
    static const QRegularExpression lookalike(QStringLiteral("_(?=x[0-9A-Fa-f]{4}_)"));
    if (!text.contains(QLatin1String("_x")))
        return text.toUtf8();
    QString escaped = text;
    escaped.replace(lookalike, QStringLiteral("_x005F_"));
    return escaped.toUtf8();
}

} // namespace

SpreadsheetFile::SpreadsheetFile(const QString& path, const QString& sheetName) : m_path(path)
{
    // A unique name beside the target, so the final rename stays on one file system.
    const QFileInfo target(path);
    QTemporaryFile temp(target.absolutePath() + QStringLiteral("/.") + target.fileName() + QStringLiteral(".XXXXXX"));
    temp.setAutoRemove(false);
    if (!temp.open()) {
        fail(temp.errorString());
        return;
    }
    m_tempPath = temp.fileName();
    temp.close();

    m_book = workbook_new(QFile::encodeName(m_tempPath).constData());
    if (!m_book) {
        fail(QString::fromUtf8(lxw_strerror(LXW_ERROR_MEMORY_MALLOC_FAILED)));
        return;
    }
    QByteArray name;
    if (!sheetName.isEmpty()) {
        name = sheetName.toUtf8();
        const lxw_error e = workbook_validate_sheet_name(m_book, name.constData());
        if (e != LXW_NO_ERROR) {
            fail(QStringLiteral("sheet name \"") + sheetName + QStringLiteral("\": ") +
                 QString::fromUtf8(lxw_strerror(e)));
            return;
        }
    }
    m_sheet = workbook_add_worksheet(m_book, name.isEmpty() ? nullptr : name.constData());
    if (!m_sheet) {
        fail(QString::fromUtf8(lxw_strerror(LXW_ERROR_MEMORY_MALLOC_FAILED)));
        return;
    }
    // The workbook names the program that made it as its creator.
    char creator[] = "Vocaset";
    lxw_doc_properties properties{};
    properties.author = creator;
    workbook_set_properties(m_book, &properties);
}

SpreadsheetFile::~SpreadsheetFile()
{
    discard();
}

void SpreadsheetFile::discard()
{
    // Only closing frees the library's workbook; what it writes is thrown away.
    if (m_book)
        workbook_close(m_book);
    m_book = nullptr;
    m_sheet = nullptr;
    if (!m_tempPath.isEmpty())
        QFile::remove(m_tempPath);
    m_tempPath.clear();
}

bool SpreadsheetFile::fail(const QString& reason)
{
    if (m_error.isEmpty())
        m_error = m_path + QStringLiteral(": ") + reason;
    return false;
}

bool SpreadsheetFile::check(int code, int row, int column)
{
    if (code == LXW_NO_ERROR)
        return true;
    return fail(cellName(row, column) + QStringLiteral(": ") + QString::fromUtf8(lxw_strerror(lxw_error(code))));
}

lxw_format* SpreadsheetFile::format(const QString& code, bool bold)
{
    const QString key = (bold ? QStringLiteral("b:") : QStringLiteral("n:")) + code;
    if (lxw_format* f = m_formats.value(key))
        return f;
    lxw_format* f = workbook_add_format(m_book);
    if (!f) {
        fail(QString::fromUtf8(lxw_strerror(LXW_ERROR_MEMORY_MALLOC_FAILED)));
        return nullptr;
    }
    if (bold)
        format_set_bold(f);
    if (!code.isEmpty())
        format_set_num_format(f, code.toUtf8().constData());
    m_formats.insert(key, f);
    return f;
}

bool SpreadsheetFile::writeHeader(int row, const QStringList& names)
{
    if (!ok())
        return false;
    lxw_format* bold = format(QString(), true);
    for (int c = 0; c < names.size() && ok(); ++c) {
        if (row < 0 || row >= kMaxRows || c >= kMaxColumns)
            return check(LXW_ERROR_WORKSHEET_INDEX_OUT_OF_RANGE, row, c);
        check(worksheet_write_string(m_sheet, lxw_row_t(row), lxw_col_t(c), cellText(names[c]).constData(), bold), row,
              c);
    }
    if (ok() && row < kMaxRows - 1)
        worksheet_freeze_panes(m_sheet, lxw_row_t(row + 1), 0);
    return ok();
}

bool SpreadsheetFile::writeText(int row, int column, const QString& text)
{
    if (!ok())
        return false;
    if (row < 0 || column < 0 || row >= kMaxRows || column >= kMaxColumns)
        return check(LXW_ERROR_WORKSHEET_INDEX_OUT_OF_RANGE, row, column);
    // An empty text would give an empty string cell; a blank cell reads the same and costs nothing.
    if (text.isEmpty())
        return true;
    return check(
        worksheet_write_string(m_sheet, lxw_row_t(row), lxw_col_t(column), cellText(text).constData(), nullptr), row,
        column);
}

bool SpreadsheetFile::writeNumber(int row, int column, double value, const QString& numberFormat)
{
    if (!ok())
        return false;
    if (row < 0 || column < 0 || row >= kMaxRows || column >= kMaxColumns)
        return check(LXW_ERROR_WORKSHEET_INDEX_OUT_OF_RANGE, row, column);
    lxw_format* f = numberFormat.isEmpty() ? nullptr : format(numberFormat);
    return ok() && check(worksheet_write_number(m_sheet, lxw_row_t(row), lxw_col_t(column), value, f), row, column);
}

bool SpreadsheetFile::writeDate(int row, int column, const QDateTime& when, const QString& dateFormat)
{
    if (!ok())
        return false;
    if (!when.isValid())
        return fail(cellName(row, column) + QStringLiteral(": not a valid date"));
    const QDate d = when.date();
    // The format counts days from 1900; a date outside its years keeps its value as text.
    if (d.year() < 1900 || d.year() > 9999)
        return writeText(row, column, when.toString(Qt::ISODate));
    if (row < 0 || column < 0 || row >= kMaxRows || column >= kMaxColumns)
        return check(LXW_ERROR_WORKSHEET_INDEX_OUT_OF_RANGE, row, column);
    const QTime t = when.time();
    lxw_datetime dt{d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second() + t.msec() / 1000.0};
    lxw_format* f = format(dateFormat);
    return ok() && check(worksheet_write_datetime(m_sheet, lxw_row_t(row), lxw_col_t(column), &dt, f), row, column);
}

bool SpreadsheetFile::writeValue(int row, int column, const QVariant& value, const QString& numberFormat)
{
    if (value.isNull())
        return ok();
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
    case QMetaType::Float:
        return writeNumber(row, column, value.toDouble(), numberFormat);
    case QMetaType::QDate:
        return writeDate(row, column, value.toDate().startOfDay());
    case QMetaType::QDateTime:
        return writeDate(row, column, value.toDateTime());
    default:
        return writeText(row, column, value.toString());
    }
}

bool SpreadsheetFile::setColumnWidth(int column, double characters)
{
    if (!ok())
        return false;
    if (column < 0 || column >= kMaxColumns)
        return check(LXW_ERROR_WORKSHEET_INDEX_OUT_OF_RANGE, 0, column);
    return check(worksheet_set_column(m_sheet, lxw_col_t(column), lxw_col_t(column), characters, nullptr), 0, column);
}

bool SpreadsheetFile::save()
{
    if (!ok() || !m_book) {
        discard();
        return false;
    }
    const lxw_error closed = workbook_close(m_book);
    m_book = nullptr;
    m_sheet = nullptr;
    if (closed != LXW_NO_ERROR) {
        fail(QString::fromUtf8(lxw_strerror(closed)));
        discard();
        return false;
    }
    // The bytes reach the disk before the name moves, so a crash leaves the old file or the new one.
    QFile written(m_tempPath);
    if (!written.open(QIODevice::ReadWrite) || ::fsync(written.handle()) != 0) {
        fail(written.isOpen() ? QString::fromLocal8Bit(std::strerror(errno)) : written.errorString());
        discard();
        return false;
    }
    written.close();
    const QFileInfo old(m_path);
    written.setPermissions(old.exists() ? old.permissions()
                                        : QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    // rename() replaces a link at the target instead of following it.
    if (std::rename(QFile::encodeName(m_tempPath).constData(), QFile::encodeName(m_path).constData()) != 0) {
        fail(QString::fromLocal8Bit(std::strerror(errno)));
        discard();
        return false;
    }
    m_tempPath.clear();
    return true;
}

} // namespace vocaset
