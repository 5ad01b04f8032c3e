#include "RecordLists.h"

#include <QComboBox>
#include <QSignalBlocker>

#include "SelectionList.h"

namespace vocaset {

bool refillChain(const QList<QComboBox*>& lists, const std::function<QStringList(int list)>& entries)
{
    for (qsizetype i = 0; i < lists.size(); ++i) {
        QComboBox* list = lists[i];
        if (!list->isEnabled())
            return true;
        const bool chosen = list->currentIndex() >= 0;
        const QString code = entryCode(list->currentText());
        const QStringList texts = entries(int(i));
        const QSignalBlocker block(list);
        list->clear();
        list->addItems(texts);
        int keep = -1;
        for (int k = 0; chosen && k < texts.size() && keep < 0; ++k) {
            if (entryCode(texts[k]) == code)
                keep = k;
        }
        list->setCurrentIndex(keep);
        if (!chosen)
            return true;
        if (keep < 0) {
            for (qsizetype j = i + 1; j < lists.size(); ++j) {
                lists[j]->clear();
                lists[j]->setEnabled(false);
            }
            return false;
        }
    }
    return true;
}

} // namespace vocaset
