// The editor's window offscreen on a working copy of the demo database, with scripted passwords
// and messages.

#include <QAction>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QQueue>
#include <QTabBar>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>

#include <gtest/gtest.h>

#include "EditorFixture.h"
#include "FHistory.h"
#include "FParameters.h"
#include "ProgressStrip.h"
#include "QtApp.h"
#include "RecordListModel.h"
#include "ToolkitTranslation.h"
#include "WindowConventions.h"

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
        show();
    }
    void show()
    {
        w->show();
        w->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    }
    // A key pressed where the keyboard focus is, as the operator types it.
    void press(int key)
    {
        QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : w.get();
        QTest::keyClick(target, Qt::Key(key));
    }
    // Answers the modal dialog the window opens, once it is on the screen.
    template <typename Dialog, typename F> void whenShown(F answer)
    {
        auto* poll = new QTimer(w.get());
        QObject::connect(poll, &QTimer::timeout, poll, [poll, answer] {
            if (auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
                dialog && dialog->isVisible()) {
                poll->deleteLater();
                poll->stop();
                answer(dialog);
            }
        });
        poll->start(10);
    }
    void clickTab(int index) { QTest::mouseClick(tabs(), Qt::LeftButton, {}, tabs()->tabRect(index).center()); }
    // The record count shown under the list.
    QString status() { return w->findChild<ProgressStrip*>()->statusText(); }
    // The texts of the listed rows, each row's cells joined by '|'.
    QStringList listed()
    {
        QStringList rows;
        for (int r = 0; r < w->listModel()->recordCount(); ++r)
            rows.append(w->listModel()->cells(r).join(u'|'));
        return rows;
    }
    bool editing() { return child<QLabel>("Label", 1)->isVisible(); }
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

    // The code tables hold English texts; their drop-downs show the French rows.
    tabs()->setCurrentIndex(tab("EQUIPMENT_PARAMETERS"));
    command(0, "Edit");
    QStringList levels;
    for (QComboBox* box : w->findChildren<QComboBox*>())
        if (box->isVisible() && box->objectName().startsWith(QLatin1String("Combo")))
            for (int i = 0; i < box->count(); ++i)
                levels << box->itemText(i);
    EXPECT_TRUE(levels.contains(QStringLiteral("E \\\\ Valeur par défaut du modèle")))
        << levels.join(u',').toStdString();
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
    EXPECT_EQ(child<QPushButton>(QStringLiteral("Ok"))->text(), QStringLiteral("&Update"));
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
    // The list read before the test removed the row: only a new listing shows the row as inserted.
    EXPECT_TRUE(listed().contains(QStringLiteral("OHARA|PAP2|%1|x'y").arg(code))) << "listed again after the insert";
    EXPECT_EQ(records(), stored + 1);
    EXPECT_EQ(status(), QStringLiteral("%1 records").arg(stored + 1));
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

TEST_F(FParametersTest, AnEmptyTableOffersNewOnlyOverItsPlaceholderRow)
{
    d.exec(QStringLiteral("DELETE FROM PHONE_BOOK"));
    open();
    tabs()->setCurrentIndex(tab("PHONE_BOOK"));
    EXPECT_EQ(list()->model()->rowCount(), 1) << "one placeholder row";
    EXPECT_EQ(records(), 0);
    EXPECT_EQ(status(), QStringLiteral("0 records"));
    rightClick(0);
    ASSERT_TRUE(menu()->isVisible());
    EXPECT_TRUE(entry("New")->isEnabled());
    EXPECT_FALSE(entry("Edit")->isEnabled() || entry("Delete")->isEnabled());
    menu()->hide();

    // Below the last row there is nothing to act on.
    const QPoint empty(10, list()->viewport()->height() - 5);
    ASSERT_FALSE(list()->indexAt(empty).isValid());
    QContextMenuEvent event(QContextMenuEvent::Mouse, empty, list()->viewport()->mapToGlobal(empty));
    QCoreApplication::sendEvent(list()->viewport(), &event);
    EXPECT_FALSE(menu()->isVisible());
}

TEST_F(FParametersTest, DeleteFromTheKeyboardRemovesTheRowAndItsCount)
{
    open();
    tabs()->setCurrentIndex(tab("PHONE_BOOK"));
    const int before = records();
    ASSERT_GT(before, 2);
    EXPECT_EQ(status(), QStringLiteral("%1 records").arg(before));
    list()->setFocus();
    list()->setCurrentIndex(w->listModel()->index(1, 1));
    const QString gone = listed().at(1);
    press(Qt::Key_Delete);
    ASSERT_TRUE(editing());
    press(Qt::Key_Return); // Ok
    EXPECT_FALSE(editing());
    EXPECT_EQ(records(), before - 1);
    EXPECT_FALSE(listed().contains(gone));
    EXPECT_EQ(d.count(QStringLiteral("SELECT * FROM PHONE_BOOK")), before - 1);
    EXPECT_EQ(status(), QStringLiteral("%1 records").arg(before - 1));
    EXPECT_FALSE(w->findChild<ProgressStrip*>()->bar()->isVisible()) << "a count, not a full bar";
}

TEST_F(FParametersTest, ARefusedRecordStaysOpenAndIsExplainedInWords)
{
    open();
    tabs()->setCurrentIndex(tab("COMPANY"));
    const int before = records();
    list()->setFocus();
    press(Qt::Key_Insert); // New
    ASSERT_TRUE(editing());
    type(1, QStringLiteral("ALPIN"));
    type(2, QStringLiteral("Second Alpine"));
    press(Qt::Key_Return);
    ASSERT_EQ(d.op.messages.size(), 1);
    // The words first, then the database's own text (which may run over several lines).
    const QString shown = d.op.messages[0];
    EXPECT_EQ(shown.section(u'\n', 0, 0),
              QStringLiteral("The record could not be stored. This code is already used: CO_CODE = ALPIN."));
    EXPECT_TRUE(shown.section(u'\n', 1).startsWith(QStringLiteral("The database answered: "))) << shown.toStdString();
    EXPECT_TRUE(editing()) << "the record stays open with what was typed";
    EXPECT_EQ(child<QLineEdit>("Text", 2)->text(), QStringLiteral("Second Alpine"));
    EXPECT_EQ(records(), before);

    // Esc asks before the typed record is thrown away, as closing does.
    d.op.yesNo.enqueue(false);
    press(Qt::Key_Escape);
    EXPECT_EQ(d.op.questions.size(), 1);
    EXPECT_TRUE(editing());
    d.op.yesNo.enqueue(true);
    press(Qt::Key_Escape);
    EXPECT_FALSE(editing());

    // A company its telephones still name cannot go; the message says where it is used.
    list()->setCurrentIndex(w->listModel()->index(0, 1));
    ASSERT_EQ(w->listModel()->cells(0).value(0), QStringLiteral("ALPIN"));
    press(Qt::Key_Delete);
    press(Qt::Key_Return);
    ASSERT_EQ(d.op.messages.size(), 2);
    EXPECT_TRUE(d.op.messages[1].startsWith(
        QStringLiteral("The record could not be deleted. Other records still refer to it, in ")))
        << d.op.messages[1].toStdString();
    EXPECT_TRUE(d.op.messages[1].section(u'\n', 0, 0).contains(QStringLiteral("PHONES")));
    EXPECT_EQ(records(), before) << "the row stays listed";
    EXPECT_TRUE(listed().first().startsWith(QStringLiteral("ALPIN|")));
}

TEST_F(FParametersTest, TabChangesResetFiltersAndAskThePasswordAgain)
{
    open();
    const int phones = tab("PHONES");
    const int settings = tab("SYSTEM_PARAMETERS");
    tabs()->setCurrentIndex(phones);
    const int all = records();
    QComboBox* filter = child<QComboBox>("Filter", 1);
    const int alpin = filter->findText(QStringLiteral("ALPIN"));
    filter->setCurrentIndex(alpin);
    Q_EMIT filter->activated(alpin);
    ASSERT_LT(records(), all);
    clickTab(tab("COMPANY"));
    clickTab(phones);
    EXPECT_EQ(child<QComboBox>("Filter", 1)->currentText(), QStringLiteral("All"));
    EXPECT_EQ(records(), all);

    // A wrong password shows no record and no count of the tab before.
    asked = 0;
    passwords.enqueue(QStringLiteral("guess"));
    clickTab(settings);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(records(), 0);
    EXPECT_EQ(status(), QString());
    passwords.enqueue(QStringLiteral("settings"));
    clickTab(settings); // the same tab again: asked again
    EXPECT_EQ(asked, 2);
    EXPECT_GT(records(), 0);
    clickTab(phones);
    passwords.enqueue(QStringLiteral("guess"));
    clickTab(settings);
    EXPECT_EQ(asked, 3) << "nothing is remembered between selections";
    EXPECT_EQ(records(), 0);
}

TEST_F(FParametersTest, ThePasswordPromptIsMaskedAndSpeaksTheUserLanguage)
{
    d.s.language = QStringLiteral("FR");
    installToolkitTranslation(d.s.language);
    w = std::make_unique<FParameters>(d.s);
    show();
    QStringList seen;
    whenShown<QInputDialog>([&](QInputDialog* dialog) {
        seen << dialog->windowTitle() << dialog->labelText();
        auto* field = dialog->findChild<QLineEdit*>();
        seen << QString::number(field->echoMode() == QLineEdit::Password);
        // The title fits in its bar, with room for the frame's buttons.
        seen << QString::number(dialog->width() > dialog->fontMetrics().horizontalAdvance(dialog->windowTitle()) + 100);
        for (auto* button : dialog->findChildren<QPushButton*>())
            seen << button->text();
        QTest::keyClicks(field, QStringLiteral("settings"));
        QTest::keyClick(field, Qt::Key_Return);
    });
    tabs()->setCurrentIndex(tab("SYSTEM_PARAMETERS"));
    installToolkitTranslation({});
    ASSERT_GE(seen.size(), 4);
    EXPECT_EQ(seen[0], QStringLiteral("Mot de passe requis"));
    EXPECT_EQ(seen[1], QStringLiteral("Mot de passe de l'onglet Réglages :")) << "names the password it wants";
    EXPECT_EQ(seen[2], QStringLiteral("1")) << "masked";
    EXPECT_EQ(seen[3], QStringLiteral("1")) << "title not cut: " << seen.join(u',').toStdString();
    EXPECT_TRUE(seen.contains(QStringLiteral("Annuler"))) << seen.join(u',').toStdString();
    EXPECT_EQ(w->accessMode(), AccessMode::True);

    // The record menu's entries each have their own Alt+letter, and show the keys of the list.
    EXPECT_EQ(entry("Edit")->text(), QStringLiteral("&Modifier\tF2"));
    EXPECT_TRUE(entry("Delete")->text().startsWith(QStringLiteral("&Supprimer\t")))
        << entry("Delete")->text().toStdString();
    EXPECT_TRUE(entry("New")->text().startsWith(QStringLiteral("&Nouveau\t"))) << entry("New")->text().toStdString();
}

TEST_F(FParametersTest, ALongValueWidensItsColumnOnlyUntilTheLimit)
{
    const QString wide(40, u'W');
    const QString wider(250, u'W');
    d.exec(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('AAA1', 'x', '%1')").arg(wide));
    d.exec(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('AAA2', 'x', '%1')").arg(wider));
    open();
    passwords.enqueue(QStringLiteral("settings"));
    tabs()->setCurrentIndex(tab("SYSTEM_PARAMETERS"));
    ASSERT_EQ(w->listModel()->cells(0).value(0), QStringLiteral("AAA1"));
    const QFontMetrics fm(list()->font());
    ASSERT_GT(fm.horizontalAdvance(wide) * 15, 5000) << "the first value passes the limit";
    // The first value past the width widens it once; the next, though wider still, no more.
    const int width = list()->columnWidth(3);
    EXPECT_GE(width, fm.horizontalAdvance(wide));
    EXPECT_LT(width, fm.horizontalAdvance(wider) / 2);
}

TEST_F(FParametersTest, AtItsMinimumSizeTheWindowShowsTabsFiltersAndThreeRowsWhileEditing)
{
    open();
    w->resize(w->minimumSize());
    tabs()->setCurrentIndex(tab("PHONE_BOOK"));
    list()->setFocus();
    list()->setCurrentIndex(w->listModel()->index(0, 1));
    press(Qt::Key_F2);
    ASSERT_TRUE(editing());
    QCoreApplication::processEvents();
    const auto inWindow = [&](QWidget* c) { return QRect(c->mapTo(w.get(), QPoint(0, 0)), c->size()); };
    EXPECT_LE(inWindow(tabs()).bottom(), inWindow(child<QLabel>("Label", 1)).top())
        << "the first edit row stays below the tabs";
    EXPECT_LE(inWindow(child<QComboBox>("Filter", 1)).bottom(), inWindow(list()).top());
    const QRect third = list()->visualRect(w->listModel()->index(2, 1));
    EXPECT_TRUE(list()->viewport()->rect().contains(third)) << "three list rows in view";
    EXPECT_LE(inWindow(list()).bottom(), inWindow(child<QLabel>("Label", 1)).top());
    press(Qt::Key_Escape);
    EXPECT_FALSE(editing());
}

// Rename from the record menu: the settings' second password, the new code, then a question that
// names the rows that change; the list shows the new code. Only company, model and telephone tabs
// offer it.
TEST_F(FParametersTest, RenameAsksTheAdminPasswordThenConfirmsTheRowsThatChange)
{
    open();
    tabs()->setCurrentIndex(tab("COMPANY"));
    const auto row = [&](const QString& code) {
        for (int r = 0; r < records(); ++r)
            if (w->listModel()->cells(r).value(0) == code)
                return r;
        return -1;
    };
    ASSERT_GE(row(QStringLiteral("OHARA")), 0);

    passwords.enqueue(QStringLiteral("settings")); // the first password lists, it does not rename
    command(row(QStringLiteral("OHARA")), "Rename");
    EXPECT_TRUE(d.op.messages.value(0).contains(QStringLiteral("second password")))
        << d.op.messages.join(u'|').toStdString();
    EXPECT_TRUE(d.op.prompts.isEmpty());

    // The operator answers No to the question: nothing changes.
    const int phones = d.count(QStringLiteral("SELECT * FROM PHONES WHERE CO_CODE = 'OHARA'"));
    passwords.enqueue(QStringLiteral("vocaset-admin"));
    d.op.texts.enqueue(QStringLiteral("OH2"));
    d.op.yesNo.enqueue(false);
    command(row(QStringLiteral("OHARA")), "Rename");
    EXPECT_EQ(d.op.prompts.value(0), QStringLiteral("New code for OHARA:"));
    ASSERT_EQ(d.op.questions.size(), 1);
    EXPECT_TRUE(d.op.questions[0].startsWith(QStringLiteral("Rename OHARA → OH2?\n")))
        << d.op.questions[0].toStdString();
    EXPECT_TRUE(d.op.questions[0].contains(QStringLiteral("Telephones ") + QString::number(phones)))
        << d.op.questions[0].toStdString();
    EXPECT_GE(row(QStringLiteral("OHARA")), 0);

    passwords.enqueue(QStringLiteral("vocaset-admin"));
    d.op.texts.enqueue(QStringLiteral("OH2"));
    d.op.yesNo.enqueue(true);
    command(row(QStringLiteral("OHARA")), "Rename");
    EXPECT_EQ(row(QStringLiteral("OHARA")), -1);
    EXPECT_GE(row(QStringLiteral("OH2")), 0);
    EXPECT_TRUE(status().startsWith(QStringLiteral("Renamed OHARA → OH2"))) << status().toStdString();
    EXPECT_EQ(d.count(QStringLiteral("SELECT * FROM PHONES WHERE CO_CODE = 'OH2'")), phones);

    // A refused code is asked again with the reason and what was typed; given again, it is told and
    // changes nothing.
    passwords.enqueue(QStringLiteral("vocaset-admin"));
    d.op.prompts.clear();
    d.op.texts.enqueue(QStringLiteral("ALPIN"));
    command(row(QStringLiteral("OH2")), "Rename");
    ASSERT_EQ(d.op.prompts.size(), 2);
    EXPECT_TRUE(d.op.prompts[1].startsWith(d.op.messages.last())) << d.op.prompts[1].toStdString();
    EXPECT_TRUE(d.op.messages.last().contains(QStringLiteral("ALPIN (COMPANY) is used already")))
        << d.op.messages.last().toStdString();
    EXPECT_GE(row(QStringLiteral("OH2")), 0);

    tabs()->setCurrentIndex(tab("LEVELS"));
    rightClick(0);
    ASSERT_TRUE(menu()->isVisible());
    menu()->hide();
    EXPECT_FALSE(entry("Rename")->isEnabled());
}

TEST_F(FParametersTest, HistoryShowsTheClickedRecordsChangesInTheUserLanguage)
{
    d.s.language = QStringLiteral("FR");
    open();
    tabs()->setCurrentIndex(tab("PHONES"));
    const QStringList before = w->listModel()->cells(0);
    command(0, "Edit");
    type(4, QStringLiteral("Accueil"));
    child<QPushButton>(QStringLiteral("Ok"))->click();
    command(1, "Edit");
    type(4, QStringLiteral("Another record"));
    child<QPushButton>(QStringLiteral("Ok"))->click();

    EXPECT_EQ(withoutMnemonic(entry("History")->text()), QStringLiteral("Historique…"));
    command(0, "History");
    FHistory* h = w->historyWindow();
    ASSERT_TRUE(h && h->isVisible());
    QTableWidget* changes = h->table();
    EXPECT_EQ(changes->horizontalHeaderItem(5)->text(), QStringLiteral("Ancienne valeur"));
    ASSERT_EQ(changes->rowCount(), 1) << "only the clicked record's change";
    const auto cell = [&](int column) { return changes->item(0, column)->text(); };
    EXPECT_EQ(cell(1), QStringLiteral("ALICE"));
    EXPECT_TRUE(cell(2).startsWith(QStringLiteral("éditeur ("))) << cell(2).toStdString();
    EXPECT_EQ(cell(3), QStringLiteral("modification"));
    EXPECT_EQ(cell(4), QStringLiteral("Description"));
    EXPECT_EQ(cell(5), before.value(3));
    EXPECT_EQ(cell(6), QStringLiteral("Accueil"));
    EXPECT_TRUE(h->windowTitle().contains(QStringLiteral("Téléphones ") + before[0] + u'/' + before[1]))
        << h->windowTitle().toStdString();

    // The same window shows the next record asked, and Esc closes it.
    tabs()->setCurrentIndex(tab("COMPANY"));
    command(0, "History");
    EXPECT_EQ(w->historyWindow(), h);
    EXPECT_EQ(changes->rowCount(), 0);
    QTest::keyClick(changes, Qt::Key_Escape);
    EXPECT_FALSE(h->isVisible());
}

// Passwords read "***" in the list of parameter values, as in the history; the record form shows
// one masked until Show is pressed. A value the generation cannot expand is saved with a warning.
TEST_F(FParametersTest, SecretValuesAreMaskedInTheListAndShownInTheFormOnRequest)
{
    open();
    tabs()->setCurrentIndex(tab("COMPANY_PARAMETERS"));
    const auto shown = [&](int row) { return w->listModel()->index(row, 4).data().toString(); };
    const auto row = [&](const char* parameter) {
        for (int r = 0; r < records(); ++r) {
            const QStringList cells = w->listModel()->cells(r);
            if (cells.value(0) == u"ALPIN" && cells.value(1) == u"GXP2000" &&
                cells.value(2) == QLatin1String(parameter))
                return r;
        }
        return -1;
    };
    const int secret = row("2"); // the reboot's password of the model
    const int plain = row("3");
    ASSERT_GE(secret, 0);
    ASSERT_GE(plain, 0);
    const QString password = w->listModel()->cells(secret).value(3);
    EXPECT_EQ(shown(secret), QStringLiteral("***"));
    EXPECT_EQ(shown(plain), w->listModel()->cells(plain).value(3));

    command(secret, "Edit");
    QLineEdit* value = child<QLineEdit>("Text", 4);
    auto* reveal = child<QToolButton>(QStringLiteral("Reveal"));
    EXPECT_EQ(value->echoMode(), QLineEdit::Password);
    ASSERT_TRUE(reveal->isVisible());
    QTest::mouseClick(reveal, Qt::LeftButton);
    EXPECT_EQ(value->echoMode(), QLineEdit::Normal);
    EXPECT_EQ(value->text(), password);

    type(4, QStringLiteral("$$n,1,16"));
    QTest::mouseClick(child<QPushButton>(QStringLiteral("Ok")), Qt::LeftButton);
    EXPECT_FALSE(editing());
    EXPECT_TRUE(status().contains(QStringLiteral("place-holder $$n,1,16"))) << status().toStdString();
    EXPECT_EQ(d.value(QStringLiteral("SELECT PA_VALUE FROM COMPANY_PARAMETERS WHERE CO_CODE = 'ALPIN' AND "
                                     "EQ_CODE = 'GXP2000' AND PA_CODE = '2'")),
              QStringLiteral("$$n,1,16"));
    EXPECT_EQ(shown(secret), QStringLiteral("***"));
    command(plain, "Edit");
    EXPECT_EQ(child<QLineEdit>("Text", 4)->echoMode(), QLineEdit::Normal);
    EXPECT_FALSE(reveal->isVisible());
}

} // namespace
} // namespace vocaset::test
