#include "UiYield.h"

#include <QCoreApplication>
#include <QElapsedTimer>

namespace vocaset {

namespace {
int interval = 15;
}

void giveUiTurn()
{
    static QElapsedTimer last;
    if (interval > 0 && last.isValid() && last.elapsed() < interval)
        return;
    last.start();
    if (QCoreApplication::instance())
        QCoreApplication::processEvents();
}

int setUiTurnInterval(int ms)
{
    const int before = interval;
    interval = ms;
    return before;
}

} // namespace vocaset
