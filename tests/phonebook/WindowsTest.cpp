#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <gtest/gtest.h>

#include "FPBExp.h"
#include "FPBGen.h"
#include "FPBImp.h"
#include "FRgen.h"
#include "PhoneBookFixture.h"
#include "ProgressStrip.h"
#include "QtApp.h"
#include "RunLogView.h"

namespace vocaset::test {
namespace {

const QString AC = QStringLiteral("AC");

struct Windows : PhoneBookData
{
    Windows()
    {
        qtApp();
        entry(AC, QStringLiteral("200"), QStringLiteral("Anna"), QStringLiteral("V"));
        exec(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('ACGXP2000', '$$PBGEN', '%1/')").arg(files.path()));
        exec(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('AC', '$$PBExp', '%1')").arg(files.path()));
    }
    template <typename T> static T* child(QWidget* w, const char* name)
    {
        return w->findChild<T*>(QLatin1String(name));
    }
    static void choose(QWidget* w, const char* list, const QString& code)
    {
        auto* box = child<QComboBox>(w, list);
        const int index = box->findText(code + QStringLiteral(" \\\\ "), Qt::MatchStartsWith);
        ASSERT_GE(index, 0) << code.toStdString();
        box->setCurrentIndex(index);
        Q_EMIT box->activated(index);
    }
    static QStringList logOf(QWidget* w) { return child<RunLogView>(w, "List1")->lines(); }
    static QString status(QWidget* w) { return child<ProgressStrip>(w, "Progress")->statusText(); }
};

// The selection chain, the folder from the setting, a run with its log and closing line, and the
// company whose chosen model has no telephone.
TEST(PhoneBookWindows, GenerationWindowRunsFromTheChosenCompanyAndModel)
{
    Windows t;
    FPBGen w(t.s);
    auto* ok = Windows::child<QPushButton>(&w, "Ok");
    EXPECT_FALSE(ok->isEnabled());
    EXPECT_FALSE(Windows::child<QComboBox>(&w, "Filter2")->isEnabled());
    Windows::choose(&w, "Filter1", AC);
    EXPECT_TRUE(Windows::child<QComboBox>(&w, "Filter2")->isEnabled());
    EXPECT_FALSE(ok->isEnabled());
    Windows::choose(&w, "Filter2", QStringLiteral("GXP2000"));
    EXPECT_EQ(w.folder(), t.files.path());
    ASSERT_TRUE(ok->isEnabled());
    QTest::mouseClick(ok, Qt::LeftButton);
    EXPECT_EQ(Windows::logOf(&w), QStringList{QStringLiteral("200 - Anna")});
    EXPECT_TRUE(Windows::status(&w).contains(QStringLiteral("1 written"))) << Windows::status(&w).toStdString();
    EXPECT_TRUE(t.read(QStringLiteral("gs_phonebook.xml")).contains("<LastName>Anna</LastName>"));
    EXPECT_TRUE(ok->isEnabled());

    // A folder setting relative to the program's folder is shown as the folder the run writes to.
    t.s.appDir = t.files.path();
    t.exec(QStringLiteral("UPDATE SYSTEM_PARAMETERS SET SY_VALUE = 'books' WHERE SY_SUBCODE = '$$PBGEN'"));
    Windows::choose(&w, "Filter2", QStringLiteral("GXP2000"));
    EXPECT_EQ(w.folder(), t.files.path() + QStringLiteral("/books"));

    // Choosing the company again clears the folder and needs a model again; a company with only
    // models whose address book cannot be written is offered none.
    Windows::choose(&w, "Filter1", QStringLiteral("BC"));
    EXPECT_TRUE(w.folder().isEmpty());
    EXPECT_FALSE(ok->isEnabled());
    EXPECT_EQ(Windows::child<QComboBox>(&w, "Filter2")->count(), 0);
    Windows::choose(&w, "Filter1", AC);
    t.exec(QStringLiteral("DELETE FROM PHONES WHERE CO_CODE = 'AC'"));
    Windows::choose(&w, "Filter2", QStringLiteral("GXP2000"));
    EXPECT_EQ(t.op.messages, QStringList{QStringLiteral("M8:")});
    EXPECT_FALSE(ok->isEnabled());
}

// The spreadsheet option writes the workbook and hands it to the desktop; the captions follow the
// session's language with the designed texts as fallback.
TEST(PhoneBookWindows, ExportWindowOpensTheWorkbookAndTakesCaptions)
{
    Windows t;
    t.exec(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'FPBEXP_OPT1', 'Tableur')"));
    t.exec(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'FPBEXP_OK', 'Exporter')"));
    t.exec(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'M33', '$$ exportées')"));
    t.s.language = QStringLiteral("FR");
    FPBExp w(t.s);
    QStringList opened;
    w.setOpener([&opened](const QString& file) {
        opened.append(file);
        return false;
    });
    EXPECT_EQ(w.windowTitle(), QStringLiteral("PhoneBook Exportation"));
    EXPECT_EQ(Windows::child<QRadioButton>(&w, "Opt1")->text(), QStringLiteral("&Tableur"));
    EXPECT_EQ(Windows::child<QPushButton>(&w, "Ok")->text(), QStringLiteral("&Exporter"));
    EXPECT_TRUE(Windows::child<QRadioButton>(&w, "Opt0")->isChecked());
    EXPECT_EQ(Windows::child<QComboBox>(&w, "Filter2"), nullptr);

    Windows::choose(&w, "Filter1", AC);
    Windows::child<QRadioButton>(&w, "Opt1")->setChecked(true);
    QTest::mouseClick(Windows::child<QPushButton>(&w, "Ok"), Qt::LeftButton);
    EXPECT_EQ(opened, QStringList{t.path(QStringLiteral("AC.xlsx"))});
    EXPECT_TRUE(QFile::exists(t.path(QStringLiteral("AC.xlsx"))));
    EXPECT_EQ(Windows::logOf(&w).value(0), QStringLiteral("1 exportées"));
    EXPECT_EQ(Windows::logOf(&w).value(1), QStringLiteral("Written: ") + t.path(QStringLiteral("AC.xlsx")));
    EXPECT_TRUE(Windows::logOf(&w).value(2).startsWith(QStringLiteral("No application opened")));
}

// Generate needs a company and both codes (and is disabled again when one is emptied); the codes
// take digits only; the run logs each code.
TEST(PhoneBookWindows, RangeWindowEnablesGenerateOnlyWithBothCodes)
{
    Windows t;
    FRgen w(t.s);
    auto* ok = Windows::child<QPushButton>(&w, "Ok");
    auto* from = Windows::child<QLineEdit>(&w, "PFrom");
    auto* to = Windows::child<QLineEdit>(&w, "PTo");
    QTest::keyClicks(from, QStringLiteral("1a2"));
    EXPECT_EQ(from->text(), QStringLiteral("12"));
    QTest::keyClicks(to, QStringLiteral("13"));
    EXPECT_FALSE(ok->isEnabled());
    Windows::choose(&w, "Filter1", AC);
    EXPECT_TRUE(ok->isEnabled());
    to->clear();
    EXPECT_FALSE(ok->isEnabled());
    QTest::keyClicks(to, QStringLiteral("13"));

    QTest::mouseClick(ok, Qt::LeftButton);
    EXPECT_EQ(t.op.questions, QStringList{QStringLiteral("M26:2")});
    EXPECT_EQ(Windows::logOf(&w), (QStringList{QStringLiteral("M27:12"), QStringLiteral("M31:"),
                                               QStringLiteral("M27:13"), QStringLiteral("M31:")}));
    EXPECT_TRUE(Windows::status(&w).contains(QStringLiteral("2 created"))) << Windows::status(&w).toStdString();
    EXPECT_TRUE(ok->isEnabled());
}

} // namespace
} // namespace vocaset::test
