#include "FFleet.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QVBoxLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>

#include "FReboot.h"
#include "Messages.h"
#include "ProgressStrip.h"
#include "RestartChoice.h"
#include "RunLogView.h"
#include "SelectionList.h"
#include "UiYield.h"
#include "WindowConventions.h"

namespace vocaset {

namespace {

struct ColumnText
{
    const char* key;
    const char* english;
};
constexpr ColumnText kColumns[] = {
    {"FFLEET_COL_COMPANY", "Company"}, {"FFLEET_COL_CODE", "Code"},         {"FFLEET_COL_MODEL", "Model"},
    {"FFLEET_COL_MAC", "MAC"},         {"FFLEET_COL_STATE", "State"},       {"FFLEET_COL_FETCHED", "Last fetch (UTC)"},
    {"FFLEET_COL_CLIENT", "Address"},  {"FFLEET_COL_FIRMWARE", "Firmware"}, {"FFLEET_COL_AGENT", "User agent"},
};
constexpr ColumnText kStates[] = {
    {"FFLEET_CURRENT", "current"},
    {"FFLEET_STALE", "stale"},
    {"FFLEET_NEVER", "never"},
};
// Current green, stale orange, never grey: the state is seen before it is read. A telephone whose
// last request was refused is red whatever its state, and its tooltip says why.
const QColor kStateColours[] = {QColor(0xd6, 0xf0, 0xd6), QColor(0xff, 0xdd, 0xaa), QColor(0xe6, 0xe6, 0xe6)};
const QColor kRefusedColour(0xf6, 0xc0, 0xc0);

// Ends a survey from its progress report: the survey has no stop of its own, and what it holds
// (its rows, its file source) goes with the unwinding.
struct RefreshStopped
{
};

// Sorts a column's texts as they read, the state column by its meaning, the firmware as versions.
class FleetItem final : public QTreeWidgetItem
{
public:
    using QTreeWidgetItem::QTreeWidgetItem;
    bool operator<(const QTreeWidgetItem& other) const override
    {
        const int column = treeWidget() ? treeWidget()->sortColumn() : 0;
        if (column == FFleet::State)
            return data(column, Qt::UserRole).toInt() < other.data(column, Qt::UserRole).toInt();
        if (column == FFleet::Firmware)
            return firmwareBefore(text(column), other.text(column));
        return text(column) < other.text(column);
    }
};

} // namespace

FFleet::FFleet(Session& session, QString connection, int deadlineMs, QWidget* parent, int t1Ms, int pollMs)
    : QWidget(parent), m_s(session), m_connection(std::move(connection)), m_company(new QComboBox(this)),
      m_model(new QComboBox(this)), m_list(new QTreeWidget(this)), m_counts(new QLabel(this)),
      m_lb1(new RunLogView(this)), m_bar(new ProgressStrip(session, this)),
      m_refresh(new QPushButton(QStringLiteral("Refresh"), this)),
      m_reboot(new QPushButton(QStringLiteral("Restart stale telephones\u2026"), this)),
      m_cancel(new QPushButton(QStringLiteral("Cancel"), this)), m_run(session, *m_lb1, deadlineMs),
      m_resync(session, *m_lb1, t1Ms), m_confirmation(session, *m_lb1, pollMs)
{
    setObjectName(QStringLiteral("FFleet"));
    setWindowTitle(QStringLiteral("Vocaset Fleet"));
    auto* cLab = new QLabel(QStringLiteral("Company"), this);
    auto* eLab = new QLabel(QStringLiteral("Equipment"), this);
    cLab->setObjectName(QStringLiteral("CLab"));
    eLab->setObjectName(QStringLiteral("ELab"));
    m_company->setObjectName(QStringLiteral("Filter1"));
    m_model->setObjectName(QStringLiteral("Filter2"));
    m_list->setObjectName(QStringLiteral("List1"));
    m_counts->setObjectName(QStringLiteral("Counts"));
    m_lb1->setObjectName(QStringLiteral("Lb1"));
    m_refresh->setObjectName(QStringLiteral("Refresh"));
    m_reboot->setObjectName(QStringLiteral("RebootStale"));
    m_cancel->setObjectName(QStringLiteral("Cancel"));
    for (QComboBox* box : {m_company, m_model}) {
        box->setMinimumContentsLength(32);
        box->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    }
    cLab->setBuddy(m_company);
    eLab->setBuddy(m_model);

    QStringList headers;
    for (const ColumnText& c : kColumns)
        headers.append(textOr(m_s, QLatin1String(c.key), QLatin1String(c.english)));
    m_list->setHeaderLabels(headers);
    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true);
    m_list->setSortingEnabled(true);
    m_list->sortByColumn(Code, Qt::AscendingOrder);
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);

    auto* grid = new QGridLayout(this);
    grid->addWidget(cLab, 0, 0);
    grid->addWidget(m_company, 0, 1);
    grid->addWidget(eLab, 1, 0);
    grid->addWidget(m_model, 1, 1);
    grid->addWidget(m_list, 2, 0, 1, 2);
    grid->addWidget(m_counts, 3, 0, 1, 2);
    grid->addWidget(m_lb1, 4, 0, 1, 2);
    grid->addWidget(m_bar, 5, 0, 1, 2);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_refresh);
    buttons->addStretch();
    buttons->addWidget(m_reboot);
    buttons->addWidget(m_cancel);
    grid->addLayout(buttons, 6, 0, 1, 2);
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(2, 3);
    grid->setRowStretch(4, 1);
    resize(820, 600);

    m_lb1->setProgressStrip(m_bar);
    setReadingOrder({m_company, m_model, m_list, m_lb1, m_refresh, m_reboot, m_cancel});
    // Esc during a refresh closes the window as its frame does: the refresh stops first.
    new WindowKeys(this, m_refresh, [this] { return m_run.running(); });
    m_model->setEnabled(false);
    m_refresh->setEnabled(false);
    m_reboot->setEnabled(false);

    connect(m_company, &QComboBox::activated, this, &FFleet::chooseCompany);
    connect(m_model, &QComboBox::activated, this, &FFleet::refresh);
    connect(m_refresh, &QPushButton::clicked, this, &FFleet::refresh);
    connect(m_reboot, &QPushButton::clicked, this, &FFleet::rebootStaleTelephones);
    connect(m_cancel, &QPushButton::clicked, this, &FFleet::pressCancel);
    m_confirmation.setOnResult([this](const FetchConfirmation::Result& r) { showConfirmation(r); });

    guarded(m_s, [this] {
        m_company->addItems(entryTexts(companyEntries(m_s.db)));
        m_company->setCurrentIndex(-1);
        applyCaptions(m_s, this);
    });
    m_cancelCaption = m_cancel->text();
}

void FFleet::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!m_focused) {
        m_focused = true;
        m_company->setFocus();
    }
}

void FFleet::chooseCompany()
{
    guarded(m_s, [this] {
        m_model->clear();
        m_model->addItem(textOr(m_s, QStringLiteral("FFLEET_ALLMODELS"), QStringLiteral("(all models)")));
        m_model->addItems(entryTexts(modelEntries(m_s.db, entryCode(m_company->currentText()))));
        m_model->setCurrentIndex(0);
        m_model->setEnabled(true);
        m_refresh->setEnabled(true);
    });
    refresh();
}

void FFleet::refresh()
{
    if (running() || m_company->currentIndex() < 0)
        return;
    FleetFilter filter{entryCode(m_company->currentText()),
                       m_model->currentIndex() > 0 ? entryCode(m_model->currentText()) : QString()};
    QList<FleetPhone> phones;
    m_bar->start();
    const RunFocus focus(this, m_refresh);
    // The survey gives the user interface its turns: the choices stay as they are meanwhile, and a
    // close or Cancel stops it at the next telephone.
    m_refreshing = true;
    m_stopRefresh = false;
    lockForRefresh(true);
    bool stopped = false;
    const bool done = guarded(m_s, [&] {
        FleetSurvey survey(m_s.db, m_s.language);
        try {
            phones = survey.survey(filter, [this](int n, int total) {
                m_bar->setProgress(n, total);
                giveUiTurn();
                if (m_stopRefresh)
                    throw RefreshStopped();
            });
        } catch (const RefreshStopped&) {
            stopped = true;
        }
    });
    m_refreshing = false;
    lockForRefresh(false);
    m_list->setSortingEnabled(false);
    m_list->clear();
    if (!done || stopped) {
        m_bar->finish(stopped ? textOr(m_s, QStringLiteral("M770"), QStringLiteral("Refresh stopped: no list shown."))
                              : textOr(m_s, QStringLiteral("M234"), QStringLiteral("The run failed.")),
                      true);
        m_counts->clear();
        m_shownCompany.clear();
        m_reboot->setEnabled(false);
        m_list->setSortingEnabled(true);
        if (m_closeWhenIdle)
            closeWindow(this);
        return;
    }
    m_shownCompany = filter.company;
    QList<QTreeWidgetItem*> items;
    items.reserve(phones.size());
    QStringList stateTexts;
    for (const ColumnText& c : kStates)
        stateTexts.append(textOr(m_s, QLatin1String(c.key), QLatin1String(c.english)));
    for (const FleetPhone& p : std::as_const(phones)) {
        auto* item = new FleetItem(QStringList{p.company, p.code, p.model, p.mac, stateTexts[int(p.state)], p.fetchedAt,
                                               p.client, p.firmware, p.userAgent});
        item->setData(State, Qt::UserRole, int(p.state));
        const bool refused = p.lastRefused();
        const QString why =
            refused ? textOr(m_s, QStringLiteral("FFLEET_REFUSEDTIP"), QStringLiteral("Last request refused at %1: %2"))
                          .arg(p.refusedAt,
                               textOr(m_s, QStringLiteral("FFLEET_WHY_") + p.refusal.toUpper(), refusalText(p.refusal)))
                    : QString();
        for (int c = 0; c < Columns; ++c) {
            item->setBackground(c, refused ? kRefusedColour : kStateColours[int(p.state)]);
            item->setToolTip(c, why);
        }
        items.append(item);
    }
    m_list->addTopLevelItems(items);
    m_list->setSortingEnabled(true);
    for (int c = 0; c < Columns; ++c)
        m_list->resizeColumnToContents(c);
    const FleetCounts counts = countStates(phones);
    // French writes "1 périmé" but "2 périmés": the text follows the count of stale telephones.
    static constexpr CountedText kCounts{"FFLEET_STATECOUNTS", "%1 current, %2 stale, %3 never",
                                         "FFLEET_STATECOUNTS1", "%1 current, %2 stale, %3 never"};
    const QString line = textOr(m_s, kCounts, counts.stale).arg(counts.current).arg(counts.stale).arg(counts.never);
    m_counts->setText(line);
    m_bar->finish(line, false);
    m_reboot->setEnabled(counts.stale > 0);
    if (m_closeWhenIdle)
        closeWindow(this);
}

void FFleet::lockForRefresh(bool locked)
{
    for (QWidget* w : {static_cast<QWidget*>(m_company), static_cast<QWidget*>(m_model),
                       static_cast<QWidget*>(m_refresh), static_cast<QWidget*>(m_reboot)})
        w->setEnabled(!locked);
}

void FFleet::recordsChanged(const QString&)
{
    if (running()) {
        m_listsStale = true;
        return;
    }
    const bool shown = !m_shownCompany.isEmpty();
    bool kept = false;
    guarded(m_s, [&] {
        kept = refillChain({m_company, m_model}, [this](int list) -> QStringList {
            if (list == 0)
                return entryTexts(companyEntries(m_s.db));
            return QStringList{textOr(m_s, QStringLiteral("FFLEET_ALLMODELS"), QStringLiteral("(all models)"))} +
                   entryTexts(modelEntries(m_s.db, entryCode(m_company->currentText())));
        });
    });
    if (m_company->currentIndex() < 0) {
        m_model->clear();
        m_model->setEnabled(false);
        m_refresh->setEnabled(false);
    }
    if (kept && shown) {
        refresh();
        return;
    }
    // What the list showed is gone: nothing to reboot until the operator chooses again.
    if (!kept) {
        m_list->clear();
        m_counts->clear();
        m_shownCompany.clear();
        m_reboot->setEnabled(false);
    }
}

QStringList FFleet::staleCodes() const
{
    QStringList codes;
    for (int i = 0; i < m_list->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = m_list->topLevelItem(i);
        if (item->data(State, Qt::UserRole).toInt() == int(FleetState::Stale))
            codes.append(item->text(Code));
    }
    return codes;
}

void FFleet::setRunning(bool on)
{
    m_company->setEnabled(!on);
    m_model->setEnabled(!on);
    m_refresh->setEnabled(!on);
    m_reboot->setEnabled(!on && !staleCodes().isEmpty());
    const QString abort = textOr(m_s, QStringLiteral("CANCEL_ABO"), QStringLiteral("Abort"));
    m_cancel->setText(on ? abort : m_cancelCaption);
    addControlMnemonics(this);
}

void FFleet::rebootStaleTelephones()
{
    const QStringList codes = staleCodes();
    if (running() || codes.isEmpty())
        return;
    // How: by HTTP reboot or SIP resync, and whether to wait for the next fetches.
    QDialog ask(this);
    ask.setObjectName(QStringLiteral("FFleetRestart"));
    auto* choice = new RestartChoice(&ask);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &ask);
    auto* layout = new QVBoxLayout(&ask);
    layout->addWidget(choice);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, &ask, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &ask, &QDialog::reject);
    guarded(m_s, [&] {
        applyCaptions(m_s, &ask, QStringLiteral("FREBOOT"));
        ask.setWindowTitle(textOr(m_s, QStringLiteral("FFLEET_RESTARTTITLE"), QStringLiteral("Restart stale telephones")));
    });
    choice->http()->setFocus();
    if (ask.exec() != QDialog::Accepted)
        return;
    const bool overSip = choice->overSip();
    const int confirmFor = choice->confirmFor();

    m_lb1->clear();
    m_bar->start(int(codes.size()));
    const RunFocus focus(this, m_reboot);
    setRunning(true);
    m_restarting = true;
    std::optional<RebootRun::Outcome> outcome;
    RebootRun::Summary summary;
    guarded(m_s, [&] {
        m_confirmation.begin();
        if (overSip) {
            bool aborted = false;
            summary = resyncStale(codes, aborted);
            outcome = aborted ? RebootRun::Outcome::Aborted : RebootRun::Outcome::Completed;
        } else {
            outcome = m_run.runTelephones(m_shownCompany, codes);
            summary = m_run.summary();
        }
    });
    guarded(m_s, [&] {
        showRebootEnd(m_s, summary, outcome.value_or(RebootRun::Outcome::Stopped), !outcome, m_lb1, m_bar);
        if (outcome == RebootRun::Outcome::Completed && confirmFor > 0 && !summary.accepted.isEmpty()) {
            const FetchConfirmation::Summary confirmed =
                m_confirmation.wait(m_shownCompany, summary.accepted, confirmFor);
            m_lb1->append(confirmed.line());
            m_lb1->showEnd();
            m_bar->finish(confirmed.line(), confirmed.unconfirmed() > 0 || confirmed.aborted);
        }
    });
    m_restarting = false;
    setRunning(false);
    if (m_closeWhenIdle)
        closeWindow(this);
    else if (std::exchange(m_listsStale, false))
        recordsChanged({});
}

RebootRun::Summary FFleet::resyncStale(const QStringList& codes, bool& aborted)
{
    // Each model has its own event and SIP settings: one run per model, in code order within it.
    QMap<QString, QStringList> byModel;
    for (int i = 0; i < m_list->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = m_list->topLevelItem(i);
        if (codes.contains(item->text(Code)))
            byModel[item->text(Model)].append(item->text(Code));
    }
    RebootRun::Summary all;
    for (auto it = byModel.cbegin(); it != byModel.cend() && !aborted; ++it) {
        all.selected += int(it->size());
        if (const QString refused = m_resync.refusal(it.key()); !refused.isEmpty()) {
            m_lb1->append(refused);
            all.done += int(it->size());
            all.failed += *it;
            continue;
        }
        aborted = m_resync.run({m_shownCompany, it.key(), {}, {}, false, false, *it}) == ResyncRun::Outcome::Aborted;
        const RebootRun::Summary& one = m_resync.summary();
        all.done += one.done;
        all.restarted += one.restarted;
        all.failed += one.failed;
        all.accepted += one.accepted;
    }
    std::sort(all.failed.begin(), all.failed.end());
    std::sort(all.accepted.begin(), all.accepted.end());
    all.outcome = aborted ? RebootRun::Outcome::Aborted : RebootRun::Outcome::Completed;
    return all;
}

void FFleet::showConfirmation(const FetchConfirmation::Result& r)
{
    if (r.outcome == FetchConfirmation::Outcome::NoFetch)
        return;
    for (int i = 0; i < m_list->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = m_list->topLevelItem(i);
        if (item->text(Code) != r.code)
            continue;
        item->setText(Fetched, r.fetchedAt);
        if (r.outcome == FetchConfirmation::Outcome::Confirmed) {
            const int current = int(FleetState::Current);
            item->setText(State, textOr(m_s, QLatin1String(kStates[current].key), QLatin1String(kStates[current].english)));
            item->setData(State, Qt::UserRole, current);
            for (int c = 0; c < Columns; ++c)
                item->setBackground(c, kStateColours[current]);
        }
        return;
    }
}

void FFleet::pressCancel()
{
    if (m_refreshing)
        m_stopRefresh = true;
    else if (!running())
        closeWindow(this);
    else if (confirmAbandon(m_s))
        abortAll();
}

void FFleet::abortAll()
{
    m_run.abort();
    m_resync.abort();
    m_confirmation.abort();
}

void FFleet::closeEvent(QCloseEvent* event)
{
    // The refresh has nothing to abandon: it stops, and the window closes after it.
    if (m_refreshing) {
        m_stopRefresh = true;
        m_closeWhenIdle = true;
        setProperty(kClosePending, true);
        event->ignore();
        return;
    }
    if (running()) {
        stopRunThenClose(m_s, this, m_closeWhenIdle, [this] { abortAll(); });
        event->ignore();
        return;
    }
    m_run.closeSocket();
    event->accept();
}

} // namespace vocaset
