#pragma once

#include <QWidget>

#include "Session.h"

class QLabel;
class QPushButton;
class QTableWidget;

namespace vocaset {

// The recorded changes of one record, newest first: when, who, through what, and each column's old
// and new value. Opened from the editor's record menu; one instance shows the record asked last.
class FHistory final : public QWidget
{
    Q_OBJECT

public:
    explicit FHistory(Session& session, QWidget* parent = nullptr);

    // Lists the changes of the record of table whose key is key (as the history writes it) and
    // brings the window forward.
    void showRecord(const QString& table, const QString& key);

    QTableWidget* table() const { return m_changes; }

private:
    Session& m_s;
    QLabel* m_record;
    QTableWidget* m_changes;
    QLabel* m_summary;
    QPushButton* m_close;
    QString m_title;
    bool m_placed = false;
};

} // namespace vocaset
