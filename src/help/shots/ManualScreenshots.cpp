// Takes the manual's pictures of the windows: opens each window of the main program offscreen on a
// copy of the demo database, in the language given, makes the first choices in its lists and saves
// it as <object name>.png, and the query tool's window after a query as lenvik.png. The program's
// folder is a neutral one (/tmp/vocaset), so no path of the machine that took them shows.
// scripts/screenshots runs it; the pictures go to data/manual/, the French ones to data/manual/fr/.

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QScopeGuard>
#include <QTextStream>
#include <QTimer>

#include "FVocaset1.h"
#include "MenuRights.h"
#include "Sql.h"
#include "Startup.h"
#include "TextFile.h"
#include "ToolkitTranslation.h"
#include "Windows.h"
#if __has_include("Form1.h")
#include "Form1.h"
#include "QueryTool.h"
#define VOCASET_SHOTS_QUERY_TOOL
#endif

using namespace vocaset;

namespace {

// Nobody answers: questions get No, prompts their default, messages go to standard error.
class QuietOperator final : public Operator
{
public:
    void showMessage(const QString& text, const QString&) override { QTextStream(stderr) << text << Qt::endl; }
    bool askYesNo(const QString&, const QString&) override { return false; }
    std::optional<QString> askText(const QString&, const QString& defaultText) override { return defaultText; }
};

void settle(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Chooses the first entry of each selection list in turn ("Phone to" its last), as an operator
// would, so that the picture shows a window ready to run.
void chooseFirstEntries(QWidget* window)
{
    for (int i = 1; i <= 4; ++i) {
        auto* list = window->findChild<QComboBox*>(QStringLiteral("Filter") + QString::number(i));
        if (!list || !list->isEnabled() || list->count() == 0)
            continue;
        const int index = i == 4 ? list->count() - 1 : 0;
        list->setCurrentIndex(index);
        Q_EMIT list->activated(index);
        settle(50);
    }
}

// The generation window is shown after a run on the demo telephones, with its log and summary. No
// other window runs: a reboot would send requests to the demo telephones' addresses.
void runGeneration(QWidget* window)
{
    auto* generate = window->findChild<QPushButton*>(QStringLiteral("Ok"));
    if (window->objectName() != u"FGenerate" || !generate || !generate->isEnabled())
        return;
    generate->click();
    for (int i = 0; i < 100 && !generate->isEnabled(); ++i)
        settle(50);
}

// The telephone import is shown with the preview of a small file: new telephones of ALPIN, one that
// changes and one line refused.
void previewImport(QWidget* window, const QString& folder)
{
    auto* file = window->findChild<QLineEdit*>(QStringLiteral("LFile"));
    auto* models = window->findChild<QComboBox*>(QStringLiteral("Filter2"));
    if (window->objectName() != u"FPhImp" || !file || !models)
        return;
    const QString path = folder + QStringLiteral("/alpin.csv");
    writeFileAtomically(path, "code;description;mac;12;34\r\n"
                              "231;Front desk;000B82E7A231;231;s3cret-231\r\n"
                              "232;Meeting room;000B82E7A232;232;\r\n"
                              "201;Reception desk;000B82E79E4A;;\r\n"
                              "233;Store;000B82E7A23;;\r\n");
    const int index = models->findText(QStringLiteral("GXP2000"), Qt::MatchStartsWith);
    models->setCurrentIndex(index);
    Q_EMIT models->activated(index);
    file->setText(path);
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QCoreApplication::sendEvent(file, &enter);
    settle(50);
}

// Copies a folder's files and folders into another.
bool copyTree(const QString& from, const QString& to)
{
    if (!QDir().mkpath(to))
        return false;
    const QDir source(from);
    for (const QFileInfo& entry : source.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot)) {
        const QString target = to + u'/' + entry.fileName();
        if (entry.isDir() ? !copyTree(entry.filePath(), target) : !QFile::copy(entry.filePath(), target))
            return false;
    }
    return true;
}

bool save(QWidget* widget, const QString& path)
{
    const bool ok = widget->grab().save(path, "PNG");
    QTextStream(ok ? stdout : stderr) << (ok ? "wrote " : "cannot write ") << path << Qt::endl;
    return ok;
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 3 || args.size() > 4) {
        QTextStream(stderr) << "Usage: vocaset-screenshots SOURCE_DB OUT_DIR [LANGUAGE]\n"
                               "Opens every window on a copy of the source database and saves OUT_DIR/<window>.png."
                            << Qt::endl;
        return 2;
    }
    const QString source = QFileInfo(args[1]).absoluteFilePath();
    const QString out = QFileInfo(args[2]).absoluteFilePath();
    QDir().mkpath(out);

    // The program's folder, with a working database of our own, the manuals and the demo output
    // folders copied from beside the source database. A folder left by an earlier run is ours (it
    // holds the mark); any other is left alone.
    const QString folder = QDir::tempPath() + QStringLiteral("/vocaset");
    const QString mark = folder + QStringLiteral("/.vocaset-screenshots");
    if (QFileInfo::exists(folder) && (!QFileInfo::exists(mark) || !QDir(folder).removeRecursively())) {
        QTextStream(stderr) << folder << " exists: remove it first" << Qt::endl;
        return 1;
    }
    const QString from = QFileInfo(source).absolutePath();
    if (!copyTree(from + QStringLiteral("/output"), folder + QStringLiteral("/output")) ||
        !copyTree(from + QStringLiteral("/manual"), folder + QStringLiteral("/manual")) ||
        !writeFileAtomically(mark, {}))
        return 1;
    for (const char* manual : {"manual.htm", "manual.fr.htm"})
        QFile::copy(from + u'/' + QLatin1String(manual), folder + u'/' + QLatin1String(manual));
    const auto cleanUp = qScopeGuard([folder] { QDir(folder).removeRecursively(); });
    const QString settings = folder + QStringLiteral("/ParamDB.txt");
    if (!writeFileAtomically(settings, (QStringLiteral("Provider=SQLite;Data Source=$$APPPATH$$/shots.db\r\n"
                                                       "Provider=SQLite;Data Source=") +
                                        source + QStringLiteral("\r\n"))
                                           .toUtf8()))
        return 1;
    QuietOperator person;
    NullRunLog log;
    Database db;
    Session session(db, person);
    session.appDir = folder;
    session.userName = QStringLiteral("ADMIN");
    if (Startup(session, settings, log).run() != StartupOutcome::Created ||
        Startup(session, settings, log).run() != StartupOutcome::Ready)
        return 1;
    if (args.size() == 4) {
        db.execute(QStringLiteral("UPDATE SYSTEM_PARAMETERS SET SY_VALUE = '") + sqlText(args[3]) +
                   QStringLiteral("' WHERE SY_CODE = '$$LNG'"));
        session.language = args[3];
    }
    installToolkitTranslation(session.language);

    const auto windows = childWindows();
    FVocaset1 frame(session, windows);
    frame.resize(1100, 780);
    frame.show();
    settle(100);
    bool ok = true;
    for (const MenuEntry& entry : mainMenuEntries()) {
        if (!windows.contains(entry.name))
            continue;
        QWidget* window = frame.open(entry.name);
        settle(300); // the help window reads its page on the next turns of the event loop
        chooseFirstEntries(window);
        runGeneration(window);
        previewImport(window, folder);
        QWidget* framed = qobject_cast<QMdiSubWindow*>(window->parentWidget());
        ok = save(framed ? framed : window, out + u'/' + window->objectName() + QStringLiteral(".png")) && ok;
        frame.mdiArea()->closeAllSubWindows();
        settle(50);
    }
    // The frame with the window used most.
    if (windows.contains(QStringLiteral("GenConf"))) {
        chooseFirstEntries(frame.open(QStringLiteral("GenConf")));
        settle(100);
    }
    ok = save(&frame, out + QStringLiteral("/FVocaset1.png")) && ok;

#ifdef VOCASET_SHOTS_QUERY_TOOL
    // The query tool as its demo catalogue "lenvik" opens, after one query.
    QueryTool tool(session, QStringLiteral("lenvik"));
    if (tool.start(settings, log) != QueryStart::Ready)
        return 1;
    Form1 query(tool);
    query.show();
    if (auto* run = query.findChild<QPushButton*>(QStringLiteral("CExec")))
        run->click();
    settle(300);
    ok = save(&query, out + QStringLiteral("/lenvik.png")) && ok;
#endif
    return ok ? 0 : 1;
}
