#include "FGenerate.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>

#include "BrowseForFolder.h"
#include "DryRun.h"
#include "FExplain.h"
#include "FolderSetting.h"
#include "GenerationRun.h"
#include "Messages.h"
#include "ParamResolution.h"
#include "ProgressStrip.h"
#include "RunLogView.h"
#include "SelectionList.h"
#include "WindowConventions.h"

namespace vocaset {
namespace {

QString indexed(const char* name, int i)
{
    return QLatin1String(name) + QString::number(i);
}

template <typename W> W* named(W* widget, const QString& name)
{
    widget->setObjectName(name);
    return widget;
}

// The log of a run: each line also remembers the telephone whose turn the run was on when it came,
// so a double click can show that telephone's values.
class PhoneLines final : public RunLog
{
public:
    PhoneLines(Session& s, RunLogView& view, QHash<int, QString>& phones) : m_s(s), m_view(view), m_phones(phones) {}
    void append(const QString& line) override
    {
        if (!m_s.currentPhone.eof())
            m_phones.insert(m_view.lineCount(), m_s.currentPhone.text(QStringLiteral("PH_CODE")));
        m_view.append(line);
    }
    void progress(int done, int total) override { m_view.progress(done, total); }

private:
    Session& m_s;
    RunLogView& m_view;
    QHash<int, QString>& m_phones;
};

} // namespace

FGenerate::FGenerate(Session& session, QWidget* parent)
    : QWidget(parent), m_s(session), m_levLab(new QLabel(QStringLiteral("Level"), this)),
      m_plab(new QLabel(QStringLiteral("Path"), this)), m_lpath(new QLabel(this)),
      m_btPath(new QPushButton(QStringLiteral("..."), this)),
      m_genSrc(new QCheckBox(QStringLiteral("Generate Source"), this)), m_list1(new RunLogView(this)),
      m_progress(new ProgressStrip(session, this)), m_previewButton(new QPushButton(QStringLiteral("Preview"), this)),
      m_ok(new QPushButton(QStringLiteral("Generate"), this)), m_cancel(new QPushButton(QStringLiteral("Cancel"), this))
{
    setObjectName(QStringLiteral("FGenerate"));
    setWindowTitle(QStringLiteral("Vocaset Generation"));

    auto* grid = new QGridLayout(this);
    auto* levels = new QHBoxLayout;
    m_levLab->setObjectName(QStringLiteral("LevLab"));
    m_levLab->setToolTip(QStringLiteral("The parameter levels merged into each file: the telephone's own values, "
                                        "the company's values and the model's defaults."));
    grid->addWidget(m_levLab, 0, 0);
    const QString captions[3] = {QStringLiteral("Phone"), QStringLiteral("Company"), QStringLiteral("Equipment")};
    const QString tips[3] = {QStringLiteral("Values set for each telephone; asks for a range of telephones."),
                             QStringLiteral("Values set for the company and model."),
                             QStringLiteral("Defaults of the model's parameter catalogue.")};
    for (int k = 0; k < 3; ++k) {
        m_clev[k] = named(new QCheckBox(captions[k], this), indexed("CLev", k));
        m_clev[k]->setChecked(true);
        m_clev[k]->setToolTip(tips[k]);
        levels->addWidget(m_clev[k]);
        connect(m_clev[k], &QCheckBox::clicked, this, [this, k](bool ticked) { levelClicked(k, ticked); });
    }
    levels->addStretch();
    grid->addLayout(levels, 0, 1, 1, 2);

    const QString labels[5] = {{},
                               QStringLiteral("Company"),
                               QStringLiteral("Equipment"),
                               QStringLiteral("Phone from"),
                               QStringLiteral("Phone to")};
    const int rows[5] = {0, 1, 2, 4, 5};
    for (int i = 1; i <= 4; ++i) {
        m_flab[i] = named(new QLabel(labels[i], this), indexed("FLab", i));
        m_filter[i] = named(new QComboBox(this), indexed("Filter", i));
        m_filter[i]->setEnabled(i == 1);
        // Long enough for a model's name; the open list is as wide as its longest entry.
        m_filter[i]->setMinimumContentsLength(32);
        m_filter[i]->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        m_flab[i]->setBuddy(m_filter[i]);
        grid->addWidget(m_flab[i], rows[i], 0);
        grid->addWidget(m_filter[i], rows[i], 1, 1, 2);
        connect(m_filter[i], &QComboBox::activated, this, [this, i] { chooseFilter(i); });
    }
    m_plab->setObjectName(QStringLiteral("PLab"));
    m_lpath->setObjectName(QStringLiteral("LPath"));
    m_lpath->setFrameShape(QFrame::Panel);
    m_lpath->setFrameShadow(QFrame::Sunken);
    m_lpath->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_btPath->setObjectName(QStringLiteral("BtPath"));
    m_btPath->setToolTip(QStringLiteral("Choose the folder the configuration files are written to."));
    m_btPath->setEnabled(false);
    grid->addWidget(m_plab, 3, 0);
    grid->addWidget(m_lpath, 3, 1);
    grid->addWidget(m_btPath, 3, 2);

    m_genSrc->setObjectName(QStringLiteral("GenSrc"));
    m_genSrc->setToolTip(QStringLiteral("Also write a readable source file beside each configuration file."));
    grid->addWidget(m_genSrc, 6, 1, 1, 2);
    m_list1->setObjectName(QStringLiteral("List1"));
    m_list1->setToolTip(QStringLiteral("Double-click a telephone's line to see where each of its values comes from."));
    m_list1->setProgressStrip(m_progress);
    grid->addWidget(m_list1, 7, 0, 1, 3);
    grid->addWidget(m_progress, 8, 0, 1, 3);
    auto* buttons = new QHBoxLayout;
    m_previewButton->setObjectName(QStringLiteral("Preview"));
    m_previewButton->setToolTip(QStringLiteral("Run the same selection without writing: each file compared with the "
                                               "one in the folder."));
    m_ok->setObjectName(QStringLiteral("Ok"));
    setRunnable(false);
    m_cancel->setObjectName(QStringLiteral("Cancel"));
    buttons->addStretch();
    buttons->addWidget(m_previewButton);
    buttons->addWidget(m_ok);
    buttons->addWidget(m_cancel);
    grid->addLayout(buttons, 9, 0, 1, 3);
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(7, 1);
    resize(640, 560);

    setReadingOrder({m_clev[0], m_clev[1], m_clev[2], m_filter[1], m_filter[2], m_btPath, m_filter[3], m_filter[4],
                     m_genSrc, m_list1, m_previewButton, m_ok, m_cancel});
    new WindowKeys(this, m_ok, [this] { return running(); });

    connect(m_btPath, &QPushButton::clicked, this, &FGenerate::browse);
    connect(m_ok, &QPushButton::clicked, this, &FGenerate::generate);
    connect(m_previewButton, &QPushButton::clicked, this, &FGenerate::previewRun);
    connect(m_list1, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& at) { showValues(at.row()); });
    connect(m_cancel, &QPushButton::clicked, this, &FGenerate::cancel);

    guarded(m_s, [this] {
        applyCaptions(m_s, this);
        fill(m_filter[1], companyEntries(m_s.db));
    });
    m_cancelCaption = m_cancel->text();
}

FGenerate::~FGenerate() = default;

void FGenerate::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!m_focused) {
        m_focused = true;
        m_filter[1]->setFocus();
    }
}

void FGenerate::fill(QComboBox* list, const QList<ListEntry>& entries)
{
    list->clear();
    for (const ListEntry& e : entries)
        list->addItem(e.text());
    list->setCurrentIndex(-1);
    list->view()->setMinimumWidth(list->view()->sizeHintForColumn(0) + 24);
}

QString FGenerate::chosenCode(int i) const
{
    return entryCode(m_filter[i]->currentText());
}

bool FGenerate::choose(int i, const QString& code)
{
    for (int k = 0; k < m_filter[i]->count(); ++k) {
        if (entryCode(m_filter[i]->itemText(k)) == code) {
            m_filter[i]->setCurrentIndex(k);
            chooseFilter(i);
            return true;
        }
    }
    return false;
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
    setRunnable(false);
    m_btPath->setEnabled(false);
    for (int j = i + 1; j <= 4; ++j) {
        m_filter[j]->clear();
        m_filter[j]->setEnabled(false);
    }
    guarded(m_s, [&] {
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
            setPath(defaultFolder(m_s.db, chosenCode(1), chosenCode(2), m_s.appDir));
            break;
        case 3:
            fill(m_filter[4], phoneEntries(m_s.db, chosenCode(1), chosenCode(2), chosenCode(3)));
            m_filter[4]->setEnabled(true);
            m_btPath->setEnabled(true);
            break;
        case 4:
            m_btPath->setEnabled(true);
            setRunnable(m_folderConfirmed);
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
        guarded(m_s, [this] { folderCheck(); });
}

void FGenerate::setPath(const QString& text)
{
    m_lpath->setText(text);
    folderCheck();
}

void FGenerate::folderCheck()
{
    setRunnable(false);
    for (int j = 3; j <= 4; ++j) {
        m_filter[j]->clear();
        m_filter[j]->setEnabled(false);
    }
    const QString co = chosenCode(1);
    const QString eq = chosenCode(2);
    const QString text = m_lpath->text();
    const QString folder = folderForFirstPhone(m_s, co, eq, text);
    if (!QFileInfo(folder).isDir()) {
        if (text.isEmpty() || chosenCode(2).isEmpty())
            return;
        // A folder of its own per telephone is made by nobody here: only a plain folder is offered.
        if (text.contains(QLatin1String("$$"))) {
            m_progress->setStatus(textOr(m_s, QStringLiteral("M232"), QStringLiteral("The folder $$ does not exist."),
                                         QDir::toNativeSeparators(folder)),
                                  true);
            return;
        }
        if (!offerToCreate(folder))
            return;
    }
    m_folderConfirmed = true;
    m_progress->setStatus({});
    if (m_levels.ticked(0)) {
        fill(m_filter[3], phoneEntries(m_s.db, co, eq));
        m_filter[3]->setEnabled(true);
    } else {
        setRunnable(true);
    }
}

bool FGenerate::offerToCreate(const QString& folder)
{
    const QString shown = QDir::toNativeSeparators(folder);
    if (!m_s.op.askYesNo(textOr(m_s, QStringLiteral("M231"),
                                QStringLiteral("The folder $$ does not exist. Create it?"), shown))) {
        m_progress->setStatus(
            textOr(m_s, QStringLiteral("M232"), QStringLiteral("The folder $$ does not exist."), shown), true);
        return false;
    }
    if (!QDir().mkpath(folder)) {
        m_s.op.showError(
            textOr(m_s, QStringLiteral("M233"), QStringLiteral("The folder $$ could not be created."), shown));
        return false;
    }
    return true;
}

void FGenerate::browse()
{
    const QString from = chosenCode(3);
    const QString to = chosenCode(4);
    const QString chosen = BrowseForFolder(
        m_lpath->text(), this, textOr(m_s, QStringLiteral("FGENERATE_BTPATH_TITLE"), QStringLiteral("Output folder")));
    guarded(m_s, [&] {
        setPath(chosen);
        // The range chosen before stays when the telephones are still offered.
        if (!from.isEmpty() && m_filter[3]->isEnabled() && choose(3, from) && !to.isEmpty())
            choose(4, to);
    });
}

void FGenerate::setRunning(bool running)
{
    if (running) {
        m_locked = {m_btPath, m_genSrc, m_filter[1], m_filter[2], m_filter[3], m_filter[4],
                    m_clev[0], m_clev[1], m_clev[2]};
        m_wasEnabled.clear();
        for (QWidget* w : std::as_const(m_locked)) {
            m_wasEnabled.append(w->isEnabled());
            w->setEnabled(false);
        }
        m_cancel->setText(textOr(m_s, QStringLiteral("CANCEL_ABO"), QStringLiteral("Abort")));
    } else {
        for (qsizetype i = 0; i < m_locked.size(); ++i)
            m_locked[i]->setEnabled(m_wasEnabled[i]);
        m_cancel->setText(m_cancelCaption);
    }
    addControlMnemonics(this);
}

void FGenerate::recordsChanged(const QString&)
{
    if (running()) {
        m_listsStale = true;
        return;
    }
    guarded(m_s, [this] {
        const bool kept =
            refillChain({m_filter[1], m_filter[2], m_filter[3], m_filter[4]}, [this](int list) -> QStringList {
                switch (list) {
                case 0:
                    return entryTexts(companyEntries(m_s.db));
                case 1:
                    return entryTexts(modelEntries(m_s.db, chosenCode(1)));
                case 2:
                    return entryTexts(phoneEntries(m_s.db, chosenCode(1), chosenCode(2)));
                default:
                    return entryTexts(phoneEntries(m_s.db, chosenCode(1), chosenCode(2), chosenCode(3)));
                }
            });
        if (kept)
            return;
        setRunnable(false);
        // Without a model there is no folder to write to.
        if (chosenCode(2).isEmpty()) {
            m_btPath->setEnabled(false);
            m_lpath->clear();
        }
    });
}

void FGenerate::setRunnable(bool enabled)
{
    m_ok->setEnabled(enabled);
    m_previewButton->setEnabled(enabled);
}

void FGenerate::runSelection(bool dryRun)
{
    if (running() || !m_ok->isEnabled())
        return;
    const RunFocus focus(this, m_ok);
    m_list1->clear();
    m_linePhones.clear();
    setRunnable(false);
    m_progress->start();

    GenerationRequest request;
    request.company = chosenCode(1);
    request.model = chosenCode(2);
    request.levels = m_levels.choice();
    request.firstPhone = chosenCode(3);
    request.lastPhone = chosenCode(4);
    request.folder = m_lpath->text();
    request.source = m_genSrc->isChecked();
    m_runCompany = request.company;
    m_runLevels = request.levels;

    // The selection stays as it is while the run gives the user interface its turns.
    setRunning(true);
    PhoneLines log(m_s, *m_list1, m_linePhones);
    // The run lives here while it gives the user interface its turns; Cancel finds it in the slot.
    const auto runWith = [&](auto& run, auto*& slot, auto finish) {
        slot = &run;
        decltype(run.run(request)) summary;
        const bool done = guarded(m_s, [&] { summary = run.run(request); });
        slot = nullptr;
        setRunning(false);
        if (done)
            (this->*finish)(summary);
        return done;
    };
    bool completed = false;
    if (dryRun) {
        DryRun run(m_s, log);
        completed = runWith(run, m_preview, &FGenerate::finishPreview);
    } else {
        GenerationRun run(m_s, log);
        completed = runWith(run, m_run, &FGenerate::finishRun);
    }
    if (!completed) {
        m_progress->finish(textOr(m_s, QStringLiteral("M234"), QStringLiteral("The run failed.")), true);
        setRunnable(m_folderConfirmed);
    }
    if (std::exchange(m_listsStale, false))
        recordsChanged({});
    if (m_closeAfterRun)
        closeWindow(this);
}

void FGenerate::finishPreview(const DryRunSummary& summary)
{
    m_list1->append(summary.line);
    m_list1->showEnd();
    m_progress->finish(summary.line, !summary.clean());
    setRunnable(m_folderConfirmed);
}

void FGenerate::showValues(int line)
{
    const QString phone = m_linePhones.value(line);
    if (phone.isEmpty() || running())
        return;
    if (!m_values)
        m_values = new FExplain(m_s, this);
    m_values->showTelephone(m_runCompany, phone, m_runLevels);
}

void FGenerate::finishRun(const RunSummary& summary)
{
    RunTally tally{summary.selected, summary.done, summary.written, summary.skipped,
                   summary.outcome == RunOutcome::Cancelled, summary.refused};
    const bool problem = summary.outcome != RunOutcome::Completed || summary.skipped > 0;
    const QString line = m_progress->summaryText(tally, textOr(m_s, QStringLiteral("FGENERATE_WRITTEN"),
                                                               QStringLiteral("%1 written")),
                                                 textOr(m_s, QStringLiteral("FGENERATE_REFUSED"),
                                                        QStringLiteral("%1 refused")));
    m_list1->append(line);
    m_list1->showEnd();
    m_progress->finish(line, problem);
    setRunnable(m_folderConfirmed);
    // The telephone whose folder was missing is still the current one: its folder is named.
    if (summary.outcome == RunOutcome::FolderMissing && !m_closeAfterRun) {
        guarded(m_s, [this] {
            const QString folder = ExpandMacros(m_s, resolveFolderSetting(m_lpath->text(), m_s.appDir));
            if (!QFileInfo(folder).isDir())
                offerToCreate(folder);
        });
    }
}

bool FGenerate::stopRunAsked()
{
    if (!confirmAbandon(m_s))
        return false;
    if (m_run)
        m_run->requestStop();
    if (m_preview)
        m_preview->requestStop();
    return true;
}

void FGenerate::cancel()
{
    if (running()) {
        // The run stops after the current telephone; the window stays to show how far it got.
        stopRunAsked();
        return;
    }
    closeWindow(this);
}

void FGenerate::closeEvent(QCloseEvent* event)
{
    // The run lives on this window's stack: the window closes once it has stopped.
    if (running()) {
        if (!m_closeAfterRun && stopRunAsked()) {
            m_closeAfterRun = true;
            setProperty(kClosePending, true);
        }
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

} // namespace vocaset
