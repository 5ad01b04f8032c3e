// The query tool. Its name decides what it queries: a copy or a link named "calls" reads the
// catalogue "$$calls_TABLE" / "$$calls_FIELDS". Without arguments it opens its window; with
// --query it runs one query headless (lenvik --help).

#include <QApplication>
#include <QFileInfo>
#include <QPointer>
#include <QTextStream>

#include "Database.h"
#include "Form1.h"
#include "LenvikCommand.h"
#include "QueryTool.h"
#include "ToolkitTranslation.h"
#include "WidgetOperator.h"
#include "WindowConventions.h"
#include "frmBrowser.h"

int main(int argc, char* argv[])
{
    // The name it was started under, not the file a link points to.
    const QString program = QFileInfo(QString::fromLocal8Bit(argv[0])).completeBaseName();
    if (argc > 1) {
        QCoreApplication app(argc, argv);
        QTextStream out(stdout);
        QTextStream err(stderr);
        QStringList args = QCoreApplication::arguments();
        args.removeFirst();
        return vocaset::runLenvik(args, out, err, QCoreApplication::applicationDirPath(), program);
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(program);
    vocaset::Database db;
    vocaset::WidgetOperator op;
    vocaset::Session session(db, op);
    session.appDir = QCoreApplication::applicationDirPath();
    vocaset::QueryTool tool(session, program);
    vocaset::NullRunLog log;
    switch (tool.start(session.appDir + QStringLiteral("/ParamDB.txt"), log)) {
    case vocaset::QueryStart::Ready:
        break;
    case vocaset::QueryStart::SettingsMissing:
        return vocaset::LenvikUsage;
    case vocaset::QueryStart::OpenFailed:
    case vocaset::QueryStart::DatabaseFailed:
        return vocaset::LenvikDatabaseFailed;
    case vocaset::QueryStart::NoCatalogue:
        return vocaset::LenvikRunFailed;
    }
    vocaset::installToolkitTranslation(session.language);
    vocaset::Form1 window(tool);
    op.setParent(&window);
    // F1 opens the help viewer on the manual beside the program, at the query tool's section.
    QPointer<vocaset::frmBrowser> help;
    window.showManual = [&](const QUrl& manual) {
        if (!help) {
            help = new vocaset::frmBrowser(session, &window);
            help->setWindowFlag(Qt::Window);
            help->setAttribute(Qt::WA_DeleteOnClose);
            help->setStartingAddress(manual);
            help->show();
            vocaset::placeOnScreen(help, &window);
        } else {
            help->navigate(manual);
        }
        help->raise();
        help->activateWindow();
    };
    window.show();
    vocaset::placeOnScreen(&window);
    return QApplication::exec();
}
