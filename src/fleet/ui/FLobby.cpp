#include "FLobby.h"

#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "Messages.h"
#include "SelectionList.h"
#include "WindowConventions.h"

namespace vocaset {

namespace {

struct ColumnText
{
    const char* key;
    const char* english;
};
constexpr ColumnText kColumns[] = {
    {"FLOBBY_COL_MAC", "MAC"},          {"FLOBBY_COL_FILE", "File asked"},   {"FLOBBY_COL_FIRST", "First seen (UTC)"},
    {"FLOBBY_COL_LAST", "Last seen (UTC)"}, {"FLOBBY_COL_COUNT", "Requests"}, {"FLOBBY_COL_CLIENT", "Address"},
    {"FLOBBY_COL_MODEL", "Model guessed"}, {"FLOBBY_COL_MAKER", "Maker"},    {"FLOBBY_COL_AGENT", "User agent"},
};

} // namespace

FLobby::FLobby(Session& session, QWidget* parent)
    : QWidget(parent), m_s(session), m_list(new QTreeWidget(this)), m_counts(new QLabel(this)),
      m_refresh(new QPushButton(QStringLiteral("Refresh"), this)),
      m_claim(new QPushButton(QStringLiteral("Claim\u2026"), this)),
      m_forget(new QPushButton(QStringLiteral("Forget"), this)), m_cancel(new QPushButton(QStringLiteral("Cancel"), this))
{
    setObjectName(QStringLiteral("FLobby"));
    setWindowTitle(QStringLiteral("Vocaset New telephones"));
    m_list->setObjectName(QStringLiteral("List1"));
    m_counts->setObjectName(QStringLiteral("Counts"));
    m_refresh->setObjectName(QStringLiteral("Refresh"));
    m_claim->setObjectName(QStringLiteral("Claim"));
    m_forget->setObjectName(QStringLiteral("Forget"));
    m_cancel->setObjectName(QStringLiteral("Cancel"));
    QStringList headers;
    for (const ColumnText& c : kColumns)
        headers.append(textOr(m_s, QLatin1String(c.key), QLatin1String(c.english)));
    m_list->setHeaderLabels(headers);
    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true);
    m_list->setSortingEnabled(true);
    m_list->sortByColumn(Last, Qt::DescendingOrder); // newest first
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);

    auto* grid = new QGridLayout(this);
    grid->addWidget(m_list, 0, 0);
    grid->addWidget(m_counts, 1, 0);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_refresh);
    buttons->addStretch();
    buttons->addWidget(m_claim);
    buttons->addWidget(m_forget);
    buttons->addWidget(m_cancel);
    grid->addLayout(buttons, 2, 0);
    resize(860, 500);
    setReadingOrder({m_list, m_refresh, m_claim, m_forget, m_cancel});
    new WindowKeys(this, m_claim, [] { return false; });

    connect(m_refresh, &QPushButton::clicked, this, &FLobby::refresh);
    connect(m_claim, &QPushButton::clicked, this, &FLobby::claim);
    connect(m_forget, &QPushButton::clicked, this, &FLobby::forget);
    connect(m_cancel, &QPushButton::clicked, this, [this] { closeWindow(this); });
    connect(m_list, &QTreeWidget::itemSelectionChanged, this, [this] {
        m_claim->setEnabled(!chosenMacs().isEmpty());
        m_forget->setEnabled(!chosenMacs().isEmpty());
    });
    guarded(m_s, [this] { applyCaptions(m_s, this); });
    refresh();
}

void FLobby::recordsChanged(const QString&)
{
    refresh();
}

void FLobby::refresh()
{
    QList<LobbyTable::Row> rows;
    guarded(m_s, [&] { rows = LobbyTable::rows(m_s.db); });
    m_list->setSortingEnabled(false);
    m_list->clear();
    for (const LobbyTable::Row& r : std::as_const(rows)) {
        auto* item = new QTreeWidgetItem(
            QStringList{r.mac, r.file, r.first, r.last, {}, r.client, r.model, r.maker, r.agent});
        item->setData(Requests, Qt::DisplayRole, r.count); // sorted as a number
        m_list->addTopLevelItem(item);
    }
    m_list->setSortingEnabled(true);
    for (int c = 0; c < Columns; ++c)
        m_list->resizeColumnToContents(c);
    m_counts->setText(textOr(m_s, QStringLiteral("FLOBBY_COUNT"), QStringLiteral("%1 new telephone(s)")).arg(rows.size()));
    m_claim->setEnabled(false);
    m_forget->setEnabled(false);
}

QStringList FLobby::chosenMacs() const
{
    QStringList macs;
    for (const QTreeWidgetItem* item : m_list->selectedItems())
        macs.append(item->text(Mac));
    macs.sort();
    return macs;
}

void FLobby::claim()
{
    const QStringList macs = chosenMacs();
    if (macs.isEmpty())
        return;
    // The guessed model of the first chosen telephone comes first.
    QString guessed;
    for (const QTreeWidgetItem* item : m_list->selectedItems()) {
        if (!item->text(Model).isEmpty()) {
            guessed = item->text(Model);
            break;
        }
    }
    QDialog ask(this);
    ask.setObjectName(QStringLiteral("FLobbyClaim"));
    auto* company = new QComboBox(&ask);
    auto* model = new QComboBox(&ask);
    auto* first = new QLineEdit(&ask);
    auto* plan = new QPlainTextEdit(&ask);
    company->setObjectName(QStringLiteral("Company"));
    model->setObjectName(QStringLiteral("Model"));
    first->setObjectName(QStringLiteral("FirstCode"));
    plan->setObjectName(QStringLiteral("Plan"));
    plan->setReadOnly(true);
    first->setPlaceholderText(textOr(m_s, QStringLiteral("FLOBBY_LOWESTFREE"), QStringLiteral("lowest free code")));
    auto* form = new QFormLayout;
    auto* companyLabel = new QLabel(QStringLiteral("Company"), &ask);
    auto* modelLabel = new QLabel(QStringLiteral("Model"), &ask);
    auto* firstLabel = new QLabel(QStringLiteral("First code"), &ask);
    companyLabel->setObjectName(QStringLiteral("CLab"));
    modelLabel->setObjectName(QStringLiteral("ELab"));
    firstLabel->setObjectName(QStringLiteral("FLab"));
    companyLabel->setBuddy(company);
    modelLabel->setBuddy(model);
    firstLabel->setBuddy(first);
    form->addRow(companyLabel, company);
    form->addRow(modelLabel, model);
    form->addRow(firstLabel, first);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &ask);
    auto* layout = new QVBoxLayout(&ask);
    layout->addLayout(form);
    layout->addWidget(plan);
    layout->addWidget(buttons);
    ask.resize(560, 360);
    connect(buttons, &QDialogButtonBox::accepted, &ask, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &ask, &QDialog::reject);
    guarded(m_s, [&] {
        company->addItems(entryTexts(companyEntries(m_s.db)));
        const QList<ListEntry> models =
            listEntries(m_s.db, QStringLiteral("SELECT EQ_CODE, EQ_DESC FROM EQUIPMENT ORDER BY EQ_CODE"));
        QStringList shown = entryTexts(models);
        for (qsizetype i = 0; i < models.size(); ++i) {
            if (models[i].code == guessed)
                shown.move(i, 0);
        }
        model->addItems(shown);
        applyCaptions(m_s, &ask, QStringLiteral("FLOBBY"));
        ask.setWindowTitle(textOr(m_s, QStringLiteral("FLOBBY_CLAIMTITLE"), QStringLiteral("Claim new telephones")));
    });
    const auto request = [&](bool dryRun) {
        return ClaimRequest{macs, entryCode(company->currentText()), entryCode(model->currentText()),
                            first->text().trimmed(), {}, dryRun};
    };
    // What the claim would create, or why not, as the choices change.
    const auto preview = [&] {
        guarded(m_s, [&] {
            const ClaimOutcome would = claimArrivals(m_s, request(true));
            plan->setPlainText((would.refused.isEmpty() ? would.created : would.refused).join(u'\n'));
            buttons->button(QDialogButtonBox::Ok)->setEnabled(would.refused.isEmpty());
        });
    };
    connect(company, &QComboBox::currentIndexChanged, &ask, preview);
    connect(model, &QComboBox::currentIndexChanged, &ask, preview);
    connect(first, &QLineEdit::textChanged, &ask, preview);
    preview();
    company->setFocus();
    if (ask.exec() != QDialog::Accepted)
        return;
    ClaimOutcome done;
    guarded(m_s, [&] { done = claimArrivals(m_s, request(false)); });
    if (!done.refused.isEmpty())
        m_s.op.showMessage(done.refused.join(u'\n'));
    refresh();
    tellRecordsChanged(QStringLiteral("PHONES"));
}

void FLobby::forget()
{
    const QStringList macs = chosenMacs();
    if (macs.isEmpty() ||
        !m_s.op.askYesNo(textOr(m_s, QStringLiteral("FLOBBY_FORGETASK"), QStringLiteral("Forget %1 new telephone(s)?"))
                             .arg(macs.size())))
        return;
    guarded(m_s, [&] { forgetArrivals(m_s.db, macs); });
    refresh();
}

} // namespace vocaset
