#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QVBoxLayout>

#include "Messages.h"
#include "ProgressStrip.h"
#include "QtApp.h"
#include "RunLogView.h"
#include "TestDatabase.h"
#include "WindowConventions.h"

using namespace vocaset;
using vocaset::test::TestSession;

namespace {

void text(TestSession& t, const char* language, const char* key, const QString& value)
{
    t.exec(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_") + QLatin1String(language) +
           QStringLiteral("', '") + QLatin1String(key) + QStringLiteral("', '") + value + QStringLiteral("')"));
}

} // namespace

TEST(RunLogView, BatchesLinesAndSelectsTheLastOne)
{
    vocaset::test::qtApp();
    RunLogView log;
    log.resize(300, 200);
    log.show();
    for (int i = 0; i < 100000; ++i)
        log.append(QStringLiteral("line ") + QString::number(i));
    // Lines held back for the next turn of the event loop count already.
    EXPECT_EQ(log.lineCount(), 100000);
    EXPECT_EQ(log.line(99999), QStringLiteral("line 99999"));
    QCoreApplication::processEvents();
    log.flush();
    EXPECT_EQ(log.model()->rowCount(), 100000);
    EXPECT_EQ(log.currentLine(), 99999);
    EXPECT_EQ(log.line(12345), QStringLiteral("line 12345"));
    log.clear();
    // A stored value cannot forge a second line in the window's log.
    log.append(QStringLiteral("again\r\nforged"));
    log.flush();
    EXPECT_EQ(log.lines(), QStringList{QStringLiteral("again\\r\\nforged")});
    EXPECT_EQ(log.currentLine(), 0);
}

TEST(RunLogView, FollowsTheRunUnlessScrolledUpAndEndsOnTheSummary)
{
    vocaset::test::qtApp();
    RunLogView log;
    log.resize(300, 120);
    log.show();
    // Whether a line is drawn in full, once the event loop has had its turn.
    const auto inView = [&](int row) {
        QCoreApplication::processEvents();
        const QRect r = log.visualRect(log.model()->index(row, 0));
        return r.isValid() && log.viewport()->rect().contains(r);
    };
    for (int i = 0; i < 5000; ++i)
        log.append(QStringLiteral("line ") + QString::number(i));
    log.flush();
    // The last line is selected and drawn, not a blank area under a moved scroll thumb.
    EXPECT_EQ(log.currentLine(), 4999);
    EXPECT_TRUE(inView(4999));

    // Scrolled up to read: new lines leave the view where it is.
    QTest::keyClick(log.viewport(), Qt::Key_Home);
    QTest::keyClick(&log, Qt::Key_Home);
    ASSERT_TRUE(inView(0));
    for (int i = 0; i < 100; ++i)
        log.append(QStringLiteral("more ") + QString::number(i));
    log.flush();
    EXPECT_TRUE(inView(0));
    EXPECT_FALSE(inView(log.lineCount() - 1));

    // Back at the end, it follows again; the run's end shows its summary whatever the position.
    QTest::keyClick(&log, Qt::Key_End);
    log.append(QStringLiteral("next"));
    log.flush();
    EXPECT_TRUE(inView(log.lineCount() - 1));
    QTest::keyClick(&log, Qt::Key_Home);
    log.append(QStringLiteral("12 selected, 12 written, 0 failed"));
    log.showEnd();
    EXPECT_TRUE(inView(log.lineCount() - 1));
    EXPECT_EQ(log.currentLine(), log.lineCount() - 1);
}

TEST(ProgressStrip, TheCountIsRightFromTheFirstItemToAnAbort)
{
    vocaset::test::qtApp();
    TestSession t;
    ProgressStrip strip(t.s);
    qint64 now = 0;
    strip.setClock([&] { return now; });
    RunLogView log;
    log.setProgressStrip(&strip);
    strip.start();
    EXPECT_EQ(strip.barText(), QString()) << "no count before the selection is known";
    log.progress(0, 4); // the run has counted its selection, at once after the start
    EXPECT_EQ(strip.barText(), QStringLiteral("0 of 4"));
    now = 12000;
    log.progress(1, 4);
    EXPECT_EQ(strip.barText(), QStringLiteral("1 of 4 - 0:36 left"));
    strip.finish(strip.summaryText({4, 1, 1, 0, true, {}}, QStringLiteral("%1 written")), true);
    EXPECT_EQ(strip.barText(), QStringLiteral("1 of 4")) << "an aborted run has no time left";
    EXPECT_EQ(strip.statusText(), QStringLiteral("aborted after 1 of 4: 1 written, 0 failed"));
}

TEST(ProgressStrip, CountsAndSummariesComeFromTheCaptionsTable)
{
    vocaset::test::qtApp();
    TestSession t;
    ProgressStrip strip(t.s);
    RunLogView log;
    log.setProgressStrip(&strip);
    strip.start(12);
    log.progress(12, 12);
    EXPECT_EQ(strip.barText(), QStringLiteral("12 of 12"));
    EXPECT_EQ(strip.bar()->value(), 12);

    const QString written = QStringLiteral("%1 written");
    struct Case
    {
        RunTally tally;
        QString expected;
    } cases[] = {
        {{12, 12, 12, 0, false, {}}, QStringLiteral("12 selected, 12 written, 0 failed")},
        {{12, 12, 10, 2, false, {QStringLiteral("103"), QStringLiteral("107")}},
         QStringLiteral("12 selected, 10 written, 2 failed: 103, 107")},
        {{12, 4, 4, 0, true, {}}, QStringLiteral("aborted after 4 of 12: 4 written, 0 failed")},
        {{9, 9, 2, 7, false, QStringLiteral("1,2,3,4,5,6,7").split(u',')},
         QStringLiteral("9 selected, 2 written, 7 failed: 1, 2, 3, 4, 5, ...")},
    };
    for (const Case& c : cases)
        EXPECT_EQ(strip.summaryText(c.tally, written), c.expected);

    QString mirrored;
    QObject::connect(&strip, &ProgressStrip::statusChanged, [&](const QString& s) { mirrored = s; });
    strip.finish(QStringLiteral("done"), true);
    EXPECT_EQ(strip.statusText(), QStringLiteral("done"));
    EXPECT_EQ(mirrored, QStringLiteral("done"));

    t.s.language = QStringLiteral("FR");
    text(t, "FR", "RUN_PROGRESS", QStringLiteral("%1 sur %2"));
    text(t, "FR", "RUN_ABORTED", QStringLiteral("interrompu après %1 sur %2"));
    text(t, "EN", "RUN_FAILED", QStringLiteral("%1 refused")); // no French row: the English row
    strip.start(3);
    EXPECT_EQ(strip.barText(), QStringLiteral("0 sur 3"));
    EXPECT_EQ(strip.summaryText({3, 1, 1, 0, true, {}}, QStringLiteral("%1 écrit(s)")),
              QStringLiteral("interrompu après 1 sur 3: 1 écrit(s), 0 refused"));
}

TEST(WindowConventions, CaptionsTooltipsAndFallbacks)
{
    vocaset::test::qtApp();
    TestSession t;
    t.s.language = QStringLiteral("FR");
    QWidget w;
    w.setObjectName(QStringLiteral("FTest"));
    w.setWindowTitle(QStringLiteral("Designed"));
    auto* label = new QLabel(QStringLiteral("Company"), &w);
    label->setObjectName(QStringLiteral("CLab"));
    auto* box = new QCheckBox(QStringLiteral("Wait"), &w);
    box->setObjectName(QStringLiteral("Cbusy"));
    auto* ok = new QPushButton(QStringLiteral("Run"), &w);
    ok->setObjectName(QStringLiteral("Ok"));
    text(t, "FR", "FTEST", QStringLiteral("Essai"));
    text(t, "FR", "FTEST_CLAB", QStringLiteral("Société"));
    text(t, "EN", "FTEST_CBUSY", QStringLiteral("Wait if Busy"));
    text(t, "FR", "FTEST_CBUSY_TIP", QStringLiteral("Réessayer"));
    text(t, "DE", "FTEST_OK", QStringLiteral("Los"));
    applyCaptions(t.s, &w);
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Essai"));
    EXPECT_EQ(label->text(), QStringLiteral("Société"));
    // Controls then get their Alt+letters, each its own.
    EXPECT_EQ(box->text(), QStringLiteral("&Wait if Busy"));
    EXPECT_EQ(box->toolTip(), QStringLiteral("Réessayer"));
    EXPECT_EQ(ok->text(), QStringLiteral("&Run"));

    EXPECT_EQ(textOr(t.s, QStringLiteral("M230"), QStringLiteral("Stop $$?"), QStringLiteral("a$$b")),
              QStringLiteral("Stop a$$b?"));
}

TEST(WindowConventions, EnterRunsTheMainActionAndEscClosesWhenIdle)
{
    vocaset::test::qtApp();
    QWidget w;
    auto* layout = new QVBoxLayout(&w);
    auto* box = new QCheckBox(QStringLiteral("x"), &w);
    auto* other = new QPushButton(QStringLiteral("..."), &w);
    auto* ok = new QPushButton(QStringLiteral("Ok"), &w);
    layout->addWidget(box);
    layout->addWidget(other);
    layout->addWidget(ok);
    bool running = false;
    new WindowKeys(&w, ok, [&] { return running; });
    int oks = 0, others = 0;
    QObject::connect(ok, &QPushButton::clicked, [&] { ++oks; });
    QObject::connect(other, &QPushButton::clicked, [&] { ++others; });
    w.show();

    QTest::keyClick(box, Qt::Key_Return);
    EXPECT_EQ(oks, 1);
    other->setFocus();
    QTest::keyClick(other, Qt::Key_Return);
    EXPECT_EQ(others, 1); // the focused push button takes Enter
    EXPECT_EQ(oks, 1);
    box->setFocus();
    QTest::keyClick(box, Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(oks, 2);
    ok->setEnabled(false);
    QTest::keyClick(box, Qt::Key_Return);
    EXPECT_EQ(oks, 2);
    running = true;
    QTest::keyClick(box, Qt::Key_Escape);
    EXPECT_TRUE(w.isVisible());
    running = false;
    QTest::keyClick(box, Qt::Key_Escape);
    EXPECT_FALSE(w.isVisible());
}

TEST(WindowConventions, PlacementKeepsWindowsInsideTheArea)
{
    vocaset::test::qtApp();
    const QRect area(0, 0, 800, 600);
    struct Case
    {
        QRect start;
        QRect expected;
    } cases[] = {
        {{700, 500, 300, 200}, {500, 400, 300, 200}}, // moved back inside
        {{-50, -20, 300, 200}, {0, 0, 300, 200}},
        {{100, 100, 1000, 900}, {0, 0, 800, 600}}, // larger than the area: shrunk to it
    };
    for (const Case& c : cases) {
        QWidget parent;
        parent.resize(area.size());
        QWidget w(&parent);
        w.setGeometry(c.start);
        placeInside(&w, area);
        EXPECT_EQ(w.geometry(), c.expected);
    }
}

TEST(WindowConventions, ConfirmationAndMnemonics)
{
    vocaset::test::qtApp();
    TestSession t;
    t.op.yesNo.enqueue(false);
    EXPECT_FALSE(confirmAbandon(t.s));
    EXPECT_TRUE(confirmAbandon(t.s));
    EXPECT_EQ(t.op.questions.size(), 2);

    QAction files(QStringLiteral("Files")), config(QStringLiteral("Fonts & Faces")), reboot(QStringLiteral("F"));
    addMnemonics({&files, &config, &reboot});
    EXPECT_EQ(files.text(), QStringLiteral("&Files"));
    EXPECT_EQ(config.text(), QStringLiteral("F&onts && Faces"));
    EXPECT_EQ(reboot.text(), QStringLiteral("F")); // no letter left
    // A letter the keyboard types directly comes before an accented one.
    EXPECT_EQ(withMnemonics({QStringLiteral("À propos"), QStringLiteral("É"), QStringLiteral("Aide")}),
              (QStringList{QStringLiteral("À &propos"), QStringLiteral("&É"), QStringLiteral("&Aide")}));
    EXPECT_EQ(withoutMnemonic(QStringLiteral("F&onts && Faces")), QStringLiteral("Fonts & Faces"));
}
