#include "ListRunLog.h"

#include <QListWidget>
#include <QProgressBar>

#include "UiYield.h"

namespace vocaset {

void ListRunLog::append(const QString& line)
{
    m_list->addItem(line);
    m_list->setCurrentRow(m_list->count() - 1);
    giveUiTurn();
}

void ListRunLog::progress(int done, int total)
{
    if (!m_bar)
        return;
    m_bar->setMaximum(qMax(total, 1));
    m_bar->setValue(done);
}

} // namespace vocaset
