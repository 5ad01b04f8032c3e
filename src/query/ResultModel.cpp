#include "ResultModel.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace vocaset {

void SortState::click(int column)
{
    if (column == m_column) {
        m_order = m_order == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder;
    } else {
        m_column = column;
        m_order = Qt::AscendingOrder;
    }
}

void ResultModel::setResult(QueryResult result)
{
    beginResetModel();
    m_result = std::move(result);
    m_order.resize(m_result.rowCount());
    std::iota(m_order.begin(), m_order.end(), 0);
    endResetModel();
}

int ResultModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_order.size());
}

int ResultModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_result.columnCount() + 1;
}

QVariant ResultModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_order.size())
        return {};
    const int row = m_order.at(index.row());
    if (role == Qt::DisplayRole)
        return index.column() == 0 ? QString::number(row + 1) : m_result.text(row, index.column() - 1);
    if (role == Qt::TextAlignmentRole && index.column() > 0) {
        const bool number = m_result.fields.at(index.column() - 1).dataClass == DataClass::Number;
        return int((number ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
    }
    return {};
}

QVariant ResultModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section <= 0 || section > m_result.columnCount())
        return {};
    if (role == Qt::DisplayRole)
        return m_result.fields.at(section - 1).caption;
    if (role == Qt::TextAlignmentRole) {
        const bool number = m_result.fields.at(section - 1).dataClass == DataClass::Number;
        return int((number ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
    }
    return {};
}

void ResultModel::sort(int column, Qt::SortOrder order)
{
    if (column <= 0 || column > m_result.columnCount())
        return;
    const int c = column - 1;
    const int rows = m_result.rowCount();
    // A column whose every value is a number sorts by number: "1 234.50" after "999.00", 10 after 9.
    QList<double> numbers(rows);
    bool numeric = true;
    for (int r = 0; r < rows && numeric; ++r) {
        const QVariant v = m_result.value(r, c);
        if (v.isNull()) {
            numbers[r] = -HUGE_VAL;
            continue;
        }
        const int type = v.typeId();
        const bool isNumber = type == QMetaType::Int || type == QMetaType::LongLong || type == QMetaType::UInt ||
                              type == QMetaType::ULongLong || type == QMetaType::Double;
        bool ok = isNumber;
        if (!isNumber && m_result.fields.at(c).dataClass == DataClass::Number)
            numbers[r] = v.toDouble(&ok);
        else
            numbers[r] = v.toDouble();
        numeric = ok;
    }
    const auto less = [&](int a, int b) {
        if (numeric)
            return numbers[a] < numbers[b];
        const QString& x = m_result.text(a, c);
        const QString& y = m_result.text(b, c);
        const int folded = x.compare(y, Qt::CaseInsensitive);
        return folded != 0 ? folded < 0 : x < y;
    };
    Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    QList<int> oldOrder = m_order;
    std::stable_sort(m_order.begin(), m_order.end(),
                     [&](int a, int b) { return order == Qt::AscendingOrder ? less(a, b) : less(b, a); });
    // Keep the selection on the rows it was on.
    QList<int> shownAt(rows);
    for (int i = 0; i < rows; ++i)
        shownAt[m_order[i]] = i;
    QModelIndexList after;
    for (const QModelIndex& i : before)
        after.append(index(shownAt[oldOrder[i.row()]], i.column()));
    changePersistentIndexList(before, after);
    Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

} // namespace vocaset
