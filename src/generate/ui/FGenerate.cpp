#include "FGenerate.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QSignalBlocker>

#include "BrowseForFolder.h"
#include "DbError.h"
#include "GenerationRun.h"
#include "ProgressStrip.h"
#include "RunLogView.h"

namespace vocaset {
namespace {

QString indexed(const char* name, int i)
{
    return QLatin1String(name) + QString::number(i);
}

} // namespace

FGenerate::FGenerate(Session& session, QWidget* parent)
    : QWidget(parent), m_s(session), m_plab(new QLabel(QStringLiteral("Path"), this)), m_lpath(new QLabel(this)),
      m_btPath(new QPushButton(QStringLiteral("..."), this)),
      m_genSrc(new QCheckBox(QStringLiteral("Generate Source"), this)), m_list1(new RunLogView(this)),
      m_progress(new ProgressStrip(session, this)), m_ok(new QPushButton(QStringLiteral("Generate"), this)),
      m_cancel(new QPushButton(QStringLiteral("Cancel"), this))
{
    setObjectName(QStringLiteral("FGenerate"));
    setWindowTitle(QStringLiteral("Vocaset Generation"));
    resize(560, 480);

    auto* grid = new QGridLayout(this);
    auto* levels = new QHBoxLayout;
    levels->addWidget(new QLabel(QStringLiteral("Level"), this));
    const QString captions[3] = {QStringLiteral("Phone"), QStringLiteral("Company"), QStringLiteral("Equipment")};
    for (int k = 0; k < 3; ++k) {
        m_clev[k] = new QCheckBox(captions[k], this);
        m_clev[k]->setObjectName(indexed("CLev", k));
        m_clev[k]->setChecked(true);
        levels->addWidget(m_clev[k]);
        connect(m_clev[k], &QCheckBox::clicked, this, [this, k](bool ticked) { levelClicked(k, ticked); });
    }
    grid->addLayout(levels, 0, 0, 1, 3);

    const QString labels[5] = {{},
                               QStringLiteral("Company"),
                               QStringLiteral("Equipment"),
                               QStringLiteral("Phone from"),
                               QStringLiteral("Phone to")};
    const int rows[5] = {0, 1, 2, 4, 5};
    for (int i = 1; i <= 4; ++i) {
        m_flab[i] = new QLabel(labels[i], this);
        m_flab[i]->setObjectName(indexed("FLab", i));
        m_filter[i] = new QComboBox(this);
        m_filter[i]->setObjectName(indexed("Filter", i));
        m_filter[i]->setEnabled(i == 1);
        grid->addWidget(m_flab[i], rows[i], 0);
        grid->addWidget(m_filter[i], rows[i], 1, 1, 2);
        connect(m_filter[i], &QComboBox::activated, this, [this, i] { chooseFilter(i); });
    }
    m_plab->setObjectName(QStringLiteral("PLab"));
    m_lpath->setObjectName(QStringLiteral("LPath"));
    m_lpath->setFrameShape(QFrame::Panel);
    m_lpath->setFrameShadow(QFrame::Sunken);
    m_btPath->setObjectName(QStringLiteral("BtPath"));
    m_btPath->setEnabled(false);
    grid->addWidget(m_plab, 3, 0);
    grid->addWidget(m_lpath, 3, 1);
    grid->addWidget(m_btPath, 3, 2);

    m_genSrc->setObjectName(QStringLiteral("GenSrc"));
    grid->addWidget(m_genSrc, 6, 0, 1, 3);
    m_list1->setObjectName(QStringLiteral("List1"));
    m_list1->setProgressStrip(m_progress);
    grid->addWidget(m_list1, 7, 0, 1, 3);
    grid->addWidget(m_progress, 8, 0, 1, 3);
    auto* buttons = new QHBoxLayout;
    m_ok->setObjectName(QStringLiteral("Ok"));
    m_ok->setEnabled(false);
    m_cancel->setObjectName(QStringLiteral("Cancel"));
    buttons->addStretch();
    buttons->addWidget(m_ok);
    buttons->addWidget(m_cancel);
    grid->addLayout(buttons, 9, 0, 1, 3);
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(7, 1);

    connect(m_btPath, &QPushButton::clicked, this, &FGenerate::browse);
    connect(m_ok, &QPushButton::clicked, this, &FGenerate::generate);
    connect(m_cancel, &QPushButton::clicked, this, &FGenerate::cancel);

    guarded([this] { fill(m_filter[1], companyEntries(m_s.db)); });
}

FGenerate::~FGenerate() = default;

template <typename F> void FGenerate::guarded(F action)
{
    try {
        action();
    } catch (const DbError& e) {
        m_s.op.showMessage(e.text());
    }
}

void FGenerate::fill(QComboBox* list, const QList<ListEntry>& entries)
{
    list->clear();
    for (const ListEntry& e : entries)
        list->addItem(e.text());
    list->setCurrentIndex(-1);
}

QString FGenerate::chosenCode(int i) const
{
    return entryCode(m_filter[i]->currentText());
}

void FGenerate::syncLevelBoxes()
{
    for (int k = 0; k < 3; ++k) {
        const QSignalBlocker block(m_clev[k]);
        m_clev[k]->setChecked(m_levels.ticked(k));
    }
}

void FGenerate::chooseFilter(int i)
{
    m_ok->setEnabled(false);
    m_btPath->setEnabled(false);
    for (int j = i + 1; j <= 4; ++j) {
        m_filter[j]->clear();
        m_filter[j]->setEnabled(false);
    }
    guarded([&] {
        switch (i) {
        case 1:
            setPath({});
            fill(m_filter[2], modelEntries(m_s.db, chosenCode(1)));
            m_filter[2]->setEnabled(true);
            break;
        case 2:
            if (const auto flags =
                    generationSetting(m_s.db, chosenCode(1), chosenCode(2), QStringLiteral("$$DEFGEN"))) {
                m_levels.applyDefault(*flags);
                syncLevelBoxes();
            }
            m_btPath->setEnabled(true);
            setPath(defaultFolder(m_s.db, chosenCode(1), chosenCode(2)));
            break;
        case 3:
            fill(m_filter[4], phoneEntries(m_s.db, chosenCode(1), chosenCode(2), chosenCode(3)));
            m_filter[4]->setEnabled(true);
            m_btPath->setEnabled(true);
            break;
        case 4:
            m_btPath->setEnabled(true);
            m_ok->setEnabled(m_folderConfirmed);
            break;
        }
    });
}

void FGenerate::levelClicked(int box, bool ticked)
{
    m_levels.set(box, ticked);
    syncLevelBoxes();
    // The telephone range lists come and go with the telephone level.
    if (box == 0 && m_levels.ticked(0) == ticked && m_folderConfirmed)
        guarded([this] { folderCheck(); });
}

void FGenerate::setPath(const QString& text)
{
    m_lpath->setText(text);
    folderCheck();
}

void FGenerate::folderCheck()
{
    m_ok->setEnabled(false);
    for (int j = 3; j <= 4; ++j) {
        m_filter[j]->clear();
        m_filter[j]->setEnabled(false);
    }
    const QString co = chosenCode(1);
    const QString eq = chosenCode(2);
    if (!QFileInfo(folderForFirstPhone(m_s, co, eq, m_lpath->text())).isDir())
        return;
    m_folderConfirmed = true;
    if (m_levels.ticked(0)) {
        fill(m_filter[3], phoneEntries(m_s.db, co, eq));
        m_filter[3]->setEnabled(true);
    } else {
        m_ok->setEnabled(true);
    }
}

void FGenerate::browse()
{
    const QString chosen = BrowseForFolder(m_lpath->text(), this);
    guarded([&] { setPath(chosen); });
}

void FGenerate::generate()
{
    m_list1->clear();
    m_ok->setEnabled(false);
    m_progress->start();

    GenerationRequest request;
    request.company = chosenCode(1);
    request.model = chosenCode(2);
    request.levels = m_levels.choice();
    request.firstPhone = chosenCode(3);
    request.lastPhone = chosenCode(4);
    request.folder = m_lpath->text();
    request.source = m_genSrc->isChecked();

    // The selection stays as it is while the run gives the user interface its turns.
    QList<QWidget*> locked{m_btPath, m_genSrc};
    for (int i = 1; i <= 4; ++i)
        locked.append(m_filter[i]);
    for (QCheckBox* box : m_clev)
        locked.append(box);
    QList<bool> wasEnabled;
    for (QWidget* w : locked) {
        wasEnabled.append(w->isEnabled());
        w->setEnabled(false);
    }

    GenerationRun run(m_s, *m_list1);
    m_run = &run;
    bool enableOk = false;
    try {
        enableOk = run.run(request).cleanedUp;
    } catch (const DbError& e) {
        m_s.op.showMessage(e.text());
        enableOk = true;
    }
    m_run = nullptr;
    for (int i = 0; i < locked.size(); ++i)
        locked[i]->setEnabled(wasEnabled[i]);
    m_ok->setEnabled(enableOk && m_folderConfirmed);
    if (m_closeAfterRun)
        cancel();
}

void FGenerate::cancel()
{
    if (m_run) {
        m_run->requestStop();
        m_closeAfterRun = true;
        return;
    }
    if (auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget()))
        sub->close();
    else
        close();
}

void FGenerate::closeEvent(QCloseEvent* event)
{
    // The run lives on this window's stack: the window closes once it has stopped.
    if (m_run) {
        m_run->requestStop();
        m_closeAfterRun = true;
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

} // namespace vocaset
