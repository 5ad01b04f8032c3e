#include <QApplication>
#include <QMessageBox>

#include "FVocaset1.h"
#include "Startup.h"
#include "ToolkitTranslation.h"
#include "WidgetOperator.h"
#include "Windows.h"

using namespace vocaset;

namespace {

// A refused statement that no window caught is shown with the engine's text; the window that
// sent it stays open and the program usable.
class VocasetApplication final : public QApplication
{
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override
    {
        try {
            return QApplication::notify(receiver, event);
        } catch (const DbError& e) {
            QMessageBox::critical(activeWindow(), applicationName(), e.text());
            return false;
        }
    }
};

} // namespace

int main(int argc, char* argv[])
{
    VocasetApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vocaset"));

    WidgetOperator person;
    Database db;
    Session session(db, person);
    session.appDir = QCoreApplication::applicationDirPath();
    session.userName = loginName();
    NullRunLog log;
    Startup startup(session, session.appDir + QStringLiteral("/ParamDB.txt"), log);
    // Whatever fails before the main window stands (a statement of its load included) ends the
    // program with the reason in a box, never with an abort.
    try {
        const StartupOutcome outcome = startup.run();
        if (outcome != StartupOutcome::Ready)
            return outcome == StartupOutcome::Created ? 0 : 1;

        installToolkitTranslation(session.language);
        FVocaset1 window(session, childWindows());
        person.setParent(&window);
        window.show();
        return QApplication::exec();
    } catch (const DbError& e) {
        QMessageBox::critical(nullptr, QApplication::applicationName(), e.text());
    } catch (const std::exception& e) {
        QMessageBox::critical(nullptr, QApplication::applicationName(), QString::fromLocal8Bit(e.what()));
    }
    return 1;
}
