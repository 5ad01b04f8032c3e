#include "RecordListModel.h"

#include <algorithm>
#include <numeric>

#include "RecordList.h"
#include "SecretParameters.h"

namespace vocaset {

void RecordListModel::setHeaders(const QStringList& captions)
{
    beginResetModel();
    m_headers = QStringList{QString()} + captions;
    m_rows.clear();
    m_keys.clear();
    m_placeholder = false;
    endResetModel();
}

void RecordListModel::setRecords(QList<QVariantList> rows, QList<int> keys, bool placeholderWhenEmpty)
{
    beginResetModel();
    m_rows = std::move(rows);
    m_keys = std::move(keys);
    m_placeholder = placeholderWhenEmpty && m_rows.isEmpty();
    endResetModel();
}

void RecordListModel::clear()
{
    setRecords({}, {}, false);
}

QStringList RecordListModel::cells(int row) const
{
    return cellTexts(m_rows.value(row));
}

void RecordListModel::setCells(int row, const QStringList& cells)
{
    if (row < 0 || row >= m_rows.size())
        return;
    m_rows[row] = QVariantList(cells.begin(), cells.end());
    Q_EMIT dataChanged(index(row, 0), index(row, columnCount() - 1));
}

void RecordListModel::removeRecord(int row)
{
    if (row < 0 || row >= m_rows.size())
        return;
    if (m_rows.size() == 1) {
        setRecords({}, m_keys, true);
        return;
    }
    beginRemoveRows({}, row, row);
    m_rows.removeAt(row);
    endRemoveRows();
}

void RecordListModel::sortBy(int column, bool ascending)
{
    if (m_rows.size() < 2)
        return;
    // Sort an order of row numbers on texts folded once, rather than folding them per comparison.
    QStringList texts;
    texts.reserve(m_rows.size());
    for (int r = 0; r < m_rows.size(); ++r)
        texts.append(shown(r, column).toCaseFolded());
    QList<int> order(m_rows.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&](int a, int b) { return ascending ? texts[a] < texts[b] : texts[b] < texts[a]; });
    beginResetModel();
    QList<QVariantList> sorted;
    sorted.reserve(m_rows.size());
    for (int r : order)
        sorted.append(std::move(m_rows[r]));
    m_rows = std::move(sorted);
    endResetModel();
}

int RecordListModel::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid())
        return 0;
    return int(m_rows.size()) + (m_placeholder ? 1 : 0);
}

int RecordListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_headers.size());
}

QString RecordListModel::text(int row, int column) const
{
    if (column == 0)
        return rowKeyText(m_rows.value(row), m_keys);
    return cellText(m_rows.value(row).value(column - 1));
}

// A secret is sorted as it is shown, so the order tells nothing of it either.
QString RecordListModel::shown(int row, int column) const
{
    if (m_secret && m_masked.contains(column - 1) && row < m_rows.size() && m_secret(m_rows[row]))
        return SecretParameters::kMask;
    return text(row, column);
}

void RecordListModel::maskCells(QList<int> columns, std::function<bool(const QVariantList& row)> secret)
{
    beginResetModel();
    m_masked = std::move(columns);
    m_secret = std::move(secret);
    endResetModel();
}

QVariant RecordListModel::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid())
        return {};
    return shown(index.row(), index.column());
}

QVariant RecordListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return m_headers.value(section);
    return {};
}

} // namespace vocaset
