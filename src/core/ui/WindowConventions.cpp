#include "WindowConventions.h"

#include <QAbstractButton>
#include <QAction>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QScreen>
#include <QSet>

#include "Messages.h"

namespace vocaset {
namespace {

// The row in the session's language, else the English one; nothing when neither exists.
std::optional<QString> caption(Session& s, const QString& key)
{
    if (auto text = findDescription(s.db, key, s.language))
        return text;
    if (s.language != u"EN")
        return findDescription(s.db, key, QStringLiteral("EN"));
    return std::nullopt;
}

void setCaption(QWidget* control, const QString& text)
{
    if (auto* label = qobject_cast<QLabel*>(control))
        label->setText(text);
    else if (auto* button = qobject_cast<QAbstractButton*>(control))
        button->setText(text);
    else if (auto* box = qobject_cast<QGroupBox*>(control))
        box->setTitle(text);
}

} // namespace

void applyCaptions(Session& s, QWidget* window, const QString& windowKey)
{
    const QString key = windowKey.isEmpty() ? window->objectName().toUpper() : windowKey;
    if (const auto text = caption(s, key))
        window->setWindowTitle(*text);
    for (QWidget* control : window->findChildren<QWidget*>()) {
        const QString name = control->objectName();
        if (name.isEmpty() || name.startsWith(QLatin1String("qt_")))
            continue;
        const QString controlKey = key + u'_' + name.toUpper();
        if (const auto text = caption(s, controlKey))
            setCaption(control, *text);
        if (const auto tip = caption(s, controlKey + QStringLiteral("_TIP")))
            control->setToolTip(*tip);
    }
}

void placeInside(QWidget* window, const QRect& area)
{
    const QSize wanted = window->size().expandedTo(window->sizeHint()).expandedTo(window->minimumSizeHint());
    QRect g(window->pos(), wanted.boundedTo(area.size()));
    if (g.right() > area.right())
        g.moveRight(area.right());
    if (g.bottom() > area.bottom())
        g.moveBottom(area.bottom());
    if (g.left() < area.left())
        g.moveLeft(area.left());
    if (g.top() < area.top())
        g.moveTop(area.top());
    window->setGeometry(g);
}

void placeOnScreen(QWidget* window)
{
    const QScreen* screen = window->screen();
    if (!screen)
        return;
    // The frame (title bar, borders) around the window must fit as well.
    const QRect frame = window->frameGeometry();
    const QRect inner = window->geometry();
    const QMargins margins(inner.left() - frame.left(), inner.top() - frame.top(), frame.right() - inner.right(),
                           frame.bottom() - inner.bottom());
    placeInside(window, screen->availableGeometry().marginsRemoved(margins));
}

void setReadingOrder(const QList<QWidget*>& widgets)
{
    for (qsizetype i = 1; i < widgets.size(); ++i)
        QWidget::setTabOrder(widgets[i - 1], widgets[i]);
}

WindowKeys::WindowKeys(QWidget* window, QAbstractButton* mainAction, std::function<bool()> running)
    : QObject(window), m_window(window), m_main(mainAction), m_running(std::move(running))
{
    window->installEventFilter(this);
}

bool WindowKeys::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_window || event->type() != QEvent::KeyPress)
        return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    if ((key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier)
        return false;
    switch (key->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter: {
        // Controls that use Enter themselves keep it; it reaches the window only when they pass it on.
        auto* focused = qobject_cast<QPushButton*>(m_window->focusWidget());
        if (focused && focused != m_main) {
            if (focused->isEnabled())
                focused->click();
        } else if (m_main && m_main->isEnabled() && m_main->isVisible()) {
            m_main->click();
        }
        return true;
    }
    case Qt::Key_Escape:
        if (!m_running || !m_running())
            closeWindow(m_window);
        return true;
    default:
        return false;
    }
}

bool confirmAbandon(Session& s)
{
    return s.op.askYesNo(
        textOr(s, QStringLiteral("M230"), QStringLiteral("A run is going on. Stop it after the current item?")));
}

void addMnemonics(const QList<QAction*>& actions)
{
    QSet<QChar> taken;
    for (QAction* action : actions) {
        QString text = action->text();
        text.replace(u'&', QLatin1String("&&"));
        for (qsizetype i = 0; i < text.size(); ++i) {
            const QChar letter = text.at(i).toLower();
            if (letter.isLetterOrNumber() && !taken.contains(letter)) {
                taken.insert(letter);
                text.insert(i, u'&');
                break;
            }
        }
        action->setText(text);
    }
}

void closeWindow(QWidget* window)
{
    if (auto* frame = qobject_cast<QMdiSubWindow*>(window->parentWidget()))
        frame->close();
    else
        window->close();
}

} // namespace vocaset
