#pragma once

#include <functional>

#include <QHash>
#include <QMainWindow>

#include "MenuRights.h"

class QAction;
class QMdiArea;
class QMenu;

namespace vocaset {

// The main window: a multiple-document frame whose content is its menu bar. Captions and rights
// come from the database when it loads; each entry opens one child window.
class FVocaset1 final : public QMainWindow
{
    Q_OBJECT

public:
    // Builds a child window for an entry name; entries without a factory open an empty child
    // window captioned like the entry.
    using WindowFactory = std::function<QWidget*(Session&)>;

    explicit FVocaset1(Session& session, QHash<QString, WindowFactory> factories = {}, QWidget* parent = nullptr);

    QAction* action(const QString& entryName) const { return m_actions.value(entryName); }
    QMdiArea* mdiArea() const { return m_mdi; }
    // Opens the child window of an entry, as a click on it does.
    QWidget* open(const QString& entryName);

private:
    void load();

    Session& m_s;
    QHash<QString, WindowFactory> m_factories;
    QMdiArea* m_mdi;
    QHash<QString, QAction*> m_actions;
    QHash<QString, QMenu*> m_menus;
};

} // namespace vocaset
