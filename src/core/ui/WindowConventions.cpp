#include "WindowConventions.h"

#include <algorithm>

#include <QAbstractButton>
#include <QAction>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QScreen>
#include <QSet>
#include <QStyle>
#include <QTableWidget>
#include <QVBoxLayout>

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
    addControlMnemonics(window);
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

void placeOnScreen(QWidget* window, const QWidget* over)
{
    const QScreen* screen = over ? over->screen() : window->screen();
    if (!screen)
        return;
    // The frame (title bar, borders) around the window must fit as well. Until the window manager
    // has framed a window just shown, its frame is unknown: a title bar's height is assumed.
    const QRect frame = window->frameGeometry();
    const QRect inner = window->geometry();
    QMargins margins(inner.left() - frame.left(), inner.top() - frame.top(), frame.right() - inner.right(),
                     frame.bottom() - inner.bottom());
    if (margins.isNull()) {
        const int border = 4;
        const int title = window->style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, window) + 2 * border;
        margins = QMargins(border, title, border, border);
    }
    const QRect area = screen->availableGeometry().marginsRemoved(margins);
    // A window opened from another one opens over its middle.
    if (over) {
        const QRect base = over->window()->geometry();
        window->move(base.center() - QPoint(window->width() / 2, window->height() / 2));
    }
    placeInside(window, area);
}

void setReadingOrder(const QList<QWidget*>& widgets)
{
    for (qsizetype i = 1; i < widgets.size(); ++i)
        QWidget::setTabOrder(widgets[i - 1], widgets[i]);
}

void stopRunThenClose(Session& s, QWidget* window, bool& closeWhenIdle, const std::function<void()>& stop)
{
    if (closeWhenIdle || !confirmAbandon(s))
        return;
    stop();
    closeWhenIdle = true;
    window->setProperty(kClosePending, true);
}

void showAsReadOnlyRows(QTableWidget* table)
{
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->verticalHeader()->hide();
    table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 6);
    table->horizontalHeader()->setStretchLastSection(true);
}

void layOutRowsWindow(QWidget* window, QLabel* heading, QTableWidget* rows, QLabel* footer, QPushButton* close)
{
    showAsReadOnlyRows(rows);
    auto* layout = new QVBoxLayout(window);
    layout->addWidget(heading);
    layout->addWidget(rows, 1);
    layout->addWidget(footer);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(close);
    layout->addLayout(buttons);
    setReadingOrder({rows, close});
    new WindowKeys(window, close, {});
    QObject::connect(close, &QPushButton::clicked, window, &QWidget::close);
}

void presentRowsWindow(QWidget* window, QTableWidget* rows, bool& placed)
{
    window->show();
    if (!placed) {
        placed = true;
        placeOnScreen(window, window->parentWidget());
    }
    window->raise();
    window->activateWindow();
    rows->setFocus();
    if (rows->rowCount() > 0)
        rows->selectRow(0);
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

namespace {

// A mnemonic letter the keyboard types directly: plain letters and digits first, so "À propos"
// takes its "p"; an accented letter only when no plain one is left.
qsizetype mnemonicPosition(const QString& text, const QSet<QChar>& taken)
{
    qsizetype fallback = -1;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar letter = text.at(i).toLower();
        if (!letter.isLetterOrNumber() || taken.contains(letter))
            continue;
        if (letter.unicode() < 0x80)
            return i;
        if (fallback < 0)
            fallback = i;
    }
    return fallback;
}

// The text without its mnemonic mark; "&&" stays.
QString mnemonicRemoved(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) == u'&' && i + 1 < text.size() && text.at(i + 1) == u'&') {
            out += QLatin1String("&&");
            ++i;
        } else if (text.at(i) != u'&') {
            out += text.at(i);
        }
    }
    return out;
}

constexpr char kReservedMnemonics[] = "reservedMnemonics";

} // namespace

QChar mnemonicLetter(const QString& text)
{
    for (qsizetype i = 0; i + 1 < text.size(); ++i) {
        if (text.at(i) != u'&')
            continue;
        if (text.at(i + 1) != u'&')
            return text.at(i + 1).toLower();
        ++i;
    }
    return {};
}

QStringList withMnemonics(const QStringList& texts)
{
    QSet<QChar> taken;
    QStringList out;
    for (QString text : texts) {
        text.replace(u'&', QLatin1String("&&"));
        if (const qsizetype at = mnemonicPosition(text, taken); at >= 0) {
            taken.insert(text.at(at).toLower());
            text.insert(at, u'&');
        }
        out.append(text);
    }
    return out;
}

void addMnemonics(const QList<QAction*>& actions)
{
    QStringList texts;
    for (const QAction* action : actions)
        texts.append(action->text());
    texts = withMnemonics(texts);
    for (qsizetype i = 0; i < actions.size(); ++i)
        actions[i]->setText(texts[i]);
}

void addControlMnemonics(QWidget* window)
{
    // Controls in reading order: top to bottom, then left to right (creation order before the
    // window is laid out).
    if (window->layout())
        window->layout()->activate();
    QList<QWidget*> controls;
    for (QWidget* w : window->findChildren<QWidget*>()) {
        const auto* label = qobject_cast<QLabel*>(w);
        if ((label && label->buddy()) || qobject_cast<QAbstractButton*>(w))
            controls.append(w);
    }
    const auto at = [window](const QWidget* w) { return w->mapTo(window, QPoint(0, 0)); };
    std::stable_sort(controls.begin(), controls.end(), [&](const QWidget* a, const QWidget* b) {
        return std::pair(at(a).y(), at(a).x()) < std::pair(at(b).y(), at(b).x());
    });
    const auto textOf = [](const QWidget* w) {
        const auto* label = qobject_cast<const QLabel*>(w);
        return label ? label->text() : static_cast<const QAbstractButton*>(w)->text();
    };
    const auto setText = [](QWidget* w, const QString& text) {
        if (auto* label = qobject_cast<QLabel*>(w))
            label->setText(text);
        else
            static_cast<QAbstractButton*>(w)->setText(text);
    };
    QSet<QChar> taken;
    for (const QChar letter : window->property(kReservedMnemonics).toString())
        taken.insert(letter.toLower());
    // A carried letter stays with the first control that has it, unless it is reserved.
    QList<QWidget*> open;
    for (QWidget* w : std::as_const(controls)) {
        const QString text = textOf(w);
        if (text.contains(u'<'))
            continue;
        const QChar carried = mnemonicLetter(text);
        if (!carried.isNull() && !taken.contains(carried)) {
            taken.insert(carried);
            continue;
        }
        if (!carried.isNull())
            setText(w, mnemonicRemoved(text));
        open.append(w);
    }
    for (QWidget* w : std::as_const(open)) {
        QString text = textOf(w);
        const qsizetype pos = mnemonicPosition(text, taken);
        if (pos < 0)
            continue;
        taken.insert(text.at(pos).toLower());
        text.insert(pos, u'&');
        setText(w, text);
    }
}

void reserveMnemonics(QWidget* window, const QString& letters)
{
    window->setProperty(kReservedMnemonics, letters);
    addControlMnemonics(window);
}

QString withoutMnemonic(QString text)
{
    text.replace(QLatin1String("&&"), QStringLiteral("\x01"));
    text.remove(u'&');
    text.replace(u'\x01', u'&');
    return text;
}

RunFocus::RunFocus(QWidget* window, QWidget* mainAction) : m_had(window->focusWidget()), m_main(mainAction) {}

RunFocus::~RunFocus()
{
    for (QWidget* w : {m_had.data(), m_main.data()}) {
        if (w && w->isVisible() && w->isEnabled()) {
            w->setFocus();
            return;
        }
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
