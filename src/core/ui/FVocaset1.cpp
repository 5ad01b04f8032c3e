#include "FVocaset1.h"

#include <QAction>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>

namespace vocaset {

FVocaset1::FVocaset1(Session& session, QHash<QString, WindowFactory> factories, QWidget* parent)
    : QMainWindow(parent), m_s(session), m_factories(std::move(factories)), m_mdi(new QMdiArea(this))
{
    setObjectName(QStringLiteral("FVocaset1"));
    setCentralWidget(m_mdi);
    resize(1000, 700);
    for (const MenuEntry& entry : mainMenuEntries()) {
        QMenu* parentMenu = m_menus.value(entry.parent);
        QAction* act = nullptr;
        if (entry.submenu) {
            QMenu* menu = parentMenu ? parentMenu->addMenu(entry.designedCaption)
                                     : menuBar()->addMenu(entry.designedCaption);
            menu->setObjectName(entry.name);
            m_menus.insert(entry.name, menu);
            act = menu->menuAction();
        } else {
            act = parentMenu ? parentMenu->addAction(entry.designedCaption)
                             : menuBar()->addAction(entry.designedCaption);
            const QString name = entry.name;
            if (name == u"Quit")
                connect(act, &QAction::triggered, this, &QWidget::close);
            else
                connect(act, &QAction::triggered, this, [this, name] { open(name); });
        }
        act->setObjectName(entry.name);
        m_actions.insert(entry.name, act);
    }
    load();
}

void FVocaset1::load()
{
    const MainMenuState state = loadMainMenu(m_s);
    setWindowTitle(state.caption);
    for (const MenuEntryState& st : state.entries) {
        QAction* act = m_actions.value(st.entry.name);
        act->setText(st.caption);
        act->setEnabled(st.enabled);
    }
}

QWidget* FVocaset1::open(const QString& entryName)
{
    QAction* act = m_actions.value(entryName);
    QWidget* child = nullptr;
    if (auto it = m_factories.find(entryName); it != m_factories.end())
        child = (*it)(m_s);
    if (!child) {
        child = new QWidget;
        child->setWindowTitle(act ? act->text() : entryName);
    }
    child->setAttribute(Qt::WA_DeleteOnClose);
    // A window that chose its own size keeps it; the frame adds its border and title bar around it.
    const QSize wanted = child->testAttribute(Qt::WA_Resized) ? child->size() : QSize();
    QMdiSubWindow* sub = m_mdi->addSubWindow(child);
    sub->show();
    if (wanted.isValid())
        sub->resize(wanted + (sub->size() - child->size()));
    return child;
}

} // namespace vocaset
