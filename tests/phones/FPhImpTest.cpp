#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include "FPhImp.h"
#include "PhonesFixture.h"
#include "ProgressStrip.h"
#include "QtApp.h"
#include "TestDatabase.h"

namespace vocaset::test {
namespace {

template <typename T> T* child(QWidget* w, const char* name)
{
    return w->findChild<T*>(QLatin1String(name));
}

void choose(QWidget* w, const char* list, const QString& code)
{
    auto* box = child<QComboBox>(w, list);
    const int index = box->findText(code + QStringLiteral(" \\\\ "), Qt::MatchStartsWith);
    ASSERT_GE(index, 0) << code.toStdString();
    box->setCurrentIndex(index);
    Q_EMIT box->activated(index);
}

// Types a file's name and presses Enter in the field, as the operator does.
void typeFile(QWidget* w, const QString& path)
{
    auto* field = child<QLineEdit>(w, "LFile");
    field->setFocus();
    field->clear();
    QTest::keyClicks(field, path);
    QTest::keyClick(field, Qt::Key_Return);
}

// Each preview row: line, telephone, change and details, joined by " | ".
QStringList preview(QWidget* w)
{
    QStringList rows;
    auto* tree = child<QTreeWidget>(w, "Preview");
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = tree->topLevelItem(i);
        rows.append(
            QStringList{item->text(0), item->text(1), item->text(2), item->text(3)}.join(QStringLiteral(" | ")));
    }
    return rows;
}

TEST(FPhImp, ThePreviewShowsWhatChangesAndImportWritesOnlyAFileWithoutRefusal)
{
    qtApp();
    TestSession t;
    for (const QString& row : kPhonesRows)
        t.exec(QStringLiteral("INSERT INTO ") + row);
    QTemporaryDir dir;
    const QString before = telephonesDump(t.tdb.db);
    FPhImp w(t.s);
    w.show();
    auto* ok = child<QPushButton>(&w, "Ok");
    auto* strip = child<ProgressStrip>(&w, "Progress");
    choose(&w, "Filter1", QStringLiteral("AC"));
    choose(&w, "Filter2", QStringLiteral("GXP2000"));

    // One refused line keeps Import off, and Enter in the field only checks the file again.
    typeFile(&w, writeFile(dir, QStringLiteral("bad.csv"),
                           "code;description;mac\r\n103;New;000B82000003\r\n104;Two;bad\r\n"));
    EXPECT_EQ(preview(&w), (QStringList{QStringLiteral("2 | 103 | Added | description \"New\", mac \"000B82000003\""),
                                        QStringLiteral("3 | 104 | Refused | mac: the MAC address \"bad\" is not 12 "
                                                       "hexadecimal digits")}));
    EXPECT_FALSE(ok->isEnabled());
    EXPECT_TRUE(strip->statusText().contains(QStringLiteral("refused with 1 problem:")))
        << strip->statusText().toStdString();
    QTest::keyClick(child<QLineEdit>(&w, "LFile"), Qt::Key_Return);
    EXPECT_EQ(telephonesDump(t.tdb.db), before);

    // A clean file: Enter in the field previews it and writes nothing; Import writes it.
    typeFile(&w, writeFile(dir, QStringLiteral("good.csv"), kExportedFile));
    const QStringList rows = preview(&w);
    ASSERT_EQ(rows.size(), 3);
    EXPECT_EQ(rows[0], QStringLiteral("2 | 101 | Updated | description \"Desk\" \u2192 \"R\u00e9ception\""));
    EXPECT_TRUE(rows[1].startsWith(QStringLiteral("3 | 103 | Added | "))) << rows[1].toStdString();
    EXPECT_TRUE(rows[1].contains(QStringLiteral("2 ***")));
    EXPECT_TRUE(rows[2].startsWith(QStringLiteral("4 | 104 | Added | new range code; "))) << rows[2].toStdString();
    EXPECT_EQ(telephonesDump(t.tdb.db), before);
    ASSERT_TRUE(ok->isEnabled());

    QTest::mouseClick(ok, Qt::LeftButton);
    EXPECT_EQ(strip->statusText(), QStringLiteral("2 added, 1 updated, 0 unchanged"));
    EXPECT_EQ(t.count(QStringLiteral("SELECT * FROM PHONES WHERE CO_CODE = 'AC' AND EQ_CODE = 'GXP2000'")), 3);
    // The preview now shows what the database holds: nothing left to import.
    for (const QString& row : preview(&w))
        EXPECT_TRUE(row.contains(QStringLiteral(" | Unchanged | "))) << row.toStdString();
    EXPECT_FALSE(ok->isEnabled());
    EXPECT_TRUE(t.op.messages.isEmpty()) << t.op.messages.join(u'\n').toStdString();
}

} // namespace
} // namespace vocaset::test
