#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTimer>

#include <gtest/gtest.h>

#include "EditorFixture.h"
#include "FVocaset1.h"
#include "MenuRights.h"
#include "QtApp.h"
#include "Windows.h"

namespace vocaset::test {

// The main program's frame with its real windows on a working copy of the demo database, in the
// folder of a settings file naming it (the Fleet window reads it).
class AppTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        qtApp();
        if (!d.ready)
            GTEST_SKIP() << "the demo source database has not been built";
        d.s.appDir = d.dir.path();
        QFile settings(d.dir.filePath(QStringLiteral("ParamDB.txt")));
        ASSERT_TRUE(settings.open(QIODevice::WriteOnly));
        settings.write(d.tdb.connectionString().toUtf8() + "\r\n");
    }

    // The entries that open a window of their own, in menu order.
    static QStringList windowEntries()
    {
        const auto windows = childWindows();
        QStringList entries;
        for (const MenuEntry& e : mainMenuEntries()) {
            if (windows.contains(e.name))
                entries.append(e.name);
        }
        return entries;
    }

    static void settle(int ms = 50)
    {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < ms) {
            QCoreApplication::processEvents();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
    }

    // Answers the next password prompt with this text, as the operator types it.
    static void answerPassword(QObject* owner, const QString& text)
    {
        auto* poll = new QTimer(owner);
        QObject::connect(poll, &QTimer::timeout, poll, [poll, text] {
            if (auto* dialog = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
                dialog && dialog->isVisible()) {
                poll->stop();
                poll->deleteLater();
                dialog->setTextValue(text);
                dialog->accept();
            }
        });
        poll->start(10);
    }

    DemoData d;
};

} // namespace vocaset::test
