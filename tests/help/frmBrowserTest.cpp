#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QMdiArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <QToolButton>

#include "FVocaset1.h"
#include "HelpSeed.h"
#include "ManualPage.h"
#include "QtApp.h"
#include "TextFile.h"
#include "frmBrowser.h"

using namespace vocaset;
using vocaset::test::TestSession;

namespace {

class BrowserTest : public ::testing::Test
{
protected:
    // A page in the program's folder, in the manual's code page.
    QUrl page(const QString& name, const QString& title)
    {
        const QString path = t.s.appDir + u'/' + name;
        writeFileAtomically(path, toCp1252(QStringLiteral("<html><head><meta charset=\"windows-1252\"><title>") +
                                           title + QStringLiteral("</title></head><body>é</body></html>")));
        return QUrl::fromLocalFile(path);
    }

    // Waits for the navigations under way to finish.
    void settle(frmBrowser& w, QSignalSpy& spy, int count)
    {
        for (int i = 0; i < 50 && (spy.count() < count || w.busy()); ++i)
            spy.wait(100);
        ASSERT_EQ(spy.count(), count);
    }

    QStringList entries() const
    {
        QStringList out;
        for (int i = 0; i < w.addressBox()->count(); ++i)
            out << w.addressBox()->itemText(i);
        return out;
    }

    QApplication& app = test::qtApp();
    TestSession t;
    frmBrowser w{t.s};
    QSignalSpy finished{&w, &frmBrowser::navigationFinished};
};

} // namespace

TEST_F(BrowserTest, CaptionReadsLoadingUntilThePageIsShown)
{
    test::loadHelpSeed(t);
    t.s.language = QStringLiteral("FR");
    frmBrowser fr(t.s);
    QSignalSpy spy(&fr, &frmBrowser::navigationFinished);
    fr.setStartingAddress(page(QStringLiteral("one.htm"), QStringLiteral("Première page")));
    fr.show();
    EXPECT_EQ(fr.windowTitle(), QStringLiteral("Traitement en cours..."));
    QTest::keyClick(&fr, Qt::Key_Escape); // no closing while a page loads
    EXPECT_TRUE(fr.isVisible());
    settle(fr, spy, 1);
    EXPECT_EQ(fr.windowTitle(), QStringLiteral("Première page")); // read in its code page
    QTest::qWait(250);                                            // the timer's tick ends the polling
    EXPECT_FALSE(fr.timer()->isActive());
    QTest::keyClick(&fr, Qt::Key_Escape);
    EXPECT_FALSE(fr.isVisible());
}

TEST_F(BrowserTest, AddressListMostRecentFirstEachOnce)
{
    const QUrl one = page(QStringLiteral("one.htm"), QStringLiteral("One"));
    const QUrl two = page(QStringLiteral("two.htm"), QStringLiteral("Two"));
    w.show();
    // Typed with Enter (a path from the program's folder), twice the same address, then an older entry chosen.
    w.addressBox()->setEditText(QStringLiteral("one.htm"));
    QTest::keyClick(w.addressBox()->lineEdit(), Qt::Key_Return);
    settle(w, finished, 1);
    w.navigate(two);
    w.navigate(two);
    settle(w, finished, 3);
    EXPECT_EQ(entries(), (QStringList{two.toDisplayString(), one.toDisplayString()}));
    w.addressBox()->setCurrentIndex(1);
    Q_EMIT w.addressBox()->activated(1);
    settle(w, finished, 4);
    EXPECT_EQ(entries(), (QStringList{one.toDisplayString(), two.toDisplayString()}));
    EXPECT_EQ(w.addressBox()->currentIndex(), 0);
    EXPECT_EQ(w.windowTitle(), QStringLiteral("One"));

    // A click on an entry that arrives while the window refills the list starts no navigation.
    QObject::connect(w.addressBox()->model(), &QAbstractItemModel::rowsInserted, &w, [this] {
        w.addressBox()->setCurrentIndex(w.addressBox()->count() - 1);
        Q_EMIT w.addressBox()->activated(w.addressBox()->count() - 1);
    });
    w.navigate(two);
    settle(w, finished, 5);
    QTest::qWait(50);
    EXPECT_EQ(finished.count(), 5);
    EXPECT_EQ(w.location(), two);
}

TEST_F(BrowserTest, TypedAddressesBackAndForwardFromTheKeyboard)
{
    const QUrl one = page(QStringLiteral("one.htm"), QStringLiteral("One"));
    const QUrl two = page(QStringLiteral("two.htm"), QStringLiteral("Two"));
    const QUrl three = page(QStringLiteral("three.htm"), QStringLiteral("Three"));
    w.show();
    QApplication::setActiveWindow(&w);
    // Typed where the keyboard focus is, as the operator types: the box passes keys to its line.
    const auto typeAddress = [&](const QString& address) {
        w.addressBox()->setFocus();
        w.addressBox()->lineEdit()->selectAll();
        QTest::keyClicks(QApplication::focusWidget(), address);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    };
    typeAddress(QStringLiteral("one.htm"));
    settle(w, finished, 1);
    EXPECT_EQ(w.location(), one);
    typeAddress(two.toLocalFile());
    settle(w, finished, 2);
    EXPECT_EQ(w.location(), two);
    w.navigate(three);
    settle(w, finished, 3);
    EXPECT_FALSE(w.forwardButton()->isEnabled());

    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Left, Qt::AltModifier);
    settle(w, finished, 4);
    EXPECT_EQ(w.location(), two);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Left, Qt::AltModifier);
    settle(w, finished, 5);
    EXPECT_EQ(w.location(), one);
    EXPECT_FALSE(w.backButton()->isEnabled());
    EXPECT_EQ(w.addressBox()->currentText(), one.toDisplayString()) << "the box shows the page shown";
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Right, Qt::AltModifier);
    settle(w, finished, 6);
    EXPECT_EQ(w.location(), two);
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Two"));
    // A new page from the middle of the trail drops the pages ahead.
    typeAddress(QStringLiteral("one.htm"));
    settle(w, finished, 7);
    EXPECT_FALSE(w.forwardButton()->isEnabled());
    w.backButton()->click();
    settle(w, finished, 8);
    EXPECT_EQ(w.location(), two);
}

TEST_F(BrowserTest, MissingPagesAndOtherSites)
{
    t.s.appDir += QStringLiteral("/nowhere");
    w.show();
    w.showSection(QStringLiteral("FGenerate"));
    settle(w, finished, 1);
    EXPECT_TRUE(w.browser()->toPlainText().contains(t.s.appDir + QStringLiteral("/manual.htm")));
    EXPECT_TRUE(w.windowTitle().contains(QStringLiteral("cannot be found")));
    // Once the manual is there, the same address shows it.
    QDir().mkpath(t.s.appDir);
    QFile::copy(test::sourceDir() + QStringLiteral("/data/manual.htm"), t.s.appDir + QStringLiteral("/manual.htm"));
    w.showSection(QStringLiteral("FGenerate"));
    settle(w, finished, 2);
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Vocaset manual"));

    // Web sites go to the desktop's browser; without one, a message names the link.
    QList<QUrl> opened;
    bool opens = true;
    w.setExternalOpener([&](const QUrl& url) {
        opened << url;
        return opens;
    });
    const QUrl site(QStringLiteral("https://vocaset.example.org/"));
    w.navigate(site);
    opens = false;
    w.navigate(site);
    EXPECT_EQ(opened, (QList<QUrl>{site, site}));
    EXPECT_FALSE(w.busy());
    EXPECT_EQ(t.op.messages,
              QStringList{QStringLiteral("No program on this computer opens ") + site.toDisplayString() + u'.'});
}

TEST_F(BrowserTest, F1InTheMainWindowOpensTheActiveWindowsSection)
{
    t.exec(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('AUTHM', '*', '*')"));
    t.s.appDir = test::sourceDir() + QStringLiteral("/data");
    QHash<QString, FVocaset1::WindowFactory> windows;
    // Stand-ins named like the real windows.
    for (const auto& [entry, name] : {std::pair{"GenConf", "FGenerate"}, std::pair{"Reboot", "FReboot"}}) {
        windows.insert(QLatin1String(entry), [name = QLatin1String(name)](Session&) -> QWidget* {
            auto* child = new QWidget;
            child->setObjectName(name);
            return child;
        });
    }
    windows.insert(QStringLiteral("Help1"), [](Session& s) -> QWidget* {
        auto* help = new frmBrowser(s);
        help->setStartingAddress(manualUrl(s.appDir));
        return help;
    });
    FVocaset1 frame(t.s, windows);
    frame.resize(900, 600);
    frame.show();
    int previous = -1;
    for (const QString& name : {QStringLiteral("FGenerate"), QStringLiteral("FReboot")}) {
        frame.open(name == u"FReboot" ? QStringLiteral("Reboot") : QStringLiteral("GenConf"));
        frame.findChild<QAction*>(QStringLiteral("HelpKey"))->trigger(); // F1
        auto* help = frame.findChild<frmBrowser*>();
        ASSERT_TRUE(help);
        QSignalSpy spy(help, &frmBrowser::navigationFinished);
        for (int i = 0; i < 50 && (help->location().fragment() != name || help->busy()); ++i)
            spy.wait(100);
        EXPECT_EQ(help->location(), manualUrl(t.s.appDir, name));
        // The section is further down the manual than the one before.
        EXPECT_GT(help->browser()->verticalScrollBar()->value(), previous) << name.toStdString();
        previous = help->browser()->verticalScrollBar()->value();
    }
}

// Opened with F1 or from the Help menu, the page has the keys at once: Page Down scrolls it, Esc
// (or Ctrl+F4, as in every child window) closes the window.
TEST_F(BrowserTest, ThePageTakesTheKeysWhenTheManualOpens)
{
    t.exec(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('AUTHM', '*', '*')"));
    t.s.appDir = test::sourceDir() + QStringLiteral("/data");
    const QHash<QString, FVocaset1::WindowFactory> windows{{QStringLiteral("Help1"), [](Session& s) -> QWidget* {
                                                                auto* help = new frmBrowser(s);
                                                                help->setStartingAddress(manualUrl(s.appDir));
                                                                return help;
                                                            }}};
    for (const bool fromMenu : {false, true}) {
        FVocaset1 frame(t.s, windows);
        frame.resize(900, 600);
        frame.show();
        frame.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&frame));
        if (fromMenu)
            frame.action(QStringLiteral("Help1"))->trigger();
        else
            QTest::keyClick(&frame, Qt::Key_F1);
        auto* help = frame.findChild<frmBrowser*>();
        ASSERT_TRUE(help);
        QSignalSpy spy(help, &frmBrowser::navigationFinished);
        for (int i = 0; i < 50 && (spy.isEmpty() || help->busy()); ++i)
            spy.wait(100);
        QWidget* keys = QApplication::focusWidget();
        ASSERT_EQ(keys, help->browser()) << (keys ? keys->objectName().toStdString() : "nothing has the focus");
        const int top = help->browser()->verticalScrollBar()->value();
        QTest::keyClick(keys, Qt::Key_PageDown);
        EXPECT_GT(help->browser()->verticalScrollBar()->value(), top) << fromMenu;
        if (fromMenu)
            QTest::keyClick(keys, Qt::Key_F4, Qt::ControlModifier);
        else
            QTest::keyClick(keys, Qt::Key_Escape);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_TRUE(frame.mdiArea()->subWindowList().isEmpty()) << fromMenu;
    }
}
