#pragma once

#include <functional>

#include <QHash>
#include <QMainWindow>
#include <QPointer>

#include "MenuRights.h"

class QAction;
class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QMenu;

namespace vocaset {

// The main window: a multiple-document frame whose content is its menu bar. Captions and rights
// come from the database when it loads; each entry opens one child window, and a second click
// brings the open one forward. A Window menu tiles, cascades and lists the child windows; the
// status bar mirrors the active window's status line; the empty work area says where to start.
class FVocaset1 final : public QMainWindow
{
    Q_OBJECT

public:
    // Builds a child window for an entry name; entries without a factory open an empty child
    // window captioned like the entry.
    using WindowFactory = std::function<QWidget*(Session&)>;

    explicit FVocaset1(Session& session, QHash<QString, WindowFactory> factories = {}, QWidget* parent = nullptr);
    ~FVocaset1() override;

    QAction* action(const QString& entryName) const { return m_actions.value(entryName); }
    QMdiArea* mdiArea() const { return m_mdi; }
    QMenu* windowMenu() const { return m_windowMenu; }
    QString hint() const;
    // Opens the child window of an entry, as a click on it does; an open one is brought forward.
    QWidget* open(const QString& entryName);
    // F1: the manual's window at the section of the active child window.
    void showHelp();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void load();
    void buildWindowMenu();
    void fillWindowMenu();
    void childActivated(QMdiSubWindow* sub);
    void updateHint();
    QString menuPath(const QString& entryName) const;
    // The Alt letters of the menu bar's titles.
    QString menuBarLetters() const;
    // Every open window but the one that saved the change reads its lists again.
    void recordsChanged(const QWidget* from, const QString& table);
    QString text(const char* key, const char* english) const;

    Session& m_s;
    QHash<QString, WindowFactory> m_factories;
    QMdiArea* m_mdi;
    QLabel* m_hint;
    QMenu* m_windowMenu = nullptr;
    QHash<QString, QAction*> m_actions;
    QHash<QString, QMenu*> m_menus;
    QHash<QString, QPointer<QMdiSubWindow>> m_open; // entry name -> its child window's frame
    QMetaObject::Connection m_statusLink;
    bool m_placed = false;
    bool m_quitting = false; // Quit asked while a run was going: close once the runs have stopped
};

} // namespace vocaset
