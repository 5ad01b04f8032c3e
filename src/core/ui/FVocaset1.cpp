#include "FVocaset1.h"

#include <QAction>
#include <QCloseEvent>
#include <QLabel>
#include <QMenu>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QStatusBar>
#include <QTimer>

#include "Messages.h"
#include "ProgressStrip.h"
#include "RecordLists.h"
#include "WindowConventions.h"

namespace vocaset {
namespace {

// Child windows open this far below and right of the one opened before them.
constexpr int kCascadeStep = 28;
constexpr int kCascadeSteps = 8;

QString plain(const QString& caption)
{
    return withoutMnemonic(caption).section(u'\t', 0, 0);
}

} // namespace

FVocaset1::FVocaset1(Session& session, QHash<QString, WindowFactory> factories, QWidget* parent)
    : QMainWindow(parent), m_s(session), m_factories(std::move(factories)), m_mdi(new QMdiArea(this)),
      m_hint(new QLabel(m_mdi->viewport()))
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
            if (name == u"Quit") {
                act->setShortcut(QKeySequence::Quit);
                connect(act, &QAction::triggered, this, &QWidget::close);
            } else {
                connect(act, &QAction::triggered, this, [this, name] { open(name); });
            }
        }
        act->setObjectName(entry.name);
        m_actions.insert(entry.name, act);
    }
    buildWindowMenu();

    auto* help = new QAction(this);
    help->setObjectName(QStringLiteral("HelpKey"));
    help->setShortcut(QKeySequence::HelpContents);
    connect(help, &QAction::triggered, this, &FVocaset1::showHelp);
    addAction(help);

    m_hint->setObjectName(QStringLiteral("Hint"));
    m_hint->setAlignment(Qt::AlignCenter);
    m_hint->setWordWrap(true);
    m_hint->setForegroundRole(QPalette::BrightText);
    m_mdi->viewport()->installEventFilter(this);
    connect(m_mdi, &QMdiArea::subWindowActivated, this, &FVocaset1::childActivated);
    statusBar()->setObjectName(QStringLiteral("StatusBar"));

    load();
    updateHint();
}

FVocaset1::~FVocaset1()
{
    // The child windows go with the frame after this object's members: they must not call back.
    disconnect(m_mdi, nullptr, this, nullptr);
    for (const QPointer<QMdiSubWindow>& sub : std::as_const(m_open)) {
        if (sub)
            disconnect(sub, nullptr, this, nullptr);
    }
}

QString FVocaset1::text(const char* key, const char* english) const
{
    return textOr(m_s, QLatin1String(key), QLatin1String(english));
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
    // Alt+letter on every level of the menu, the Window menu among the menu bar's titles.
    m_windowMenu->setTitle(text("FVOCASET1_WINDOW", "Window"));
    addMnemonics(menuBar()->actions());
    for (QMenu* menu : std::as_const(m_menus))
        addMnemonics(menu->actions());
    // The manual's entry shows the key that opens it from anywhere (F1, at the active window's section).
    if (QAction* manual = m_actions.value(QStringLiteral("Help1")))
        manual->setText(manual->text() + u'\t' +
                        QKeySequence(QKeySequence::HelpContents).toString(QKeySequence::NativeText));
}

void FVocaset1::buildWindowMenu()
{
    m_windowMenu = new QMenu(this);
    m_windowMenu->setObjectName(QStringLiteral("Window"));
    QAction* before = m_menus.contains(QStringLiteral("Help")) ? m_menus.value(QStringLiteral("Help"))->menuAction()
                                                                : nullptr;
    menuBar()->insertMenu(before, m_windowMenu);
    connect(m_windowMenu, &QMenu::aboutToShow, this, &FVocaset1::fillWindowMenu);
    fillWindowMenu();
}

void FVocaset1::fillWindowMenu()
{
    m_windowMenu->clear();
    QAction* tile = m_windowMenu->addAction(text("FVOCASET1_TILE", "Tile"), m_mdi, &QMdiArea::tileSubWindows);
    tile->setObjectName(QStringLiteral("Tile"));
    QAction* cascade =
        m_windowMenu->addAction(text("FVOCASET1_CASCADE", "Cascade"), m_mdi, &QMdiArea::cascadeSubWindows);
    cascade->setObjectName(QStringLiteral("Cascade"));
    addMnemonics({tile, cascade});
    const QList<QMdiSubWindow*> subs = m_mdi->subWindowList();
    tile->setEnabled(!subs.isEmpty());
    cascade->setEnabled(!subs.isEmpty());
    if (!subs.isEmpty())
        m_windowMenu->addSeparator();
    for (int i = 0; i < subs.size(); ++i) {
        QMdiSubWindow* sub = subs[i];
        QString title = sub->windowTitle();
        title.replace(u'&', QLatin1String("&&"));
        QAction* act = m_windowMenu->addAction(i < 9 ? u'&' + QString::number(i + 1) + u' ' + title : title);
        act->setCheckable(true);
        act->setChecked(sub == m_mdi->activeSubWindow());
        connect(act, &QAction::triggered, this, [this, sub = QPointer<QMdiSubWindow>(sub)] {
            if (sub)
                m_mdi->setActiveSubWindow(sub);
        });
    }
}

QWidget* FVocaset1::open(const QString& entryName)
{
    // A window that is closing (hidden, deleted at the next turn) is not brought forward.
    if (QMdiSubWindow* sub = m_open.value(entryName); sub && !sub->isHidden()) {
        if (sub->isMinimized())
            sub->showNormal();
        m_mdi->setActiveSubWindow(sub);
        sub->raise();
        return sub->widget();
    }
    QAction* act = m_actions.value(entryName);
    QWidget* child = nullptr;
    if (auto it = m_factories.find(entryName); it != m_factories.end())
        child = (*it)(m_s);
    if (!child) {
        child = new QWidget;
        child->setWindowTitle(act ? plain(act->text()) : entryName);
    }
    child->setAttribute(Qt::WA_DeleteOnClose);
    reserveMnemonics(child, menuBarLetters());
    // A change the window saves to companies, models or telephones reaches every other open window.
    if (auto* source = dynamic_cast<ChangesRecords*>(child))
        source->onRecordsChanged = [this, child](const QString& table) { recordsChanged(child, table); };
    // A window that chose its own size keeps it when it shows all controls; the frame adds its
    // border and title bar around it, and the whole stays inside the work area.
    const QSize wanted = (child->testAttribute(Qt::WA_Resized) ? child->size() : child->sizeHint())
                             .expandedTo(child->minimumSizeHint());
    QMdiSubWindow* sub = m_mdi->addSubWindow(child);
    m_open.insert(entryName, sub);
    // Ctrl+F4 closes a child window on every platform: the frame's own Close takes the platform's
    // keys, which on X11 are Ctrl+W only.
    if (QMenu* menu = sub->systemMenu()) {
        const QKeySequence ctrlF4(Qt::CTRL | Qt::Key_F4);
        const QList<QKeySequence> closeKeys = QKeySequence::keyBindings(QKeySequence::Close);
        for (QAction* action : menu->actions()) {
            QList<QKeySequence> keys = action->shortcuts();
            if (!keys.isEmpty() && keys == closeKeys && !keys.contains(ctrlF4)) {
                keys.append(ctrlF4);
                action->setShortcuts(keys);
            }
        }
    }
    connect(sub, &QObject::destroyed, this, [this] {
        updateHint();
        // Quit waited for a run to stop; its window has gone now.
        if (m_quitting)
            QTimer::singleShot(0, this, &QWidget::close);
    });
    sub->show();
    if (wanted.isValid())
        sub->resize(wanted + (sub->size() - child->size()));
    const QRect area = m_mdi->viewport()->rect();
    // Each new window opens a step below and right of the one before, eight steps at most; one too
    // large for its step is moved back inside the work area below.
    const int others = int(m_mdi->subWindowList().size()) - 1;
    sub->move(area.topLeft() + QPoint(1, 1) * (kCascadeStep * (others % kCascadeSteps)));
    if (m_mdi->isVisible() && !area.isEmpty())
        placeInside(sub, area);
    updateHint();
    return child;
}

QString FVocaset1::menuBarLetters() const
{
    QString letters;
    for (const QAction* act : menuBar()->actions()) {
        if (const QChar letter = mnemonicLetter(act->text()); !letter.isNull() && act->isVisible())
            letters += letter;
    }
    return letters;
}

void FVocaset1::recordsChanged(const QWidget* from, const QString& table)
{
    QList<QPointer<QWidget>> others;
    for (const QMdiSubWindow* sub : m_mdi->subWindowList()) {
        if (sub->widget() && sub->widget() != from)
            others.append(sub->widget());
    }
    // From the event loop, not from inside the handler that saved: a window that reads its lists
    // gives the user interface turns, during which the one that saved may close.
    QMetaObject::invokeMethod(
        this,
        [others, table] {
            for (const QPointer<QWidget>& w : others) {
                if (auto* follower = w ? dynamic_cast<FollowsRecords*>(w.data()) : nullptr)
                    follower->recordsChanged(table);
            }
        },
        Qt::QueuedConnection);
}

void FVocaset1::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    // Its designed size may be larger than a small or scaled screen.
    if (!m_placed) {
        m_placed = true;
        placeOnScreen(this);
    }
}

void FVocaset1::showHelp()
{
    QAction* entry = m_actions.value(QStringLiteral("Help1"));
    // Until the manual has a window of its own, F1 does nothing.
    if (!entry || !entry->isEnabled() || !m_factories.contains(QStringLiteral("Help1")))
        return;
    QMdiSubWindow* active = m_mdi->activeSubWindow();
    const QString anchor = active && active->widget() ? active->widget()->objectName() : QString();
    QWidget* help = open(QStringLiteral("Help1"));
    if (help && help->metaObject()->indexOfMethod("showSection(QString)") >= 0)
        QMetaObject::invokeMethod(help, "showSection", Q_ARG(QString, anchor));
}

void FVocaset1::childActivated(QMdiSubWindow* sub)
{
    disconnect(m_statusLink);
    statusBar()->clearMessage();
    if (!sub || !sub->widget())
        return;
    if (auto* strip = sub->widget()->findChild<ProgressStrip*>()) {
        statusBar()->showMessage(strip->statusText());
        m_statusLink = connect(strip, &ProgressStrip::statusChanged, statusBar(),
                               [bar = statusBar()](const QString& status) { bar->showMessage(status); });
    }
}

QString FVocaset1::hint() const
{
    return m_hint->text();
}

QString FVocaset1::menuPath(const QString& entryName) const
{
    // The captions from the menu bar down, or nothing when a header on the way is closed.
    QStringList path;
    for (QString name = entryName; !name.isEmpty();) {
        const QAction* act = m_actions.value(name);
        if (!act || !act->isEnabled())
            return {};
        path.prepend(plain(act->text()));
        const auto entry = std::find_if(mainMenuEntries().begin(), mainMenuEntries().end(),
                                        [&](const MenuEntry& e) { return e.name == name; });
        name = entry == mainMenuEntries().end() ? QString() : entry->parent;
    }
    return path.join(QStringLiteral(" > "));
}

void FVocaset1::updateHint()
{
    QStringList open;
    for (const MenuEntry& entry : mainMenuEntries()) {
        if (entry.submenu || entry.name == u"Quit")
            continue;
        if (const QString path = menuPath(entry.name); !path.isEmpty())
            open.append(path);
    }
    if (!menuPath(QStringLiteral("GenConf")).isEmpty())
        m_hint->setText(text("FVOCASET1_HINT", "Choose %1 > %2 to write the telephones' configuration files.")
                            .arg(plain(m_actions.value(QStringLiteral("Generate"))->text()),
                                 plain(m_actions.value(QStringLiteral("GenConf"))->text())));
    else if (!open.isEmpty())
        m_hint->setText(
            text("FVOCASET1_HINTOPEN", "Open to user %1: %2.").arg(m_s.userName, open.join(QStringLiteral(", "))));
    else
        m_hint->setText(text("FVOCASET1_NORIGHTS", "No menu entry is open to user %1: ask an administrator.")
                            .arg(m_s.userName));
    m_hint->setGeometry(m_mdi->viewport()->rect().adjusted(40, 40, -40, -40));
    m_hint->setVisible(m_mdi->subWindowList().isEmpty());
    m_hint->lower();
}

bool FVocaset1::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_mdi->viewport() && event->type() == QEvent::Resize)
        m_hint->setGeometry(m_mdi->viewport()->rect().adjusted(40, 40, -40, -40));
    return QMainWindow::eventFilter(watched, event);
}

void FVocaset1::closeEvent(QCloseEvent* event)
{
    // Each child window decides: an idle one closes, one with a run asks first.
    m_mdi->closeAllSubWindows();
    const QList<QMdiSubWindow*> left = m_mdi->subWindowList();
    if (left.isEmpty()) {
        event->accept();
        return;
    }
    // The program ends once the runs that agreed to stop have; a refusal keeps it open.
    m_quitting = std::all_of(left.begin(), left.end(), [](QMdiSubWindow* sub) {
        return sub->widget() && sub->widget()->property(kClosePending).toBool();
    });
    event->ignore();
}

} // namespace vocaset
