#pragma once

#include "Interaction.h"
#include "PhoneBookChoices.h"

namespace vocaset {

enum class ExportFormat { Csv, Xlsx };

// Every phone-book entry of a company, hidden ones too, with every column of the table: as
// "Phone_Book.csv" (one ";"-separated line per entry, no header) or as a workbook named after the
// company (a header row of column names, then one row per entry).
class PhoneBookExport
{
public:
    PhoneBookExport(Session& session, RunLog& log) : m_s(session), m_log(log) {}
    Q_DISABLE_COPY_MOVE(PhoneBookExport)

    static QString csvName() { return QStringLiteral("Phone_Book.csv"); }
    static QString workbookName(const QString& company) { return company + QStringLiteral(".xlsx"); }

    // An existing file is replaced only when the operator agrees (M32). The file written is in the
    // summary, for the window to open.
    PhoneBookSummary run(const PhoneBookRequest& request, ExportFormat format);
    // Asks a run that is giving the user interface a turn to stop; the file is then not written.
    void requestStop() { m_stopRequested = true; }

private:
    bool mayReplace(const QString& path, PhoneBookSummary& summary);
    void writeCsv(Recordset& entries, PhoneBookSummary& summary);
    void writeWorkbook(Recordset& entries, PhoneBookSummary& summary);
    QString entryName(const Recordset& entries) const;

    Session& m_s;
    RunLog& m_log;
    bool m_stopRequested = false;
};

} // namespace vocaset
