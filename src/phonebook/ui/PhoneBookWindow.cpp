#include "PhoneBookWindow.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "BrowseForFolder.h"
#include "FolderSetting.h"
#include "Messages.h"
#include "ProgressStrip.h"
#include "RunLogView.h"
#include "SelectionList.h"
#include "WindowConventions.h"

namespace vocaset {
namespace {

void fill(QComboBox* box, const QList<ListEntry>& entries)
{
    box->clear();
    box->addItems(entryTexts(entries));
    box->setCurrentIndex(-1);
}

QComboBox* selectionList(QWidget* parent, const char* name)
{
    auto* box = new QComboBox(parent);
    box->setObjectName(QLatin1String(name));
    box->setMinimumContentsLength(32);
    box->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    return box;
}

} // namespace

void showRunEnd(Session& s, ProgressStrip* strip, const PhoneBookSummary& summary, bool completed,
                const QString& doneText)
{
    RunTally tally;
    tally.selected = summary.selected;
    tally.done = summary.done;
    tally.succeeded = summary.succeeded;
    tally.failed = summary.failed;
    tally.aborted = summary.outcome == PhoneBookOutcome::Aborted;
    strip->finish(completed ? strip->summaryText(tally, doneText)
                            : textOr(s, QStringLiteral("M234"), QStringLiteral("The run failed.")),
                  !completed || summary.outcome != PhoneBookOutcome::Completed || summary.failed > 0);
}

PhoneBookWindow::PhoneBookWindow(Session& session, const Kind& kind, QWidget* parent)
    : QWidget(parent), m_s(session), m_kind(kind), m_cLab(new QLabel(QStringLiteral("Company"), this)),
      m_pLab(new QLabel(QStringLiteral("Path"), this)), m_filter1(selectionList(this, "Filter1")),
      m_lPath(new QLabel(this)), m_btPath(new QPushButton(QStringLiteral("..."), this)), m_extras(new QVBoxLayout),
      m_list1(new RunLogView(this)), m_bar(new ProgressStrip(session, this)),
      m_ok(new QPushButton(QStringLiteral("Generate"), this)), m_cancel(new QPushButton(QStringLiteral("Cancel"), this))
{
    setObjectName(QLatin1String(kind.name));
    setWindowTitle(QLatin1String(kind.title));
    m_cLab->setObjectName(QStringLiteral("CLab"));
    m_pLab->setObjectName(QStringLiteral("PLab"));
    m_lPath->setObjectName(QStringLiteral("LPath"));
    m_lPath->setFrameShape(QFrame::Panel);
    m_lPath->setFrameShadow(QFrame::Sunken);
    m_lPath->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_btPath->setObjectName(QStringLiteral("BtPath"));
    m_list1->setObjectName(QStringLiteral("List1"));
    m_bar->setObjectName(QStringLiteral("Progress"));
    m_ok->setObjectName(QStringLiteral("Ok"));
    m_cancel->setObjectName(QStringLiteral("Cancel"));
    m_cLab->setBuddy(m_filter1);

    auto* grid = new QGridLayout(this);
    int row = 0;
    grid->addWidget(m_cLab, row, 0);
    grid->addWidget(m_filter1, row++, 1, 1, 2);
    if (kind.perModel) {
        m_eLab = new QLabel(QStringLiteral("Equipment"), this);
        m_eLab->setObjectName(QStringLiteral("ELab"));
        m_filter2 = selectionList(this, "Filter2");
        m_eLab->setBuddy(m_filter2);
        grid->addWidget(m_eLab, row, 0);
        grid->addWidget(m_filter2, row++, 1, 1, 2);
        m_filter2->setEnabled(false);
        connect(m_filter2, &QComboBox::activated, this, [this] { choose(2); });
    }
    grid->addWidget(m_pLab, row, 0);
    grid->addWidget(m_lPath, row, 1);
    grid->addWidget(m_btPath, row++, 2);
    grid->addLayout(m_extras, row++, 0, 1, 3);
    grid->addWidget(m_list1, row, 0, 1, 3);
    grid->setRowStretch(row++, 1);
    grid->addWidget(m_bar, row++, 0, 1, 3);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_ok);
    buttons->addWidget(m_cancel);
    grid->addLayout(buttons, row, 0, 1, 3);
    grid->setColumnStretch(1, 1);
    m_list1->setProgressStrip(m_bar);
    resize(560, 480);

    m_btPath->setEnabled(false);
    m_ok->setEnabled(false);
    connect(m_filter1, &QComboBox::activated, this, [this] { choose(1); });
    connect(m_btPath, &QPushButton::clicked, this, &PhoneBookWindow::browse);
    connect(m_ok, &QPushButton::clicked, this, &PhoneBookWindow::generate);
    connect(m_cancel, &QPushButton::clicked, this, &PhoneBookWindow::pressCancel);
    new WindowKeys(this, m_ok, [this] { return running(); });
    guarded(m_s, [this] { fill(m_filter1, companyEntries(m_s.db)); });
}

void PhoneBookWindow::finishLayout(const QList<QWidget*>& extraControls)
{
    QList<QWidget*> order{m_filter1};
    if (m_filter2)
        order.append(m_filter2);
    order << m_btPath << extraControls << m_list1 << m_ok << m_cancel;
    setReadingOrder(order);
    guarded(m_s, [this] { applyCaptions(m_s, this); });
}

void PhoneBookWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!m_focused) {
        m_focused = true;
        m_filter1->setFocus();
    }
}

RunLog& PhoneBookWindow::runLog() const
{
    return *m_list1;
}

QString PhoneBookWindow::folder() const
{
    return m_lPath->text();
}

QString PhoneBookWindow::chosenCode(int i) const
{
    const QComboBox* box = i == 1 ? m_filter1 : m_filter2;
    return box && box->currentIndex() >= 0 ? entryCode(box->currentText()) : QString();
}

QList<ListEntry> PhoneBookWindow::models() const
{
    // Only the model whose address book these windows write is offered.
    QList<ListEntry> models = modelEntries(m_s.db, chosenCode(1));
    models.removeIf([](const ListEntry& e) { return e.code != QLatin1String(kAddressBookModel); });
    return models;
}

void PhoneBookWindow::recordsChanged(const QString&)
{
    if (m_running) {
        m_listsStale = true;
        return;
    }
    QList<QComboBox*> lists{m_filter1};
    if (m_filter2)
        lists.append(m_filter2);
    guarded(m_s, [&] {
        if (!refillChain(lists,
                         [this](int list) { return entryTexts(list == 0 ? companyEntries(m_s.db) : models()); })) {
            m_ok->setEnabled(false);
            m_btPath->setEnabled(false);
            m_lPath->clear();
        }
    });
}

void PhoneBookWindow::choose(int i)
{
    m_ok->setEnabled(false);
    m_btPath->setEnabled(false);
    m_lPath->clear();
    guarded(m_s, [&] {
        if (i == 1 && m_filter2) {
            fill(m_filter2, models());
            m_filter2->setEnabled(true);
            return;
        }
        // The company's telephones (of the model) become the current set; without one, nothing to do.
        if (selectTelephones(m_s, chosenCode(1), chosenCode(2)) == 0) {
            ShowMessage(m_s, QStringLiteral("M8"));
            return;
        }
        const QString key = m_filter2 ? chosenCode(1) + chosenCode(2) : chosenCode(1);
        // The folder as the run will use it: resolved against the program's folder.
        m_lPath->setText(resolveFolderSetting(phoneBookFolder(m_s, key, QLatin1String(m_kind.folderKey)), m_s.appDir));
        m_btPath->setEnabled(true);
        m_ok->setEnabled(true);
    });
}

void PhoneBookWindow::browse()
{
    m_lPath->setText(BrowseForFolder(m_lPath->text(), this));
}

void PhoneBookWindow::generate()
{
    if (m_running || !m_ok->isEnabled())
        return;
    const RunFocus focus(this, m_ok);
    m_ok->setEnabled(false);
    m_list1->clear();
    m_bar->start();
    // The choices stay as they are while the run gives the user interface its turns.
    QList<QWidget*> locked{m_filter1, m_btPath};
    if (m_filter2)
        locked.append(m_filter2);
    for (QWidget* w : locked)
        w->setEnabled(false);
    m_running = true;
    PhoneBookSummary summary;
    const bool completed = guarded(m_s, [&] {
        summary = runEngine(*m_list1, {chosenCode(1), chosenCode(2), m_lPath->text()});
    });
    m_running = false;
    for (QWidget* w : locked)
        w->setEnabled(true);
    m_ok->setEnabled(true);

    if (completed)
        afterRun(summary);
    m_list1->showEnd();
    showRunEnd(m_s, m_bar, summary, completed,
               textOr(m_s, QLatin1String(m_kind.doneKey), QLatin1String(m_kind.doneEnglish)));
    if (std::exchange(m_listsStale, false))
        recordsChanged({});
    if (m_closeWhenIdle)
        closeWindow(this);
}

void PhoneBookWindow::pressCancel()
{
    if (!m_running)
        closeWindow(this);
    else if (confirmAbandon(m_s))
        stop();
}

void PhoneBookWindow::closeEvent(QCloseEvent* event)
{
    if (m_running) {
        stopRunThenClose(m_s, this, m_closeWhenIdle, [this] { stop(); });
        event->ignore();
        return;
    }
    event->accept();
}

} // namespace vocaset
