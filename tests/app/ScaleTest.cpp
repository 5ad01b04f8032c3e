// The windows at QT_SCALE_FACTOR 1.5 on a 1400x1000 screen: the frame opens inside the screen's
// available area, and every child window, with its buttons, inside the frame's work area.

#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

#include "AppFixture.h"

namespace vocaset::test {
namespace {

// The screen is set before the application object exists: this program holds only this test.
QTemporaryDir screenDir;
const bool screenSet = [] {
    QFile config(screenDir.filePath(QStringLiteral("screen.json")));
    if (!config.open(QIODevice::WriteOnly))
        return false;
    config.write(R"({"windowFrameMargins": true, "screens": [{"name": "Scaled", "x": 0, "y": 0,
                    "width": 1400, "height": 1000, "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})");
    config.close();
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + config.fileName().toLocal8Bit());
    qputenv("QT_SCALE_FACTOR", "1.5");
    return true;
}();

TEST_F(AppTest, AtScaleOneAndAHalfEveryWindowOpensInsideTheScreen)
{
    ASSERT_TRUE(screenSet);
    FVocaset1 frame(d.s, childWindows());
    frame.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
    settle();
    const QRect screen = frame.screen()->availableGeometry();
    ASSERT_NEAR(frame.screen()->geometry().width(), 1400 / 1.5, 1) << "the screen and the scale apply";
    EXPECT_TRUE(screen.contains(frame.frameGeometry()))
        << frame.frameGeometry().width() << "x" << frame.frameGeometry().height() << " on " << screen.width() << "x"
        << screen.height();
    for (const QString& entry : windowEntries()) {
        QWidget* window = frame.open(entry);
        settle();
        const QRect area = frame.mdiArea()->viewport()->rect();
        const auto* sub = qobject_cast<QMdiSubWindow*>(window->parentWidget());
        ASSERT_TRUE(sub);
        EXPECT_TRUE(area.contains(sub->geometry())) << entry.toStdString();
        for (const QPushButton* button : window->findChildren<QPushButton*>()) {
            if (!button->isVisible())
                continue;
            const QRect at(button->mapTo(frame.mdiArea()->viewport(), QPoint(0, 0)), button->size());
            EXPECT_TRUE(area.contains(at)) << entry.toStdString() << " " << button->objectName().toStdString();
        }
        frame.mdiArea()->closeAllSubWindows();
        settle();
    }
}

} // namespace
} // namespace vocaset::test
