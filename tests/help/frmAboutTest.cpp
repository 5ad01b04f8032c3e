#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "HelpSeed.h"
#include "QtApp.h"
#include "frmAbout.h"

using namespace vocaset;
using vocaset::test::TestSession;

TEST(frmAbout, TitleVersionAuthorshipInTheUsersLanguage)
{
    test::qtApp();
    TestSession t;
    test::loadHelpSeed(t);
    t.s.language = QStringLiteral("FR");
    frmAbout w(t.s);
    w.show();
    EXPECT_EQ(w.windowTitle(), QStringLiteral("À propos de Vocaset"));
    EXPECT_EQ(w.title()->text(), QStringLiteral("Vocaset"));
    EXPECT_EQ(w.version()->text(), QStringLiteral("Version 1.1.42"));
    EXPECT_TRUE(w.description()->text().endsWith(QStringLiteral("\nhttps://vocaset.example.org/")));
    EXPECT_EQ(w.sysInfo()->text(), QStringLiteral("&Infos système..."));
    // Every text fits: nothing is cut at the size the window opens with.
    for (QLabel* label : w.findChildren<QLabel*>())
        EXPECT_GE(label->height(), label->heightForWidth(label->width())) << label->objectName().toStdString();

    QTest::keyClick(&w, Qt::Key_Return); // Enter is OK
    EXPECT_FALSE(w.isVisible());
}

TEST(frmAbout, SystemInformationStartsAProgramOfTheMachineOrSaysItIsMissing)
{
    test::qtApp();
    TestSession t;
    test::loadHelpSeed(t);
    t.s.language = QStringLiteral("FR");
    QTemporaryDir bin;
    frmAbout w(t.s);
    w.setProgramFolders({bin.path()});
    w.show();

    w.sysInfo()->click();
    EXPECT_EQ(t.op.messages,
              QStringList{QStringLiteral("Les informations système ne sont pas disponibles actuellement")});

    // A program of the list, standing in for the real one: it leaves a mark when started.
    const QString mark = bin.path() + QStringLiteral("/started");
    QFile script(bin.path() + QStringLiteral("/gnome-system-monitor"));
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write((QStringLiteral("#!/bin/sh\ntouch '") + mark + QStringLiteral("'\n")).toUtf8());
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    w.sysInfo()->click();
    const QDeadlineTimer deadline(5000);
    while (!QFile::exists(mark) && !deadline.hasExpired())
        QTest::qWait(20);
    EXPECT_TRUE(QFile::exists(mark));
    EXPECT_EQ(t.op.messages.size(), 1);
}
