#include "FPhImp.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QTreeWidget>

#include "Messages.h"
#include "ProgressStrip.h"
#include "SelectionList.h"
#include "WindowConventions.h"

namespace vocaset {
namespace {

// The engine's progress drawn in the window's strip; the preview shows what the log would.
class StripLog final : public RunLog
{
public:
    explicit StripLog(ProgressStrip* strip) : m_strip(strip) {}
    void append(const QString&) override {}
    void progress(int done, int total) override { m_strip->setProgress(done, total); }

private:
    ProgressStrip* m_strip;
};

QComboBox* selectionList(QWidget* parent, const char* name, const QList<ListEntry>& entries)
{
    auto* box = new QComboBox(parent);
    box->setObjectName(QLatin1String(name));
    box->setMinimumContentsLength(32);
    box->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    box->addItems(entryTexts(entries));
    box->setCurrentIndex(-1);
    return box;
}

} // namespace

FPhImp::FPhImp(Session& session, QWidget* parent)
    : QWidget(parent), m_s(session), m_cLab(new QLabel(QStringLiteral("Company"), this)), m_filter1(nullptr),
      m_eLab(new QLabel(QStringLiteral("Model"), this)), m_filter2(nullptr),
      m_fLab(new QLabel(QStringLiteral("File"), this)), m_lFile(new QLineEdit(this)),
      m_btFile(new QPushButton(QStringLiteral("..."), this)), m_preview(new QTreeWidget(this)),
      m_bar(new ProgressStrip(session, this)), m_ok(new QPushButton(QStringLiteral("Import"), this)),
      m_cancel(new QPushButton(QStringLiteral("Cancel"), this)), m_log(std::make_unique<StripLog>(m_bar)),
      m_engine(std::make_unique<PhoneImport>(session, *m_log))
{
    setObjectName(QStringLiteral("FPhImp"));
    setWindowTitle(QStringLiteral("Import telephones"));
    QList<ListEntry> companies;
    QList<ListEntry> models;
    guarded(m_s, [&] {
        companies = companyEntries(m_s.db);
        models = equipmentEntries(m_s.db);
    });
    m_filter1 = selectionList(this, "Filter1", companies);
    m_filter2 = selectionList(this, "Filter2", models);
    m_cLab->setObjectName(QStringLiteral("CLab"));
    m_eLab->setObjectName(QStringLiteral("ELab"));
    m_fLab->setObjectName(QStringLiteral("FLab"));
    m_lFile->setObjectName(QStringLiteral("LFile"));
    m_btFile->setObjectName(QStringLiteral("BtFile"));
    m_preview->setObjectName(QStringLiteral("Preview"));
    m_bar->setObjectName(QStringLiteral("Progress"));
    m_ok->setObjectName(QStringLiteral("Ok"));
    m_cancel->setObjectName(QStringLiteral("Cancel"));
    m_cLab->setBuddy(m_filter1);
    m_eLab->setBuddy(m_filter2);
    m_fLab->setBuddy(m_lFile);

    const auto text = [this](const char* key, const char* english) {
        return textOr(m_s, QLatin1String(key), QLatin1String(english));
    };
    m_preview->setHeaderLabels({text("FPHIMP_COLLINE", "Line"), text("FPHIMP_COLPHONE", "Telephone"),
                                text("FPHIMP_COLCHANGE", "Change"), text("FPHIMP_COLDETAILS", "Details")});
    m_preview->setRootIsDecorated(false);
    m_preview->setUniformRowHeights(true);
    m_preview->setAlternatingRowColors(true);
    m_preview->header()->setStretchLastSection(true);

    auto* grid = new QGridLayout(this);
    grid->addWidget(m_cLab, 0, 0);
    grid->addWidget(m_filter1, 0, 1, 1, 2);
    grid->addWidget(m_eLab, 1, 0);
    grid->addWidget(m_filter2, 1, 1, 1, 2);
    grid->addWidget(m_fLab, 2, 0);
    grid->addWidget(m_lFile, 2, 1);
    grid->addWidget(m_btFile, 2, 2);
    grid->addWidget(m_preview, 3, 0, 1, 3);
    grid->setRowStretch(3, 1);
    grid->addWidget(m_bar, 4, 0, 1, 3);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_ok);
    buttons->addWidget(m_cancel);
    grid->addLayout(buttons, 5, 0, 1, 3);
    grid->setColumnStretch(1, 1);
    resize(720, 500);

    m_ok->setEnabled(false);
    connect(m_filter1, &QComboBox::activated, this, &FPhImp::preview);
    connect(m_filter2, &QComboBox::activated, this, &FPhImp::preview);
    // A typed name is checked when the operator leaves the field or presses Enter there; Enter then
    // only checks, so Import never runs on a file whose preview was not seen.
    connect(m_lFile, &QLineEdit::textEdited, this, [this] { m_fileEdited = true; });
    connect(m_lFile, &QLineEdit::editingFinished, this, [this] {
        if (m_fileEdited)
            preview();
    });
    m_lFile->installEventFilter(this);
    connect(m_btFile, &QPushButton::clicked, this, &FPhImp::browse);
    connect(m_ok, &QPushButton::clicked, this, &FPhImp::import);
    connect(m_cancel, &QPushButton::clicked, this, &FPhImp::pressCancel);
    setReadingOrder({m_filter1, m_filter2, m_lFile, m_btFile, m_preview, m_ok, m_cancel});
    new WindowKeys(this, m_ok, [this] { return running(); });
    guarded(m_s, [this] { applyCaptions(m_s, this); });
}

void FPhImp::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!m_focused) {
        m_focused = true;
        m_filter1->setFocus();
    }
}

bool FPhImp::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_lFile && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            preview();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

PhoneImportRequest FPhImp::request() const
{
    const auto code = [](const QComboBox* box) {
        return box->currentIndex() >= 0 ? entryCode(box->currentText()) : QString();
    };
    const QString file = m_lFile->text().trimmed();
    return {code(m_filter1), code(m_filter2), file.isEmpty() ? file : QFileInfo(file).absoluteFilePath()};
}

void FPhImp::browse()
{
    const QString chosen = QFileDialog::getOpenFileName(
        this, textOr(m_s, QStringLiteral("FPHIMP_CHOOSE"), QStringLiteral("File of telephones")),
        QFileInfo(m_lFile->text()).path(), QStringLiteral("CSV (*.csv *.txt);;* (*)"));
    if (chosen.isEmpty())
        return;
    m_lFile->setText(chosen);
    preview();
}

void FPhImp::recordsChanged(const QString&)
{
    if (m_running) {
        m_listsStale = true;
        return;
    }
    guarded(m_s, [this] {
        refillChain({m_filter1}, [this](int) { return entryTexts(companyEntries(m_s.db)); });
        refillChain({m_filter2}, [this](int) { return entryTexts(equipmentEntries(m_s.db)); });
    });
    preview();
}

// The file checked against the database each time a choice changes; nothing is written.
void FPhImp::preview()
{
    if (m_running)
        return;
    const PhoneImportRequest r = request();
    m_fileEdited = false;
    m_ok->setEnabled(false);
    m_preview->clear();
    m_plan = PhoneImportPlan();
    if (r.company.isEmpty() || r.model.isEmpty() || r.file.isEmpty()) {
        m_bar->setStatus({});
        return;
    }
    guarded(m_s, [&] { showPlan(m_engine->plan(r)); });
}

void FPhImp::showPlan(const PhoneImportPlan& plan)
{
    PhoneImport& texts = *m_engine;
    QList<QTreeWidgetItem*> items;
    const auto row = [&](int line, const QString& phone, PhoneOutcome outcome, const QString& details) {
        auto* item = new QTreeWidgetItem(
            {line > 0 ? QString::number(line) : QString(), phone, texts.outcomeText(outcome), details});
        if (outcome == PhoneOutcome::Refused)
            item->setForeground(2, QColor(Qt::red));
        items.append(item);
    };
    for (const ImportProblem& p : plan.problems) {
        if (p.line <= 1) // the file itself, or its header
            row(p.line, {}, PhoneOutcome::Refused, texts.problemDetail(p));
    }
    for (const PlannedPhone& ph : plan.phones)
        row(ph.line, ph.phone, ph.outcome, texts.details(ph));
    m_preview->clear();
    m_preview->addTopLevelItems(items);
    for (int c = 0; c < 3; ++c)
        m_preview->resizeColumnToContents(c);
    m_plan = plan;
    m_bar->setStatus(texts.summaryLine(plan), plan.refused());
    m_ok->setEnabled(!plan.refused() && plan.added + plan.updated > 0);
}

void FPhImp::import()
{
    if (m_running || !m_ok->isEnabled())
        return;
    const RunFocus focus(this, m_ok);
    const QList<QWidget*> locked{m_filter1, m_filter2, m_lFile, m_btFile, m_ok};
    for (QWidget* w : locked)
        w->setEnabled(false);
    m_running = true;
    m_bar->start(m_plan.added + m_plan.updated);
    PhoneImport& run = *m_engine;
    PhoneImportPlan written;
    PhoneImportOutcome outcome = PhoneImportOutcome::Aborted;
    const bool completed = guarded(m_s, [&] { outcome = run.run(request(), &m_plan, &written); });
    m_running = false;
    for (QWidget* w : locked)
        w->setEnabled(true);

    if (!completed) {
        m_ok->setEnabled(true); // the choices and the preview stay: Import may be tried again
        m_bar->finish(textOr(m_s, QStringLiteral("M234"), QStringLiteral("The run failed.")), true);
    } else if (outcome == PhoneImportOutcome::Aborted) {
        m_ok->setEnabled(true);
        m_bar->finish(textOr(m_s, QStringLiteral("FPHIMP_STOPPED"), QStringLiteral("Stopped: nothing was changed.")),
                      true);
    } else {
        const QString summary = run.summaryLine(written);
        guarded(m_s, [&] {
            // What the database holds now: a written file shows every telephone unchanged.
            if (outcome == PhoneImportOutcome::Written)
                showPlan(run.plan(request()));
            else
                showPlan(written);
        });
        if (outcome == PhoneImportOutcome::Changed)
            m_bar->finish(run.changedText(), true);
        else
            m_bar->finish(summary, outcome != PhoneImportOutcome::Written);
        if (outcome == PhoneImportOutcome::Written)
            tellRecordsChanged(QStringLiteral("PHONES"));
    }
    if (std::exchange(m_listsStale, false))
        recordsChanged({});
    if (m_closeWhenIdle)
        closeWindow(this);
}

void FPhImp::pressCancel()
{
    if (!m_running)
        closeWindow(this);
    else if (confirmAbandon(m_s))
        m_engine->requestStop();
}

void FPhImp::closeEvent(QCloseEvent* event)
{
    if (m_running) {
        stopRunThenClose(m_s, this, m_closeWhenIdle, [this] { m_engine->requestStop(); });
        event->ignore();
        return;
    }
    event->accept();
}

} // namespace vocaset
