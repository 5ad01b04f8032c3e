#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QApplication>

#include "FReboot.h"
#include "FVocaset1.h"
#include "FakePhone.h"
#include "ProgressStrip.h"
#include "QtApp.h"
#include "RebootTestData.h"
#include "RunLogView.h"
#include "WindowConventions.h"

namespace vocaset::test {
namespace {

QStringList items(const QComboBox* box)
{
    QStringList list;
    for (int i = 0; i < box->count(); ++i)
        list.append(box->itemText(i));
    return list;
}

QStringList lines(const RunLogView* list)
{
    return list->lines();
}

class FRebootTest : public ::testing::Test
{
protected:
    FRebootTest()
    {
        qtApp();
        addRebootMessages(t);
        addRebootCatalogue(t);
        for (const char* sql : {
                 "INSERT INTO EQUIPMENT VALUES('NON', 'Analog', 'NONE')",
                 "INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'CANCEL_ABO', 'Stop')",
                 "INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'CANCEL_END', 'Close')",
             })
            t.exec(QLatin1String(sql));
        addPhone(t, QStringLiteral("AC"), QStringLiteral("101"), QStringLiteral("PAP"), QStringLiteral("Desk"));
        addPhone(t, QStringLiteral("AC"), QStringLiteral("102"), QStringLiteral("PAP"), QStringLiteral("Lab"));
        addPhone(t, QStringLiteral("AC"), QStringLiteral("103"), QStringLiteral("NON"), QStringLiteral("Fax"));
        addPhone(t, QStringLiteral("BT"), QStringLiteral("100"), QStringLiteral("PAP"), QStringLiteral("Shop"));
    }

    void address(const QString& code, const QString& value) { setPapAddress(t, code, value); }
    static void choose(FReboot& w, int list, const QString& entry)
    {
        QComboBox* box = w.filter(list);
        const int index = box->findText(entry);
        ASSERT_GE(index, 0) << entry.toStdString();
        box->setCurrentIndex(index);
        Q_EMIT box->activated(index);
    }
    static void chooseAll(FReboot& w, const QString& first, const QString& last)
    {
        choose(w, 1, QStringLiteral("AC \\\\ Acme"));
        choose(w, 2, QStringLiteral("PAP \\\\ Linksys PAP2"));
        choose(w, 3, first);
        choose(w, 4, last);
    }

    TestSession t;
};

TEST_F(FRebootTest, OpensWithCompaniesAndDescribedCaptions)
{
    t.exec(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'FREBOOT', 'Restart telephones')"));
    t.exec(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'FREBOOT_OK', 'Go')"));
    FReboot w(t.s);
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Restart telephones"));
    EXPECT_EQ(withoutMnemonic(w.ok()->text()), QStringLiteral("Go"));
    EXPECT_EQ(withoutMnemonic(w.cancel()->text()), QStringLiteral("Cancel"));
    EXPECT_EQ(withoutMnemonic(w.busy()->text()), QStringLiteral("Wait if Busy"));
    EXPECT_TRUE(w.busy()->isChecked());
    EXPECT_EQ(items(w.filter(1)), (QStringList{QStringLiteral("AC \\\\ Acme"), QStringLiteral("BT \\\\ Beta")}));
    EXPECT_EQ(w.filter(1)->currentIndex(), -1);
    EXPECT_TRUE(w.filter(1)->isEnabled());
    for (int i = 2; i <= 4; ++i)
        EXPECT_FALSE(w.filter(i)->isEnabled()) << i;
    EXPECT_FALSE(w.ok()->isEnabled());
    EXPECT_EQ(w.cancelTag(), QStringLiteral("End"));
}

TEST_F(FRebootTest, ChoicesNarrowTheListsAndChoosingAgainResetsTheLaterOnes)
{
    FReboot w(t.s);
    choose(w, 1, QStringLiteral("AC \\\\ Acme"));
    EXPECT_EQ(items(w.filter(2)),
              (QStringList{QStringLiteral("NON \\\\ Analog"), QStringLiteral("PAP \\\\ Linksys PAP2")}));
    choose(w, 2, QStringLiteral("PAP \\\\ Linksys PAP2"));
    // Only the chosen company's telephones, though BT has a PAP telephone too.
    EXPECT_EQ(items(w.filter(3)), (QStringList{QStringLiteral("101 \\\\ Desk"), QStringLiteral("102 \\\\ Lab")}));
    choose(w, 3, QStringLiteral("101 \\\\ Desk"));
    EXPECT_EQ(items(w.filter(4)), (QStringList{QStringLiteral("101 \\\\ Desk"), QStringLiteral("102 \\\\ Lab")}));
    EXPECT_FALSE(w.ok()->isEnabled());
    choose(w, 4, QStringLiteral("102 \\\\ Lab"));
    EXPECT_TRUE(w.ok()->isEnabled());

    choose(w, 2, QStringLiteral("NON \\\\ Analog"));
    EXPECT_FALSE(w.ok()->isEnabled());
    EXPECT_TRUE(w.filter(3)->isEnabled());
    EXPECT_FALSE(w.filter(4)->isEnabled());
    EXPECT_EQ(w.filter(4)->count(), 0);
    choose(w, 1, QStringLiteral("BT \\\\ Beta"));
    EXPECT_FALSE(w.filter(3)->isEnabled());
    EXPECT_EQ(w.filter(3)->count(), 0);
}

TEST_F(FRebootTest, RunLogsEachTelephoneAndCanBeRepeated)
{
    FakePhone first, second;
    address(QStringLiteral("101"), first.address());
    address(QStringLiteral("102"), second.address());
    for (int pass = 0; pass < 2; ++pass) {
        first.add({papFirst(first.address()), "HTTP/1.0 200 OK\r\n\r\n"});
        second.add({papFirst(second.address()), "HTTP/1.0 200 OK\r\n\r\n"});
    }
    FReboot w(t.s, 2000);
    w.show();
    chooseAll(w, QStringLiteral("101 \\\\ Desk"), QStringLiteral("102 \\\\ Lab"));
    const QStringList expected{QStringLiteral("PAP2 ") + first.address() + QStringLiteral(" - 101 - Desk"), msg("M15"),
                               QStringLiteral("PAP2 ") + second.address() + QStringLiteral(" - 102 - Lab"), msg("M15"),
                               QStringLiteral("2 selected, 2 restarted, 0 failed")};
    for (int pass = 0; pass < 2; ++pass) {
        w.ok()->click();
        EXPECT_EQ(lines(w.lb1()), expected);
        EXPECT_EQ(w.lb1()->currentLine(), 4);
        EXPECT_EQ(w.progress()->statusText(), expected.last());
        EXPECT_EQ(w.progress()->bar()->value(), 2);
        EXPECT_EQ(w.progress()->bar()->maximum(), 2);
        EXPECT_EQ(w.cancelTag(), QStringLiteral("End"));
        EXPECT_EQ(withoutMnemonic(w.cancel()->text()), QStringLiteral("Close"));
        EXPECT_TRUE(w.ok()->isEnabled());
    }
    EXPECT_TRUE(first.mismatches.isEmpty() && second.mismatches.isEmpty());
}

TEST_F(FRebootTest, CancelAbortsTheRunThenClosesTheWindow)
{
    FakePhone first, second;
    address(QStringLiteral("101"), first.address());
    address(QStringLiteral("102"), second.address());
    FReboot w(t.s, 3000);
    w.show();
    chooseAll(w, QStringLiteral("101 \\\\ Desk"), QStringLiteral("102 \\\\ Lab"));
    QString tagDuringRun, captionDuringRun;
    bool listsLocked = false;
    FakePhone::Step hang{papFirst(first.address()), {}, false};
    hang.onRequest = [&] {
        tagDuringRun = w.cancelTag();
        captionDuringRun = w.cancel()->text();
        listsLocked = !w.filter(1)->isEnabled() && !w.filter(2)->isEnabled() && !w.filter(4)->isEnabled();
        EXPECT_FALSE(w.ok()->isEnabled());
        w.cancel()->click();
    };
    first.add(hang);
    w.ok()->click();
    EXPECT_EQ(tagDuringRun, QStringLiteral("Abort"));
    EXPECT_EQ(withoutMnemonic(captionDuringRun), QStringLiteral("Stop"));
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(lines(w.lb1()).first(), QStringLiteral("PAP2 ") + first.address() + QStringLiteral(" - 101 - Desk"));
    EXPECT_EQ(second.connections, 0);
    EXPECT_TRUE(listsLocked);
    EXPECT_TRUE(w.filter(1)->isEnabled() && w.filter(4)->isEnabled());
    EXPECT_EQ(w.progress()->statusText(), QStringLiteral("aborted after 1 of 2: 0 restarted, 1 failed: 101"));
    EXPECT_EQ(t.op.questions.size(), 1); // Cancel asked before it aborted
    EXPECT_EQ(w.cancelTag(), QStringLiteral("End"));
    w.cancel()->click();
    EXPECT_FALSE(w.isVisible());
}

TEST_F(FRebootTest, ClosingDuringARunWaitsForItsEnd)
{
    FakePhone first;
    address(QStringLiteral("101"), first.address());
    QMdiArea area;
    auto* w = new FReboot(t.s, 3000);
    w->setAttribute(Qt::WA_DeleteOnClose);
    area.addSubWindow(w)->show();
    area.show();
    chooseAll(*w, QStringLiteral("101 \\\\ Desk"), QStringLiteral("101 \\\\ Desk"));
    bool stillOpen = false;
    FakePhone::Step hang{papFirst(first.address()), {}, false};
    hang.onRequest = [&] {
        area.subWindowList().first()->close();
        stillOpen = !area.subWindowList().isEmpty() && w->isVisible();
    };
    first.add(hang);
    QPointer<FReboot> alive(w);
    w->ok()->click();
    EXPECT_TRUE(stillOpen);
    EXPECT_TRUE(waitUntil([&] { return alive.isNull(); }));
    EXPECT_TRUE(waitUntil([&] { return area.subWindowList().isEmpty(); }));
}

// A telephone of the batch without its address is one log line and a failure; no box stops the
// batch, nothing is dialled for it, and the next telephone is restarted.
TEST_F(FRebootTest, ATelephoneWithoutAnAddressIsLoggedAsFailedAndTheRunGoesOn)
{
    FakePhone second;
    address(QStringLiteral("102"), second.address());
    second.add({papFirst(second.address()), "HTTP/1.0 200 OK\r\n\r\n"});
    second.add({papFirst(second.address()), "HTTP/1.0 200 OK\r\n\r\n"});
    FReboot w(t.s, 2000);
    w.show();
    chooseAll(w, QStringLiteral("101 \\\\ Desk"), QStringLiteral("102 \\\\ Lab"));
    const struct
    {
        const char* value; // 101's address: none, then empty
        const char* line;
    } cases[] = {{nullptr, "Telephone AC/101 not restarted: No telephone value for Static_IP"},
                 {"", "Telephone AC/101 not restarted: its address parameter Static_IP is empty."}};
    for (const auto& c : cases) {
        if (c.value)
            address(QStringLiteral("101"), QLatin1String(c.value));
        QTest::mouseClick(w.ok(), Qt::LeftButton);
        EXPECT_TRUE(t.op.messages.isEmpty()) << t.op.messages.join(u'|').toStdString();
        const QStringList log = lines(w.lb1());
        EXPECT_EQ(log.value(0), QLatin1String(c.line));
        EXPECT_EQ(log.value(2), msg("M15"));
        EXPECT_EQ(w.progress()->statusText(), QStringLiteral("2 selected, 1 restarted, 1 failed: 101"));
    }
    EXPECT_TRUE(second.mismatches.isEmpty());
}

TEST_F(FRebootTest, TabGoesInReadingOrderAndEscClosesWhenIdle)
{
    FReboot w(t.s);
    w.show();
    QApplication::setActiveWindow(&w);
    EXPECT_EQ(w.focusWidget(), w.filter(1));
    QStringList order;
    QWidget* at = w.filter(1);
    for (int i = 0; i < 13; ++i, at = at->nextInFocusChain()) {
        while (at->focusPolicy() == Qt::NoFocus || at->objectName().isEmpty() ||
               at->objectName().startsWith(QLatin1String("qt_")))
            at = at->nextInFocusChain();
        order.append(at->objectName());
    }
    EXPECT_EQ(order.join(u' '), QStringLiteral("Filter1 Filter2 Filter3 Filter4 Http Sip Confirm ConfirmSeconds Cbusy Outcomes Lb1 Ok Cancel"));
    EXPECT_FALSE(w.busy()->toolTip().isEmpty());
    QTest::keyClick(w.filter(1), Qt::Key_Return); // Reboot is not enabled yet: nothing happens
    EXPECT_TRUE(w.lb1()->lines().isEmpty());
    QTest::keyClick(w.filter(1), Qt::Key_Escape);
    EXPECT_FALSE(w.isVisible());
}

TEST_F(FRebootTest, RefusedStatementIsShownAndTheWindowStaysUsable)
{
    FReboot w(t.s, 300);
    chooseAll(w, QStringLiteral("101 \\\\ Desk"), QStringLiteral("102 \\\\ Lab"));
    t.exec(QStringLiteral("DROP TABLE PHONES_PARAMETERS"));
    w.ok()->click();
    ASSERT_EQ(t.op.messages.size(), 1);
    EXPECT_FALSE(w.running());
    EXPECT_TRUE(w.ok()->isEnabled());
    EXPECT_EQ(w.cancelTag(), QStringLiteral("End"));
}

TEST_F(FRebootTest, MainWindowOpensTheRebootWindow)
{
    FVocaset1 main(t.s, {{QStringLiteral("Reboot"), [](Session& s) -> QWidget* { return new FReboot(s); }}});
    QWidget* child = main.open(QStringLiteral("Reboot"));
    EXPECT_NE(qobject_cast<FReboot*>(child), nullptr);
    // Cancel on an idle window closes it, frame and all.
    QPointer<QWidget> alive(child);
    qobject_cast<FReboot*>(child)->cancel()->click();
    EXPECT_TRUE(waitUntil([&] { return alive.isNull() && main.mdiArea()->subWindowList().isEmpty(); }));
}

} // namespace
} // namespace vocaset::test
