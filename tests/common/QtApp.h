#pragma once

#include <QApplication>

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

} // namespace vocaset::test
