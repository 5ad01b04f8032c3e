#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "HelpSeed.h"
#include "QtApp.h"
#include "TextFile.h"
#include "frmAbout.h"

using namespace vocaset;

TEST(frmAbout, TextsAndTheSystemInformationProgram)
{
    test::qtApp();
    test::TestSession t;
    test::loadHelpSeed(t);
    t.s.language = QStringLiteral("FR");
    QTemporaryDir bin;
    frmAbout w(t.s);
    w.setProgramFolders({bin.path()});
    w.show();
    EXPECT_EQ(w.windowTitle(), QStringLiteral("À propos de Vocaset"));
    EXPECT_EQ(w.version()->text(), QStringLiteral("Version 1.1.42"));
    EXPECT_EQ(w.sysInfo()->text(), QStringLiteral("&Infos système..."));
    for (QLabel* label : w.findChildren<QLabel*>()) // nothing cut at the opening size
        EXPECT_GE(label->height(), label->heightForWidth(label->width())) << label->objectName().toStdString();

    w.sysInfo()->click();
    EXPECT_EQ(t.op.messages,
              QStringList{QStringLiteral("Les informations système ne sont pas disponibles actuellement")});
    // A program of the list, standing in for the real one: it leaves a mark when started.
    const QString mark = bin.path() + QStringLiteral("/started");
    const QString program = bin.path() + QStringLiteral("/gnome-system-monitor");
    writeFileAtomically(program, (QStringLiteral("#!/bin/sh\ntouch '") + mark + QStringLiteral("'\n")).toUtf8());
    QFile::setPermissions(program, QFile::ReadOwner | QFile::ExeOwner);
    w.sysInfo()->click();
    const QDeadlineTimer deadline(5000);
    while (!QFile::exists(mark) && !deadline.hasExpired())
        QTest::qWait(20);
    EXPECT_TRUE(QFile::exists(mark));
    EXPECT_EQ(t.op.messages.size(), 1);

    QTest::keyClick(&w, Qt::Key_Return); // Enter is OK
    EXPECT_FALSE(w.isVisible());
}
