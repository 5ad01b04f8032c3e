#include "UiYield.h"

#include <QCoreApplication>
#include <QElapsedTimer>

namespace vocaset {

void giveUiTurn()
{
    static QElapsedTimer last;
    if (last.isValid() && last.elapsed() < 15)
        return;
    last.start();
    if (QCoreApplication::instance())
        QCoreApplication::processEvents();
}

} // namespace vocaset
