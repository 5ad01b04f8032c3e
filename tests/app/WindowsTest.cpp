// Every window of the main program in its frame: its Alt letters against the menu bar's, and its
// lists after the editor renamed a code.

#include <QAction>
#include <QComboBox>
#include <QMenuBar>
#include <QPushButton>
#include <QSet>

#include "AppFixture.h"
#include "FParameters.h"
#include "RecordListModel.h"
#include "SelectionList.h"
#include "WindowConventions.h"

namespace vocaset::test {
namespace {

// The Alt letter of a control, or a null character.
QChar letterOf(const QWidget* w)
{
    if (const auto* label = qobject_cast<const QLabel*>(w))
        return label->buddy() ? mnemonicLetter(label->text()) : QChar();
    if (const auto* button = qobject_cast<const QAbstractButton*>(w))
        return mnemonicLetter(button->text());
    return {};
}

// Alt+letter in a child window must press its own control, never open a menu of the menu bar, and
// press only one control.
TEST_F(AppTest, EveryWindowsLettersAvoidTheMenuBarsAndEachOtherInBothLanguages)
{
    for (const QString& language : {QStringLiteral("EN"), QStringLiteral("FR")}) {
        d.s.language = language;
        FVocaset1 frame(d.s, childWindows());
        frame.show();
        QSet<QChar> bar;
        for (const QAction* title : frame.menuBar()->actions())
            bar.insert(mnemonicLetter(title->text()));
        bar.remove(QChar());
        EXPECT_EQ(bar.size(), frame.menuBar()->actions().size());
        for (const QString& entry : windowEntries()) {
            QWidget* window = frame.open(entry);
            settle();
            QHash<QChar, QString> taken;
            for (const QWidget* control : window->findChildren<QWidget*>()) {
                const QChar letter = letterOf(control);
                if (letter.isNull())
                    continue;
                const std::string where = QString(language + u' ' + window->objectName() + u' ' +
                                                  control->objectName() + QStringLiteral(" Alt+") + letter)
                                              .toStdString();
                EXPECT_FALSE(bar.contains(letter)) << where << " opens a menu";
                EXPECT_FALSE(taken.contains(letter)) << where << " and " << taken.value(letter).toStdString();
                taken.insert(letter, control->objectName());
            }
            frame.mdiArea()->closeAllSubWindows();
            settle();
        }
    }
}

// A rename in the editor reaches the other open windows' lists: the renamed company is offered by
// its new code only, a choice of it is gone with the lists after it, another choice stays.
TEST_F(AppTest, ARenameInTheEditorIsSeenByTheOpenGenerationAndRebootWindows)
{
    FVocaset1 frame(d.s, childWindows());
    frame.show();
    const auto choose = [](QWidget* window, int list, const QString& code) {
        auto* box = window->findChild<QComboBox*>(QStringLiteral("Filter") + QString::number(list));
        const int at = box->findText(code + QStringLiteral(" \\\\ "), Qt::MatchStartsWith);
        ASSERT_GE(at, 0) << code.toStdString();
        box->setCurrentIndex(at);
        Q_EMIT box->activated(at);
    };
    const auto list = [](QWidget* window, int i) {
        return window->findChild<QComboBox*>(QStringLiteral("Filter") + QString::number(i));
    };
    QWidget* generation = frame.open(QStringLiteral("GenConf"));
    choose(generation, 1, QStringLiteral("OHARA"));
    const QString ohara = list(generation, 2)->itemText(0);
    choose(generation, 2, entryCode(ohara));
    QWidget* reboot = frame.open(QStringLiteral("Reboot"));
    choose(reboot, 1, QStringLiteral("ALPIN"));
    choose(reboot, 2, QStringLiteral("GXP2000"));

    auto* editor = qobject_cast<FParameters*>(frame.open(QStringLiteral("Config1")));
    ASSERT_TRUE(editor);
    ASSERT_EQ(editor->currentTable(), QStringLiteral("COMPANY"));
    int row = -1;
    for (int r = 0; r < editor->listModel()->recordCount() && row < 0; ++r)
        if (editor->listModel()->cells(r).value(0) == u"ALPIN")
            row = r;
    ASSERT_GE(row, 0);
    editor->openRecordMenu(row, editor->mapToGlobal(QPoint(10, 10)));
    answerPassword(editor, QStringLiteral("vocaset-admin"));
    d.op.texts.enqueue(QStringLiteral("ALP2"));
    editor->findChild<QAction*>(QStringLiteral("Rename"))->trigger();
    ASSERT_EQ(d.count(QStringLiteral("SELECT * FROM COMPANY WHERE CO_CODE = 'ALP2'")), 1)
        << d.op.messages.join(u'|').toStdString();
    settle();

    for (QWidget* window : {generation, reboot}) {
        const QComboBox* companies = list(window, 1);
        EXPECT_GE(companies->findText(QStringLiteral("ALP2 \\\\ "), Qt::MatchStartsWith), 0);
        EXPECT_LT(companies->findText(QStringLiteral("ALPIN \\\\ "), Qt::MatchStartsWith), 0);
    }
    EXPECT_EQ(list(generation, 1)->currentText().section(u' ', 0, 0), QStringLiteral("OHARA"));
    EXPECT_EQ(list(generation, 2)->currentText(), ohara);
    EXPECT_EQ(list(reboot, 1)->currentIndex(), -1);
    EXPECT_FALSE(list(reboot, 2)->isEnabled());
    EXPECT_EQ(list(reboot, 2)->count(), 0);
    EXPECT_FALSE(reboot->findChild<QPushButton*>(QStringLiteral("Ok"))->isEnabled());
    // Chosen anew, the new code offers its models.
    choose(reboot, 1, QStringLiteral("ALP2"));
    EXPECT_GT(list(reboot, 2)->count(), 0);
}

} // namespace
} // namespace vocaset::test
