#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>

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
                                           title + QStringLiteral("</title></head><body><p>é</p></body></html>")));
        return QUrl::fromLocalFile(path);
    }

    // Waits for the navigation under way to finish.
    void settle(QSignalSpy& spy, int count)
    {
        for (int i = 0; i < 50 && spy.count() < count; ++i)
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
    const QUrl one = page(QStringLiteral("one.htm"), QStringLiteral("Première page"));
    fr.setStartingAddress(one);
    fr.show();
    EXPECT_EQ(fr.windowTitle(), QStringLiteral("Traitement en cours..."));
    EXPECT_TRUE(fr.timer()->isActive());
    // Esc does not close the window while a page loads.
    QTest::keyClick(&fr, Qt::Key_Escape);
    EXPECT_TRUE(fr.isVisible());
    settle(spy, 1);
    EXPECT_EQ(fr.windowTitle(), QStringLiteral("Première page")); // read in its code page
    EXPECT_EQ(fr.addressBox()->currentText(), one.toDisplayString());
    QTest::qWait(250); // the timer's tick ends the polling
    EXPECT_FALSE(fr.timer()->isActive());
    EXPECT_EQ(fr.windowTitle(), QStringLiteral("Première page"));

    fr.navigate(QUrl(QStringLiteral("about:blank")));
    EXPECT_EQ(fr.windowTitle(), QStringLiteral("Traitement en cours..."));
    settle(spy, 2);
    EXPECT_EQ(fr.windowTitle(), QStringLiteral("about:blank"));
    QTest::keyClick(&fr, Qt::Key_Escape);
    EXPECT_FALSE(fr.isVisible());
}

TEST_F(BrowserTest, AddressListMostRecentFirstEachOnce)
{
    const QUrl one = page(QStringLiteral("one.htm"), QStringLiteral("One"));
    const QUrl two = page(QStringLiteral("two.htm"), QStringLiteral("Two"));
    w.show();
    EXPECT_EQ(w.addressBox()->currentText(), QStringLiteral("about:blank"));

    // Typed and confirmed with Enter, a relative path from the program's folder.
    w.addressBox()->setEditText(QStringLiteral("one.htm"));
    QTest::keyClick(w.addressBox()->lineEdit(), Qt::Key_Return);
    settle(finished, 1);
    w.navigate(two);
    settle(finished, 2);
    w.navigate(two); // the same address twice
    settle(finished, 3);
    EXPECT_EQ(entries(), (QStringList{two.toDisplayString(), one.toDisplayString()}));

    // Choosing an older entry moves it to the top.
    w.addressBox()->setCurrentIndex(1);
    Q_EMIT w.addressBox()->activated(1);
    settle(finished, 4);
    EXPECT_EQ(w.location(), one);
    EXPECT_EQ(entries(), (QStringList{one.toDisplayString(), two.toDisplayString()}));
    EXPECT_EQ(w.addressBox()->currentIndex(), 0);
    EXPECT_EQ(w.windowTitle(), QStringLiteral("One"));
}

TEST_F(BrowserTest, AChoiceWhileTheListIsRewrittenStartsNoNavigation)
{
    const QUrl one = page(QStringLiteral("one.htm"), QStringLiteral("One"));
    const QUrl two = page(QStringLiteral("two.htm"), QStringLiteral("Two"));
    w.show();
    w.navigate(one);
    settle(finished, 1);
    // A click on an entry that arrives while the window refills the list after the next page.
    QObject::connect(w.addressBox()->model(), &QAbstractItemModel::rowsInserted, &w, [this] {
        w.addressBox()->setCurrentIndex(w.addressBox()->count() - 1);
        Q_EMIT w.addressBox()->activated(w.addressBox()->count() - 1);
    });
    w.navigate(two);
    settle(finished, 2);
    QTest::qWait(50);
    EXPECT_EQ(finished.count(), 2);
    EXPECT_EQ(w.location(), two);
}

TEST_F(BrowserTest, PageFillsTheWindowBelowTheAddressRow)
{
    w.resize(800, 600);
    w.show();
    const int row = w.addressRow()->height();
    EXPECT_EQ(w.browser()->geometry(), QRect(7, row + 7, 793, 600 - row - 7));
    // The address box: 50 twips from the left, 15 below its label.
    const QWidget* label = w.findChild<QWidget*>(QStringLiteral("lblAddress"));
    EXPECT_EQ(w.addressBox()->x(), 3);
    EXPECT_EQ(w.addressBox()->y(), label->geometry().bottom() + 2);
    EXPECT_GE(w.addressBox()->width(), 700);
    w.resize(5, 5);
    QTest::qWait(10);
    EXPECT_GE(w.browser()->width(), 0);
    EXPECT_EQ(w.browser()->height(), 0);
}

TEST_F(BrowserTest, F1ShowsTheSectionOfEachWindow)
{
    // The shipped manual, read where the source tree keeps it.
    t.s.appDir = test::sourceDir() + QStringLiteral("/data");
    w.resize(700, 500);
    w.show();
    int last = -1;
    const QStringList windows = {QStringLiteral("FVocaset1"), QStringLiteral("FGenerate"), QStringLiteral("FReboot")};
    for (const QString& name : windows) {
        ASSERT_TRUE(QMetaObject::invokeMethod(&w, "showSection", Q_ARG(QString, name)));
        settle(finished, int(finished.count()) + 1);
        EXPECT_EQ(w.location(), manualUrl(t.s.appDir, name));
        const int at = w.browser()->verticalScrollBar()->value();
        EXPECT_GT(at, last) << name.toStdString(); // each section further down the manual
        last = at;
    }
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Vocaset manual"));
    w.showSection(QStringLiteral("NoSuchWindow"));
    settle(finished, int(finished.count()) + 1);
    EXPECT_EQ(w.browser()->verticalScrollBar()->value(), 0);
}

TEST_F(BrowserTest, MissingPageIsNamedInTheViewer)
{
    t.s.appDir += QStringLiteral("/nowhere");
    w.show();
    w.showSection(QStringLiteral("FGenerate"));
    settle(finished, 1);
    EXPECT_TRUE(w.browser()->toPlainText().contains(t.s.appDir + QStringLiteral("/manual.htm")));
    EXPECT_TRUE(w.windowTitle().contains(QStringLiteral("cannot be found")));
    EXPECT_TRUE(t.op.messages.isEmpty());

    // Once the manual is there, the same address shows it.
    QDir().mkpath(t.s.appDir);
    QFile::copy(test::sourceDir() + QStringLiteral("/data/manual.htm"), t.s.appDir + QStringLiteral("/manual.htm"));
    w.showSection(QStringLiteral("FGenerate"));
    settle(finished, 2);
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Vocaset manual"));
}

TEST_F(BrowserTest, LinksToOtherSitesGoToTheDesktopBrowser)
{
    QList<QUrl> opened;
    bool opens = true;
    w.setExternalOpener([&](const QUrl& url) {
        opened << url;
        return opens;
    });
    w.show();
    const QUrl site(QStringLiteral("https://vocaset.example.org/"));
    w.navigate(site);
    opens = false;
    w.navigate(site);
    QTest::qWait(50);
    EXPECT_EQ(opened, (QList<QUrl>{site, site}));
    EXPECT_EQ(finished.count(), 0);
    EXPECT_FALSE(w.busy());
    ASSERT_EQ(t.op.messages.size(), 1);
    EXPECT_TRUE(t.op.messages[0].contains(site.toDisplayString()));
}

TEST_F(BrowserTest, F1InTheMainWindowOpensTheActiveWindowsSection)
{
    t.exec(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('AUTHM', '*', '*')"));
    t.s.appDir = test::sourceDir() + QStringLiteral("/data");
    QHash<QString, FVocaset1::WindowFactory> windows;
    windows.insert(QStringLiteral("Reboot"), [](Session&) -> QWidget* {
        auto* reboot = new QWidget;
        reboot->setObjectName(QStringLiteral("FReboot"));
        return reboot;
    });
    windows.insert(QStringLiteral("Help1"), [](Session& s) -> QWidget* {
        auto* help = new frmBrowser(s);
        help->setStartingAddress(manualUrl(s.appDir));
        return help;
    });
    FVocaset1 frame(t.s, windows);
    frame.show();
    frame.open(QStringLiteral("Reboot"));
    frame.findChild<QAction*>(QStringLiteral("HelpKey"))->trigger(); // F1
    auto* help = frame.findChild<frmBrowser*>();
    ASSERT_TRUE(help);
    QSignalSpy spy(help, &frmBrowser::navigationFinished);
    // The manual's top first, then the section.
    for (int i = 0; i < 50 && help->location().fragment() != u"FReboot"; ++i)
        spy.wait(100);
    EXPECT_EQ(help->location(), manualUrl(t.s.appDir, QStringLiteral("FReboot")));
    EXPECT_GT(help->browser()->verticalScrollBar()->value(), 0);
}
