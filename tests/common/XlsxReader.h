#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

namespace vocaset::test {

// Reads back what a workbook holds on its first sheet: the zip entries are inflated with zlib and
// the sheet, shared strings and styles parsed as XML. Enough to check what a writer produced.
class XlsxReader
{
public:
    explicit XlsxReader(const QString& path);

    bool ok() const { return m_error.isEmpty(); }
    const QString& error() const { return m_error; }

    // The named zip entry ("xl/worksheets/sheet1.xml"), or empty when it is missing.
    QByteArray entry(const QString& name) const { return m_entries.value(name); }
    QStringList entryNames() const { return m_entries.keys(); }

    // Sheet 1 as rows of cell texts (shared strings resolved, numbers as stored); a missing row is an
    // empty list, a missing cell before the last one of its row an empty text.
    const QList<QStringList>& rows() const { return m_rows; }
    QString cell(int row, int column) const { return m_rows.value(row).value(column); }
    // The cell's kind as stored: "s" shared text, "inlineStr", "n" number (the default), ...
    QString type(int row, int column) const { return m_types.value(key(row, column)); }
    // The number format code of the cell's style; a built-in format reads "builtin:N"; none is empty.
    QString format(int row, int column) const { return m_formats.value(key(row, column)); }
    bool bold(int row, int column) const { return m_bold.value(key(row, column)); }

private:
    static qint64 key(int row, int column) { return (qint64(row) << 16) | column; }
    void unzip(const QByteArray& zip);
    void parse();

    QString m_error;
    QHash<QString, QByteArray> m_entries;
    QList<QStringList> m_rows;
    QHash<qint64, QString> m_types;
    QHash<qint64, QString> m_formats;
    QHash<qint64, bool> m_bold;
};

} // namespace vocaset::test
