// The editor's window offscreen on a working copy of the demo database, with scripted passwords
// and messages.

#include <QAction>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QQueue>
#include <QTabBar>
#include <QTreeView>

#include <gtest/gtest.h>

#include "EditorFixture.h"
#include "FParameters.h"
#include "QtApp.h"
#include "RecordListModel.h"

namespace vocaset::test {
namespace {

class FParametersTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        qtApp();
        if (!d.ready)
            GTEST_SKIP() << "the demo source database has not been built";
    }
    void open()
    {
        w = std::make_unique<FParameters>(d.s, [this]() -> std::optional<QString> {
            ++asked;
            return passwords.isEmpty() ? std::nullopt : passwords.dequeue();
        });
        w->show();
    }
    template <typename T> T* child(const QString& name) { return w->findChild<T*>(name); }
    template <typename T> T* child(const char* name, int i)
    {
        return child<T>(QLatin1String(name) + QString::number(i));
    }
    QTabBar* tabs() { return child<QTabBar>(QStringLiteral("TabStrip")); }
    QTreeView* list() { return child<QTreeView>(QStringLiteral("ListCom")); }
    QMenu* menu() { return child<QMenu>(QStringLiteral("MnuRecord")); }
    QAction* entry(const char* name) { return menu()->findChild<QAction*>(QLatin1String(name)); }
    QLabel* lerr() { return child<QLabel>(QStringLiteral("LErr")); }
    int tab(const char* table)
    {
        for (int i = 0; i < tabs()->count(); ++i) {
            tabs()->setCurrentIndex(i);
            if (w->currentTable() == QLatin1String(table))
                return i;
        }
        return -1;
    }
    int records() { return w->listModel()->recordCount(); }
    void rightClick(int row)
    {
        const QRect cell = list()->visualRect(w->listModel()->index(row, 1));
        QContextMenuEvent event(QContextMenuEvent::Mouse, cell.center(),
                                list()->viewport()->mapToGlobal(cell.center()));
        QCoreApplication::sendEvent(list()->viewport(), &event);
    }
    void command(int row, const char* name)
    {
        rightClick(row);
        ASSERT_TRUE(menu()->isVisible());
        menu()->hide();
        ASSERT_TRUE(entry(name)->isEnabled()) << name;
        entry(name)->trigger();
    }
    void type(int row, const QString& text)
    {
        QLineEdit* field = child<QLineEdit>("Text", row);
        field->setText(text);
        Q_EMIT field->textEdited(text);
    }
    void choose(int row, const QString& code)
    {
        QComboBox* box = child<QComboBox>("Combo", row);
        const int index = box->findText(code + QStringLiteral(" \\\\ "), Qt::MatchStartsWith);
        ASSERT_GE(index, 0) << code.toStdString();
        box->setCurrentIndex(index);
        Q_EMIT box->activated(index);
    }

    DemoData d;
    QQueue<std::optional<QString>> passwords;
    int asked = 0;
    std::unique_ptr<FParameters> w;
};

TEST_F(FParametersTest, OpensOnTheFirstTabInTheUserLanguage)
{
    d.s.language = QStringLiteral("FR");
    open();
    ASSERT_EQ(tabs()->count(), 12);
    EXPECT_EQ(tabs()->tabText(0), QStringLiteral("Sociétés"));
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Configuration - Sociétés"));
    EXPECT_EQ(w->currentTable(), QStringLiteral("COMPANY"));
    EXPECT_EQ(child<QLabel>("FLab", 1)->text(), QStringLiteral("Société"));
    EXPECT_EQ(w->listModel()->headerData(2, Qt::Horizontal, Qt::DisplayRole).toString(),
              QStringLiteral("Nom de la société"));
    EXPECT_EQ(records(), d.count(QStringLiteral("SELECT * FROM COMPANY")));
    EXPECT_EQ(child<QComboBox>("Filter", 1)->itemText(0), QStringLiteral("Tous"));
    EXPECT_TRUE(list()->isColumnHidden(0));
    EXPECT_EQ(w->focusWidget(), list());
    EXPECT_EQ(asked, 0);
}

TEST_F(FParametersTest, PasswordsDecideWhichSettingsAreListed)
{
    open();
    for (const std::optional<QString>& typed :
         {std::optional<QString>(QStringLiteral("guess")), std::optional<QString>(),
          std::optional<QString>(QStringLiteral("settings")), std::optional<QString>(QStringLiteral("vocaset-admin"))})
        passwords.enqueue(typed);
    const int settings = tab("SYSTEM_PARAMETERS");
    ASSERT_GE(settings, 0);
    EXPECT_EQ(w->accessMode(), AccessMode::False);
    EXPECT_TRUE(lerr()->isVisible());
    EXPECT_EQ(lerr()->text(), QStringLiteral("Wrong password."));
    EXPECT_EQ(list()->model()->rowCount(), 0) << "headers and filters, no row";
    EXPECT_GT(list()->model()->columnCount(), 3);

    w->selectTab(settings); // cancelled
    EXPECT_EQ(w->accessMode(), AccessMode::False);
    w->selectTab(settings);
    EXPECT_EQ(w->accessMode(), AccessMode::True);
    EXPECT_FALSE(lerr()->isVisible());
    EXPECT_EQ(w->whereClause(), QStringLiteral(" WHERE SY_CODE NOT LIKE '$$%'"));
    EXPECT_EQ(records(), d.count(QStringLiteral("SELECT * FROM SYSTEM_PARAMETERS WHERE SY_CODE NOT LIKE '$$%'")));
    w->selectTab(settings);
    EXPECT_EQ(w->accessMode(), AccessMode::Admin);
    EXPECT_EQ(records(), d.count(QStringLiteral("SELECT * FROM SYSTEM_PARAMETERS WHERE SY_CODE LIKE '$$%'")));
    EXPECT_EQ(asked, 4);
}

TEST_F(FParametersTest, KeyFiltersFollowTheTableAndNarrowTheList)
{
    d.exec(QStringLiteral("INSERT INTO COMPANY VALUES('O''H', 'Apostrophe')"));
    open();
    const int company = tab("COMPANY");
    const int values = tab("PHONES_PARAMETERS");
    for (int i = 1; i <= 4; ++i)
        ASSERT_TRUE(child<QComboBox>("Filter", i)) << i;
    EXPECT_EQ(child<QLabel>("FLab", 4)->text(), QStringLiteral("Parameter"));
    tabs()->setCurrentIndex(company);
    EXPECT_TRUE(child<QComboBox>("Filter", 1));
    EXPECT_FALSE(child<QComboBox>("Filter", 2)) << "rows 2 to 4 destroyed";

    QComboBox* filter = child<QComboBox>("Filter", 1);
    const int index = filter->findText(QStringLiteral("O'H"));
    ASSERT_GT(index, 0);
    filter->setCurrentIndex(index);
    Q_EMIT filter->activated(index);
    EXPECT_EQ(records(), 1);
    EXPECT_EQ(w->whereClause(), QStringLiteral(" WHERE CO_CODE NOT LIKE '$$%' AND CO_CODE = 'O''H'"));

    tabs()->setCurrentIndex(values);
    for (int i = 1; i <= 4; ++i)
        EXPECT_EQ(child<QComboBox>("Filter", i)->currentIndex(), 0) << "each starts at All";
    EXPECT_EQ(records(), d.count(QStringLiteral("SELECT * FROM PHONES_PARAMETERS")));

    // Header clicks: ascending, then the same header descending, another header ascending again.
    const auto firstCell = [&](int column) { return w->listModel()->index(0, column).data().toString(); };
    Q_EMIT list()->header()->sectionClicked(5);
    const QString lowest = firstCell(5);
    Q_EMIT list()->header()->sectionClicked(5);
    EXPECT_GT(firstCell(5).compare(lowest, Qt::CaseInsensitive), 0);
    Q_EMIT list()->header()->sectionClicked(3);
    EXPECT_EQ(firstCell(3), d.value(QStringLiteral("SELECT MIN(PH_CODE) FROM PHONES_PARAMETERS")));
}

TEST_F(FParametersTest, RecordMenuEditAndTheKeyboardOrder)
{
    open();
    const int phones = tab("PHONES");
    tabs()->setCurrentIndex(phones);
    list()->setCurrentIndex(w->listModel()->index(0, 1));
    const QStringList before = w->listModel()->cells(0);
    command(0, "Edit");
    EXPECT_TRUE(child<QLabel>("Label", 1)->isVisible());
    EXPECT_FALSE(tabs()->isEnabled());
    EXPECT_FALSE(list()->isEnabled());
    EXPECT_TRUE(child<QComboBox>("Combo", 3)->isVisible()) << "the model has a lookup";
    EXPECT_TRUE(child<QPushButton>(QStringLiteral("Ok"))->isEnabled());
    EXPECT_EQ(child<QPushButton>(QStringLiteral("Ok"))->text(), QStringLiteral("Update"));
    rightClick(0);
    EXPECT_FALSE(menu()->isVisible()) << "no record menu while a record is open";

    // Tab goes top to bottom, then left to right: tabs, filters, list, edit rows, Ok, Cancel.
    QStringList order;
    QWidget* at = tabs();
    do {
        const QWidget* parent = at->parentWidget();
        if (at->isVisible() && (at->focusPolicy() & Qt::TabFocus) &&
            (parent == w.get() || parent == child<QWidget>(QStringLiteral("RCompany"))))
            order.append(at->objectName());
        at = at->nextInFocusChain();
    } while (at != tabs());
    EXPECT_EQ(order, (QStringList{QStringLiteral("TabStrip"), QStringLiteral("Filter1"), QStringLiteral("Filter2"),
                                  QStringLiteral("ListCom"), QStringLiteral("Text1"), QStringLiteral("Text2"),
                                  QStringLiteral("Combo3"), QStringLiteral("Text4"), QStringLiteral("Text5"),
                                  QStringLiteral("Ok"), QStringLiteral("Cancel")}));

    type(4, QStringLiteral("Reception 'desk'"));
    child<QPushButton>(QStringLiteral("Ok"))->click();
    EXPECT_FALSE(child<QLabel>("Label", 1)->isVisible());
    EXPECT_TRUE(tabs()->isEnabled());
    EXPECT_EQ(w->listModel()->cells(0).value(3), QStringLiteral("Reception 'desk'"));
    EXPECT_EQ(d.value(QStringLiteral("SELECT PH_DESC FROM PHONES WHERE CO_CODE = '%1' AND PH_CODE = '%2'")
                          .arg(before[0], before[1])),
              QStringLiteral("Reception 'desk'"));

    // A bad MAC is refused before anything is written; the record stays open with what was typed.
    command(0, "Edit");
    type(5, QStringLiteral("00:11:22"));
    child<QPushButton>(QStringLiteral("Ok"))->click();
    ASSERT_EQ(d.op.messages.size(), 1);
    EXPECT_TRUE(d.op.messages[0].contains(QStringLiteral("00:11:22")));
    EXPECT_EQ(child<QLineEdit>("Text", 5)->text(), QStringLiteral("00:11:22"));
    d.op.yesNo.enqueue(false);
    EXPECT_FALSE(w->close()) << "abandoning the typed MAC is asked and refused";
    child<QPushButton>(QStringLiteral("Cancel"))->click();
    EXPECT_EQ(w->listModel()->cells(0).value(4), before.value(4));
    EXPECT_EQ(d.value(QStringLiteral("SELECT PH_MAC FROM PHONES WHERE CO_CODE = '%1' AND PH_CODE = '%2'")
                          .arg(before[0], before[1])),
              before.value(4));
}

TEST_F(FParametersTest, InsertThroughTheChainedDropDowns)
{
    open();
    tabs()->setCurrentIndex(tab("COMPANY_PARAMETERS"));
    command(0, "New");
    QPushButton* ok = child<QPushButton>(QStringLiteral("Ok"));
    EXPECT_TRUE(list()->isEnabled()) << "list and filters stay usable during an insert";
    choose(1, QStringLiteral("OHARA"));
    choose(2, QStringLiteral("PAP2"));
    QComboBox* parameter = child<QComboBox>("Combo", 3);
    ASSERT_GT(parameter->count(), 0);
    EXPECT_FALSE(ok->isEnabled());
    const QString code = parameter->itemText(parameter->count() - 1).section(QStringLiteral(" \\\\ "), 0, 0);
    d.exec(
        QStringLiteral("DELETE FROM COMPANY_PARAMETERS WHERE CO_CODE = 'OHARA' AND EQ_CODE = 'PAP2' AND PA_CODE = '%1'")
            .arg(code));
    const int stored = d.count(QStringLiteral("SELECT * FROM COMPANY_PARAMETERS"));
    choose(3, code);
    type(4, QStringLiteral("x'y"));
    ASSERT_TRUE(ok->isEnabled());
    ok->click();
    EXPECT_EQ(d.count(QStringLiteral("SELECT * FROM COMPANY_PARAMETERS")), stored + 1);
    EXPECT_EQ(records(), stored + 1) << "listed again after the insert";
}

TEST_F(FParametersTest, TablesThatCannotBeEditedLeaveTheWindowUsable)
{
    d.exec(QStringLiteral("CREATE TABLE LOOSE (A nvarchar(5), B nvarchar(5))"));
    d.exec(QStringLiteral("INSERT INTO LOOSE VALUES('a', 'b')"));
    // A column whose name the list statement cannot carry unquoted.
    d.exec(QStringLiteral("CREATE TABLE ODD (\"ORDER\" nvarchar(5), PRIMARY KEY (\"ORDER\"))"));
    d.exec(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('$$TABS', '13', 'LOOSE')"));
    d.exec(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('$$TABS', '14', 'ODD')"));
    d.exec(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('$$TABS', '15', 'MISSING')"));
    open();
    ASSERT_EQ(tabs()->count(), 15);

    tabs()->setCurrentIndex(12);
    EXPECT_EQ(records(), 1);
    EXPECT_TRUE(lerr()->isVisible());
    EXPECT_TRUE(lerr()->text().contains(QStringLiteral("LOOSE"))) << lerr()->text().toStdString();
    rightClick(0);
    EXPECT_FALSE(entry("Edit")->isEnabled() || entry("New")->isEnabled() || entry("Delete")->isEnabled());
    menu()->hide();

    tabs()->setCurrentIndex(13);
    EXPECT_TRUE(lerr()->text().contains(QStringLiteral("ORDER"), Qt::CaseInsensitive)) << lerr()->text().toStdString();
    EXPECT_EQ(list()->model()->rowCount(), 0);
    tabs()->setCurrentIndex(14);
    EXPECT_TRUE(lerr()->text().contains(QStringLiteral("MISSING"))) << lerr()->text().toStdString();

    tabs()->setCurrentIndex(0);
    EXPECT_FALSE(lerr()->isVisible());
    EXPECT_TRUE(w->isEnabled());
    EXPECT_GT(records(), 0);
}

} // namespace
} // namespace vocaset::test
