#include "FPBExp.h"

#include <QDesktopServices>
#include <QHBoxLayout>
#include <QRadioButton>
#include <QScopeGuard>
#include <QUrl>
#include <QVBoxLayout>

#include "Messages.h"

namespace vocaset {

FPBExp::FPBExp(Session& session, QWidget* parent)
    : PhoneBookWindow(session, {"FPBExp", "PhoneBook Exportation", false, "$$PBExp", "FPBEXP_DONE", "%1 exported"},
                      parent),
      m_csv(new QRadioButton(QStringLiteral("CSV"), this)), m_sheet(new QRadioButton(QStringLiteral("Excel"), this)),
      m_opener([](const QString& file) { return QDesktopServices::openUrl(QUrl::fromLocalFile(file)); })
{
    m_csv->setObjectName(QStringLiteral("Opt0"));
    m_sheet->setObjectName(QStringLiteral("Opt1"));
    m_csv->setChecked(true);
    auto* row = new QHBoxLayout;
    row->addWidget(m_csv);
    row->addWidget(m_sheet);
    row->addStretch();
    extras()->addLayout(row);
    finishLayout({m_csv, m_sheet});
}

PhoneBookSummary FPBExp::runEngine(RunLog& log, const PhoneBookRequest& request)
{
    PhoneBookExport run(m_s, log);
    m_run = &run;
    const auto clear = qScopeGuard([this] { m_run = nullptr; });
    return run.run(request, m_sheet->isChecked() ? ExportFormat::Xlsx : ExportFormat::Csv);
}

void FPBExp::stop()
{
    if (m_run)
        m_run->requestStop();
}

void FPBExp::afterRun(const PhoneBookSummary& summary)
{
    if (summary.outcome != PhoneBookOutcome::Completed)
        return;
    runLog().append(textOr(m_s, QStringLiteral("M787"), QStringLiteral("Written: $$"), summary.file));
    // The workbook is shown to the operator, as the spreadsheet export always was.
    if (!m_sheet->isChecked() || !m_opener)
        return;
    if (!m_opener(summary.file))
        runLog().append(textOr(m_s, QStringLiteral("M306"),
                               QStringLiteral("No application opened $$; the file is kept there."), summary.file));
}

} // namespace vocaset
