#pragma once

#include <functional>

#include <QApplication>
#include <QTimer>

#include "UiYield.h"

namespace vocaset::test {

// Widget tests need one application object for the whole test program.
inline QApplication& qtApp()
{
    static int argc = 1;
    static char name[] = "vocaset-tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

// While it lives every call of a run gives the event loop a turn, so a click queued for a run's
// first turn lands inside the run however fast the machine runs it.
struct EveryCallGivesATurn
{
    int before = setUiTurnInterval(0);
    ~EveryCallGivesATurn() { setUiTurnInterval(before); }
};

// What the operator does in the next modal dialog, once it shows: keys and clicks on it, which
// should end with its OK or Cancel.
inline void whenDialogShows(std::function<void(QWidget*)> act)
{
    auto* wait = new QTimer;
    wait->setInterval(5);
    QObject::connect(wait, &QTimer::timeout, [wait, act = std::move(act)] {
        if (QWidget* dialog = QApplication::activeModalWidget()) {
            wait->stop();
            wait->deleteLater();
            act(dialog);
        }
    });
    wait->start();
}

} // namespace vocaset::test
