#include "RunLogView.h"

#include <QAbstractListModel>
#include <QScrollBar>
#include <QTimer>

#include "ProgressStrip.h"
#include "TextFile.h"
#include "UiYield.h"

namespace vocaset {
namespace {

// Lines are shown at most this often: each batch repaints the list, which costs a run more than
// its lines when done at every turn of the event loop.
constexpr qint64 kBatchMs = 100;

} // namespace

class RunLogModel final : public QAbstractListModel
{
public:
    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : int(lines.size()); }
    QVariant data(const QModelIndex& index, int role) const override
    {
        if (role != Qt::DisplayRole || !index.isValid() || index.row() >= lines.size())
            return {};
        return lines.at(index.row());
    }
    void add(QStringList& batch)
    {
        const int first = int(lines.size());
        beginInsertRows({}, first, first + int(batch.size()) - 1);
        lines.append(std::move(batch));
        endInsertRows();
        batch = QStringList();
    }
    void reset()
    {
        beginResetModel();
        lines.clear();
        endResetModel();
    }

    QStringList lines;
};

RunLogView::RunLogView(QWidget* parent) : QListView(parent), m_model(new RunLogModel(this))
{
    setModel(m_model);
    // Uniform rows are laid out at once whatever their number; a batched layout would leave the
    // rows scrolled to blank until its later passes reach them.
    setUniformItemSizes(true);
    setLayoutMode(QListView::SinglePass);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setTextElideMode(Qt::ElideRight);
    // The log follows the run while its end is in view; scrolled up to read, it stays put.
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this,
            [this](int value) { m_follow = value >= verticalScrollBar()->maximum(); });
}

RunLogView::~RunLogView() = default;

void RunLogView::append(const QString& line)
{
    m_pending.append(escapeControls(line));
    if (!m_flushQueued) {
        m_flushQueued = true;
        const qint64 since = m_lastFlush.isValid() ? m_lastFlush.elapsed() : kBatchMs;
        QTimer::singleShot(int(qMax<qint64>(0, kBatchMs - since)), this, &RunLogView::flush);
    }
    giveUiTurn();
}

void RunLogView::progress(int done, int total)
{
    if (m_strip)
        m_strip->setProgress(done, total);
}

void RunLogView::flush()
{
    m_flushQueued = false;
    if (m_pending.isEmpty())
        return;
    m_lastFlush.start();
    const bool follow = m_follow;
    m_model->add(m_pending);
    if (follow)
        showLast();
}

void RunLogView::showEnd()
{
    flush();
    showLast();
}

void RunLogView::showLast()
{
    const QModelIndex last = m_model->index(m_model->rowCount() - 1);
    if (!last.isValid())
        return;
    setCurrentIndex(last);
    scrollToBottom();
    m_follow = true;
}

void RunLogView::clear()
{
    m_pending.clear();
    m_model->reset();
    m_follow = true;
}

int RunLogView::lineCount() const
{
    return int(m_model->lines.size() + m_pending.size());
}

QString RunLogView::line(int row) const
{
    const qsizetype shown = m_model->lines.size();
    return row < shown ? m_model->lines.value(row) : m_pending.value(row - shown);
}

QStringList RunLogView::lines() const
{
    return m_model->lines + m_pending;
}

int RunLogView::currentLine() const
{
    if (!m_pending.isEmpty())
        return lineCount() - 1;
    return currentIndex().isValid() ? currentIndex().row() : -1;
}

} // namespace vocaset
