// The reboot window's SIP resync and its confirmation by the next fetch, driven as the operator does.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>
#include <QTreeWidget>

#include "FFleet.h"
#include "FReboot.h"
#include "ProgressStrip.h"
#include "RestartChoice.h"
#include "QtApp.h"
#include "ResyncFixture.h"
#include "RunLogView.h"
#include "WindowConventions.h"

namespace vocaset::test {
namespace {

class FResyncTest : public ResyncTest
{
protected:
    FResyncTest() { qtApp(); }
    // Picks an entry of a list with the keyboard: the list opened, its entry typed, Enter.
    static void pick(QComboBox* box, const QString& entry)
    {
        box->setFocus();
        const int index = box->findText(entry, Qt::MatchStartsWith);
        ASSERT_GE(index, 0) << entry.toStdString();
        box->setCurrentIndex(index);
        Q_EMIT box->activated(index);
    }
    static QStringList rows(const QTreeWidget* list)
    {
        QStringList out;
        for (int i = 0; i < list->topLevelItemCount(); ++i) {
            const QTreeWidgetItem* row = list->topLevelItem(i);
            out << row->text(0) + u'|' + row->text(1) + u'|' + row->text(2).section(u' ', 0, 1);
        }
        return out;
    }
};

// Resync over SIP with the confirmation: the main button says so, the list shows each telephone's
// restart and, as they arrive, its confirmation; the log and the strip end with the counts. A model
// without its event is refused before anything is sent, naming the row to add.
TEST_F(FResyncTest, ResyncOverSipThenTheListConfirmsEachTelephone)
{
    ASSERT_EQ(FetchTable::prepare(t.tdb.db), QString());
    const QString tag = currentTag("101");
    BareUdpPhone phone(false, [&](const QByteArray& user) {
        if (user == "2101")
            recordFetch(QStringLiteral("101"), tag, soon());
    });
    setPort(phone.port());
    FReboot w(t.s, 300, nullptr, 10, 20);
    w.show();
    pick(w.filter(1), QStringLiteral("AC"));
    pick(w.filter(2), QStringLiteral("PAP"));
    pick(w.filter(3), QStringLiteral("101"));
    pick(w.filter(4), QStringLiteral("102"));
    const QString rebootCaption = withoutMnemonic(w.ok()->text());
    QTest::mouseClick(w.restart()->sip(), Qt::LeftButton);
    EXPECT_NE(withoutMnemonic(w.ok()->text()), rebootCaption);
    EXPECT_FALSE(w.busy()->isEnabled());
    QTest::mouseClick(w.restart()->confirm(), Qt::LeftButton);
    w.restart()->confirmSeconds()->setFocus();
    QTest::keyClick(w.restart()->confirmSeconds(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(w.restart()->confirmSeconds(), QStringLiteral("1"));
    EXPECT_EQ(w.restart()->confirmSeconds()->value(), 1);

    QTest::mouseClick(w.ok(), Qt::LeftButton);
    EXPECT_EQ(phone.copies.size(), 2);
    EXPECT_EQ(rows(w.outcomes()),
              (QStringList{QStringLiteral("101|restarted|confirmed at"), QStringLiteral("102|restarted|no fetch")}));
    const QString counts = QStringLiteral("2 telephone(s) awaited: 1 confirmed, 0 fetched another file, 1 no fetch");
    EXPECT_EQ(w.lb1()->lines().last(), counts);
    EXPECT_EQ(w.progress()->statusText(), counts);
    EXPECT_FALSE(w.running());
    EXPECT_TRUE(w.ok()->isEnabled());

    t.exec(QStringLiteral("DELETE FROM SYSTEM_PARAMETERS WHERE SY_SUBCODE = '$$NOTIFY'"));
    t.log.lines.clear();
    QTest::mouseClick(w.ok(), Qt::LeftButton);
    EXPECT_EQ(phone.copies.size(), 2);
    ASSERT_EQ(t.op.messages.size(), 1);
    EXPECT_TRUE(t.op.messages[0].contains(QStringLiteral("$$NOTIFY"))) << t.op.messages[0].toStdString();
    EXPECT_EQ(w.outcomes()->topLevelItemCount(), 0);
}

// The fleet restarts its stale telephones over SIP when the operator chooses so, and with the
// confirmation the list follows it: the telephone that fetched its current file turns current.
TEST_F(FResyncTest, TheFleetResyncsItsStaleTelephonesAndFollowsTheirFetches)
{
    ASSERT_EQ(FetchTable::prepare(t.tdb.db), QString());
    const QString tag = currentTag("101");
    for (const char* code : {"101", "102"})
        recordFetch(QLatin1String(code), QStringLiteral("\"old\""), QStringLiteral("2026-01-01T00:00:00.000Z"));
    BareUdpPhone phone(false, [&](const QByteArray& user) {
        if (user == "2101")
            recordFetch(QStringLiteral("101"), tag, soon());
    });
    setPort(phone.port());
    FFleet w(t.s, t.tdb.connectionString(), 300, nullptr, 10, 20);
    w.show();
    pick(w.filter(1), QStringLiteral("AC"));
    const auto states = [&w] {
        QStringList out;
        for (int i = 0; i < w.list1()->topLevelItemCount(); ++i)
            out << w.list1()->topLevelItem(i)->text(FFleet::Code) + u'=' +
                       w.list1()->topLevelItem(i)->text(FFleet::State);
        out.sort();
        return out;
    };
    ASSERT_EQ(states(), (QStringList{QStringLiteral("101=stale"), QStringLiteral("102=stale")}));
    whenDialogShows([](QWidget* ask) {
        auto* choice = ask->findChild<RestartChoice*>();
        QTest::mouseClick(choice->sip(), Qt::LeftButton);
        QTest::mouseClick(choice->confirm(), Qt::LeftButton);
        choice->confirmSeconds()->setFocus();
        QTest::keyClick(choice->confirmSeconds(), Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(choice->confirmSeconds(), QStringLiteral("1"));
        QTest::keyClick(choice->confirmSeconds(), Qt::Key_Return);
    });
    QTest::mouseClick(w.rebootStale(), Qt::LeftButton);
    EXPECT_EQ(phone.copies.size(), 2);
    EXPECT_EQ(states(), (QStringList{QStringLiteral("101=current"), QStringLiteral("102=stale")}));
    EXPECT_EQ(w.lb1()->lines().last(),
              QStringLiteral("2 telephone(s) awaited: 1 confirmed, 0 fetched another file, 1 no fetch"));
    EXPECT_FALSE(w.running());
}

} // namespace
} // namespace vocaset::test
