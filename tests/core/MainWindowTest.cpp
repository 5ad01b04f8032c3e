#include <gtest/gtest.h>

#include <QAction>
#include <QMdiArea>
#include <QMdiSubWindow>

#include <QFileDialog>
#include <QTimer>

#include "BrowseForFolder.h"
#include "FVocaset1.h"
#include "MenuRights.h"
#include "QtApp.h"
#include "TestDatabase.h"

using namespace vocaset;
using vocaset::test::TestSession;

namespace {

QStringList enabledEntries(Session& s)
{
    QStringList out;
    for (const MenuEntryState& e : loadMainMenu(s).entries) {
        if (e.enabled)
            out << e.entry.name;
    }
    return out;
}

} // namespace

TEST(MainMenu, RightsRowsDecideEachEntry)
{
    TestSession t;
    EXPECT_TRUE(enabledEntries(t.s).isEmpty()); // no AUTHM rows: everything off, Quit included

    // The key (SY_CODE, SY_SUBCODE) allows one named entry per user; entry rows serve everybody.
    t.exec(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('AUTHM', 'ALICE', 'Config')"));
    t.exec(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('AUTHM', 'PbGen', 'x')"));
    t.exec(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('AUTHM', 'BOB', '*')"));
    t.exec(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('AUTHM', 'Reboot', '')"));
    // Entry names compare as stored: a row for "quit" is no right to Quit.
    t.exec(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('AUTHM', 'quit', '')"));
    EXPECT_EQ(enabledEntries(t.s), (QStringList{QStringLiteral("Config"), QStringLiteral("PbGen"), QStringLiteral("Reboot")}));

    t.s.userName = QStringLiteral("BOB");
    EXPECT_EQ(enabledEntries(t.s).size(), mainMenuEntries().size());

    t.s.userName = QStringLiteral("CAROL");
    t.exec(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('AUTHM', '*', '*')"));
    EXPECT_EQ(enabledEntries(t.s).size(), mainMenuEntries().size());
}

TEST(MainMenu, UserNamesWithQuotesCannotWidenTheirRights)
{
    TestSession t;
    t.exec(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('AUTHM', 'X', 'Config')"));
    t.s.userName = QStringLiteral("X' OR '1'='1");
    EXPECT_TRUE(enabledEntries(t.s).isEmpty());
}

TEST(MainMenu, CaptionCarriesVersionAndUserOnlyWhenStored)
{
    TestSession t;
    EXPECT_EQ(loadMainMenu(t.s).caption, QStringLiteral("Vocaset"));
    t.exec(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'FVOCASET1', 'Provisioning')"));
    t.exec(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'FVOCASET1_GENCONF', 'Configuration files')"));
    const MainMenuState st = loadMainMenu(t.s);
    EXPECT_EQ(st.caption, QStringLiteral("Provisioning 1.1.42 - ALICE"));
    EXPECT_EQ(st.entries[4].caption, QStringLiteral("Configuration files"));
    EXPECT_EQ(st.entries[6].caption, QStringLiteral("Generate")); // PbGen keeps its designed caption
}

TEST(MainWindow, ShowsCaptionsRightsAndDisabledHeaders)
{
    vocaset::test::qtApp();
    TestSession t;
    t.exec(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'FVOCASET1', 'Vocaset')"));
    t.exec(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'FVOCASET1_REBOOT', 'Restart')"));
    t.exec(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('AUTHM', 'ALICE', 'PbGen')"));
    t.exec(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('AUTHM', 'Reboot', '')"));
    FVocaset1 w(t.s);
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Vocaset 1.1.42 - ALICE"));
    EXPECT_EQ(w.action(QStringLiteral("Reboot"))->text(), QStringLiteral("Restart"));
    EXPECT_TRUE(w.action(QStringLiteral("Reboot"))->isEnabled());
    // Phone-book generation is allowed but unreachable: its headers stay disabled.
    EXPECT_TRUE(w.action(QStringLiteral("PbGen"))->isEnabled());
    EXPECT_FALSE(w.action(QStringLiteral("Generate"))->isEnabled());
    EXPECT_FALSE(w.action(QStringLiteral("PhoneBook"))->isEnabled());
    EXPECT_FALSE(w.action(QStringLiteral("Quit"))->isEnabled());

    // An entry whose window is not there yet opens an empty child captioned like the entry.
    w.action(QStringLiteral("Reboot"))->trigger();
    ASSERT_EQ(w.mdiArea()->subWindowList().size(), 1);
    EXPECT_EQ(w.mdiArea()->subWindowList().first()->widget()->windowTitle(), QStringLiteral("Restart"));
}

TEST(MainWindow, ManualAddressFollowsTheFolder)
{
    EXPECT_EQ(manualAddress(QStringLiteral("/opt/vocaset/bin")), QStringLiteral("file:///opt/vocaset/bin/manual.htm"));
    EXPECT_EQ(manualAddress(QStringLiteral("C:\\Program Files\\Vocaset")),
              QStringLiteral("file://C:/Program Files/Vocaset/manual.htm"));
    EXPECT_EQ(manualAddress(QStringLiteral("\\\\server\\share")), QStringLiteral("file://server/share/manual.htm"));
}

TEST(FolderPicker, CancellingReturnsTheInitialFolder)
{
    vocaset::test::qtApp();
    for (const QString& initial : {QStringLiteral("/tmp"), QString()}) {
        QTimer::singleShot(50, [] {
            if (QWidget* dialog = QApplication::activeModalWidget())
                dialog->close();
        });
        EXPECT_EQ(BrowseForFolder(initial, nullptr), initial);
    }
}
