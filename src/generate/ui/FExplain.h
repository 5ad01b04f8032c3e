#pragma once

#include <QWidget>

#include "GenerationChoices.h"
#include "Session.h"

class QLabel;
class QPushButton;
class QTableWidget;

namespace vocaset {

// Where each value of one telephone's file comes from: one row per parameter with its code,
// description, value, the level that gave it and the value before its place-holders were expanded.
// Opened from the generation window's log; one instance shows whichever telephone was asked last.
class FExplain final : public QWidget
{
    Q_OBJECT

public:
    explicit FExplain(Session& session, QWidget* parent = nullptr);

    // Fills the table for the telephone at the levels given and brings the window forward.
    void showTelephone(const QString& company, const QString& phone, const LevelChoice& levels);

    QTableWidget* table() const { return m_values; }

private:
    Session& m_s;
    QLabel* m_phone;
    QTableWidget* m_values;
    QLabel* m_verdict;
    QPushButton* m_close;
    QString m_title;
    bool m_placed = false;
};

} // namespace vocaset
