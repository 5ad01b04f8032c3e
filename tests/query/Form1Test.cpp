// The query tool's window, offscreen: its rows as the catalogue lays them out, the filter controls
// driven through their widgets, a query, sorting, the export and a refused statement.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

#include "DropDownCombo.h"
#include "Form1.h"
#include "QtApp.h"
#include "QueryFixture.h"
#include "WindowConventions.h"
#include "XlsxReader.h"

using namespace vocaset;
using namespace vocaset::test;

namespace {

struct Window
{
    Window()
    {
        qtApp();
        createCalls(t, sampleCalls());
        addQueryMessages(t);
        addCatalogue(t, QStringLiteral("calls"), QStringLiteral("CALLS"),
                     {QStringLiteral("CO_CODE"), QStringLiteral("CL_SECS:SUM"), QStringLiteral("CL_COST"),
                      QStringLiteral("CL_DATE"), QStringLiteral("NO_COLUMN")});
        EXPECT_EQ(tool.loadSetup(), QueryStart::Ready);
        form = std::make_unique<Form1>(tool);
        form->show();
    }
    template <typename T> T* child(const char* name, int i = -1)
    {
        const QString full = QLatin1String(name) + (i < 0 ? QString() : QString::number(i));
        T* w = form->findChild<T*>(full);
        EXPECT_NE(w, nullptr) << full.toStdString();
        return w;
    }
    QStringList column(int c) const
    {
        QStringList out;
        const ResultModel& m = form->result();
        for (int r = 0; r < m.rowCount(); ++r)
            out << m.data(m.index(r, c)).toString();
        return out;
    }

    TestSession t;
    QueryTool tool{t.s, QStringLiteral("calls")};
    std::unique_ptr<Form1> form;
};

} // namespace

TEST(Form1, RowsFollowTheCatalogueAndFiltersFollowTheirEvents)
{
    Window w;
    for (int i = 0; i < Form1::kRows; ++i) {
        SCOPED_TRACE(i);
        const bool used = i < 5;
        const bool filter = i == 0 || i == 3; // text and date; not SUM, the double, nor the missing column
        EXPECT_EQ(w.child<QCheckBox>("CkField", i)->isVisible(), used);
        EXPECT_EQ(w.child<DropDownCombo>("CbField", i)->isVisible(), filter);
        EXPECT_EQ(w.child<QPushButton>("BtField", i)->isVisible(), filter);
        EXPECT_FALSE(w.child<QPushButton>("BtField", i)->isEnabled());
    }
    EXPECT_EQ(withoutMnemonic(w.child<QCheckBox>("CkField", 0)->text()), QStringLiteral("CO_CODE"));

    DropDownCombo* cb = w.child<DropDownCombo>("CbField", 0);
    QPushButton* bt = w.child<QPushButton>("BtField", 0);
    ASSERT_EQ(cb->count(), 1);
    cb->lineEdit()->selectAll();
    QTest::keyClicks(cb->lineEdit(), QStringLiteral("A*"));
    cb->showPopup(); // the first opening fills the list and keeps the typed text
    cb->hidePopup();
    EXPECT_EQ(cb->count(), 4);
    EXPECT_EQ(cb->itemText(3), QStringLiteral("O'N"));
    EXPECT_EQ(cb->currentText(), QStringLiteral("A*"));
    EXPECT_FALSE(bt->isEnabled());

    cb->setCurrentIndex(3);
    Q_EMIT cb->activated(3);
    EXPECT_TRUE(bt->isEnabled());
    EXPECT_EQ(bt->text(), QStringLiteral("="));
    bt->click();
    EXPECT_EQ(bt->text(), QStringLiteral("<>"));

    // Query: nothing checked, so field 0 is; the company filter excludes O'N.
    w.child<QPushButton>("CExec")->click();
    EXPECT_TRUE(w.child<QCheckBox>("CkField", 0)->isChecked());
    EXPECT_EQ(w.column(1), (QStringList{QStringLiteral("AC"), QStringLiteral("BE")}));
    EXPECT_EQ(w.child<QLabel>("NbEnr")->text(), QStringLiteral("2"));
    EXPECT_TRUE(w.child<QPushButton>("BtExcel")->isEnabled());

    // Typing disables the button and turns the filter into a pattern.
    cb->setEditText(QStringLiteral("B*"));
    EXPECT_FALSE(bt->isEnabled());
    w.child<QPushButton>("CExec")->click();
    EXPECT_EQ(w.column(1), QStringList{QStringLiteral("BE")});

    // Esc from a filter box closes the window, as from any control.
    QTest::keyClick(cb->lineEdit(), Qt::Key_Escape);
    EXPECT_FALSE(w.form->isVisible());
}

TEST(Form1, SortsByHeaderExportsAndSurvivesARefusal)
{
    Window w;
    w.child<QCheckBox>("CkField", 0)->setChecked(true);
    w.child<QCheckBox>("CkField", 1)->setChecked(true);
    w.child<QPushButton>("CExec")->click();
    ASSERT_EQ(w.form->result().rowCount(), 3);
    // The same header twice: descending, as the export then shows.
    QHeaderView* header = w.child<QTreeView>("Lv")->header();
    Q_EMIT header->sectionClicked(2);
    Q_EMIT header->sectionClicked(2);
    const QStringList sums = w.column(2);
    EXPECT_GE(sums[0].toInt(), sums[2].toInt());

    QTemporaryDir dir;
    QString opened;
    w.form->chooseExportFile = [&](const QString& proposed) {
        EXPECT_TRUE(proposed.endsWith(QStringLiteral("/calls.xlsx")));
        return dir.filePath(QStringLiteral("out.xlsx"));
    };
    w.form->openLink = [&](const QUrl& link) {
        opened = link.toLocalFile();
        return false;
    };
    w.child<QPushButton>("BtExcel")->click();
    EXPECT_EQ(opened, dir.filePath(QStringLiteral("out.xlsx")));
    const XlsxReader book(opened);
    ASSERT_TRUE(book.ok());
    EXPECT_EQ(book.cell(1, 1), sums[0]);  // the list's order
    ASSERT_EQ(w.t.op.messages.size(), 1); // no program opens it: said so
    EXPECT_TRUE(w.t.op.messages[0].contains(opened));
    // F1 opens the manual beside the program at the query tool's section.
    QUrl manual;
    w.form->openLink = [&](const QUrl& link) {
        manual = link;
        return true;
    };
    w.form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.form.get()));
    QTest::keyClick(w.form.get(), Qt::Key_F1);
    EXPECT_EQ(manual.fileName(), QStringLiteral("manual.htm"));
    EXPECT_EQ(manual.fragment(), QStringLiteral("lenvik"));

    // The missing column: the engine's refusal is shown, the choices stay, the window works on.
    w.child<QCheckBox>("CkField", 4)->setChecked(true);
    w.child<QPushButton>("CExec")->click();
    ASSERT_EQ(w.t.op.messages.size(), 2);
    EXPECT_TRUE(w.t.op.messages[1].contains(QStringLiteral("NO_COLUMN"), Qt::CaseInsensitive));
    EXPECT_TRUE(w.child<QCheckBox>("CkField", 4)->isChecked());
    EXPECT_TRUE(w.child<QPushButton>("CExec")->isEnabled());
    EXPECT_FALSE(w.child<QPushButton>("BtExcel")->isEnabled());
    w.child<QCheckBox>("CkField", 4)->setChecked(false);
    w.child<QPushButton>("CExec")->click();
    EXPECT_EQ(w.form->result().rowCount(), 3);
}
