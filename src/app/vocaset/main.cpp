#include <QApplication>
#include <QMessageBox>

#include "FVocaset1.h"
#include "Startup.h"
#include "WidgetOperator.h"
#include "Windows.h"

using namespace vocaset;

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vocaset"));

    WidgetOperator person;
    Database db;
    Session session(db, person);
    session.appDir = QCoreApplication::applicationDirPath();
    session.userName = loginName();
    NullRunLog log;
    Startup startup(session, session.appDir + QStringLiteral("/ParamDB.txt"), log);
    const StartupOutcome outcome = startup.run();
    if (outcome != StartupOutcome::Ready)
        return outcome == StartupOutcome::Created ? 0 : 1;

    FVocaset1 window(session, childWindows());
    person.setParent(&window);
    window.show();
    try {
        return QApplication::exec();
    } catch (const DbError& e) {
        // A refused statement outside the places that catch it ends the program with its text.
        QMessageBox::critical(nullptr, QApplication::applicationName(), e.text());
        return 3;
    }
}
