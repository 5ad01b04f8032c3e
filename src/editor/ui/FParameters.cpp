#include "FParameters.h"

#include <algorithm>

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QFrame>
#include <QGroupBox>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTabBar>
#include <QToolButton>
#include <QTreeView>

#include "DbError.h"
#include "EditorLayout.h"
#include "EditorMessages.h"
#include "FHistory.h"
#include "Messages.h"
#include "ProgressStrip.h"
#include "RecordChecks.h"
#include "RecordListModel.h"
#include "WindowConventions.h"

namespace vocaset {
namespace {

QString indexed(const char* name, int i)
{
    return QLatin1String(name) + QString::number(i);
}

int twips(int pixels)
{
    return pixels * kTwipsPerPixel;
}

QRect pixels(const TwipRect& r)
{
    return {r.left / kTwipsPerPixel, r.top / kTwipsPerPixel, r.width / kTwipsPerPixel, r.height / kTwipsPerPixel};
}

// wanted: the password asked for, in words ("Password of the Settings tab:").
std::optional<QString> askPassword(Session& s, QWidget* owner, const QString& wanted)
{
    QInputDialog dialog(owner);
    dialog.setObjectName(QStringLiteral("PasswordPrompt"));
    const QString title = textOr(s, QStringLiteral("FPARAMETERS_PWDTITLE"), QStringLiteral("Password Required"));
    dialog.setWindowTitle(title);
    dialog.setLabelText(wanted.isEmpty() ? textOr(s, QStringLiteral("FPARAMETERS_PWD"), QStringLiteral("Password"))
                                         : wanted);
    dialog.setTextEchoMode(QLineEdit::Password);
    // The title bar shows the whole title, with room for the frame's buttons; the dialog takes its
    // width from its controls, so the text field asks for it.
    if (auto* field = dialog.findChild<QLineEdit*>())
        field->setMinimumWidth(dialog.fontMetrics().horizontalAdvance(title) * 3 / 2 + 140);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.textValue();
}

// The rows a rename changes, in the user's language, each table by its tab's caption.
QString renameRows(Session& s, const RenamePlan& plan)
{
    static constexpr CountedText kRows{"M771", "%1 rows change: %2", "M772", "1 row changes: %2"};
    QStringList tables;
    for (const RenamePlan::Rows& r : plan.rows)
        tables.append(textOr(s, QLatin1String(kEditorKey) + u'_' + r.table.toUpper(), r.table) + u' ' +
                      QString::number(r.count));
    return textOr(s, kRows, plan.total()).arg(plan.total()).arg(tables.join(QStringLiteral(", ")));
}

// The tables whose codes the other windows offer in their lists.
bool listedElsewhere(const QString& table)
{
    for (const char* listed : {"COMPANY", "EQUIPMENT", "PHONES"}) {
        if (table.compare(QLatin1String(listed), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

} // namespace

FParameters::FParameters(Session& session, PasswordPrompt prompt, QWidget* parent)
    : QWidget(parent), m_s(session), m_prompt(std::move(prompt)), m_tabBody(new QFrame(this)),
      m_tabStrip(new QTabBar(this)), m_rcompany(new QGroupBox(QStringLiteral("Selection"), this)),
      m_listCom(new QTreeView(m_rcompany)), m_model(new RecordListModel(this)),
      m_ok(new QPushButton(QStringLiteral("Ok"), this)), m_cancel(new QPushButton(QStringLiteral("Cancel"), this)),
      m_lerr(new QLabel(this)), m_reveal(new QToolButton(this)), m_progress(new ProgressStrip(session, this)),
      m_mnuRecord(new QMenu(QStringLiteral("Record"), this))
{
    setObjectName(QStringLiteral("FParameters"));
    setWindowTitle(QStringLiteral("Vocaset Configuration"));
    setMinimumSize(kMinWidth / kTwipsPerPixel, (kMinHeight + kTwipsPerPixel - 1) / kTwipsPerPixel);
    resize(960, 640);
    if (!m_prompt)
        m_prompt = [this] {
            return askPassword(m_s, isVisible() ? this : QApplication::activeWindow(), m_passwordWanted);
        };

    m_tabBody->setFrameShape(QFrame::StyledPanel);
    m_tabStrip->setObjectName(QStringLiteral("TabStrip"));
    m_tabStrip->setUsesScrollButtons(true);
    m_tabStrip->setExpanding(false);
    m_rcompany->setObjectName(QStringLiteral("RCompany"));

    m_listCom->setObjectName(QStringLiteral("ListCom"));
    m_listCom->setModel(m_model);
    m_listCom->setRootIsDecorated(false);
    m_listCom->setUniformRowHeights(true);
    m_listCom->setItemsExpandable(false);
    m_listCom->setAllColumnsShowFocus(true);
    m_listCom->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_listCom->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_listCom->header()->setSectionsClickable(true);
    m_listCom->header()->setStretchLastSection(false);
    m_listCom->installEventFilter(this);
    m_listCom->viewport()->installEventFilter(this);
    connect(m_listCom->header(), &QHeaderView::sectionClicked, this, &FParameters::sortClicked);

    m_ok->setObjectName(QStringLiteral("Ok"));
    m_cancel->setObjectName(QStringLiteral("Cancel"));
    m_ok->hide();
    m_cancel->hide();
    m_lerr->setObjectName(QStringLiteral("LErr"));
    m_lerr->setStyleSheet(QStringLiteral("color: #b00000"));
    m_lerr->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_lerr->hide();
    m_reveal->setObjectName(QStringLiteral("Reveal"));
    m_reveal->setText(QStringLiteral("Show"));
    m_reveal->setCheckable(true);
    m_reveal->hide();
    connect(m_reveal, &QToolButton::toggled, this, [this] { syncEditRows(); });

    m_mnuRecord->setObjectName(QStringLiteral("MnuRecord"));
    m_edit = m_mnuRecord->addAction(QStringLiteral("Edit"));
    m_edit->setObjectName(QStringLiteral("Edit"));
    m_delete = m_mnuRecord->addAction(QStringLiteral("Delete"));
    m_delete->setObjectName(QStringLiteral("Delete"));
    m_new = m_mnuRecord->addAction(QStringLiteral("New"));
    m_new->setObjectName(QStringLiteral("New"));
    m_rename = m_mnuRecord->addAction(QStringLiteral("Rename…"));
    m_rename->setObjectName(QStringLiteral("Rename"));
    m_history = m_mnuRecord->addAction(QStringLiteral("History…"));
    m_history->setObjectName(QStringLiteral("History"));
    connect(m_edit, &QAction::triggered, this, [this] { startOperation(Operation::Update); });
    connect(m_delete, &QAction::triggered, this, [this] { startOperation(Operation::Delete); });
    connect(m_new, &QAction::triggered, this, [this] { startOperation(Operation::Insert); });
    connect(m_rename, &QAction::triggered, this, &FParameters::renameClicked);
    connect(m_history, &QAction::triggered, this, &FParameters::historyClicked);

    setFilterRows(1);
    setEditRows(1);
    connect(m_ok, &QPushButton::clicked, this, &FParameters::okClicked);
    connect(m_cancel, &QPushButton::clicked, this, &FParameters::endOperation);
    // A click on the tab already selected asks its password again; another tab arrives as a change.
    connect(m_tabStrip, &QTabBar::tabBarClicked, this, [this](int index) {
        if (index == m_tabStrip->currentIndex())
            selectTab(index);
    });
    connect(m_tabStrip, &QTabBar::currentChanged, this, &FParameters::selectTab);

    new WindowKeys(this, m_ok, [this] { return m_listing || editing(); });
    // Installed after the window keys, so it sees Esc first: Esc abandons the record being edited.
    installEventFilter(this);

    setUp();
    selectTab(0);
}

FParameters::~FParameters() = default;

bool FParameters::editing() const
{
    return m_form && m_form->operation() != Operation::None;
}

void FParameters::setUp()
{
    applyCaptions(m_s, this, QLatin1String(kEditorKey));
    const QString key = QLatin1String(kEditorKey);
    if (const QString caption = textOr(m_s, key, QString()); !caption.isEmpty())
        setWindowTitle(caption + QStringLiteral(" - ") + m_s.userName);
    const std::pair<QAction*, const char*> entries[] = {{m_mnuRecord->menuAction(), "_MNURECORD"},
                                                        {m_edit, "_EDIT"},
                                                        {m_delete, "_DELETE"},
                                                        {m_new, "_NEW"},
                                                        {m_rename, "_RENAME"},
                                                        {m_history, "_HISTORY"}};
    for (const auto& [action, suffix] : entries)
        action->setText(textOr(m_s, key + QLatin1String(suffix), action->text()));
    m_mnuRecord->setTitle(m_mnuRecord->menuAction()->text());
    addMnemonics({m_edit, m_delete, m_new, m_rename, m_history});
    // The keys that give the same commands from the list, shown beside them.
    const std::pair<QAction*, int> keys[] = {{m_edit, Qt::Key_F2}, {m_delete, Qt::Key_Delete}, {m_new, Qt::Key_Insert}};
    for (const auto& [action, k] : keys)
        action->setText(action->text() + u'\t' + QKeySequence(k).toString(QKeySequence::NativeText));

    try {
        m_tabs = loadTabs(m_s);
    } catch (const DbError& e) {
        m_tabs = {{QStringLiteral("SYSTEM_PARAMETERS"), {}}};
        addError(e.text());
    }
    const QSignalBlocker block(m_tabStrip);
    while (m_tabStrip->count() > 0)
        m_tabStrip->removeTab(0);
    for (const EditorTab& tab : std::as_const(m_tabs))
        m_tabStrip->addTab(tab.caption);
    arrangeControls();
}

void FParameters::selectTab(int index)
{
    if (!isEnabled() || index < 0 || index >= m_tabs.size())
        return;
    {
        const QSignalBlocker block(m_tabStrip);
        m_tabStrip->setCurrentIndex(index);
    }
    m_lerr->hide();
    m_progress->setStatus({});
    m_mode = AccessMode::False;
    const EditorTab& tab = m_tabs[index];
    setWindowTitle(QStringLiteral("Configuration - ") + tab.caption);
    m_passwordWanted = textOr(m_s, QStringLiteral("M782"), QStringLiteral("Password of the %1 tab:")).arg(tab.caption);
    try {
        const TabAccess access = decideAccess(m_s, tab.table, m_prompt);
        m_mode = access.mode;
        if (!access.error.isEmpty())
            setError(access.error);
    } catch (const DbError& e) {
        addError(e.text());
    }
    const QString table = tab.table;
    m_loading = true;
    setEnabled(false);
    m_form.reset();
    m_model->setHeaders({});
    m_cat = TableCatalogue{};
    m_cat.table = table;
    try {
        m_cat = readCatalogue(m_s, table);
    } catch (const DbError& e) {
        addError(e.text());
    }
    m_secrets = std::make_unique<SecretValues>(m_s.db, m_cat);
    m_form = std::make_unique<RecordForm>(m_s, m_cat, m_mode);
    FormList();
    m_loading = false;
    setEnabled(true);
    m_listCom->setFocus();
}

void FParameters::FormList()
{
    const int keys = m_cat.keyCount();
    setFilterRows(std::max(keys, 1));
    const QString all = textOr(m_s, QStringLiteral("FPARAMETERS_ALL"), QStringLiteral("All"));
    for (int i = 0; i < m_filter.size(); ++i) {
        QComboBox* filter = m_filter[i];
        const QSignalBlocker block(filter);
        filter->clear();
        filter->addItem(all);
        if (i < keys) {
            filter->addItems(m_cat.filters[i].values);
            m_flab[i]->setText(m_cat.filters[i].caption);
        } else {
            m_flab[i]->clear();
        }
        filter->setCurrentIndex(0);
        filter->setEnabled(i < keys);
    }
    QStringList captions;
    for (const CatalogueColumn& c : m_cat.columns)
        captions.append(c.caption);
    m_model->setHeaders(captions);
    m_listCom->setColumnHidden(0, true);
    fitColumns({});
    if (!m_cat.columns.isEmpty() && keys == 0)
        addError(editorText(m_s, EditorText::NoPrimaryKey, m_cat.table));
    if (m_mode != AccessMode::False && !m_cat.columns.isEmpty())
        RempList();
    arrangeControls();
}

void FParameters::setFilterRows(int count)
{
    while (m_filter.size() > count) {
        delete m_flab.takeLast();
        delete m_filter.takeLast();
    }
    while (m_filter.size() < count) {
        const int i = int(m_filter.size()) + 1;
        auto* label = new QLabel(m_rcompany);
        label->setObjectName(indexed("FLab", i));
        auto* filter = new QComboBox(m_rcompany);
        filter->setObjectName(indexed("Filter", i));
        filter->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        connect(filter, &QComboBox::activated, this, [this, filter] {
            if (!isEnabled() || m_loading)
                return;
            RempList();
            filter->setFocus();
        });
        label->show();
        filter->show();
        m_flab.append(label);
        m_filter.append(filter);
    }
}

void FParameters::RempList()
{
    if (m_cat.columns.isEmpty() || m_mode == AccessMode::False)
        return;
    m_rcompany->hide();
    if (!m_loading)
        setEnabled(false);
    m_model->clear();
    m_listCom->header()->setSortIndicatorShown(false);
    FilterChoice choice;
    for (int i = 0; i < m_cat.keyCount(); ++i) {
        const int picked = m_filter[i]->currentIndex();
        choice.append(picked <= 0 ? std::nullopt : std::optional<QString>(m_filter[i]->currentText()));
    }
    m_where = vocaset::whereClause(m_cat, m_mode, choice);

    m_listing = true;
    m_stopListing = false;
    m_progress->bar()->show();
    m_progress->start();
    ListedRecords listed;
    bool failed = false;
    try {
        listed = listRecords(m_s, m_cat, m_mode, choice, [this](int done, int total) {
            m_progress->setProgress(done, total);
            return !m_stopListing;
        });
    } catch (const DbError& e) {
        addError(editorText(m_s, EditorText::ListFailed, e.text()));
        failed = true;
    }
    m_listing = false;
    const int count = int(listed.rows.size());
    fitColumns(listed.rows);
    m_model->setRecords(std::move(listed.rows), m_cat.keyIndexes(), !failed);
    // Passwords and other secrets read "***" here, as in the history; the record form shows them.
    const SecretValues* secrets = m_secrets.get();
    m_model->maskCells(secrets ? secrets->columns() : QList<int>(),
                       [secrets](const QVariantList& row) { return secrets->secret(row); });

    m_progress->finish(editorText(m_s, EditorText::RecordCount, QString::number(count)), failed || listed.stopped);
    // Outside a listing the count is a text: a full bar would read as a run still going.
    m_progress->bar()->hide();

    if (!m_loading)
        setEnabled(true);
    m_rcompany->show();
    if (!m_filling)
        closeIfAsked();
}

void FParameters::fitColumns(const QList<QVariantList>& rows)
{
    // Twips, as the rules are written: a caption's width + 300, widened by values until 5000.
    // Values are measured by their characters' advances, read once per character: shaping each of
    // 100 000 cells would cost seconds, and a list column needs no kerning.
    const QFontMetrics header(m_listCom->header()->font());
    const QFontMetrics cells(m_listCom->font());
    QHash<char16_t, int> advances;
    const auto measure = [&](const QString& text) {
        int width = 0;
        for (QChar c : text) {
            auto it = advances.constFind(c.unicode());
            if (it == advances.constEnd())
                it = advances.insert(c.unicode(), cells.horizontalAdvance(c));
            width += *it;
        }
        return twips(width);
    };
    for (int k = 0; k < m_cat.columns.size(); ++k) {
        int width = twips(header.horizontalAdvance(m_cat.columns[k].caption)) + 300;
        for (const QVariantList& row : rows) {
            if (width >= kWidenLimit)
                break;
            width = widenedColumn(width, measure(cellText(row.at(k))));
        }
        m_listCom->setColumnWidth(k + 1, width / kTwipsPerPixel);
    }
}

void FParameters::sortClicked(int section)
{
    if (section <= 0 || m_listing)
        return;
    m_sort.click(section + 1);
    m_model->sortBy(section, m_sort.ascending);
    m_listCom->header()->setSortIndicator(section, m_sort.ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
    m_listCom->header()->setSortIndicatorShown(true);
}

bool FParameters::prepareRecordMenu(int row)
{
    if (editing() || !isEnabled() || m_mode == AccessMode::False || row < 0 || row >= m_model->rowCount())
        return false;
    m_clickedRow = row;
    const bool editable = m_cat.keyCount() > 0;
    m_edit->setEnabled(editable && m_model->hasRecords());
    m_delete->setEnabled(editable && m_model->hasRecords());
    m_new->setEnabled(editable);
    m_rename->setEnabled(m_model->hasRecords() && renameKind().has_value());
    m_history->setEnabled(editable && m_model->hasRecords());
    return true;
}

void FParameters::openRecordMenu(int row, const QPoint& globalPos)
{
    if (prepareRecordMenu(row))
        m_mnuRecord->popup(globalPos);
}

std::optional<RenameRequest::Kind> FParameters::renameKind() const
{
    for (const RenameRequest::Kind kind : {RenameRequest::Company, RenameRequest::Model, RenameRequest::Telephone}) {
        if (m_cat.table.compare(renamedTable(kind), Qt::CaseInsensitive) == 0)
            return kind;
    }
    return std::nullopt;
}

void FParameters::renameClicked()
{
    const std::optional<RenameRequest::Kind> kind = renameKind();
    if (!kind || editing() || m_clickedRow < 0 || m_clickedRow >= m_model->recordCount())
        return;
    const QStringList cells = m_model->cells(m_clickedRow);
    RenameRequest request;
    request.kind = *kind;
    request.from = cells.value(m_cat.columnIndex(renamedColumn(*kind)));
    if (*kind == RenameRequest::Telephone)
        request.company = cells.value(m_cat.columnIndex(QStringLiteral("CO_CODE")));
    try {
        // The rename rewrites settings rows too: it needs the settings' second password.
        m_passwordWanted = textOr(m_s, QStringLiteral("M783"),
                                  QStringLiteral("Renaming a code needs the second password of the settings table:"));
        const bool allowed = renameAllowed(m_s, m_prompt);
        m_passwordWanted.clear();
        if (!allowed) {
            m_s.op.showMessage(renameText(m_s, RenameText::NeedsAdmin));
            return;
        }
        // A refused code is asked again with the reason and what was typed; the same code given
        // again unchanged ends the rename with the reason.
        RenamePlan plan;
        QString typed = request.from;
        for (;;) {
            const QString ask = renameText(m_s, RenameText::NewCode, request.from);
            const std::optional<QString> to =
                m_s.op.askText(plan.refusal.isEmpty() ? ask : plan.refusal + QStringLiteral("\n\n") + ask, typed);
            if (!to || *to == request.from)
                return;
            if (!plan.refusal.isEmpty() && *to == typed) {
                m_s.op.showMessage(plan.refusal);
                return;
            }
            typed = request.to = *to;
            plan = planRename(m_s, request);
            if (plan.refusal.isEmpty())
                break;
        }
        if (!m_s.op.askYesNo(
                textOr(m_s, QStringLiteral("M773"), QStringLiteral("Rename %1 → %2?")).arg(request.from, request.to) +
                u'\n' + renameRows(m_s, plan)))
            return;
        const RenamePlan done = renameCode(m_s, request);
        if (!done.refusal.isEmpty()) {
            m_s.op.showMessage(done.refusal);
            return;
        }
        RempList();
        static constexpr CountedText kRenamed{"M774", "Renamed %1 → %2: %3 rows", "M775", "Renamed %1 → %2: 1 row"};
        m_progress->setStatus(
            textOr(m_s, kRenamed, done.total()).arg(request.from, request.to, QString::number(done.total())));
        tellRecordsChanged(renamedTable(*kind));
    } catch (const DbError& e) {
        m_s.op.showError(e.text());
    }
}

void FParameters::historyClicked()
{
    if (editing() || m_clickedRow < 0 || m_clickedRow >= m_model->recordCount())
        return;
    if (!m_historyWindow)
        m_historyWindow = new FHistory(m_s, this);
    m_historyWindow->showRecord(m_cat.table, recordHistoryKey(m_cat, m_model->cells(m_clickedRow)));
}

void FParameters::startOperation(Operation op)
{
    if (!m_form || editing() || !isEnabled())
        return;
    QStringList cells;
    if (op != Operation::Insert) {
        if (m_clickedRow < 0 || m_clickedRow >= m_model->recordCount())
            return;
        cells = m_model->cells(m_clickedRow);
    }
    // Drop-downs are filled with turns given to the window: nothing else may start meanwhile.
    bool started = false;
    whileFilling([&] {
        started = op == Operation::Update   ? m_form->startEdit(cells)
                  : op == Operation::Delete ? m_form->startDelete(cells)
                                            : m_form->startNew();
    });
    if (!started || m_closeAfterListing)
        return;
    m_tabStrip->setEnabled(false);
    if (op != Operation::Insert) {
        m_listCom->setEnabled(false);
        for (QComboBox* filter : std::as_const(m_filter))
            filter->setEnabled(false);
    }
    setEditRows(int(m_form->rows().size()));
    const QStringList buttons = withMnemonics({m_form->okCaption(), withoutMnemonic(m_cancel->text())});
    m_ok->setText(buttons[0]);
    m_cancel->setText(buttons[1]);
    addControlMnemonics(this);
    m_ok->show();
    m_cancel->show();
    syncEditRows();
    if (!m_form->lookupError().isEmpty())
        addError(m_form->lookupError());
    arrangeControls();
    for (int i = 0; i < m_form->rows().size(); ++i) {
        QWidget* field = m_form->rows()[i].textShown ? static_cast<QWidget*>(m_text[i]) : m_combo[i];
        if (field->isEnabled()) {
            field->setFocus();
            return;
        }
    }
    m_ok->setFocus();
}

void FParameters::setEditRows(int count)
{
    while (m_label.size() > count) {
        delete m_label.takeLast();
        delete m_text.takeLast();
        delete m_combo.takeLast();
    }
    while (m_label.size() < count) {
        const int i = int(m_label.size());
        auto* label = new QLabel(this);
        label->setObjectName(indexed("Label", i + 1));
        auto* text = new QLineEdit(this);
        text->setObjectName(indexed("Text", i + 1));
        auto* combo = new QComboBox(this);
        combo->setObjectName(indexed("Combo", i + 1));
        connect(text, &QLineEdit::textEdited, this, [this, i](const QString& typed) { textEdited(i, typed); });
        connect(combo, &QComboBox::activated, this, [this, i](int entry) { comboChosen(i, entry); });
        for (QWidget* w : std::initializer_list<QWidget*>{label, text, combo})
            w->hide();
        text->setEnabled(false);
        m_label.append(label);
        m_text.append(text);
        m_combo.append(combo);
    }
}

int FParameters::secretEditRow() const
{
    if (!editing() || !m_secrets || m_secrets->columns().isEmpty())
        return -1;
    const QList<EditRow>& rows = m_form->rows();
    if (!m_secrets->secret(recordValues(m_cat, rows)))
        return -1;
    for (int i = 0; i < rows.size(); ++i) {
        if (m_secrets->columns().contains(m_cat.columnIndex(rows[i].column)))
            return i;
    }
    return -1;
}

template <typename F> void FParameters::whileFilling(F&& work)
{
    m_filling = true;
    setEnabled(false);
    work();
    setEnabled(true);
    m_filling = false;
    closeIfAsked();
}

void FParameters::closeIfAsked()
{
    if (m_closeAfterListing)
        QMetaObject::invokeMethod(
            this, [this] { closeWindow(this); }, Qt::QueuedConnection);
}

void FParameters::syncEditRows()
{
    const QList<EditRow>& rows = m_form->rows();
    const int secret = secretEditRow();
    const bool wasShown = !m_reveal->isHidden();
    m_reveal->setVisible(secret >= 0);
    if (secret < 0)
        m_reveal->setChecked(false);
    for (int i = 0; i < rows.size() && i < m_label.size(); ++i) {
        const EditRow& r = rows[i];
        m_label[i]->setText(r.caption);
        m_label[i]->show();
        QLineEdit* text = m_text[i];
        if (text->text() != r.text)
            text->setText(r.text);
        text->setVisible(r.textShown);
        text->setEnabled(r.textEnabled);
        text->setEchoMode(i == secret && !m_reveal->isChecked() ? QLineEdit::Password : QLineEdit::Normal);
        QComboBox* combo = m_combo[i];
        const QSignalBlocker block(combo);
        bool same = combo->count() == r.entries.size();
        for (int e = 0; same && e < r.entries.size(); ++e)
            same = combo->itemText(e) == r.entries[e];
        if (!same) {
            combo->clear();
            combo->addItems(r.entries);
        }
        combo->setCurrentIndex(r.choice);
        combo->setVisible(r.comboShown);
        combo->setEnabled(r.comboEnabled);
    }
    m_ok->setEnabled(m_form->okEnabled());
    if (wasShown != !m_reveal->isHidden())
        arrangeControls();
}

void FParameters::textEdited(int row, const QString& text)
{
    if (!editing())
        return;
    m_form->setText(row, text);
    syncEditRows();
}

void FParameters::comboChosen(int row, int entry)
{
    if (!editing())
        return;
    QWidget* focused = QApplication::focusWidget();
    whileFilling([&] { m_form->choose(row, entry); });
    if (m_closeAfterListing)
        return;
    syncEditRows();
    if (!m_form->lookupError().isEmpty())
        addError(m_form->lookupError());
    if (focused && focused->isVisible() && focused->isEnabled())
        focused->setFocus();
}

void FParameters::okClicked()
{
    if (!editing())
        return;
    const Operation op = m_form->operation();
    const QStringList values = recordValues(m_cat, m_form->rows());
    SaveResult result;
    try {
        result = m_form->save();
    } catch (const DbError& e) {
        result.outcome = SaveResult::Refused;
        result.message = e.text();
    }
    switch (result.outcome) {
    case SaveResult::Refused:
    case SaveResult::Failed:
        // The record stays open with what was typed, to be corrected or abandoned.
        m_s.op.showDetailed(result.message, result.detail);
        return;
    case SaveResult::NothingToSave:
        break;
    case SaveResult::Saved:
        if (op == Operation::Update)
            m_model->setCells(m_clickedRow, result.cells);
        else if (op == Operation::Delete) {
            m_model->removeRecord(m_clickedRow);
            m_progress->setStatus(editorText(m_s, EditorText::RecordCount, QString::number(m_model->recordCount())));
        }
        break;
    }
    endOperation();
    if (result.outcome != SaveResult::Saved)
        return;
    if (op == Operation::Insert)
        RempList();
    if (op != Operation::Delete) {
        if (const QStringList notes = recordNotes(m_s, m_cat, values); !notes.isEmpty())
            m_progress->setStatus(notes.join(u' '), true);
    }
    if (listedElsewhere(m_cat.table))
        tellRecordsChanged(m_cat.table.toUpper());
}

void FParameters::endOperation()
{
    if (m_form)
        m_form->end();
    m_ok->hide();
    m_cancel->hide();
    for (int i = 0; i < m_label.size(); ++i) {
        m_label[i]->hide();
        m_text[i]->hide();
        m_text[i]->setEnabled(false);
        m_text[i]->setEchoMode(QLineEdit::Normal);
        m_combo[i]->hide();
    }
    m_reveal->hide();
    m_reveal->setChecked(false);
    m_tabStrip->setEnabled(true);
    for (int i = 0; i < m_filter.size(); ++i)
        m_filter[i]->setEnabled(i < m_cat.keyCount());
    m_listCom->setEnabled(true);
    arrangeControls();
    m_listCom->setFocus();
}

void FParameters::setError(const QString& text)
{
    m_lerr->setText(text);
    m_lerr->setToolTip(text);
    m_lerr->show();
}

void FParameters::addError(const QString& text)
{
    setError(!m_lerr->isHidden() && !m_lerr->text().isEmpty() ? m_lerr->text() + u' ' + text : text);
}

void FParameters::arrangeControls()
{
    const int rows = editing() ? int(m_form->rows().size()) : 0;
    LayoutInput in;
    in.width = twips(width());
    in.height = twips(height());
    // The band under the error line holds the progress strip.
    in.errorHeight = twips(std::max(m_lerr->sizeHint().height(), (m_progress->sizeHint().height() + 5) / 2));
    in.okWidth = twips(m_ok->sizeHint().width());
    in.okHeight = twips(m_ok->sizeHint().height());
    in.cancelWidth = twips(m_cancel->sizeHint().width());
    in.cancelHeight = twips(m_cancel->sizeHint().height());
    const QFontMetrics fm(font());
    int labelWidth = 80;
    for (int i = 0; i < rows; ++i)
        labelWidth = std::max(labelWidth, fm.horizontalAdvance(m_label[i]->text()) + 8);
    for (QLabel* label : std::as_const(m_flab))
        labelWidth = std::max(labelWidth, fm.horizontalAdvance(label->text()) + 8);
    in.labelWidth = twips(std::min(labelWidth, 260));
    const int fieldHeight = std::max(m_text.first()->sizeHint().height(), m_combo.first()->sizeHint().height());
    in.editRowHeights = QList<int>(rows, twips(fieldHeight));
    in.filterRowHeights = QList<int>(m_filter.size(), twips(m_filter.first()->sizeHint().height()));
    in.filterTop = twips(fm.height() + 8);
    // The tab strip, the filters, the list's header and three of its rows stay in view: the window's
    // minimum grows with the edit rows of the record being edited.
    const int rowHeight = m_model->rowCount() > 0 ? m_listCom->sizeHintForRow(0) : fm.height() + 8;
    const int listRows = m_listCom->header()->sizeHint().height() + 3 * rowHeight + 2 * m_listCom->frameWidth() +
                         m_listCom->horizontalScrollBar()->sizeHint().height();
    const int minHeight = (vocaset::minimumHeight(in, twips(listRows)) + kTwipsPerPixel - 1) / kTwipsPerPixel;
    if (minimumHeight() != minHeight) {
        setMinimumHeight(minHeight);
        // A child window's frame grows with it.
        if (QWidget* frame = parentWidget(); frame && height() < minHeight)
            frame->resize(frame->width(), frame->height() - height() + minHeight);
        in.height = twips(std::max(height(), minHeight));
    }
    const EditorGeometry g = arrange(in);

    const QRect strip = pixels(g.tabStrip);
    m_tabBody->setGeometry(strip);
    m_tabStrip->setGeometry(strip.left(), strip.top(), strip.width(), m_tabStrip->sizeHint().height());
    m_tabBody->setGeometry(strip.adjusted(0, m_tabStrip->sizeHint().height() - 2, 0, 0));
    m_rcompany->setGeometry(pixels(g.frame));
    for (int i = 0; i < m_filter.size(); ++i) {
        m_flab[i]->setGeometry(pixels(g.filterLabels[i]));
        m_filter[i]->setGeometry(pixels(g.filters[i]));
    }
    m_listCom->setGeometry(pixels(g.list));
    const int secret = m_reveal->isHidden() ? -1 : secretEditRow();
    for (int i = 0; i < rows; ++i) {
        m_label[i]->setGeometry(pixels(g.editLabels[i]));
        QRect field = pixels(g.editFields[i]);
        // Show stands at the right end of a secret's field.
        if (i == secret) {
            const int w = m_reveal->sizeHint().width();
            m_reveal->setGeometry(field.right() - w + 1, field.top(), w, field.height());
            field.setRight(field.right() - w - 2);
        }
        m_text[i]->setGeometry(field);
        m_combo[i]->setGeometry(pixels(g.editFields[i]));
    }
    m_ok->setGeometry(pixels(g.ok));
    m_cancel->setGeometry(pixels(g.cancel));
    m_lerr->setGeometry(pixels(g.error));
    const int stripTop = g.error.bottom() / kTwipsPerPixel + 2;
    m_progress->setGeometry(g.error.left / kTwipsPerPixel, stripTop, g.error.width / kTwipsPerPixel,
                            std::max(0, height() - stripTop - 2));

    // Keyboard order by screen position, top first, then left.
    QList<QWidget*> controls{m_tabStrip};
    for (QComboBox* filter : std::as_const(m_filter))
        controls.append(filter);
    controls.append(m_listCom);
    for (int i = 0; i < m_label.size(); ++i) {
        controls.append(m_text[i]);
        controls.append(m_combo[i]);
    }
    controls.append({m_reveal, m_ok, m_cancel});
    QList<TabField> fields;
    for (int n = 0; n < controls.size(); ++n) {
        QWidget* w = controls[n];
        TabField f{n, w->objectName(), twips(w->y()), twips(w->x()), 0, 0, !w->isHidden()};
        if (w->parentWidget() == m_rcompany) {
            f.containerTop = twips(m_rcompany->y());
            f.containerLeft = twips(m_rcompany->x());
        }
        fields.append(f);
    }
    QList<QWidget*> order;
    for (const TabField& f : SortTabFields(fields))
        order.append(controls[f.number]);
    setReadingOrder(order);
}

void FParameters::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    arrangeControls();
}

void FParameters::closeEvent(QCloseEvent* event)
{
    if (m_listing || m_filling) {
        // The listing stops at its next row, the drop-downs are filled; the window closes after.
        m_stopListing = true;
        m_closeAfterListing = true;
        setProperty(kClosePending, true);
        event->ignore();
        return;
    }
    if (!mayAbandonRecord()) {
        event->ignore();
        return;
    }
    event->accept();
}

bool FParameters::mayAbandonRecord()
{
    return !editing() || !m_form->dirty() || m_s.op.askYesNo(editorText(m_s, EditorText::AbandonRecord));
}

bool FParameters::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::ContextMenu && (watched == m_listCom || watched == m_listCom->viewport())) {
        auto* menu = static_cast<QContextMenuEvent*>(event);
        if (menu->reason() == QContextMenuEvent::Mouse) {
            const QModelIndex at =
                m_listCom->indexAt(m_listCom->viewport()->mapFrom(static_cast<QWidget*>(watched), menu->pos()));
            if (at.isValid())
                openRecordMenu(at.row(), menu->globalPos());
        } else if (const QModelIndex current = m_listCom->currentIndex(); current.isValid()) {
            const QRect cell = m_listCom->visualRect(current);
            openRecordMenu(current.row(), m_listCom->viewport()->mapToGlobal(cell.center()));
        }
        return true;
    }
    if (event->type() != QEvent::KeyPress)
        return false;
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (watched == this && key == Qt::Key_Escape && editing()) {
        if (mayAbandonRecord())
            endOperation();
        return true;
    }
    // The record commands from the keyboard: F2 edits, Insert adds, Delete removes the current row.
    if (watched == m_listCom && !editing() && (key == Qt::Key_F2 || key == Qt::Key_Insert || key == Qt::Key_Delete)) {
        QAction* action = key == Qt::Key_F2 ? m_edit : key == Qt::Key_Insert ? m_new : m_delete;
        if (prepareRecordMenu(std::max(0, m_listCom->currentIndex().row())) && action->isEnabled())
            action->trigger();
        return true;
    }
    return false;
}

} // namespace vocaset
