#include "FReboot.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMdiSubWindow>
#include <QPushButton>

#include "DbError.h"
#include "Messages.h"
#include "ProgressStrip.h"
#include "RunLogView.h"

namespace vocaset {
namespace {

const QString kWindowKey = QStringLiteral("FREBOOT");

} // namespace

FReboot::FReboot(Session& session, int deadlineMs, QWidget* parent)
    : QWidget(parent), m_s(session), m_cLab(new QLabel(QStringLiteral("Company"), this)),
      m_eLab(new QLabel(QStringLiteral("Equipment"), this)), m_pfLab(new QLabel(QStringLiteral("Phone from"), this)),
      m_ptLab(new QLabel(QStringLiteral("Phone to"), this)), m_filter{new QComboBox(this), new QComboBox(this),
                                                                      new QComboBox(this), new QComboBox(this)},
      m_cbusy(new QCheckBox(QStringLiteral("Wait if Busy"), this)), m_lb1(new RunLogView(this)),
      m_bar(new ProgressStrip(session, this)), m_ok(new QPushButton(QStringLiteral("Reboot"), this)),
      m_cancel(new QPushButton(QStringLiteral("Cancel"), this)), m_run(session, *m_lb1, deadlineMs)
{
    setObjectName(QStringLiteral("FReboot"));
    setWindowTitle(QStringLiteral("Vocaset Reboot"));
    m_cLab->setObjectName(QStringLiteral("CLab"));
    m_eLab->setObjectName(QStringLiteral("ELab"));
    m_pfLab->setObjectName(QStringLiteral("PFLab"));
    m_ptLab->setObjectName(QStringLiteral("PTLab"));
    m_cbusy->setObjectName(QStringLiteral("Cbusy"));
    m_lb1->setObjectName(QStringLiteral("Lb1"));
    m_ok->setObjectName(QStringLiteral("Ok"));
    m_cancel->setObjectName(QStringLiteral("Cancel"));

    auto* grid = new QGridLayout(this);
    const std::array<QLabel*, 4> labels{m_cLab, m_eLab, m_pfLab, m_ptLab};
    for (int i = 0; i < 4; ++i) {
        m_filter[i]->setObjectName(QStringLiteral("Filter") + QString::number(i + 1));
        m_filter[i]->setEditable(false);
        m_filter[i]->setMinimumContentsLength(24);
        grid->addWidget(labels[i], i, 0);
        grid->addWidget(m_filter[i], i, 1);
        connect(m_filter[i], &QComboBox::activated, this, [this, i] { choose(i + 1); });
    }
    grid->addWidget(m_cbusy, 4, 1);
    grid->addWidget(m_lb1, 5, 0, 1, 2);
    grid->addWidget(m_bar, 6, 0, 1, 2);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_ok);
    buttons->addWidget(m_cancel);
    grid->addLayout(buttons, 7, 0, 1, 2);
    resize(520, 480);

    m_cbusy->setChecked(true);
    m_lb1->setProgressStrip(m_bar);
    for (int i = 1; i < 4; ++i)
        m_filter[i]->setEnabled(false);
    m_ok->setEnabled(false);

    connect(m_ok, &QPushButton::clicked, this, &FReboot::startRun);
    connect(m_cancel, &QPushButton::clicked, this, &FReboot::pressCancel);
    // Read at every busy telephone, so unticking it during a run stops the waiting.
    connect(m_cbusy, &QCheckBox::toggled, this, [this](bool on) { m_run.setWaitIfBusy(on); });

    try {
        fill(m_filter[0], m_run.companies());
        loadCaptions();
    } catch (const DbError& e) {
        m_s.op.showMessage(e.text());
    }
    m_cancelCaption = m_cancel->text();
}

void FReboot::loadCaptions()
{
    if (const auto caption = findDescription(m_s.db, kWindowKey, m_s.language))
        setWindowTitle(*caption);
    const std::pair<QWidget*, QString> controls[] = {
        {m_cLab, QStringLiteral("CLAB")},    {m_eLab, QStringLiteral("ELAB")},   {m_pfLab, QStringLiteral("PFLAB")},
        {m_ptLab, QStringLiteral("PTLAB")},  {m_cbusy, QStringLiteral("CBUSY")}, {m_ok, QStringLiteral("OK")},
        {m_cancel, QStringLiteral("CANCEL")}};
    for (const auto& [control, name] : controls) {
        const auto caption = findDescription(m_s.db, kWindowKey + u'_' + name, m_s.language);
        if (!caption)
            continue;
        if (auto* label = qobject_cast<QLabel*>(control))
            label->setText(*caption);
        else if (auto* button = qobject_cast<QAbstractButton*>(control))
            button->setText(*caption);
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
    try {
        switch (i) {
        case 1:
            m_filter[1]->setEnabled(true);
            fill(m_filter[1], m_run.equipments(chosenCode(1)));
            break;
        case 2:
            m_filter[2]->setEnabled(true);
            fill(m_filter[2], m_run.phonesFrom(chosenCode(2)));
            break;
        case 3:
            m_filter[3]->setEnabled(true);
            fill(m_filter[3], m_run.phonesTo(chosenCode(2), chosenCode(3)));
            break;
        default:
            m_ok->setEnabled(!m_run.running());
            break;
        }
    } catch (const DbError& e) {
        m_s.op.showMessage(e.text());
    }
}

void FReboot::setCancel(const QString& tag, const QString& captionKey)
{
    m_cancelTag = tag;
    const auto caption = findDescription(m_s.db, captionKey, m_s.language);
    if (caption && !caption->isEmpty())
        m_cancel->setText(*caption);
    else
        m_cancel->setText(tag == u"Abort" ? QStringLiteral("Abort") : m_cancelCaption);
}

void FReboot::startRun()
{
    if (m_run.running() || !allChosen())
        return;
    m_lb1->clear();
    m_bar->start();
    m_ok->setEnabled(false);
    try {
        setCancel(QStringLiteral("Abort"), QStringLiteral("CANCEL_ABO"));
        m_run.setWaitIfBusy(m_cbusy->isChecked());
        m_run.run(chosenCode(1), chosenCode(2), chosenCode(3), chosenCode(4));
    } catch (const DbError& e) {
        m_s.op.showMessage(e.text());
    }
    try {
        setCancel(QStringLiteral("End"), QStringLiteral("CANCEL_END"));
    } catch (const DbError& e) {
        m_s.op.showMessage(e.text());
    }
    m_ok->setEnabled(allChosen());
    // The window was closed during the run; it goes now that the run is over.
    if (m_closeWhenIdle)
        closeWindow();
}

void FReboot::closeWindow()
{
    // Inside the main window the frame closes, and the frame asks this window first.
    if (auto* frame = qobject_cast<QMdiSubWindow*>(parentWidget()))
        frame->close();
    else
        close();
}

void FReboot::pressCancel()
{
    m_run.abort();
    if (m_cancelTag == u"End")
        closeWindow();
}

void FReboot::closeEvent(QCloseEvent* event)
{
    m_run.abort();
    if (m_run.running()) {
        // The run's waits are on this window's stack: it ends first, then the window closes.
        m_closeWhenIdle = true;
        event->ignore();
        return;
    }
    m_run.closeSocket();
    event->accept();
}

} // namespace vocaset
