// The model templates window on a working copy of the demo database, driven as the operator does.

#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>

#include <gtest/gtest.h>

#include "DatabaseCreation.h"
#include "FHistory.h"
#include "FModelTemplates.h"
#include "ModelTemplates.h"
#include "QtApp.h"
#include "TestDatabase.h"

namespace vocaset::test {
namespace {

template <typename T> T* child(QWidget* w, const char* name)
{
    return w->findChild<T*>(QLatin1String(name));
}

QStringList problems(QWidget* w)
{
    QStringList out;
    auto* list = child<QListWidget>(w, "Problems");
    for (int i = 0; i < list->count(); ++i)
        out.append(list->item(i)->text());
    return out;
}

class FModelTemplatesTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        qtApp();
        const QString sourceFile = root.filePath(QStringLiteral("source.db"));
        if (!QFile::copy(QStringLiteral(VOCASET_DEMO_DB), sourceFile))
            GTEST_SKIP() << "the demo source database has not been built: " << VOCASET_DEMO_DB;
        ASSERT_EQ(createDatabase(t.s, QStringLiteral("Provider=SQLite;Data Source=") + sourceFile, t.log),
                  CreationOutcome::Created);
        t.s.userName = QStringLiteral("TESTER");
    }
    QTemporaryDir root;
    TestSession t{false};
    QStringList passwords = {QStringLiteral("wrong"), QStringLiteral("vocaset-admin")};
};

TEST_F(FModelTemplatesTest, TypingRemakesThePreviewAProblemLeadsToItsPlaceAndSaveChecksFirst)
{
    FModelTemplates w(t.s, [this]() -> std::optional<QString> {
        return passwords.isEmpty() ? std::nullopt : std::optional(passwords.takeFirst());
    });
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    auto* model = child<QComboBox>(&w, "Filter1");
    auto* text = child<QPlainTextEdit>(&w, "Text");
    auto* file = child<QPlainTextEdit>(&w, "File");
    EXPECT_EQ(QApplication::focusWidget(), model) << "the first list has the focus";
    EXPECT_TRUE(model->currentText().startsWith(QStringLiteral("SIPKV \\\\ ")));
    EXPECT_TRUE(text->toPlainText().startsWith(QStringLiteral("# {{model.name}}")));
    EXPECT_TRUE(file->toPlainText().contains(QStringLiteral("\naccount.1.auth_name=sip211\n")))
        << file->toPlainText().toStdString();
    EXPECT_EQ(problems(&w), QStringList());

    // Another telephone to preview with, chosen by key: its file a moment later.
    auto* subject = child<QComboBox>(&w, "Filter3");
    EXPECT_TRUE(subject->currentText().startsWith(QStringLiteral("ALPIN/211")));
    subject->setFocus();
    QTest::keyClick(subject, Qt::Key_Down);
    EXPECT_TRUE(subject->currentText().startsWith(QStringLiteral("ALPIN/212")));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return file->toPlainText().contains(QStringLiteral("\naccount.1.auth_name=sip212\n")); }, 5000))
        << file->toPlainText().toStdString();
    QTest::keyClick(subject, Qt::Key_Up);
    w.refreshNow();

    // Keys typed at the end of the second line: the file is made again a moment later.
    text->setFocus();
    QTest::keyClick(text, Qt::Key_Down);
    QTest::keyClick(text, Qt::Key_End);
    QTest::keyClicks(text, QStringLiteral("{{phone.nmae}}"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !problems(&w).isEmpty(); }, 5000));
    EXPECT_EQ(problems(&w).value(0),
              QStringLiteral("line 2, column 12: \"phone.nmae\" names nothing a template can use"));
    EXPECT_TRUE(file->toPlainText().isEmpty()) << "no file while a name is unknown";

    // A click on the problem puts the cursor at its line and column.
    text->moveCursor(QTextCursor::Start);
    auto* list = child<QListWidget>(&w, "Problems");
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(0)).center());
    EXPECT_EQ(QApplication::focusWidget(), text);
    EXPECT_EQ(text->textCursor().blockNumber(), 1);
    EXPECT_EQ(text->textCursor().positionInBlock(), 11);

    // Save: the wrong password first, then the right one; a problem keeps it from saving.
    const ModelTemplate before = *ModelTemplates::read(t.tdb.db, QStringLiteral("SIPKV"), QStringLiteral("config"));
    QTest::mouseClick(child<QPushButton>(&w, "Save"), Qt::LeftButton);
    EXPECT_TRUE(t.op.messages.last().startsWith(QStringLiteral("Saving or deleting a template needs")))
        << t.op.messages.join(u'\n').toStdString();
    QTest::mouseClick(child<QPushButton>(&w, "Save"), Qt::LeftButton);
    EXPECT_EQ(*ModelTemplates::read(t.tdb.db, QStringLiteral("SIPKV"), QStringLiteral("config")), before);
    EXPECT_TRUE(problems(&w).value(0).contains(QStringLiteral("phone.nmae")));
    text->moveCursor(QTextCursor::EndOfLine);
    for (int i = 0; i < 6; ++i)
        QTest::keyClick(text, Qt::Key_Backspace);
    QTest::keyClicks(text, QStringLiteral("code}}"));
    w.refreshNow();
    EXPECT_EQ(problems(&w), QStringList());
    EXPECT_TRUE(file->toPlainText().contains(QStringLiteral("\n211\naccount.1.auth_name=sip211\n")))
        << file->toPlainText().toStdString();
    QTest::mouseClick(child<QPushButton>(&w, "Save"), Qt::LeftButton);
    EXPECT_FALSE(w.modified());
    EXPECT_EQ(ModelTemplates::read(t.tdb.db, QStringLiteral("SIPKV"), QStringLiteral("config"))->text,
              text->toPlainText());

    // History lists the change just saved.
    QTest::mouseClick(child<QPushButton>(&w, "History"), Qt::LeftButton);
    auto* history = w.findChild<FHistory*>();
    ASSERT_TRUE(history);
    EXPECT_EQ(history->table()->rowCount(), 1);
    EXPECT_EQ(history->table()->item(0, 4)->text(), QStringLiteral("MT_TEXT"));
    history->close();

    // Another model with changes not saved: kept when the operator says no, left when yes.
    QTest::keyClicks(text, QStringLiteral("x"));
    t.op.yesNo.enqueue(false);
    model->setCurrentIndex(1);
    Q_EMIT model->activated(1);
    EXPECT_TRUE(model->currentText().startsWith(QStringLiteral("SIPKV")));
    EXPECT_TRUE(w.modified());
    t.op.yesNo.enqueue(true);
    model->setCurrentIndex(1);
    Q_EMIT model->activated(1);
    EXPECT_TRUE(model->currentText().startsWith(QStringLiteral("SIPXML")));
    EXPECT_TRUE(text->toPlainText().startsWith(QStringLiteral("<?xml")));
    EXPECT_EQ(t.op.questions.size(), 2);

    // A problem in the file made, not in the template: the cursor goes into the file.
    text->moveCursor(QTextCursor::End);
    QTest::keyClicks(text, QStringLiteral("<extra>"));
    w.refreshNow();
    ASSERT_FALSE(problems(&w).isEmpty());
    EXPECT_TRUE(problems(&w).value(0).contains(QStringLiteral("of the file")))
        << problems(&w).join(u'\n').toStdString();
    list->setCurrentRow(0);
    QTest::keyClick(list, Qt::Key_Return);
    EXPECT_EQ(QApplication::focusWidget(), file);
}

TEST_F(FModelTemplatesTest, CaptionsComeInTheUsersLanguage)
{
    t.s.language = QStringLiteral("FR");
    FModelTemplates w(t.s);
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Gabarits des mod\u00e8les"));
    EXPECT_EQ(child<QPushButton>(&w, "Save")->text().remove(u'&'), QStringLiteral("Enregistrer"));
    EXPECT_EQ(child<QLabel>(&w, "PLab")->text().remove(u'&'), QStringLiteral("Aper\u00e7u pour"));
}

} // namespace
} // namespace vocaset::test
