#pragma once

#include <QAbstractTableModel>

#include "QueryResult.h"

namespace vocaset {

// Which column a header click sorts by: the same column again reverses the order, another one
// sorts ascending. Kept from one query to the next.
class SortState
{
public:
    void click(int column);
    int column() const { return m_column; }
    Qt::SortOrder order() const { return m_order; }

private:
    int m_column = 0;
    Qt::SortOrder m_order = Qt::AscendingOrder;
};

// The result list's rows: column 0 holds each row's position in the result (shown with no width),
// then one column per selected field, numbers right-aligned. Sorting reorders the rows shown, never
// the result; rowAt() maps a shown row back to the result's row.
class ResultModel final : public QAbstractTableModel
{
    Q_OBJECT

public:
    using QAbstractTableModel::QAbstractTableModel;

    void setResult(QueryResult result);
    void clear() { setResult({}); }
    const QueryResult& result() const { return m_result; }
    int rowAt(int shownRow) const { return m_order.at(shownRow); }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    // Numbers compare as numbers, dates and texts as shown (letter case aside); empty cells first.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

private:
    QueryResult m_result;
    QList<int> m_order;
};

} // namespace vocaset
