#pragma once

#include <functional>

#include <QAbstractTableModel>
#include <QList>
#include <QStringList>

namespace vocaset {

// The rows of the editor's record list. Column 0 holds each row's hidden key text (its key values
// joined), column k the text of table column k. An empty listing shows one placeholder row with
// no text, so the record menu can still offer New.
class RecordListModel final : public QAbstractTableModel
{
    Q_OBJECT

public:
    using QAbstractTableModel::QAbstractTableModel;

    // The captions of the table columns; the hidden key column has none. Drops every row.
    void setHeaders(const QStringList& captions);
    // Takes the listed rows; keys are the positions of the key columns in a row.
    void setRecords(QList<QVariantList> rows, QList<int> keys, bool placeholderWhenEmpty);
    void clear();

    bool hasRecords() const { return !m_rows.isEmpty(); }
    int recordCount() const { return int(m_rows.size()); }
    QStringList cells(int row) const;
    void setCells(int row, const QStringList& cells);
    // Removes a record; the last one leaves the placeholder row.
    void removeRecord(int row);
    // Sorts by the texts of one column (0 is the key text), ignoring case; equal texts keep their order.
    void sortBy(int column, bool ascending);
    // Cells of these table columns read "***" in rows the test finds secret; cells() still gives them.
    void maskCells(QList<int> columns, std::function<bool(const QVariantList& row)> secret);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    QString text(int row, int column) const;
    QString shown(int row, int column) const;

    QStringList m_headers;
    QList<QVariantList> m_rows;
    QList<int> m_keys;
    QList<int> m_masked;
    std::function<bool(const QVariantList&)> m_secret;
    bool m_placeholder = false;
};

} // namespace vocaset
