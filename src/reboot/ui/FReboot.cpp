#include "FReboot.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QHeaderView>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTreeWidget>

#include "DbError.h"
#include "GenerationChoices.h"
#include "Messages.h"
#include "ProgressStrip.h"
#include "RestartChoice.h"
#include "RunLogView.h"
#include "WindowConventions.h"

namespace vocaset {
FReboot::FReboot(Session& session, int deadlineMs, QWidget* parent, int t1Ms, int pollMs)
    : QWidget(parent), m_s(session), m_cLab(new QLabel(QStringLiteral("Company"), this)),
      m_eLab(new QLabel(QStringLiteral("Equipment"), this)), m_pfLab(new QLabel(QStringLiteral("Phone from"), this)),
      m_ptLab(new QLabel(QStringLiteral("Phone to"), this)), m_filter{new QComboBox(this), new QComboBox(this),
                                                                      new QComboBox(this), new QComboBox(this)},
      m_cbusy(new QCheckBox(QStringLiteral("Wait if Busy"), this)),
      m_restart(new RestartChoice(this)),
      m_outcomes(new QTreeWidget(this)), m_lb1(new RunLogView(this)),
      m_bar(new ProgressStrip(session, this)), m_ok(new QPushButton(QStringLiteral("Reboot"), this)),
      m_cancel(new QPushButton(QStringLiteral("Cancel"), this)), m_run(session, *m_lb1, deadlineMs),
      m_resync(session, *m_lb1, t1Ms), m_confirmation(session, *m_lb1, pollMs)
{
    setObjectName(QStringLiteral("FReboot"));
    setWindowTitle(QStringLiteral("Vocaset Reboot"));
    m_cLab->setObjectName(QStringLiteral("CLab"));
    m_eLab->setObjectName(QStringLiteral("ELab"));
    m_pfLab->setObjectName(QStringLiteral("PFLab"));
    m_ptLab->setObjectName(QStringLiteral("PTLab"));
    m_cbusy->setObjectName(QStringLiteral("Cbusy"));
    m_outcomes->setObjectName(QStringLiteral("Outcomes"));
    m_lb1->setObjectName(QStringLiteral("Lb1"));
    m_ok->setObjectName(QStringLiteral("Ok"));
    m_cancel->setObjectName(QStringLiteral("Cancel"));

    auto* grid = new QGridLayout(this);
    const std::array<QLabel*, 4> labels{m_cLab, m_eLab, m_pfLab, m_ptLab};
    for (int i = 0; i < 4; ++i) {
        m_filter[i]->setObjectName(QStringLiteral("Filter") + QString::number(i + 1));
        m_filter[i]->setEditable(false);
        m_filter[i]->setMinimumContentsLength(32);
        m_filter[i]->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        labels[i]->setBuddy(m_filter[i]);
        grid->addWidget(labels[i], i, 0);
        grid->addWidget(m_filter[i], i, 1);
        connect(m_filter[i], &QComboBox::activated, this, [this, i] { choose(i + 1); });
    }
    grid->addWidget(m_restart, 4, 1);
    grid->addWidget(m_cbusy, 5, 1);
    grid->addWidget(m_outcomes, 7, 0, 1, 2);
    grid->addWidget(m_lb1, 8, 0, 1, 2);
    grid->addWidget(m_bar, 9, 0, 1, 2);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_ok);
    buttons->addWidget(m_cancel);
    grid->addLayout(buttons, 10, 0, 1, 2);
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(7, 1);
    grid->setRowStretch(8, 1);
    resize(620, 640);

    m_outcomes->setRootIsDecorated(false);
    m_outcomes->setUniformRowHeights(true);
    m_outcomes->setSortingEnabled(true);
    m_outcomes->setHeaderLabels({textOr(m_s, QStringLiteral("FREBOOT_COLPHONE"), QStringLiteral("Telephone")),
                                 textOr(m_s, QStringLiteral("FREBOOT_COLRESTART"), QStringLiteral("Restart")),
                                 textOr(m_s, QStringLiteral("FREBOOT_COLCONFIRM"), QStringLiteral("Confirmation"))});
    m_outcomes->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_outcomes->sortByColumn(0, Qt::AscendingOrder);
    m_confirmation.setOnResult([this](const FetchConfirmation::Result& r) {
        const QList<QTreeWidgetItem*> rows = m_outcomes->findItems(r.code, Qt::MatchExactly, 0);
        if (!rows.isEmpty())
            rows.first()->setText(2, m_confirmation.outcomeText(r));
    });

    m_cbusy->setChecked(true);
    m_lb1->setProgressStrip(m_bar);
    m_cbusy->setToolTip(QStringLiteral("A GXP2000 telephone that is busy is asked again after a pause, "
                                       "instead of being skipped."));
    setReadingOrder({m_filter[0], m_filter[1], m_filter[2], m_filter[3], m_restart->http(), m_restart->sip(),
                     m_restart->confirm(), m_restart->confirmSeconds(), m_cbusy, m_outcomes, m_lb1, m_ok, m_cancel});
    new WindowKeys(this, m_ok, [this] { return running(); });
    for (int i = 1; i < 4; ++i)
        m_filter[i]->setEnabled(false);
    m_ok->setEnabled(false);

    connect(m_ok, &QPushButton::clicked, this, &FReboot::startRun);
    connect(m_cancel, &QPushButton::clicked, this, &FReboot::pressCancel);
    // Read at every busy telephone, so unticking it during a run stops the waiting.
    connect(m_cbusy, &QCheckBox::toggled, this, [this](bool on) { m_run.setWaitIfBusy(on); });
    connect(m_restart, &RestartChoice::methodChanged, this, &FReboot::chooseMethod);

    guarded(m_s, [this] {
        fill(m_filter[0], m_run.companies());
        applyCaptions(m_s, this);
    });
    m_cancelCaption = m_cancel->text();
    m_okCaption = m_ok->text();
}

void FReboot::chooseMethod()
{
    // A telephone asked over SIP is never busy in the HTTP dialogue's sense.
    const bool sip = m_restart->overSip();
    m_cbusy->setEnabled(!sip);
    m_ok->setText(sip ? textOr(m_s, QStringLiteral("FREBOOT_OKSIP"), QStringLiteral("Resync")) : m_okCaption);
    addControlMnemonics(this);
}

void FReboot::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!m_focused) {
        m_focused = true;
        m_filter[0]->setFocus();
    }
}

void FReboot::fill(QComboBox* box, const QStringList& entries)
{
    box->clear();
    box->addItems(entries);
    // Nothing is chosen until the operator picks an entry.
    box->setCurrentIndex(-1);
}

QString FReboot::chosenCode(int i) const
{
    return entryCode(m_filter[i - 1]->currentText());
}

bool FReboot::allChosen() const
{
    return std::all_of(m_filter.begin(), m_filter.end(), [](QComboBox* b) { return b->currentIndex() >= 0; });
}

void FReboot::choose(int i)
{
    m_ok->setEnabled(false);
    for (int j = i + 1; j <= 4; ++j) {
        m_filter[j - 1]->clear();
        m_filter[j - 1]->setEnabled(false);
    }
    // Only the chosen company's telephones are offered, as in the generation window: the run
    // selects that company's anyway, and another's code in the range would be skipped unsaid.
    guarded(m_s, [&] {
        switch (i) {
        case 1:
            m_filter[1]->setEnabled(true);
            fill(m_filter[1], m_run.equipments(chosenCode(1)));
            break;
        case 2:
            m_filter[2]->setEnabled(true);
            fill(m_filter[2], entryTexts(phoneEntries(m_s.db, chosenCode(1), chosenCode(2))));
            break;
        case 3:
            m_filter[3]->setEnabled(true);
            fill(m_filter[3], entryTexts(phoneEntries(m_s.db, chosenCode(1), chosenCode(2), chosenCode(3))));
            break;
        default:
            m_ok->setEnabled(!m_run.running());
            break;
        }
    });
}

void FReboot::setCancel(const QString& tag, const QString& captionKey)
{
    m_cancelTag = tag;
    const auto caption = findDescription(m_s.db, captionKey, m_s.language);
    if (caption && !caption->isEmpty())
        m_cancel->setText(*caption);
    else
        m_cancel->setText(tag == u"Abort" ? QStringLiteral("Abort") : m_cancelCaption);
    addControlMnemonics(this);
}

void FReboot::recordsChanged(const QString&)
{
    if (running()) {
        m_listsStale = true;
        return;
    }
    guarded(m_s, [this] {
        const QList<QComboBox*> lists(m_filter.begin(), m_filter.end());
        if (!refillChain(lists, [this](int list) -> QStringList {
                switch (list) {
                case 0:
                    return m_run.companies();
                case 1:
                    return m_run.equipments(chosenCode(1));
                case 2:
                    return entryTexts(phoneEntries(m_s.db, chosenCode(1), chosenCode(2)));
                default:
                    return entryTexts(phoneEntries(m_s.db, chosenCode(1), chosenCode(2), chosenCode(3)));
                }
            }))
            m_ok->setEnabled(false);
    });
}

void FReboot::lockLists(bool locked)
{
    if (locked) {
        m_listsEnabled.clear();
        for (QComboBox* box : m_filter) {
            m_listsEnabled.append(box->isEnabled());
            box->setEnabled(false);
        }
        return;
    }
    for (int i = 0; i < 4 && i < m_listsEnabled.size(); ++i)
        m_filter[i]->setEnabled(m_listsEnabled[i]);
}

void FReboot::startRun()
{
    if (running() || !allChosen())
        return;
    m_lb1->clear();
    m_outcomes->clear();
    m_bar->start();
    const RunFocus focus(this, m_ok);
    m_ok->setEnabled(false);
    lockLists(true);
    m_restart->lock(true);
    const int confirmFor = m_restart->confirmFor();
    m_busy = true;
    std::optional<RebootRun::Outcome> outcome;
    RebootRun::Summary summary;
    guarded(m_s, [&] {
        setCancel(QStringLiteral("Abort"), QStringLiteral("CANCEL_ABO"));
        m_confirmation.begin();
        if (m_restart->overSip()) {
            // A model without its SIP event is refused before anything is sent, naming the row to add.
            if (const QString refused = m_resync.refusal(chosenCode(2)); !refused.isEmpty()) {
                m_s.op.showMessage(refused);
                outcome = RebootRun::Outcome::Stopped;
                summary.outcome = *outcome;
                return;
            }
            outcome = m_resync.run({chosenCode(1), chosenCode(2), chosenCode(3), chosenCode(4)});
            summary = m_resync.summary();
        } else {
            m_run.setWaitIfBusy(m_cbusy->isChecked());
            outcome = m_run.run(chosenCode(1), chosenCode(2), chosenCode(3), chosenCode(4));
            summary = m_run.summary();
        }
    });
    guarded(m_s, [&] {
        finishRun(summary, outcome.value_or(RebootRun::Outcome::Stopped), !outcome);
        listOutcomes(summary);
        if (outcome == RebootRun::Outcome::Completed && confirmFor > 0 && !summary.accepted.isEmpty())
            awaitFetches(summary, confirmFor);
    });
    m_busy = false;
    lockLists(false);
    m_restart->lock(false);
    guarded(m_s, [&] { setCancel(QStringLiteral("End"), QStringLiteral("CANCEL_END")); });
    m_ok->setEnabled(allChosen());
    if (std::exchange(m_listsStale, false))
        recordsChanged({});
    // The window was closed during the run; it goes now that the run is over.
    if (m_closeWhenIdle)
        closeWindow(this);
}

void FReboot::listOutcomes(const RebootRun::Summary& summary)
{
    const QString restarted = textOr(m_s, QStringLiteral("M901"), QStringLiteral("restarted"));
    const QString notRestarted = textOr(m_s, QStringLiteral("M902"), QStringLiteral("not restarted"));
    for (const QString& code : summary.accepted)
        new QTreeWidgetItem(m_outcomes, {code, restarted});
    for (const QString& code : summary.failed)
        new QTreeWidgetItem(m_outcomes, {code, notRestarted});
}

void FReboot::awaitFetches(const RebootRun::Summary& summary, int seconds)
{
    m_bar->start();
    m_bar->setStatus(textOr(m_s, QStringLiteral("M906"),
                            QStringLiteral("Waiting up to %1 s for the next fetch of %2 telephone(s)..."))
                         .arg(seconds)
                         .arg(summary.accepted.size()));
    const FetchConfirmation::Summary confirmed = m_confirmation.wait(chosenCode(1), summary.accepted, seconds);
    const QString line = confirmed.line();
    m_lb1->append(line);
    m_lb1->showEnd();
    m_bar->finish(line, confirmed.unconfirmed() > 0 || confirmed.aborted);
}

void FReboot::finishRun(const RebootRun::Summary& summary, RebootRun::Outcome outcome, bool failed)
{
    showRebootEnd(m_s, summary, outcome, failed, m_lb1, m_bar);
}

void showRebootEnd(Session& s, const RebootRun& run, RebootRun::Outcome outcome, bool failed, RunLogView* log,
                   ProgressStrip* bar)
{
    showRebootEnd(s, run.summary(), outcome, failed, log, bar);
}

void showRebootEnd(Session& s, const RebootRun::Summary& summary, RebootRun::Outcome outcome, bool failed,
                   RunLogView* log, ProgressStrip* bar)
{
    if (failed) {
        bar->finish(textOr(s, QStringLiteral("M234"), QStringLiteral("The run failed.")), true);
        return;
    }
    const RunTally tally{summary.selected, summary.done, summary.restarted, int(summary.failed.size()),
                         outcome != RebootRun::Outcome::Completed, summary.failed};
    const QString line =
        bar->summaryText(tally, textOr(s, QStringLiteral("FREBOOT_RESTARTED"), QStringLiteral("%1 restarted")));
    log->append(line);
    log->showEnd();
    bar->finish(line, summary.failures() > 0 || outcome != RebootRun::Outcome::Completed);
}

void FReboot::abortAll()
{
    m_run.abort();
    m_resync.abort();
    m_confirmation.abort();
}

void FReboot::pressCancel()
{
    if (m_cancelTag == u"End") {
        abortAll();
        closeWindow(this);
    } else if (confirmAbandon(m_s)) {
        abortAll();
    }
}

void FReboot::closeEvent(QCloseEvent* event)
{
    if (running()) {
        stopRunThenClose(m_s, this, m_closeWhenIdle, [this] { abortAll(); });
        event->ignore();
        return;
    }
    m_run.abort();
    m_run.closeSocket();
    event->accept();
}

} // namespace vocaset
