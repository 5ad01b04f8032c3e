#include "FRgen.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>

#include "Messages.h"
#include "PhoneBookWindow.h"
#include "ProgressStrip.h"
#include "RangeGeneration.h"
#include "RunLogView.h"
#include "SelectionList.h"
#include "WindowConventions.h"

namespace vocaset {

FRgen::FRgen(Session& session, QWidget* parent)
    : QWidget(parent), m_s(session), m_cLab(new QLabel(QStringLiteral("Company"), this)), m_filter(new QComboBox(this)),
      m_pfLab(new QLabel(QStringLiteral("Phone from"), this)), m_pFrom(new QLineEdit(this)),
      m_ptLab(new QLabel(QStringLiteral("Phone to"), this)), m_pTo(new QLineEdit(this)),
      m_delAll(new QCheckBox(QStringLiteral("Delete"), this)), m_list1(new RunLogView(this)),
      m_bar(new ProgressStrip(session, this)), m_ok(new QPushButton(QStringLiteral("Generate"), this)),
      m_cancel(new QPushButton(QStringLiteral("Cancel"), this))
{
    setObjectName(QStringLiteral("FRgen"));
    setWindowTitle(QStringLiteral("Ranges Generation"));
    m_cLab->setObjectName(QStringLiteral("CLab"));
    m_filter->setObjectName(QStringLiteral("Filter1"));
    m_filter->setMinimumContentsLength(32);
    m_filter->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_pfLab->setObjectName(QStringLiteral("PFLab"));
    m_pFrom->setObjectName(QStringLiteral("PFrom"));
    m_ptLab->setObjectName(QStringLiteral("PTLab"));
    m_pTo->setObjectName(QStringLiteral("PTo"));
    m_delAll->setObjectName(QStringLiteral("DelAll"));
    m_list1->setObjectName(QStringLiteral("List1"));
    m_bar->setObjectName(QStringLiteral("Progress"));
    m_ok->setObjectName(QStringLiteral("Ok"));
    m_cancel->setObjectName(QStringLiteral("Cancel"));
    m_cLab->setBuddy(m_filter);
    m_pfLab->setBuddy(m_pFrom);
    m_ptLab->setBuddy(m_pTo);

    // Digits only, typed or pasted; the run checks the numbers themselves.
    const QRegularExpression digits(QStringLiteral("[0-9]{0,9}"));
    for (QLineEdit* edit : {m_pFrom, m_pTo}) {
        edit->setValidator(new QRegularExpressionValidator(digits, edit));
        connect(edit, &QLineEdit::textChanged, this, &FRgen::updateOk);
    }

    auto* grid = new QGridLayout(this);
    grid->addWidget(m_cLab, 0, 0);
    grid->addWidget(m_filter, 0, 1, 1, 3);
    grid->addWidget(m_pfLab, 1, 0);
    grid->addWidget(m_pFrom, 1, 1);
    grid->addWidget(m_ptLab, 1, 2);
    grid->addWidget(m_pTo, 1, 3);
    grid->addWidget(m_delAll, 2, 1, 1, 3);
    grid->addWidget(m_list1, 3, 0, 1, 4);
    grid->addWidget(m_bar, 4, 0, 1, 4);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_ok);
    buttons->addWidget(m_cancel);
    grid->addLayout(buttons, 5, 0, 1, 4);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
    grid->setRowStretch(3, 1);
    m_list1->setProgressStrip(m_bar);
    resize(520, 460);

    m_ok->setEnabled(false);
    connect(m_filter, &QComboBox::activated, this, &FRgen::updateOk);
    connect(m_ok, &QPushButton::clicked, this, &FRgen::generate);
    connect(m_cancel, &QPushButton::clicked, this, &FRgen::pressCancel);
    setReadingOrder({m_filter, m_pFrom, m_pTo, m_delAll, m_list1, m_ok, m_cancel});
    new WindowKeys(this, m_ok, [this] { return running(); });
    guarded(m_s, [this] {
        m_filter->addItems(entryTexts(companyEntries(m_s.db)));
        m_filter->setCurrentIndex(-1);
        applyCaptions(m_s, this);
    });
}

void FRgen::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!m_focused) {
        m_focused = true;
        m_filter->setFocus();
    }
}

// Generate needs a company and both codes; emptying a field disables it again.
void FRgen::updateOk()
{
    m_ok->setEnabled(!running() && m_filter->currentIndex() >= 0 && !m_pFrom->text().isEmpty() &&
                     !m_pTo->text().isEmpty());
}

void FRgen::recordsChanged(const QString&)
{
    if (running()) {
        m_listsStale = true;
        return;
    }
    guarded(m_s, [this] { refillChain({m_filter}, [this](int) { return entryTexts(companyEntries(m_s.db)); }); });
    updateOk();
}

void FRgen::generate()
{
    if (running() || !m_ok->isEnabled())
        return;
    const RunFocus focus(this, m_ok);
    m_list1->clear();
    m_bar->start();
    const QList<QWidget*> locked{m_filter, m_pFrom, m_pTo, m_delAll, m_ok};
    for (QWidget* w : locked)
        w->setEnabled(false);
    RangeGeneration run(m_s, *m_list1);
    m_run = &run;
    PhoneBookSummary summary;
    const bool completed = guarded(m_s, [&] {
        summary = run.run({entryCode(m_filter->currentText()), m_pFrom->text(), m_pTo->text(), m_delAll->isChecked()});
    });
    m_run = nullptr;
    for (QWidget* w : locked)
        w->setEnabled(true);
    updateOk();

    m_list1->showEnd();
    showRunEnd(m_s, m_bar, summary, completed,
               m_delAll->isChecked() ? textOr(m_s, QStringLiteral("FRGEN_DELETED"), QStringLiteral("%1 deleted"))
                                     : textOr(m_s, QStringLiteral("FRGEN_CREATED"), QStringLiteral("%1 created")));
    if (std::exchange(m_listsStale, false))
        recordsChanged({});
    if (m_closeWhenIdle)
        closeWindow(this);
}

void FRgen::pressCancel()
{
    if (!running())
        closeWindow(this);
    else if (confirmAbandon(m_s))
        m_run->requestStop();
}

void FRgen::closeEvent(QCloseEvent* event)
{
    if (running()) {
        stopRunThenClose(m_s, this, m_closeWhenIdle, [this] { m_run->requestStop(); });
        event->ignore();
        return;
    }
    event->accept();
}

} // namespace vocaset
