// The fleet window as the operator uses it: a company chosen, the list with a state and a colour per
// telephone and the count per state, sorting by a column, and "Reboot stale telephones" restarting
// exactly the stale ones among fake telephones on 127.0.0.1, with the reboot window's summary.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include "FFleet.h"
#include "FakePhone.h"
#include "FetchRecorder.h"
#include "PhoneFileSource.h"
#include "ProgressStrip.h"
#include "QtApp.h"
#include "RebootTestData.h"
#include "RunLogView.h"

namespace vocaset::test {
namespace {

// Accepts any answer: the test computes the file the server would send.
class Anyone final : public Credentials
{
public:
    Check check(const QString&, const QStringList&) override { return Check::Accepted; }
};

TEST(FFleet, RebootStaleTelephonesRestartsExactlyTheStaleOnes)
{
    qtApp();
    TestSession t;
    addRebootMessages(t);
    addRebootCatalogue(t);
    ASSERT_TRUE(FetchTable::prepare(t.tdb.db).isEmpty());
    const QStringList codes{QStringLiteral("101"), QStringLiteral("102"), QStringLiteral("103"), QStringLiteral("104")};
    FakePhone phones[4];
    for (int i = 0; i < 4; ++i) {
        addPhone(t, QStringLiteral("AC"), codes[i], QStringLiteral("PAP"), QStringLiteral("Desk ") + codes[i]);
        t.exec(QStringLiteral("UPDATE PHONES SET PH_MAC = '000B82000%1' WHERE PH_CODE = '%1'").arg(codes[i]));
        setPapAddress(t, codes[i], phones[i].address());
        phones[i].add({papFirst(phones[i].address()), "HTTP/1.0 200 OK\r\n\r\n"});
    }
    // 101 holds its current file, 102 and 104 an older one, 103 never fetched.
    PhoneFileSource source(t.tdb.connectionString(), QStringLiteral("EN"), 5000);
    Anyone anyone;
    const FileAnswer now = source.answer(QStringLiteral("000B82000101.txt"), anyone);
    ASSERT_EQ(now.status, 200);
    const auto fetch = [](const char* code, const QByteArray& tag) {
        return Fetch{QStringLiteral("AC"),       QLatin1String(code),    QStringLiteral("2031-01-01T00:00:00.000Z"),
                     QStringLiteral("10.1.1.1"), QStringLiteral("PAP2"), tag, {}};
    };
    FetchTable::write(t.tdb.db, {fetch("101", entityTag(now.body)), fetch("102", "\"old\""), fetch("104", "\"old\"")});
    // 104's last request was refused; 101 was refused once before its fetch.
    Fetch refused = fetch("104", {});
    refused.at = QStringLiteral("2031-01-02T00:00:00.000Z");
    refused.reason = QLatin1String(Refusal::kDigest);
    Fetch before = fetch("101", {});
    before.at = QStringLiteral("2030-12-31T00:00:00.000Z");
    before.reason = QLatin1String(Refusal::kLocked);
    FetchTable::write(t.tdb.db, {refused, before});

    FFleet w(t.s, t.tdb.connectionString(), 2000);
    w.show();
    EXPECT_FALSE(w.rebootStale()->isEnabled());
    const int ac = w.filter(1)->findText(QStringLiteral("AC \\\\ Acme"));
    ASSERT_GE(ac, 0);
    w.filter(1)->setCurrentIndex(ac);
    Q_EMIT w.filter(1)->activated(ac);

    QTreeWidget* list = w.list1();
    ASSERT_EQ(list->topLevelItemCount(), 4);
    EXPECT_EQ(w.counts()->text(), QStringLiteral("1 current, 2 stale, 1 never"));
    QMap<QString, QString> states;
    QMap<QString, QString> tips;
    QSet<QRgb> colours;
    for (int i = 0; i < 4; ++i) {
        const QTreeWidgetItem* item = list->topLevelItem(i);
        states.insert(item->text(FFleet::Code), item->text(FFleet::State));
        tips.insert(item->text(FFleet::Code), item->toolTip(FFleet::Mac));
        colours.insert(item->background(FFleet::Agent).color().rgb());
    }
    EXPECT_EQ(tips.value(QStringLiteral("104")),
              QStringLiteral("Last request refused at 2031-01-02T00:00:00.000Z: wrong Digest answer"));
    EXPECT_EQ(tips.value(QStringLiteral("101")), QString()) << "fetched since its refusal";
    EXPECT_EQ(states, (QMap<QString, QString>{{QStringLiteral("101"), QStringLiteral("current")},
                                              {QStringLiteral("102"), QStringLiteral("stale")},
                                              {QStringLiteral("103"), QStringLiteral("never")},
                                              {QStringLiteral("104"), QStringLiteral("stale")}}));
    EXPECT_EQ(colours.size(), 4) << "one colour per state, and the refused one's";
    // Sorted by state the current one comes first, the one never fetched last; by code descending, 104 first.
    list->sortByColumn(FFleet::State, Qt::AscendingOrder);
    EXPECT_EQ(list->topLevelItem(0)->text(FFleet::Code), QStringLiteral("101"));
    EXPECT_EQ(list->topLevelItem(3)->text(FFleet::Code), QStringLiteral("103"));
    list->sortByColumn(FFleet::Code, Qt::DescendingOrder);
    EXPECT_EQ(list->topLevelItem(0)->text(FFleet::Code), QStringLiteral("104"));

    ASSERT_TRUE(w.rebootStale()->isEnabled());
    // The restart asks how; Enter takes the HTTP reboot it offers first, without a confirmation.
    whenDialogShows([](QWidget* ask) { QTest::keyClick(ask, Qt::Key_Return); });
    w.rebootStale()->click();
    EXPECT_EQ(phones[0].connections + phones[2].connections, 0) << "the current and the never-fetched stay up";
    EXPECT_EQ(phones[1].connections, 1);
    EXPECT_EQ(phones[3].connections, 1);
    EXPECT_TRUE(phones[1].mismatches.isEmpty() && phones[3].mismatches.isEmpty());
    EXPECT_EQ(w.progress()->statusText(), QStringLiteral("2 selected, 2 restarted, 0 failed"));
    EXPECT_EQ(w.lb1()->lines().last(), w.progress()->statusText());
    EXPECT_TRUE(w.refreshButton()->isEnabled());
    EXPECT_TRUE(w.filter(1)->isEnabled());

    // Refresh reads the database again: the reboot itself changes nothing until they fetch.
    FetchTable::write(t.tdb.db,
                      {fetch("102", entityTag(source.answer(QStringLiteral("000B82000102.txt"), anyone).body))});
    w.refreshButton()->click();
    EXPECT_EQ(w.counts()->text(), QStringLiteral("2 current, 1 stale, 1 never"));
}

// The firmware column as the operator sorts it: a click on its heading orders the versions as
// numbers (1.9.7 before 1.10.2), the telephone whose firmware is unknown first; a second click
// turns the order round.
TEST(FFleet, FirmwareColumnSortedByAClickOnItsHeading)
{
    qtApp();
    TestSession t;
    addRebootCatalogue(t);
    ASSERT_TRUE(FetchTable::prepare(t.tdb.db).isEmpty());
    t.exec(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('$$PAP', '$$UAFIRMWARE', 'PAP2-([0-9.]+)')"));
    const QList<std::pair<const char*, const char*>> agents = {
        {"101", "PAP2-1.10.2"}, {"102", "PAP2-2.0.1"}, {"103", nullptr}, {"104", "PAP2-1.9.7"}};
    std::vector<Fetch> fetches;
    for (const auto& [code, agent] : agents) {
        addPhone(t, QStringLiteral("AC"), QLatin1String(code), QStringLiteral("PAP"), QStringLiteral("Desk"));
        t.exec(QStringLiteral("UPDATE PHONES SET PH_MAC = '000B82000%1' WHERE PH_CODE = '%1'").arg(QLatin1String(code)));
        if (agent)
            fetches.push_back({QStringLiteral("AC"), QLatin1String(code), QStringLiteral("2031-01-01T00:00:00.000Z"),
                               QStringLiteral("10.1.1.1"), QLatin1String(agent), "\"old\"", {}});
    }
    FetchTable::write(t.tdb.db, fetches);

    FFleet w(t.s, t.tdb.connectionString(), 2000);
    w.show();
    const int ac = w.filter(1)->findText(QStringLiteral("AC \\\\ Acme"));
    ASSERT_GE(ac, 0);
    w.filter(1)->setCurrentIndex(ac);
    Q_EMIT w.filter(1)->activated(ac);
    QTreeWidget* list = w.list1();
    EXPECT_EQ(list->headerItem()->text(FFleet::Firmware), QStringLiteral("Firmware"));
    const auto shown = [&] {
        QStringList rows;
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            rows.append(list->topLevelItem(i)->text(FFleet::Code) + u' ' + list->topLevelItem(i)->text(FFleet::Firmware));
        return rows;
    };
    QHeaderView* header = list->header();
    const QPoint heading(header->sectionViewportPosition(FFleet::Firmware) + header->sectionSize(FFleet::Firmware) / 2,
                         header->height() / 2);
    ASSERT_LT(heading.x(), header->viewport()->width()) << "the heading is in sight";
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, heading);
    const QStringList ascending = {QStringLiteral("103 "), QStringLiteral("104 1.9.7"), QStringLiteral("101 1.10.2"),
                                   QStringLiteral("102 2.0.1")};
    EXPECT_EQ(shown(), ascending);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, heading);
    EXPECT_EQ(shown(), QStringList(ascending.rbegin(), ascending.rend()));
}

// Closing the window (its frame, as the title bar does) while Refresh builds the telephones' files:
// the refresh stops at its next telephone and the window closes after it, with nothing left to
// crash on.
TEST(FFleet, ClosingDuringARefreshStopsItThenCloses)
{
    qtApp();
    TestSession t;
    addRebootMessages(t);
    addRebootCatalogue(t);
    ASSERT_TRUE(FetchTable::prepare(t.tdb.db).isEmpty());
    std::vector<Fetch> fetches;
    for (int i = 0; i < 300; ++i) {
        const QString code = QString::number(1000 + i);
        addPhone(t, QStringLiteral("AC"), code, QStringLiteral("PAP"), QStringLiteral("Desk"));
        t.exec(QStringLiteral("UPDATE PHONES SET PH_MAC = '000B8200%1' WHERE PH_CODE = '%1'").arg(code));
        Fetch f;
        f.company = QStringLiteral("AC");
        f.phone = code;
        f.at = QStringLiteral("2031-01-01T00:00:00.000Z");
        f.client = QStringLiteral("10.1.1.1");
        f.userAgent = QStringLiteral("PAP2");
        f.etag = "\"old\"";
        fetches.push_back(f);
    }
    FetchTable::write(t.tdb.db, fetches);

    QMdiArea area;
    area.show();
    auto* w = new FFleet(t.s, t.tdb.connectionString(), 2000);
    w->setAttribute(Qt::WA_DeleteOnClose);
    QMdiSubWindow* frame = area.addSubWindow(w);
    frame->show();
    const QPointer<FFleet> alive(w);
    const EveryCallGivesATurn turns;
    bool closedDuringRefresh = false;
    // Delivered at the refresh's first turn of the event loop.
    QTimer::singleShot(0, frame, [&] {
        closedDuringRefresh = w->refreshing();
        frame->close();
    });
    const int ac = w->filter(1)->findText(QStringLiteral("AC \\\\ Acme"));
    ASSERT_GE(ac, 0);
    w->filter(1)->setCurrentIndex(ac);
    Q_EMIT w->filter(1)->activated(ac);

    ASSERT_TRUE(closedDuringRefresh);
    ASSERT_FALSE(alive.isNull()) << "the window waited for the refresh";
    EXPECT_EQ(w->progress()->statusText(), QStringLiteral("Refresh stopped: no list shown."));
    EXPECT_EQ(w->list1()->topLevelItemCount(), 0);
    EXPECT_LT(w->progress()->done(), 300) << "stopped early";
    QElapsedTimer clock;
    clock.start();
    while (!alive.isNull() && clock.elapsed() < 2000) {
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    EXPECT_TRUE(alive.isNull());
    EXPECT_TRUE(area.subWindowList().isEmpty());
}

} // namespace
} // namespace vocaset::test
