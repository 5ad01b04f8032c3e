#include "FGenerate.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QFileInfo>
#include <QApplication>

#include <gtest/gtest.h>

#include "FExplain.h"
#include "GenerateFixture.h"
#include "ProgressStrip.h"
#include "QtApp.h"
#include "RunLogView.h"
#include "WindowConventions.h"

namespace vocaset::test {
namespace {

const QString AC = QStringLiteral("AC");
const QString GXP = QStringLiteral("GXP");

class FGenerateTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        qtApp();
        d.company(AC);
        d.company(QStringLiteral("BB")); // no telephones
        d.model(GXP, QStringLiteral("GRANDSTREAM"));
        d.model(QStringLiteral("PAP"), QStringLiteral("PAP2"));
        d.param(GXP, QStringLiteral("1"), QStringLiteral("E"), QStringLiteral("sip$$P"));
        for (const char* ph : {"101", "102", "103"})
            d.phone(AC, QLatin1String(ph), GXP, QStringLiteral("Desk"),
                    QStringLiteral("0011223344") + QLatin1String(ph).right(2));
        d.setting(AC + GXP, QStringLiteral("$$GENPATH"), dir.path() + u'/');
        w = std::make_unique<FGenerate>(d.s);
    }

    template <typename T> T* child(const QString& name) { return w->findChild<T*>(name); }
    QComboBox* filter(int i) { return child<QComboBox>(QStringLiteral("Filter") + QString::number(i)); }
    QCheckBox* level(int k) { return child<QCheckBox>(QStringLiteral("CLev") + QString::number(k)); }
    QPushButton* ok() { return child<QPushButton>(QStringLiteral("Ok")); }
    QStringList items(int i)
    {
        QStringList out;
        for (int k = 0; k < filter(i)->count(); ++k)
            out.append(filter(i)->itemText(k));
        return out;
    }
    void choose(int i, const QString& code)
    {
        const int index = filter(i)->findText(code + QStringLiteral(" \\\\ "), Qt::MatchStartsWith);
        ASSERT_GE(index, 0) << code.toStdString();
        filter(i)->setCurrentIndex(index);
        Q_EMIT filter(i)->activated(index);
    }

    GenerateData d;
    QTemporaryDir dir;
    std::unique_ptr<FGenerate> w;
};

TEST_F(FGenerateTest, SelectionChainEnablesGenerate)
{
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Vocaset Generation"));
    EXPECT_EQ(items(1), (QStringList{QStringLiteral("AC \\\\ Company AC"), QStringLiteral("BB \\\\ Company BB")}));
    EXPECT_TRUE(filter(1)->isEnabled());
    for (int i = 2; i <= 4; ++i)
        EXPECT_FALSE(filter(i)->isEnabled());
    EXPECT_FALSE(ok()->isEnabled());
    EXPECT_FALSE(child<QPushButton>(QStringLiteral("BtPath"))->isEnabled());
    EXPECT_FALSE(child<QCheckBox>(QStringLiteral("GenSrc"))->isChecked());

    choose(1, QStringLiteral("BB"));
    EXPECT_TRUE(filter(2)->isEnabled());
    EXPECT_EQ(filter(2)->count(), 0); // no telephones, no models
    choose(1, AC);
    EXPECT_EQ(items(2), QStringList{QStringLiteral("GXP \\\\ Model GXP")});

    choose(2, GXP);
    EXPECT_EQ(child<QLabel>(QStringLiteral("LPath"))->text(), dir.path());
    EXPECT_TRUE(w->folderConfirmed());
    EXPECT_TRUE(filter(3)->isEnabled());
    EXPECT_EQ(filter(3)->count(), 3);
    EXPECT_FALSE(ok()->isEnabled());

    choose(3, QStringLiteral("102"));
    EXPECT_EQ(items(4), (QStringList{QStringLiteral("102 \\\\ Desk"), QStringLiteral("103 \\\\ Desk")}));
    EXPECT_FALSE(ok()->isEnabled());
    choose(4, QStringLiteral("103"));
    EXPECT_TRUE(ok()->isEnabled());

    ok()->click();
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files),
              (QStringList{QStringLiteral("cfg001122334402"), QStringLiteral("cfg001122334403")}));
    auto* list = child<RunLogView>(QStringLiteral("List1"));
    list->flush();
    EXPECT_EQ(list->lineCount(), 5);
    EXPECT_EQ(list->currentLine(), 4);
    EXPECT_EQ(list->line(4), QStringLiteral("2 selected, 2 written, 0 refused"));
    EXPECT_EQ(child<ProgressStrip>(QStringLiteral("Progress"))->statusText(), list->line(4));
    EXPECT_EQ(child<QProgressBar>(QStringLiteral("ProgressBar"))->value(), 2);
    EXPECT_EQ(child<QProgressBar>(QStringLiteral("ProgressBar"))->maximum(), 2);
    EXPECT_TRUE(ok()->isEnabled());
    EXPECT_TRUE(filter(4)->isEnabled());

    // A new company choice empties everything after it.
    choose(1, AC);
    EXPECT_FALSE(ok()->isEnabled());
    EXPECT_FALSE(filter(3)->isEnabled());
    EXPECT_EQ(filter(3)->count(), 0);
}

TEST_F(FGenerateTest, LevelBoxesFollowDefaultsAndKeepOneTicked)
{
    d.setting(AC + GXP, QStringLiteral("$$DEFGEN"), QStringLiteral("000"));
    choose(1, AC);
    choose(2, GXP);
    EXPECT_FALSE(level(0)->isChecked());
    EXPECT_FALSE(level(1)->isChecked());
    EXPECT_TRUE(level(2)->isChecked());
    // Without the telephone level the folder check alone enables Generate.
    EXPECT_FALSE(filter(3)->isEnabled());
    EXPECT_TRUE(ok()->isEnabled());

    level(2)->click();
    EXPECT_TRUE(level(2)->isChecked());

    level(0)->click();
    EXPECT_TRUE(level(0)->isChecked());
    EXPECT_TRUE(filter(3)->isEnabled());
    EXPECT_FALSE(ok()->isEnabled());
    level(0)->click();
    EXPECT_FALSE(filter(3)->isEnabled());
    EXPECT_TRUE(ok()->isEnabled());

    ok()->click();
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("GXP.txt")});
}

TEST_F(FGenerateTest, FolderWithPlaceHoldersIsCheckedForTheFirstTelephone)
{
    d.exec(QStringLiteral("UPDATE SYSTEM_PARAMETERS SET SY_VALUE = '") + dir.path() +
           QStringLiteral("/$$P' WHERE SY_SUBCODE = '$$GENPATH'"));
    choose(1, AC);
    choose(2, GXP);
    EXPECT_FALSE(w->folderConfirmed());
    EXPECT_FALSE(filter(3)->isEnabled());

    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("101")));
    choose(2, GXP);
    EXPECT_TRUE(w->folderConfirmed());
    EXPECT_TRUE(filter(3)->isEnabled());
    EXPECT_TRUE(d.op.messages.isEmpty());
}

TEST_F(FGenerateTest, RefusedStatementIsShownAndTheWindowStaysUsable)
{
    level(0)->click();
    choose(1, AC);
    choose(2, GXP);
    ASSERT_TRUE(ok()->isEnabled());
    d.exec(QStringLiteral("DROP TABLE COMPANY_PARAMETERS"));
    ok()->click();
    ASSERT_EQ(d.op.messages.size(), 1);
    EXPECT_TRUE(ok()->isEnabled());
    EXPECT_TRUE(filter(2)->isEnabled());
    EXPECT_TRUE(level(1)->isEnabled());
}

TEST_F(FGenerateTest, CancelClosesTheChildWindow)
{
    QMdiArea area;
    auto* window = new FGenerate(d.s);
    QMdiSubWindow* sub = area.addSubWindow(window);
    sub->show();
    const QPointer<QMdiSubWindow> watch(sub);
    window->findChild<QPushButton*>(QStringLiteral("Cancel"))->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(watch.isNull() || !watch->isVisible());
    EXPECT_TRUE(area.subWindowList().isEmpty());
}

TEST_F(FGenerateTest, FrenchCaptionsTabOrderAndKeys)
{
    d.s.language = QStringLiteral("FR");
    for (const auto& [key, text] : {std::pair{"FGENERATE", "Génération Vocaset"}, {"FGENERATE_FLAB2", "Modèle"},
                                    {"FGENERATE_OK", "Générer"}, {"FGENERATE_GENSRC_TIP", "Aussi la source"}})
        d.exec(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', '") + QString::fromUtf8(key) +
               QStringLiteral("', '") + QString::fromUtf8(text) + QStringLiteral("')"));
    d.exec(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'FGENERATE_FLAB1', 'Firm')"));
    w = std::make_unique<FGenerate>(d.s);
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Génération Vocaset"));
    EXPECT_EQ(withoutMnemonic(child<QLabel>(QStringLiteral("FLab2"))->text()), QStringLiteral("Modèle"));
    EXPECT_EQ(withoutMnemonic(child<QLabel>(QStringLiteral("FLab1"))->text()), QStringLiteral("Firm")); // English row
    EXPECT_EQ(withoutMnemonic(child<QLabel>(QStringLiteral("FLab3"))->text()),
              QStringLiteral("Phone from")); // designed
    EXPECT_EQ(withoutMnemonic(ok()->text()), QStringLiteral("Générer"));
    EXPECT_EQ(child<QCheckBox>(QStringLiteral("GenSrc"))->toolTip(), QStringLiteral("Aussi la source"));

    w->show();
    QApplication::setActiveWindow(w.get());
    EXPECT_EQ(w->focusWidget(), filter(1));
    QStringList order;
    QWidget* at = level(0);
    for (int i = 0; i < 13; ++i, at = at->nextInFocusChain()) {
        while (at->focusPolicy() == Qt::NoFocus || at->objectName().isEmpty())
            at = at->nextInFocusChain();
        order.append(at->objectName());
    }
    EXPECT_EQ(
        order.join(u' '),
        QStringLiteral("CLev0 CLev1 CLev2 Filter1 Filter2 BtPath Filter3 Filter4 GenSrc List1 Preview Ok Cancel"));

    // Enter runs Generate only once it is enabled; Esc closes the idle window.
    QTest::keyClick(filter(1), Qt::Key_Return);
    EXPECT_EQ(child<RunLogView>(QStringLiteral("List1"))->lineCount(), 0);
    level(0)->click();
    choose(1, AC);
    choose(2, GXP);
    QTest::keyClick(filter(2), Qt::Key_Return);
    EXPECT_GT(child<RunLogView>(QStringLiteral("List1"))->lineCount(), 0);
    EXPECT_FALSE(QDir(dir.path()).entryList(QDir::Files).isEmpty());
    QTest::keyClick(filter(2), Qt::Key_Escape);
    EXPECT_FALSE(w->isVisible());
}

TEST_F(FGenerateTest, MissingFolderIsNamedAndOfferedAndTheWindowStaysUsable)
{
    const QString missing = dir.path() + QStringLiteral("/new/cfg");
    d.exec(QStringLiteral("UPDATE SYSTEM_PARAMETERS SET SY_VALUE = '") + missing +
           QStringLiteral("' WHERE SY_SUBCODE = '$$GENPATH'"));
    d.op.yesNo.enqueue(false);
    choose(1, AC);
    choose(2, GXP);
    ASSERT_EQ(d.op.questions.size(), 1);
    EXPECT_TRUE(d.op.questions[0].contains(missing)) << d.op.questions[0].toStdString();
    EXPECT_FALSE(w->folderConfirmed());
    EXPECT_TRUE(child<ProgressStrip>(QStringLiteral("Progress"))->statusText().contains(missing));
    EXPECT_TRUE(filter(2)->isEnabled());
    EXPECT_TRUE(child<QPushButton>(QStringLiteral("BtPath"))->isEnabled());

    choose(2, GXP); // accepted this time: the folder is made and the range is offered
    EXPECT_TRUE(QFileInfo(missing).isDir());
    EXPECT_TRUE(w->folderConfirmed());
    choose(3, QStringLiteral("101"));
    choose(4, QStringLiteral("103"));
    ASSERT_TRUE(ok()->isEnabled());

    // Removed before the run: the run's M7, then the same offer, and Generate is enabled again.
    ASSERT_TRUE(QDir(missing).removeRecursively());
    d.op.yesNo.enqueue(true);
    ok()->click();
    EXPECT_EQ(d.op.questions.size(), 3);
    EXPECT_TRUE(QFileInfo(missing).isDir());
    EXPECT_TRUE(ok()->isEnabled());
    EXPECT_EQ(filter(4)->currentText(), QStringLiteral("103 \\\\ Desk"));
    ok()->click();
    EXPECT_EQ(QDir(missing).entryList(QDir::Files).size(), 3);
}

// After a run started with the mouse the focus is back on the button clicked: the run's disabled
// buttons had handed it to Cancel (Abort), where the next Enter would close the window and its log.
TEST_F(FGenerateTest, EnterAfterAMouseStartedRunRunsAgainRatherThanClosing)
{
    const EveryCallGivesATurn turns;
    for (int i = 104; i < 200; ++i)
        d.phone(AC, QString::number(i), GXP, QStringLiteral("Desk"),
                QStringLiteral("00112233") + QString::number(i).rightJustified(4, u'0'));
    choose(1, AC);
    choose(2, GXP);
    choose(3, QStringLiteral("101"));
    choose(4, QStringLiteral("199"));
    w->show();
    QApplication::setActiveWindow(w.get());
    auto* log = child<RunLogView>(QStringLiteral("List1"));
    auto* cancel = child<QPushButton>(QStringLiteral("Cancel"));
    const struct
    {
        const char* button;
        bool abort; // Abort clicked at the run's first turn
    } cases[] = {{"Preview", false}, {"Ok", false}, {"Ok", true}};
    for (const auto& c : cases) {
        auto* button = child<QPushButton>(QLatin1String(c.button));
        if (c.abort)
            QTimer::singleShot(0, cancel, [cancel] { QTest::mouseClick(cancel, Qt::LeftButton); });
        QTest::mouseClick(button, Qt::LeftButton);
        EXPECT_EQ(w->focusWidget(), button) << c.button;
        EXPECT_EQ(log->line(log->lineCount() - 1).startsWith(QStringLiteral("aborted")), c.abort) << c.button;
        log->clear();
        QTest::keyClick(w->focusWidget(), Qt::Key_Return);
        EXPECT_TRUE(w->isVisible()) << c.button;
        EXPECT_GT(log->lineCount(), 0) << c.button << ": Enter ran it again";
    }
}

// A place-holder the generation cannot expand: the box names the token, the log line the
// telephone, the parameter and its level.
TEST_F(FGenerateTest, ARefusedPlaceHolderIsLoggedWithItsTelephoneParameterAndLevel)
{
    d.param(GXP, QStringLiteral("20"), QStringLiteral("P"), QString());
    d.phoneValue(AC, GXP, QStringLiteral("102"), QStringLiteral("20"), QStringLiteral("$$n,1,16"));
    choose(1, AC);
    choose(2, GXP);
    choose(3, QStringLiteral("101"));
    choose(4, QStringLiteral("103"));
    w->show();
    QTest::mouseClick(ok(), Qt::LeftButton);
    EXPECT_EQ(d.op.messages, QStringList{QStringLiteral("M6:$$n,1,16")});
    const QStringList lines = child<RunLogView>(QStringLiteral("List1"))->lines();
    EXPECT_TRUE(lines.contains(QStringLiteral("Telephone AC/102: parameter 20 at level P: M6:$$n,1,16")))
        << lines.join(u'|').toStdString();
}

TEST_F(FGenerateTest, ClosingDuringARunAsksThenStopsAfterTheCurrentTelephone)
{
    const EveryCallGivesATurn turns;
    // Long enough for the run to give the event loop several turns.
    for (int i = 104; i < 400; ++i)
        d.phone(AC, QString::number(i), GXP, QStringLiteral("Desk"), QStringLiteral("00112233") + QString::number(i).rightJustified(4, u'0'));
    choose(1, AC);
    choose(2, GXP);
    choose(3, QStringLiteral("101"));
    choose(4, QStringLiteral("399"));
    w->show();
    auto* log = child<RunLogView>(QStringLiteral("List1"));
    // The first answer keeps the run going, the second stops it.
    for (bool stop : {false, true}) {
        d.op.yesNo.enqueue(stop);
        bool askedWhileRunning = false;
        // Delivered at the run's first turn of the event loop.
        QTimer::singleShot(0, w.get(), [&] {
            askedWhileRunning = w->running();
            w->close();
        });
        ok()->click();
        EXPECT_TRUE(askedWhileRunning);
        const QString last = log->line(log->lineCount() - 1);
        if (!stop) {
            EXPECT_EQ(last, QStringLiteral("299 selected, 299 written, 0 refused"));
            EXPECT_TRUE(w->isVisible());
        } else {
            EXPECT_TRUE(last.startsWith(QStringLiteral("aborted after "))) << last.toStdString();
            EXPECT_FALSE(w->isVisible());
        }
    }
    EXPECT_EQ(d.op.questions.size(), 2);
}

} // namespace
} // namespace vocaset::test

namespace vocaset::test {
namespace {

TEST_F(FGenerateTest, PreviewWritesNothingAndADoubleClickShowsATelephonesValues)
{
    d.s.language = QStringLiteral("FR");
    for (const auto& [key, text] :
         {std::pair{"FGENERATE_PREVIEW", "Aperçu"}, {"FEXPLAIN", "Valeurs de $$"}, {"FEXPLAIN_COL2", "Valeur"}})
        d.setting(QStringLiteral("$$DESC_FR"), QString::fromUtf8(key), QString::fromUtf8(text));
    w = std::make_unique<FGenerate>(d.s);
    w->show();
    choose(1, AC);
    choose(2, GXP);
    choose(3, QStringLiteral("101"));
    choose(4, QStringLiteral("102"));
    auto* preview = child<QPushButton>(QStringLiteral("Preview"));
    EXPECT_EQ(withoutMnemonic(preview->text()), QStringLiteral("Aperçu"));
    auto* list = child<RunLogView>(QStringLiteral("List1"));
    const QStringList lines = {QStringLiteral("101 Desk: cfg001122334401 %1"),
                               QStringLiteral("102 Desk: cfg001122334402 %1"),
                               QStringLiteral("2 telephone(s) selected: %1; nothing written")};
    for (const auto& [verdict, counts] : {std::pair{"new, 1 parameter(s)", "0 unchanged, 2 new, 0 changed, 0 refused"},
                                          {"unchanged", "2 unchanged, 0 new, 0 changed, 0 refused"}}) {
        const QStringList files = QDir(dir.path()).entryList(QDir::Files);
        preview->click();
        list->flush();
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), files);
        EXPECT_EQ(list->lines(),
                  (QStringList{lines[0].arg(QLatin1String(verdict)), lines[1].arg(QLatin1String(verdict)),
                               lines[2].arg(QLatin1String(counts))}))
            << list->lines().join(u'|').toStdString();
        EXPECT_EQ(child<ProgressStrip>(QStringLiteral("Progress"))->statusText(), list->line(2));
        EXPECT_EQ(child<QProgressBar>(QStringLiteral("ProgressBar"))->value(), 2);
        EXPECT_TRUE(preview->isEnabled());
        EXPECT_TRUE(ok()->isEnabled());
        ok()->click();
    }

    // A double click on a line of the second telephone's turn: its values in a window of their own.
    list->flush();
    int line = 0;
    while (line < list->lineCount() && w->linePhone(line) != u"102")
        ++line;
    ASSERT_LT(line, list->lineCount());
    EXPECT_EQ(w->linePhone(line - 1), QStringLiteral("101"));
    const QRect row = list->visualRect(list->model()->index(line, 0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, row.center());
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, row.center());
    auto* values = w->findChild<FExplain*>();
    ASSERT_NE(values, nullptr);
    EXPECT_TRUE(values->isVisible());
    EXPECT_EQ(values->windowTitle(), QStringLiteral("Valeurs de AC/102"));
    QTableWidget* table = values->table();
    EXPECT_EQ(table->horizontalHeaderItem(2)->text(), QStringLiteral("Valeur"));
    ASSERT_EQ(table->rowCount(), 1);
    QStringList cells;
    for (int c = 0; c < table->columnCount(); ++c)
        cells << table->item(0, c)->text();
    EXPECT_EQ(cells, (QStringList{QStringLiteral("1"), QStringLiteral("Desc 1"), QStringLiteral("sip102"),
                                  QStringLiteral("E"), QStringLiteral("sip$$P"), QString()}));
    // The summary line belongs to no telephone; Esc closes the table.
    w->showValues(list->lineCount() - 1);
    EXPECT_EQ(values->windowTitle(), QStringLiteral("Valeurs de AC/102"));
    QTest::keyClick(table, Qt::Key_Escape);
    EXPECT_FALSE(values->isVisible());
    EXPECT_TRUE(w->isVisible());
}

} // namespace
} // namespace vocaset::test
