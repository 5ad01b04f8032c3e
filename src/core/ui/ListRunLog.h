#pragma once

#include "Interaction.h"

class QListWidget;
class QProgressBar;

namespace vocaset {

// A run window's log: each line is appended to the list, the last line selected, and the user
// interface given a turn; progress goes to the bar beside the list.
class ListRunLog final : public RunLog
{
public:
    ListRunLog(QListWidget* list, QProgressBar* bar) : m_list(list), m_bar(bar) {}
    void append(const QString& line) override;
    void progress(int done, int total) override;

private:
    QListWidget* m_list;
    QProgressBar* m_bar;
};

} // namespace vocaset
