#include <gtest/gtest.h>

#include <QAction>
#include <QMdiArea>
#include <QMdiSubWindow>

#include <QCloseEvent>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QSet>
#include <QTemporaryDir>
#include <QTimer>

#include "BrowseForFolder.h"
#include "FVocaset1.h"
#include "MenuRights.h"
#include "QtApp.h"
#include "TestDatabase.h"
#include "WindowConventions.h"

using namespace vocaset;
using vocaset::test::TestSession;

namespace {

QStringList enabledEntries(Session& s)
{
    QStringList out;
    for (const MenuEntryState& e : loadMainMenu(s).entries) {
        if (e.enabled)
            out << e.entry.name;
    }
    return out;
}

// Lets queued work run until the condition fails, for at most two seconds.
template <typename F> bool waitUntilFalse(F condition)
{
    QElapsedTimer clock;
    clock.start();
    while (condition() && clock.elapsed() < 2000) {
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    return !condition();
}

} // namespace

TEST(MainMenu, RightsRowsDecideEachEntry)
{
    TestSession t;
    EXPECT_TRUE(enabledEntries(t.s).isEmpty()); // no AUTHM rows: everything off, Quit included

    // The key (SY_CODE, SY_SUBCODE) allows one named entry per user; entry rows serve everybody.
    t.exec(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('AUTHM', 'ALICE', 'Config')"));
    t.exec(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('AUTHM', 'PbGen', 'x')"));
    t.exec(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('AUTHM', 'BOB', '*')"));
    t.exec(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('AUTHM', 'Reboot', '')"));
    // Entry names compare as stored: a row for "quit" is no right to Quit.
    t.exec(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('AUTHM', 'quit', '')"));
    // The Configure menu's entries take the right of Config.
    EXPECT_EQ(enabledEntries(t.s),
              (QStringList{QStringLiteral("Config"), QStringLiteral("Config1"), QStringLiteral("PhImp"),
                           QStringLiteral("Templates"), QStringLiteral("PbGen"), QStringLiteral("Reboot")}));

    t.s.userName = QStringLiteral("BOB");
    EXPECT_EQ(enabledEntries(t.s).size(), mainMenuEntries().size());

    // One row per user holds several entries, separated by ';' (blanks around a name ignored).
    t.s.userName = QStringLiteral("DAVE");
    t.exec(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('AUTHM', 'DAVE', 'Generate; GenConf;Reboot;;help1')"));
    EXPECT_EQ(enabledEntries(t.s), (QStringList{QStringLiteral("Generate"), QStringLiteral("GenConf"),
                                                QStringLiteral("PbGen"), QStringLiteral("Reboot")}));
    EXPECT_EQ(unknownRightsEntries(QStringLiteral("Generate; GenConf;Reboot;;help1")),
              QStringList{QStringLiteral("help1")});
    EXPECT_TRUE(unknownRightsEntries(QStringLiteral("*")).isEmpty());

    t.s.userName = QStringLiteral("CAROL");
    t.exec(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('AUTHM', '*', '*')"));
    EXPECT_EQ(enabledEntries(t.s).size(), mainMenuEntries().size());
}

TEST(MainMenu, UserNamesWithQuotesCannotWidenTheirRights)
{
    TestSession t;
    t.exec(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('AUTHM', 'X', 'Config')"));
    t.s.userName = QStringLiteral("X' OR '1'='1");
    EXPECT_TRUE(enabledEntries(t.s).isEmpty());
}

TEST(MainMenu, CaptionCarriesVersionAndUserOnlyWhenStored)
{
    TestSession t;
    EXPECT_EQ(loadMainMenu(t.s).caption, QStringLiteral("Vocaset"));
    t.exec(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'FVOCASET1', 'Provisioning')"));
    t.exec(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'FVOCASET1_GENCONF', 'Configuration files')"));
    const MainMenuState st = loadMainMenu(t.s);
    EXPECT_EQ(st.caption, QStringLiteral("Provisioning 1.1.42 - ALICE"));
    EXPECT_EQ(st.entries[7].caption, QStringLiteral("Configuration files"));
    EXPECT_EQ(st.entries[9].caption, QStringLiteral("Generate")); // PbGen keeps its designed caption
}

TEST(MainWindow, ShowsCaptionsRightsAndDisabledHeaders)
{
    vocaset::test::qtApp();
    TestSession t;
    t.exec(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'FVOCASET1', 'Vocaset')"));
    t.exec(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'FVOCASET1_REBOOT', 'Restart')"));
    t.exec(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('AUTHM', 'ALICE', 'PbGen')"));
    t.exec(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('AUTHM', 'Reboot', '')"));
    FVocaset1 w(t.s);
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Vocaset 1.1.42 - ALICE"));
    EXPECT_EQ(w.action(QStringLiteral("Reboot"))->text(), QStringLiteral("&Restart"));
    EXPECT_TRUE(w.action(QStringLiteral("Reboot"))->isEnabled());
    // Phone-book generation is allowed but unreachable: its headers stay disabled.
    EXPECT_TRUE(w.action(QStringLiteral("PbGen"))->isEnabled());
    EXPECT_FALSE(w.action(QStringLiteral("Generate"))->isEnabled());
    EXPECT_FALSE(w.action(QStringLiteral("PhoneBook"))->isEnabled());
    EXPECT_FALSE(w.action(QStringLiteral("Quit"))->isEnabled());

    // An entry whose window is not there yet opens an empty child captioned like the entry.
    w.action(QStringLiteral("Reboot"))->trigger();
    ASSERT_EQ(w.mdiArea()->subWindowList().size(), 1);
    EXPECT_EQ(w.mdiArea()->subWindowList().first()->widget()->windowTitle(), QStringLiteral("Restart"));
}

TEST(MainWindow, TheStartHintNamesTheEntriesOpenToTheUser)
{
    vocaset::test::qtApp();
    TestSession t;
    struct Case
    {
        const char* rights;
        QString hint;
    } cases[] = {
        {"", QStringLiteral("No menu entry is open to user ALICE: ask an administrator.")},
        {"Config;Help;About",
         QStringLiteral(
             "Open to user ALICE: Configure > Editor, Configure > Import telephones\u2026, Configure > Model "
             "templates\u2026, Help > About.")},
        {"Generate;GenConf",
         QStringLiteral("Choose Generate > Parameters Files to write the telephones' configuration files.")},
    };
    for (const Case& c : cases) {
        t.exec(QStringLiteral("DELETE FROM SYSTEM_PARAMETERS WHERE SY_CODE = 'AUTHM'"));
        t.exec(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('AUTHM', 'ALICE', '%1')")
                   .arg(QLatin1String(c.rights)));
        FVocaset1 w(t.s);
        EXPECT_EQ(w.hint(), c.hint) << c.rights;
    }
}

TEST(MainWindow, EveryMenuHasUniqueMnemonicsInEachLanguage)
{
    vocaset::test::qtApp();
    TestSession t;
    t.exec(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('AUTHM', '*', '*')"));
    for (const char* file : {"/data/seed/31-captions.sql", "/data/seed/35-desktop.sql"}) {
        QFile seed(QStringLiteral(VOCASET_SOURCE_TREE) + QLatin1String(file));
        ASSERT_TRUE(seed.open(QIODevice::ReadOnly));
        for (const QString& line : QString::fromUtf8(seed.readAll()).split(u'\n')) {
            if (line.startsWith(QLatin1String("INSERT")))
                t.exec(line.trimmed().chopped(1));
        }
    }
    for (const QString& language : {QStringLiteral("EN"), QStringLiteral("FR")}) {
        t.s.language = language;
        FVocaset1 w(t.s);
        // Each menu level, the menu bar with its Window menu first, then every submenu.
        QList<QList<QAction*>> levels{w.menuBar()->actions()};
        for (QMenu* menu : w.findChildren<QMenu*>())
            levels.append(menu->actions());
        for (const QList<QAction*>& level : std::as_const(levels)) {
            QStringList keys;
            for (QAction* a : level) {
                if (a->isSeparator() || a->text().isEmpty())
                    continue;
                const QString text = a->text().replace(QLatin1String("&&"), QString());
                const qsizetype at = text.indexOf(u'&');
                ASSERT_GE(at, 0) << language.toStdString() << ": " << a->text().toStdString();
                const QChar key = text.at(at + 1).toLower();
                EXPECT_LT(key.unicode(), 0x80) << language.toStdString() << ": " << a->text().toStdString();
                keys.append(key);
            }
            EXPECT_EQ(QSet<QString>(keys.begin(), keys.end()).size(), keys.size())
                << language.toStdString() << ": " << keys.join(u' ').toStdString();
        }
        if (language == u"FR") {
            EXPECT_EQ(w.action(QStringLiteral("About"))->text(), QStringLiteral("À &propos"));
            EXPECT_TRUE(w.action(QStringLiteral("Help1"))->text().endsWith(QStringLiteral("\tF1")));
        }
    }
}

TEST(MainWindow, ManualAddressFollowsTheFolder)
{
    EXPECT_EQ(manualAddress(QStringLiteral("/opt/vocaset/bin")), QStringLiteral("file:///opt/vocaset/bin/manual.htm"));
    EXPECT_EQ(manualAddress(QStringLiteral("C:\\Program Files\\Vocaset")),
              QStringLiteral("file://C:/Program Files/Vocaset/manual.htm"));
    EXPECT_EQ(manualAddress(QStringLiteral("\\\\server\\share")), QStringLiteral("file://server/share/manual.htm"));
    // A language with a manual of its own gets it; one without keeps the English manual.
    QTemporaryDir dir;
    QFile(dir.filePath(QStringLiteral("manual.fr.htm"))).open(QIODevice::WriteOnly);
    EXPECT_EQ(manualFile(dir.path(), QStringLiteral("FR")), dir.filePath(QStringLiteral("manual.fr.htm")));
    EXPECT_EQ(manualFile(dir.path(), QStringLiteral("DE")), dir.filePath(QStringLiteral("manual.htm")));
    EXPECT_EQ(manualAddress(dir.path(), QStringLiteral("FR")),
              QStringLiteral("file://") + dir.path() + QStringLiteral("/manual.fr.htm"));
}

TEST(FolderPicker, CancellingReturnsTheInitialFolder)
{
    vocaset::test::qtApp();
    for (const QString& initial : {QStringLiteral("/tmp"), QString()}) {
        QTimer::singleShot(50, [] {
            if (QWidget* dialog = QApplication::activeModalWidget())
                dialog->close();
        });
        EXPECT_EQ(BrowseForFolder(initial, nullptr), initial);
    }
}

namespace {

// A child window with a run: closing it asks, and an agreed close waits for the run's end.
class RunningChild final : public QWidget
{
public:
    explicit RunningChild(Session& s) : m_s(s) { setObjectName(QStringLiteral("FRunning")); }
    bool running = true;

protected:
    void closeEvent(QCloseEvent* event) override
    {
        if (running) {
            if (confirmAbandon(m_s))
                setProperty(kClosePending, true);
            event->ignore();
            return;
        }
        event->accept();
    }

private:
    Session& m_s;
};

// The manual's window as the help viewer offers it to F1.
class HelpChild final : public QWidget
{
    Q_OBJECT

public:
    Q_INVOKABLE void showSection(const QString& anchor) { sections.append(anchor); }
    QStringList sections;
};

struct Frame
{
    Frame()
    {
        vocaset::test::qtApp();
        t.exec(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('AUTHM', '*', '*')"));
    }
    TestSession t;
};

} // namespace

TEST(MainWindow, ASecondClickRaisesTheOpenWindowPlacedInsideTheWorkArea)
{
    Frame f;
    FVocaset1 w(f.t.s, {{QStringLiteral("Reboot"), [](Session&) -> QWidget* {
                             auto* big = new QWidget;
                             big->setMinimumSize(500, 400);
                             big->resize(2000, 300); // wider than the work area
                             return big;
                         }}});
    w.resize(1000, 700);
    w.show();
    QWidget* first = w.open(QStringLiteral("Reboot"));
    w.open(QStringLiteral("Config"));
    EXPECT_EQ(w.mdiArea()->activeSubWindow()->widget()->windowTitle(), QStringLiteral("Configure"));
    EXPECT_EQ(w.open(QStringLiteral("Reboot")), first);
    EXPECT_EQ(w.mdiArea()->subWindowList().size(), 2);
    EXPECT_EQ(w.mdiArea()->activeSubWindow()->widget(), first);

    const QRect area = w.mdiArea()->viewport()->rect();
    for (QMdiSubWindow* sub : w.mdiArea()->subWindowList()) {
        EXPECT_TRUE(area.contains(sub->geometry())) << sub->windowTitle().toStdString();
        EXPECT_GE(sub->widget()->width(), sub->widget()->minimumSizeHint().width());
    }
    EXPECT_GE(first->height(), 400);

    // The Window menu lists both, the active one ticked; the hint shows only on the empty area.
    Q_EMIT w.windowMenu()->aboutToShow();
    QStringList listed;
    for (QAction* a : w.windowMenu()->actions()) {
        if (a->isCheckable())
            listed.append(a->text() + (a->isChecked() ? QStringLiteral("*") : QString()));
    }
    EXPECT_EQ(listed.size(), 2);
    EXPECT_EQ(listed.filter(QStringLiteral("*")).size(), 1);
    EXPECT_FALSE(w.findChild<QLabel*>(QStringLiteral("Hint"))->isVisible());
    // Each new window opens a step further down and right, not on top of the one before.
    const QList<QMdiSubWindow*> subs = w.mdiArea()->subWindowList(QMdiArea::CreationOrder);
    EXPECT_GT(subs[1]->pos().x(), subs[0]->pos().x());
    EXPECT_GT(subs[1]->pos().y(), subs[0]->pos().y());
    w.mdiArea()->closeAllSubWindows();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(w.findChild<QLabel*>(QStringLiteral("Hint"))->isVisible());
    EXPECT_EQ(w.hint(), QStringLiteral("Choose Generate > Parameters Files to write the telephones' configuration files."));
    // Reopened after closing: a new window, not the one that went.
    EXPECT_NE(w.open(QStringLiteral("Reboot")), nullptr);
    EXPECT_EQ(w.mdiArea()->subWindowList().size(), 1);
}

TEST(MainWindow, QuitDuringARunAsksAndEndsOnlyOnceTheRunHasStopped)
{
    Frame f;
    RunningChild* child = nullptr;
    FVocaset1 w(f.t.s, {{QStringLiteral("Reboot"), [&](Session& s) -> QWidget* { return child = new RunningChild(s); }}});
    w.show();
    w.open(QStringLiteral("Config"));
    w.open(QStringLiteral("Reboot"));
    EXPECT_EQ(w.action(QStringLiteral("Quit"))->shortcut(), QKeySequence(QKeySequence::Quit));

    f.t.op.yesNo.enqueue(false);
    w.action(QStringLiteral("Quit"))->trigger();
    EXPECT_EQ(f.t.op.questions.size(), 1);
    EXPECT_TRUE(w.isVisible()); // refused: the program goes on, the run's window stays
    EXPECT_EQ(w.mdiArea()->subWindowList().size(), 1);

    f.t.op.yesNo.enqueue(true);
    w.action(QStringLiteral("Quit"))->trigger();
    EXPECT_TRUE(w.isVisible());
    child->running = false; // the run has stopped: its window closes, then the program
    closeWindow(child);
    EXPECT_TRUE(waitUntilFalse([&] { return w.isVisible(); }));
}

TEST(MainWindow, F1OpensTheManualAtTheActiveWindowsSection)
{
    Frame f;
    {
        FVocaset1 w(f.t.s);
        w.show();
        w.findChild<QAction*>(QStringLiteral("HelpKey"))->trigger(); // no help window yet: nothing
        EXPECT_TRUE(w.mdiArea()->subWindowList().isEmpty());
    }
    HelpChild* help = nullptr;
    FVocaset1 w(f.t.s, {{QStringLiteral("Help1"), [&](Session&) -> QWidget* { return help = new HelpChild; }},
                        {QStringLiteral("Reboot"), [](Session& s) -> QWidget* { return new RunningChild(s); }}});
    w.show();
    w.open(QStringLiteral("Reboot"));
    QAction* key = w.findChild<QAction*>(QStringLiteral("HelpKey"));
    EXPECT_EQ(key->shortcut(), QKeySequence(QKeySequence::HelpContents));
    key->trigger();
    key->trigger(); // the manual itself is active now: one window, its own section
    ASSERT_NE(help, nullptr);
    EXPECT_EQ(help->sections, (QStringList{QStringLiteral("FRunning"), QString()}));
    EXPECT_EQ(w.mdiArea()->subWindowList().size(), 2);
    static_cast<RunningChild*>(w.mdiArea()->subWindowList().first()->widget())->running = false;
}

#include "MainWindowTest.moc"
