// The new telephones' window as the operator uses it: the lobby listed with its count, several
// chosen, Claim… showing what it will create from the first code given, then the telephones made.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include "FLobby.h"
#include "PhoneLobby.h"
#include "QtApp.h"
#include "RebootTestData.h"

namespace vocaset::test {
namespace {

TEST(FLobby, ChosenTelephonesAreClaimedFromTheFirstCodeGivenAndLeaveTheList)
{
    qtApp();
    TestSession t;
    addRebootCatalogue(t);
    for (const char* code : {"300", "301", "302", "303"})
        t.exec(QStringLiteral("INSERT INTO RANGES VALUES('AC', '%1')").arg(QLatin1String(code)));
    ASSERT_EQ(LobbyTable::prepare(t.tdb.db), QString());
    std::map<QString, Arrival> arrivals;
    for (const char* mac : {"000B82000201", "000B82000202", "000B82000203"})
        arrivals.emplace(QLatin1String(mac),
                         Arrival{QLatin1String(mac), QLatin1String(mac) + QStringLiteral(".txt"), QStringLiteral("PAP2"),
                                 {}, QStringLiteral("2026-12-11T10:00:00.000Z"), QStringLiteral("10.0.0.7"),
                                 QStringLiteral("Linksys/PAP2-3.1.9")});
    LobbyTable::write(t.tdb.db, arrivals, MakerRegistry(QStringLiteral("/nonexistent")));

    FLobby w(t.s);
    w.show();
    EXPECT_EQ(w.list1()->topLevelItemCount(), 3);
    EXPECT_EQ(w.counts()->text(), QStringLiteral("3 new telephone(s)"));
    EXPECT_FALSE(w.claimButton()->isEnabled());
    // The first two chosen with the keyboard: the first row, then Shift+Down.
    w.list1()->sortByColumn(FLobby::Mac, Qt::AscendingOrder);
    w.list1()->setFocus();
    w.list1()->setCurrentItem(w.list1()->topLevelItem(0));
    QTest::keyClick(w.list1(), Qt::Key_Down, Qt::ShiftModifier);
    ASSERT_EQ(w.list1()->selectedItems().size(), 2);
    ASSERT_TRUE(w.claimButton()->isEnabled());

    QString shown;
    whenDialogShows([&shown](QWidget* ask) {
        auto* first = ask->findChild<QLineEdit*>(QStringLiteral("FirstCode"));
        first->setFocus();
        QTest::keyClicks(first, QStringLiteral("301"));
        shown = ask->findChild<QPlainTextEdit*>(QStringLiteral("Plan"))->toPlainText();
        QTest::keyClick(first, Qt::Key_Return);
    });
    QTest::mouseClick(w.claimButton(), Qt::LeftButton);
    EXPECT_EQ(shown, QStringLiteral("AC/301 PAP 000B82000201 000B82000201\nAC/302 PAP 000B82000202 000B82000202"));
    EXPECT_EQ(t.tdb.db
                  .execute(QStringLiteral("SELECT COUNT(*) FROM PHONES WHERE CO_CODE = 'AC' AND "
                                          "((PH_CODE = '301' AND PH_MAC = '000B82000201') OR "
                                          "(PH_CODE = '302' AND PH_MAC = '000B82000202'))"))
                  .text(0),
              QStringLiteral("2"));
    ASSERT_EQ(w.list1()->topLevelItemCount(), 1);
    EXPECT_EQ(w.list1()->topLevelItem(0)->text(FLobby::Mac), QStringLiteral("000B82000203"));
    EXPECT_EQ(w.counts()->text(), QStringLiteral("1 new telephone(s)"));
}

} // namespace
} // namespace vocaset::test
