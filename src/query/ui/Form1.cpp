#include "Form1.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QSignalBlocker>
#include <QStandardPaths>
#include <QTreeView>
#include <QUrl>
#include <QVBoxLayout>

#include "DropDownCombo.h"
#include "MenuRights.h"
#include "Messages.h"
#include "ProgressStrip.h"
#include "QueryExport.h"
#include "WindowConventions.h"

namespace vocaset {
namespace {

// Rows of the field grid per column of rows: 21 fields make three columns of seven.
constexpr int kRowsPerColumn = 7;

QString indexed(const char* name, int i)
{
    return QLatin1String(name) + QString::number(i);
}

// The run's progress goes to the strip; it has no log lines.
class StripLog final : public RunLog
{
public:
    explicit StripLog(ProgressStrip* strip) : m_strip(strip) {}
    void append(const QString&) override {}
    void progress(int done, int total) override { m_strip->setProgress(done, total); }

private:
    ProgressStrip* m_strip;
};

} // namespace

Form1::Form1(QueryTool& tool, QWidget* parent)
    : QWidget(parent), m_tool(tool), m_s(tool.session()), m_cExec(new QPushButton(this)),
      m_btExcel(new QPushButton(this)), m_nbEnr(new QLabel(this)), m_lv(new QTreeView(this)),
      m_model(new ResultModel(this)), m_strip(new ProgressStrip(tool.session(), this))
{
    const QuerySetup& setup = m_tool.setup();
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(setup.caption);

    auto* fields = new QGridLayout;
    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    QList<QWidget*> order;
    for (int i = 0; i < kRows; ++i) {
        auto* ck = new QCheckBox(this);
        auto* cb = new DropDownCombo(this);
        auto* bt = new QPushButton(QStringLiteral("="), this);
        ck->setObjectName(indexed("CkField", i));
        cb->setObjectName(indexed("CbField", i));
        bt->setObjectName(indexed("BtField", i));
        cb->setEditable(true);
        cb->setInsertPolicy(QComboBox::NoInsert);
        cb->setMinimumContentsLength(16);
        cb->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        bt->setFont(fixed);
        bt->setFixedWidth(QFontMetrics(fixed).horizontalAdvance(QStringLiteral("<>")) * 2);
        const int row = i % kRowsPerColumn;
        const int column = i / kRowsPerColumn * 3;
        fields->addWidget(ck, row, column);
        fields->addWidget(cb, row, column + 1);
        fields->addWidget(bt, row, column + 2);
        m_ckField[i] = ck;
        m_cbField[i] = cb;
        m_btField[i] = bt;

        const bool used = i < setup.fields.size();
        const bool filter = used && setup.fields[i].filterable();
        ck->setVisible(used);
        ck->setEnabled(used);
        cb->setVisible(filter);
        cb->setEnabled(filter);
        bt->setVisible(filter);
        bt->setEnabled(false);
        if (used) {
            ck->setText(setup.fields[i].caption);
            order << ck;
        }
        if (filter) {
            cb->addItem(setup.allText);
            cb->setCurrentIndex(0);
            m_rows[i].reset(setup.allText);
            order << cb << bt;
        }
        connect(cb, &DropDownCombo::aboutToShowPopup, this, [this, i] { fillList(i); });
        connect(cb, &QComboBox::editTextChanged, this, [this, i] { textChanged(i); });
        connect(cb, &QComboBox::activated, this, [this, i](int entry) { entryClicked(i, entry); });
        connect(bt, &QPushButton::clicked, this, [this, i] { buttonClicked(i); });
    }
    for (int block = 0; block < 3; ++block)
        fields->setColumnStretch(block * 3 + 1, 1);

    m_cExec->setObjectName(QStringLiteral("CExec"));
    m_cExec->setText(setup.execCaption);
    m_btExcel->setObjectName(QStringLiteral("BtExcel"));
    m_btExcel->setText(setup.exportCaption);
    m_btExcel->setEnabled(false);
    m_nbEnr->setObjectName(QStringLiteral("NbEnr"));
    m_nbEnr->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_cExec);
    buttons->addWidget(m_nbEnr);
    buttons->addStretch();
    buttons->addWidget(m_btExcel);

    m_lv->setObjectName(QStringLiteral("Lv"));
    m_lv->setModel(m_model);
    m_lv->setRootIsDecorated(false);
    m_lv->setUniformRowHeights(true);
    m_lv->setItemsExpandable(false);
    m_lv->setAllColumnsShowFocus(true);
    m_lv->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_lv->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_lv->setMinimumHeight(240);
    m_lv->header()->setSectionsClickable(true);
    m_lv->header()->setStretchLastSection(false);
    connect(m_lv->header(), &QHeaderView::sectionClicked, this, &Form1::sortBy);
    // Column 0 holds each row's position in the result, with no width.
    m_lv->setColumnHidden(0, true);
    connect(m_model, &QAbstractItemModel::modelReset, this, [this] { m_lv->setColumnHidden(0, true); });

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addLayout(buttons);
    layout->addWidget(m_lv, 1);
    layout->addWidget(m_strip);
    resize(qMax(sizeHint().width(), 640), sizeHint().height() + 200);

    order << m_cExec << m_btExcel << m_lv;
    setReadingOrder(order);
    addControlMnemonics(this);
    new WindowKeys(this, m_cExec, [this] { return m_running; });
    connect(m_cExec, &QPushButton::clicked, this, &Form1::runQuery);
    connect(m_btExcel, &QPushButton::clicked, this, &Form1::exportResult);

    m_exportFolder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    chooseExportFile = [this](const QString& proposed) {
        return QFileDialog::getSaveFileName(this, withoutMnemonic(m_btExcel->text()), proposed,
                                            QStringLiteral("*.xlsx"));
    };
    openLink = [](const QUrl& link) { return QDesktopServices::openUrl(link); };
    // F1: the manual beside the program, at the query tool's section.
    auto* help = new QShortcut(QKeySequence::HelpContents, this);
    connect(help, &QShortcut::activated, this, [this] {
        QUrl manual = QUrl::fromLocalFile(manualFile(QCoreApplication::applicationDirPath(), m_s.language));
        manual.setFragment(QStringLiteral("lenvik"));
        if (showManual)
            showManual(manual);
        else if (!openLink(manual))
            ShowMessage(m_s, QStringLiteral("M329"), manual.toLocalFile());
    });
    for (QWidget* w : std::as_const(order)) {
        if (qobject_cast<DropDownCombo*>(w)) {
            w->setFocus();
            break;
        }
    }
}

Form1::~Form1() = default;

void Form1::closeEvent(QCloseEvent* event)
{
    if (!m_running) {
        event->accept();
        return;
    }
    // Rows are still being read into the list.
    event->ignore();
    if (confirmAbandon(m_s)) {
        m_closeAfterRun = true;
        m_tool.requestStop();
    }
}

void Form1::showButton(int i)
{
    m_btField[i]->setEnabled(m_rows[i].buttonEnabled());
    m_btField[i]->setText(m_rows[i].op());
}

void Form1::fillList(int i)
{
    DropDownCombo* cb = m_cbField[i];
    if (cb->count() != 1 || i >= m_tool.setup().fields.size() || !m_tool.setup().fields[i].filterable())
        return;
    QStringList values;
    if (!guarded(m_s, [&] { values = m_tool.filterValues(i); }))
        return;
    // Text typed before the list was first opened stays.
    const bool typed = m_rows[i].entry() < 0;
    const QString text = cb->currentText();
    {
        const QSignalBlocker block(cb);
        cb->clear();
        cb->addItem(m_tool.setup().allText);
        cb->addItems(values);
        cb->setCurrentIndex(0);
    }
    m_rows[i].reset(m_tool.setup().allText);
    if (typed)
        cb->setEditText(text);
    showButton(i);
}

void Form1::textChanged(int i)
{
    const DropDownCombo* cb = m_cbField[i];
    // Typing leaves the combo's index on the last entry picked; the text tells whether it still shows it.
    int entry = cb->currentIndex();
    if (entry < 0 || cb->itemText(entry) != cb->currentText())
        entry = -1;
    m_rows[i].textChanged(cb->currentText(), entry);
    showButton(i);
}

void Form1::entryClicked(int i, int entry)
{
    m_rows[i].entryClicked(entry);
    showButton(i);
}

void Form1::buttonClicked(int i)
{
    m_rows[i].buttonClicked();
    showButton(i);
}

void Form1::runQuery()
{
    if (m_running)
        return;
    const RunFocus focus(this, m_cExec);
    m_running = true;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    m_cExec->setEnabled(false);
    m_btExcel->setEnabled(false);
    m_nbEnr->clear();
    m_model->clear();
    m_lv->header()->setSortIndicatorShown(false);
    m_strip->start();

    const int fieldCount = int(m_tool.setup().fields.size());
    QList<FieldChoice> choices;
    for (int i = 0; i < fieldCount; ++i)
        choices.append(m_rows[i].choice(m_ckField[i]->isChecked()));
    StripLog log(m_strip);
    QueryResult result;
    const bool ok = guarded(m_s, [&] { result = m_tool.run(choices, log); });
    for (int i = 0; i < fieldCount; ++i)
        m_ckField[i]->setChecked(choices[i].checked);
    if (ok) {
        const bool stopped = result.stopped;
        m_model->setResult(std::move(result));
        fitColumns();
        m_nbEnr->setText(QString::number(m_model->rowCount()));
        m_strip->finish(textOr(m_s, QStringLiteral("M325"), QStringLiteral("$$ row(s) found."),
                               QString::number(m_model->rowCount())),
                        stopped);
    } else {
        m_strip->finish(textOr(m_s, QStringLiteral("M326"), QStringLiteral("The query was refused.")), true);
    }
    m_cExec->setEnabled(true);
    m_btExcel->setVisible(true);
    m_btExcel->setEnabled(ok && m_model->rowCount() > 0);
    QApplication::restoreOverrideCursor();
    m_running = false;
    if (m_closeAfterRun)
        closeWindow(this);
}

void Form1::fitColumns()
{
    // Widths as the list has always had them: the caption plus 200 twips, widened to any cell's
    // text plus 150 twips.
    const int dpi = logicalDpiX();
    const auto twips = [dpi](int t) { return t * dpi / 1440; };
    const QFontMetrics header(m_lv->header()->font());
    const QFontMetrics cells(m_lv->font());
    const int widest = cells.maxWidth();
    const QueryResult& r = m_model->result();
    for (int c = 0; c < r.columnCount(); ++c) {
        int width = header.horizontalAdvance(r.fields[c].caption) + twips(200);
        for (int row = 0; row < r.rowCount(); ++row) {
            const QString& text = r.text(row, c);
            // A text that cannot be wider than the column is not measured: this keeps a long list fast.
            if (text.size() * widest + twips(150) <= width)
                continue;
            width = qMax(width, cells.horizontalAdvance(text) + twips(150));
        }
        m_lv->setColumnWidth(c + 1, width);
    }
}

void Form1::sortBy(int column)
{
    if (column <= 0 || m_running)
        return;
    m_sort.click(column);
    m_model->sort(m_sort.column(), m_sort.order());
    m_lv->header()->setSortIndicator(m_sort.column(), m_sort.order());
    m_lv->header()->setSortIndicatorShown(true);
}

void Form1::exportResult()
{
    if (m_model->rowCount() == 0)
        return;
    const QString path = chooseExportFile(m_exportFolder + u'/' + m_tool.setup().program + QStringLiteral(".xlsx"));
    if (path.isEmpty())
        return;
    m_exportFolder = QFileInfo(path).absolutePath();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    QString error;
    const bool written = exportList(*m_model, path, &error);
    QApplication::restoreOverrideCursor();
    if (!written) {
        m_s.op.showError(
            textOr(m_s, QStringLiteral("M327"), QStringLiteral("The spreadsheet was not written: $$"), error));
        return;
    }
    m_strip->setStatus(textOr(m_s, QStringLiteral("M328"), QStringLiteral("Written: $$"), path));
    if (!openLink(QUrl::fromLocalFile(path)))
        ShowMessage(m_s, QStringLiteral("M329"), path);
}

} // namespace vocaset
