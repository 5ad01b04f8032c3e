#include "PhoneBookExport.h"

#include <QFileInfo>

#include "Messages.h"
#include "PhoneBookGeneration.h"
#include "SpreadsheetFile.h"
#include "Sql.h"
#include "TextFile.h"
#include "UiYield.h"

namespace vocaset {

QString PhoneBookExport::entryName(const Recordset& entries) const
{
    return entries.text(QStringLiteral("BK_NUM")) + QStringLiteral(" - ") + entries.text(QStringLiteral("BK_NAME"));
}

bool PhoneBookExport::mayReplace(const QString& path, PhoneBookSummary& summary)
{
    const QFileInfo existing(path);
    if (!existing.exists() && !existing.isSymLink())
        return true;
    if (!m_s.op.askYesNo(MessageText(m_s, QStringLiteral("M32"), path))) {
        m_log.append(MessageText(m_s, QStringLiteral("M33"), QStringLiteral("0")));
        summary.outcome = PhoneBookOutcome::Declined;
        return false;
    }
    // A file marked read-only is kept, as deleting it unforced would.
    if (existing.exists() && !(existing.permissions() & QFile::WriteOwner)) {
        showPhoneBookText(m_s, QStringLiteral("M302"), QStringLiteral("The file $$ is read-only; it was not replaced."),
                          path);
        summary.outcome = PhoneBookOutcome::WriteFailed;
        return false;
    }
    return true;
}

PhoneBookSummary PhoneBookExport::run(const PhoneBookRequest& r, ExportFormat format)
{
    m_stopRequested = false;
    PhoneBookSummary summary;
    const ReadSnapshot snapshot(m_s.db);
    const std::optional<QString> folder = checkRequest(m_s, r, false, summary);
    if (!folder)
        return summary;
    const QString name = format == ExportFormat::Csv ? csvName() : workbookName(r.company);
    if (!isSafeFileName(name)) {
        showPhoneBookText(m_s, QStringLiteral("M303"), QStringLiteral("The file name $$ cannot be used."), name);
        summary.outcome = PhoneBookOutcome::WriteFailed;
        return summary;
    }
    summary.file = *folder + u'/' + name;

    Recordset entries =
        m_s.db.execute(QStringLiteral("SELECT * FROM PHONE_BOOK WHERE CO_CODE = '") + sqlText(r.company) + u'\'');
    summary.selected = entries.count();
    if (!mayReplace(summary.file, summary))
        return summary;
    m_log.progress(0, summary.selected);
    if (format == ExportFormat::Csv)
        writeCsv(entries, summary);
    else
        writeWorkbook(entries, summary);
    if (summary.outcome == PhoneBookOutcome::Completed)
        m_log.append(MessageText(m_s, QStringLiteral("M33"), QString::number(summary.succeeded)));
    return summary;
}

void PhoneBookExport::writeCsv(Recordset& entries, PhoneBookSummary& summary)
{
    QByteArray out;
    out.reserve(120 * summary.selected);
    for (; !entries.eof(); entries.moveNext()) {
        // A value is written as stored: a ";" in it adds a field. A line break would split the line
        // into two entries, so such an entry is left out. A value a spreadsheet would run as a
        // formula goes behind an apostrophe.
        QStringList fields;
        bool oneLine = true;
        for (int f = 0; f < entries.fieldCount(); ++f) {
            fields.append(markedCell(entries.text(f)));
            oneLine = oneLine && fitsOneLine(fields.last());
        }
        if (!oneLine) {
            m_log.append(entryLeftOutText(m_s, entryName(entries)));
            ++summary.failed;
        } else {
            bool lossy = false;
            out += toCp1252(fields.join(u';'), &lossy);
            out += "\r\n";
            if (lossy)
                m_log.append(entryLossyText(m_s, entryName(entries)));
            ++summary.succeeded;
        }
        m_log.progress(++summary.done, summary.selected);
        giveUiTurn();
        if (m_stopRequested) {
            summary.outcome = PhoneBookOutcome::Aborted;
            return;
        }
    }
    QString error;
    if (!writeFileAtomically(summary.file, out, &error)) {
        showWriteFailure(m_s, error);
        summary.outcome = PhoneBookOutcome::WriteFailed;
        summary.failed += summary.succeeded;
        summary.succeeded = 0;
    }
}

void PhoneBookExport::writeWorkbook(Recordset& entries, PhoneBookSummary& summary)
{
    SpreadsheetFile book(summary.file);
    QStringList header;
    // The columns under the captions the editor shows for them; the name where there is none.
    for (int f = 0; f < entries.fieldCount(); ++f) {
        const QString name = entries.fieldName(f).toUpper();
        header.append(textOr(m_s, name, name));
    }
    book.writeHeader(0, header);
    for (int row = 1; !entries.eof() && book.ok(); entries.moveNext(), ++row) {
        if (m_stopRequested) {
            summary.outcome = PhoneBookOutcome::Aborted;
            return; // the workbook is abandoned unsaved
        }
        for (int f = 0; f < entries.fieldCount(); ++f)
            book.writeText(row, f, entries.text(f));
        ++summary.succeeded;
        m_log.progress(++summary.done, summary.selected);
        giveUiTurn();
    }
    if (!book.save()) {
        showWriteFailure(m_s, book.error());
        summary.outcome = PhoneBookOutcome::WriteFailed;
        summary.failed = summary.selected;
        summary.succeeded = 0;
    }
}

} // namespace vocaset
