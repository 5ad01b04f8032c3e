#include "FModelTemplates.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QTextBlock>
#include <QTimer>

#include "ChangeHistory.h"
#include "CodeRename.h"
#include "FHistory.h"
#include "Messages.h"
#include "ProgressStrip.h"
#include "SelectionList.h"
#include "TemplateCheck.h"
#include "TemplateEditor.h"
#include "TextFile.h"
#include "WindowConventions.h"

namespace vocaset {
namespace {

// What a problem's list line keeps: where it is.
constexpr int kInRole = Qt::UserRole;
constexpr int kLineRole = Qt::UserRole + 1;
constexpr int kColumnRole = Qt::UserRole + 2;

QComboBox* choices(QWidget* parent, const char* name, const QStringList& values = {})
{
    auto* box = new QComboBox(parent);
    box->setObjectName(QLatin1String(name));
    box->addItems(values);
    return box;
}

QLabel* label(QWidget* parent, const char* name, const char* text, QWidget* buddy)
{
    auto* l = new QLabel(QLatin1String(text), parent);
    l->setObjectName(QLatin1String(name));
    l->setBuddy(buddy);
    return l;
}

QString counted(Session& s, qsizetype n)
{
    static constexpr CountedText kProblems{"M808", "$$ problems", "M809", "$$ problem"};
    return textOr(s, kProblems, n, QString::number(n));
}

} // namespace

FModelTemplates::FModelTemplates(Session& session, PasswordPrompt prompt, QWidget* parent)
    : QWidget(parent), m_s(session), m_prompt(std::move(prompt)), m_filter1(choices(this, "Filter1")),
      m_filter2(choices(this, "Filter2", ModelTemplates::kKinds)), m_lName(new QLineEdit(this)),
      m_escape(choices(this, "Escape", ModelTemplates::kEscapes)),
      m_encoding(choices(this, "Encoding", ModelTemplates::kEncodings)),
      m_eol(choices(this, "Eol", ModelTemplates::kLineEnds)), m_lType(new QLineEdit(this)),
      m_filter3(choices(this, "Filter3")), m_text(new TemplateEditor(this)), m_file(new QPlainTextEdit(this)),
      m_problems(new QListWidget(this)), m_strip(new ProgressStrip(session, this)),
      m_save(new QPushButton(QStringLiteral("Save"), this)),
      m_history(new QPushButton(QStringLiteral("History\u2026"), this)),
      m_close(new QPushButton(QStringLiteral("Close"), this)), m_delay(new QTimer(this))
{
    setObjectName(QStringLiteral("FModelTemplates"));
    setWindowTitle(QStringLiteral("Model templates"));
    if (!m_prompt) {
        m_prompt = [this]() -> std::optional<QString> {
            bool ok = false;
            const QString given = QInputDialog::getText(
                this, textOr(m_s, QStringLiteral("FPARAMETERS_PWDTITLE"), QStringLiteral("Password Required")),
                textOr(m_s, QStringLiteral("FPARAMETERS_PWD"), QStringLiteral("Password")), QLineEdit::Password, {},
                &ok);
            return ok ? std::optional<QString>(given) : std::nullopt;
        };
    }
    m_mLab = label(this, "MLab", "Model", m_filter1);
    m_kLab = label(this, "KLab", "Kind", m_filter2);
    m_nLab = label(this, "NLab", "File name", m_lName);
    m_eLab = label(this, "ELab", "Escaping", m_escape);
    m_cLab = label(this, "CLab", "Encoding", m_encoding);
    m_lLab = label(this, "LLab", "Line ends", m_eol);
    m_tLab = label(this, "TLab", "Content type", m_lType);
    m_pLab = label(this, "PLab", "Preview for", m_filter3);
    m_xLab = label(this, "XLab", "Template", m_text);
    m_fLab = label(this, "FLab", "File made", m_file);
    m_qLab = label(this, "QLab", "Problems", m_problems);
    m_lName->setObjectName(QStringLiteral("LName"));
    m_lType->setObjectName(QStringLiteral("LType"));
    m_text->setObjectName(QStringLiteral("Text"));
    m_file->setObjectName(QStringLiteral("File"));
    m_file->setReadOnly(true);
    m_file->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_file->setTabChangesFocus(true);
    m_file->setFont(m_text->font());
    m_problems->setObjectName(QStringLiteral("Problems"));
    m_problems->setUniformItemSizes(true);
    m_strip->setObjectName(QStringLiteral("Progress"));
    m_save->setObjectName(QStringLiteral("Save"));
    m_history->setObjectName(QStringLiteral("History"));
    m_close->setObjectName(QStringLiteral("Close"));
    m_filter1->setMinimumContentsLength(28);
    m_filter3->setMinimumContentsLength(28);
    m_filter1->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_filter3->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);

    auto* grid = new QGridLayout(this);
    grid->addWidget(m_mLab, 0, 0);
    grid->addWidget(m_filter1, 0, 1);
    grid->addWidget(m_kLab, 0, 2);
    grid->addWidget(m_filter2, 0, 3);
    grid->addWidget(m_nLab, 1, 0);
    grid->addWidget(m_lName, 1, 1);
    grid->addWidget(m_eLab, 1, 2);
    grid->addWidget(m_escape, 1, 3);
    grid->addWidget(m_cLab, 1, 4);
    grid->addWidget(m_encoding, 1, 5);
    grid->addWidget(m_tLab, 2, 0);
    grid->addWidget(m_lType, 2, 1);
    grid->addWidget(m_lLab, 2, 2);
    grid->addWidget(m_eol, 2, 3);
    grid->addWidget(m_pLab, 3, 0);
    grid->addWidget(m_filter3, 3, 1);
    auto* panes = new QSplitter(this);
    auto* left = new QWidget(panes);
    auto* right = new QWidget(panes);
    auto* leftColumn = new QVBoxLayout(left);
    leftColumn->setContentsMargins(0, 0, 0, 0);
    leftColumn->addWidget(m_xLab);
    leftColumn->addWidget(m_text);
    auto* rightColumn = new QVBoxLayout(right);
    rightColumn->setContentsMargins(0, 0, 0, 0);
    rightColumn->addWidget(m_fLab);
    rightColumn->addWidget(m_file);
    panes->addWidget(left);
    panes->addWidget(right);
    panes->setChildrenCollapsible(false);
    grid->addWidget(panes, 4, 0, 1, 6);
    grid->setRowStretch(4, 1);
    grid->addWidget(m_qLab, 5, 0, 1, 6);
    grid->addWidget(m_problems, 6, 0, 1, 6);
    m_problems->setMaximumHeight(fontMetrics().height() * 7);
    grid->addWidget(m_strip, 7, 0, 1, 6);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_save);
    buttons->addWidget(m_history);
    buttons->addWidget(m_close);
    grid->addLayout(buttons, 8, 0, 1, 6);
    grid->setColumnStretch(1, 1);
    resize(1000, 680);

    m_delay->setSingleShot(true);
    m_delay->setInterval(kPreviewDelayMs);
    connect(m_delay, &QTimer::timeout, this, &FModelTemplates::refresh);
    connect(m_filter1, &QComboBox::activated, this, &FModelTemplates::chooseTemplate);
    connect(m_filter2, &QComboBox::activated, this, &FModelTemplates::chooseTemplate);
    for (QComboBox* option : {m_escape, m_encoding, m_eol})
        connect(option, &QComboBox::currentIndexChanged, this, &FModelTemplates::changed);
    connect(m_filter3, &QComboBox::currentIndexChanged, this, &FModelTemplates::changed);
    connect(m_lName, &QLineEdit::textChanged, this, &FModelTemplates::changed);
    connect(m_lType, &QLineEdit::textChanged, this, &FModelTemplates::changed);
    connect(m_text, &QPlainTextEdit::textChanged, this, &FModelTemplates::changed);
    connect(m_problems, &QListWidget::itemClicked, this, &FModelTemplates::problemChosen);
    connect(m_problems, &QListWidget::itemActivated, this, &FModelTemplates::problemChosen);
    connect(m_save, &QPushButton::clicked, this, &FModelTemplates::save);
    connect(m_history, &QPushButton::clicked, this, &FModelTemplates::showHistory);
    connect(m_close, &QPushButton::clicked, this, [this] { closeWindow(this); });
    setReadingOrder({m_filter1, m_filter2, m_lName, m_escape, m_encoding, m_lType, m_eol, m_filter3, m_text, m_file,
                     m_problems, m_save, m_history, m_close});
    new WindowKeys(this, m_save, [] { return false; });
    guarded(m_s, [this] { applyCaptions(m_s, this); });
    fillModels();
}

void FModelTemplates::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!m_focused) {
        m_focused = true;
        m_filter1->setFocus();
    }
}

void FModelTemplates::closeEvent(QCloseEvent* event)
{
    if (!mayLeave()) {
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

QString FModelTemplates::what() const
{
    return entryCode(m_filter1->currentText()) + QStringLiteral(" (") + m_filter2->currentText() + u')';
}

ModelTemplate FModelTemplates::edited() const
{
    ModelTemplate t;
    t.model = entryCode(m_filter1->currentText());
    t.kind = m_filter2->currentText();
    t.fileName = m_lName->text();
    t.escape = m_escape->currentText();
    t.encoding = m_encoding->currentText();
    t.eol = m_eol->currentText();
    t.contentType = m_lType->text();
    t.text = m_text->toPlainText();
    return t;
}

bool FModelTemplates::modified() const
{
    const ModelTemplate now = edited();
    return m_filter1->currentIndex() >= 0 && now != m_shown;
}

bool FModelTemplates::mayLeave()
{
    if (!modified())
        return true;
    return m_s.op.askYesNo(textOr(
        m_s, QStringLiteral("M813"), QStringLiteral("The changes to the template of $$ are not saved. Leave them?"),
        entryCode(m_filter1->itemText(m_model)) + QStringLiteral(" (") + m_filter2->itemText(m_kind) + u')'));
}

void FModelTemplates::fillModels()
{
    QList<ListEntry> models;
    guarded(m_s, [&] {
        for (const auto& [code, desc] : templateModels(m_s.db))
            models.append({code, desc});
    });
    m_filter1->clear();
    m_filter1->addItems(entryTexts(models));
    m_filter1->setCurrentIndex(models.isEmpty() ? -1 : 0);
    if (models.isEmpty()) {
        m_strip->setStatus(textOr(m_s, QStringLiteral("M816"),
                                  QStringLiteral("No model takes its files from a template: give a model the writer "
                                                 "module TEMPLATE in the editor first.")));
        for (QWidget* w : std::initializer_list<QWidget*>{m_save, m_history, m_text, m_lName, m_lType})
            w->setEnabled(false);
        return;
    }
    chooseTemplate();
}

void FModelTemplates::chooseTemplate()
{
    if (m_model >= 0 && (m_filter1->currentIndex() != m_model || m_filter2->currentIndex() != m_kind)) {
        // Another template chosen: the changes to this one are left only when the operator agrees.
        const int model = m_filter1->currentIndex();
        const int kind = m_filter2->currentIndex();
        m_filter1->setCurrentIndex(m_model);
        m_filter2->setCurrentIndex(m_kind);
        if (!mayLeave())
            return;
        m_filter1->setCurrentIndex(model);
        m_filter2->setCurrentIndex(kind);
    }
    m_model = m_filter1->currentIndex();
    m_kind = m_filter2->currentIndex();
    ModelTemplate t{entryCode(m_filter1->currentText()), m_filter2->currentText()};
    m_stored = false;
    guarded(m_s, [&] {
        if (const std::optional<ModelTemplate> stored = ModelTemplates::read(m_s.db, t.model, t.kind)) {
            t = *stored;
            m_stored = true;
        }
    });
    if (!m_stored)
        t.contentType = ModelTemplates::defaultContentType(t);
    m_loading = true;
    fillSubjects();
    showTemplate(t);
    m_loading = false;
    m_shown = edited();
    refreshNow();
}

void FModelTemplates::fillSubjects()
{
    const bool book = m_filter2->currentText() == u"phonebook";
    QList<ListEntry> subjects;
    guarded(m_s, [&] {
        const Recordset rows = m_s.db.executeBound(
            book ? QStringLiteral("SELECT DISTINCT P.CO_CODE, C.CO_DESC FROM PHONES P INNER JOIN COMPANY C ON "
                                  "C.CO_CODE = P.CO_CODE WHERE P.EQ_CODE = ? ORDER BY P.CO_CODE")
                 : QStringLiteral("SELECT CO_CODE, PH_CODE, PH_DESC FROM PHONES WHERE EQ_CODE = ? "
                                  "ORDER BY CO_CODE, PH_CODE"),
            {entryCode(m_filter1->currentText())});
        for (const QVariantList& row : rows.rows())
            subjects.append(
                book ? ListEntry{row.value(0).toString(), row.value(1).toString()}
                     : ListEntry{row.value(0).toString() + u'/' + row.value(1).toString(), row.value(2).toString()});
    });
    const QString before = entryCode(m_filter3->currentText());
    m_filter3->clear();
    m_filter3->addItems(entryTexts(subjects));
    const int kept =
        int(std::find_if(subjects.begin(), subjects.end(), [&](const ListEntry& e) { return e.code == before; }) -
            subjects.begin());
    m_filter3->setCurrentIndex(subjects.isEmpty() ? -1 : kept < subjects.size() ? kept : 0);
}

void FModelTemplates::showTemplate(const ModelTemplate& t)
{
    m_lName->setText(t.fileName);
    m_escape->setCurrentIndex(std::max(0, m_escape->findText(t.escape)));
    m_encoding->setCurrentIndex(std::max(0, m_encoding->findText(t.encoding)));
    m_eol->setCurrentIndex(std::max(0, m_eol->findText(t.eol)));
    m_lType->setText(t.contentType);
    m_text->setPlainText(t.text);
}

void FModelTemplates::changed()
{
    if (!m_loading)
        m_delay->start();
}

void FModelTemplates::refreshNow()
{
    m_delay->stop();
    refresh();
}

void FModelTemplates::refresh()
{
    m_problems->clear();
    m_file->clear();
    if (m_filter1->currentIndex() < 0)
        return;
    const ModelTemplate t = edited();
    QList<TemplateProblem> problems;
    QStringList notes;
    const bool ok = guarded(m_s, [&] {
        TemplateCheck check(m_s, t);
        problems = check.templateProblems();
        if (!check.parses() || m_filter3->currentIndex() < 0)
            return;
        const QString subject = entryCode(m_filter3->currentText());
        const TemplatePreview p = t.kind == u"phonebook"
                                      ? check.preview(subject)
                                      : check.preview(subject.section(u'/', 0, 0), subject.section(u'/', 1));
        m_file->setPlainText(p.text);
        QStringList known;
        for (const TemplateProblem& problem : std::as_const(problems))
            known.append(problem.located());
        for (const TemplateProblem& problem : p.problems) {
            if (!known.contains(problem.located()))
                problems.append(problem);
        }
        notes = p.notes;
    });
    if (!ok)
        return;
    for (const TemplateProblem& p : std::as_const(problems)) {
        auto* item = new QListWidgetItem(escapeControls(p.located()), m_problems);
        item->setData(kInRole, int(p.in));
        item->setData(kLineRole, p.at.line);
        item->setData(kColumnRole, p.at.column);
    }
    for (const QString& note : std::as_const(notes))
        new QListWidgetItem(escapeControls(note), m_problems);
    if (m_problems->count() > 0)
        m_problems->setCurrentRow(0);
    m_strip->setStatus(problems.isEmpty() ? textOr(m_s, QStringLiteral("M815"), QStringLiteral("No problem found."))
                                          : counted(m_s, problems.size()),
                       !problems.isEmpty());
}

void FModelTemplates::problemChosen(QListWidgetItem* item)
{
    if (!item || item->data(kLineRole).toInt() <= 0)
        return;
    const int line = item->data(kLineRole).toInt();
    const int column = item->data(kColumnRole).toInt();
    if (TemplateProblem::In(item->data(kInRole).toInt()) == TemplateProblem::In::File) {
        // The place is in the file made: the cursor goes there, in the pane that shows it.
        QTextCursor cursor(m_file->document()->findBlockByNumber(line - 1));
        cursor.movePosition(QTextCursor::Right, QTextCursor::MoveAnchor, std::max(0, column - 1));
        m_file->setTextCursor(cursor);
        m_file->centerCursor();
        m_file->setFocus();
        return;
    }
    m_text->moveTo(line, column);
    m_text->setFocus();
}

void FModelTemplates::save()
{
    if (m_filter1->currentIndex() < 0)
        return;
    guarded(m_s, [this] {
        if (!m_admin && !(m_admin = renameAllowed(m_s, m_prompt))) {
            m_s.op.showMessage(textOr(m_s, QStringLiteral("M805"),
                                      QStringLiteral("Saving or deleting a template needs the second password of the "
                                                     "settings table.")));
            return;
        }
        const ModelTemplate t = edited();
        const TemplateSave saved = saveTemplate(m_s, t);
        if (saved.refusal) {
            m_s.op.showMessage(*saved.refusal);
            return;
        }
        if (!saved.problems.isEmpty()) {
            refreshNow();
            m_strip->setStatus(textOr(m_s, QStringLiteral("M810"), QStringLiteral("The template was not saved: $$."),
                                      counted(m_s, saved.problems.size())),
                               true);
            return;
        }
        m_stored = true;
        m_shown = t;
        m_strip->setStatus(textOr(m_s, QStringLiteral("M804"), QStringLiteral("Template saved: $$"), what()));
    });
}

void FModelTemplates::showHistory()
{
    if (m_filter1->currentIndex() < 0)
        return;
    if (!m_historyWindow)
        m_historyWindow = new FHistory(m_s, this);
    m_historyWindow->showRecord(QLatin1String(kTemplatesTable),
                                historyKey({entryCode(m_filter1->currentText()), m_filter2->currentText()}));
}

} // namespace vocaset
