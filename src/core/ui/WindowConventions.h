#pragma once

#include <functional>

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include "DbError.h"
#include "Session.h"

class QAbstractButton;
class QAction;
class QLabel;
class QPushButton;
class QRect;
class QTableWidget;
class QWidget;

// What every window of the programs does the same way, so a user who knows one knows all:
// captions and tooltips from the captions table, placement inside the work area, Tab in reading
// order, Enter and Esc, confirmation before a run is abandoned, refused statements shown without
// leaving the window unusable. The log list and the progress strip are RunLogView and ProgressStrip.
namespace vocaset {

// Captions of a window from the captions table: the window's caption under its key (the object
// name in upper case unless given), each named child control's under key + "_" + its object name
// in upper case, and its tooltip under that key + "_TIP". Rows in the session's language win, then
// English rows; without a row the designed text stays. Labels, buttons, check boxes and group
// boxes take captions; any named widget takes a tooltip. The controls then get their mnemonics.
void applyCaptions(Session& s, QWidget* window, const QString& windowKey = {});

// Gives a window the size that shows all its controls (its size hint, or the size it chose when
// larger), shrunk only where the area is smaller, and moves it fully inside the area. The area is
// in the coordinates of the window's parent (a child window's frame: the main window's work area).
void placeInside(QWidget* window, const QRect& area);
// The same for a top-level window, inside the work area of its screen with room for its title bar
// (call it once shown); one opened from another window (over) opens over that window's middle.
void placeOnScreen(QWidget* window, const QWidget* over = nullptr);

// Tab order as the widgets are given: top to bottom, left to right.
void setReadingOrder(const QList<QWidget*>& widgets);

// A table that is only read: whole rows selected, no row numbers, rows one text line high, the last
// column taking what room is left.
void showAsReadOnlyRows(QTableWidget* table);

// A window that shows rows to read: a heading above them, a line below and a Close button under
// that, read in that order; Enter and Esc close it.
void layOutRowsWindow(QWidget* window, QLabel* heading, QTableWidget* rows, QLabel* footer, QPushButton* close);
// Brings such a window up over its parent (placed the first time it shows), its first row selected.
void presentRowsWindow(QWidget* window, QTableWidget* rows, bool& placed);

// Keys of a window with a main action: Enter (or Return) presses the main action when it is
// enabled, or the push button that has the focus; Esc closes the window when no run is going on.
// Keys that a control uses itself (an open drop-down list) never get here.
class WindowKeys final : public QObject
{
    Q_OBJECT

public:
    // Installs itself on the window and lives as long as it.
    WindowKeys(QWidget* window, QAbstractButton* mainAction, std::function<bool()> running);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* m_window;
    QAbstractButton* m_main;
    std::function<bool()> m_running;
};

// A run window that agreed to close once its run has stopped sets this dynamic property to true;
// Quit in the main window then waits for it and ends the program after it.
inline constexpr char kClosePending[] = "closePending";

// Asks the operator whether the run going on may be stopped (message M230); the session's operator
// answers, so tests script the answer. Cancel, closing the window and Quit all ask this.
bool confirmAbandon(Session& s);

// Closing a window while its run goes on (its waits are on the window's stack, so the close waits
// for the run): asks once whether the run may stop; on yes, stops it and marks the window to close
// once the run has ended (closeWhenIdle, kClosePending).
void stopRunThenClose(Session& s, QWidget* window, bool& closeWhenIdle, const std::function<void()>& stop);

// Gives each text an Alt+letter mnemonic: the first letter not yet taken among the texts (one menu
// level), a plain letter before an accented one; an '&' that a text holds is shown as such.
QStringList withMnemonics(const QStringList& texts);
void addMnemonics(const QList<QAction*>& actions);
// The same for the buttons, check boxes and labels with a buddy of a window, in reading order,
// leaving out the letters the window has reserved; a control that already carries a mnemonic
// keeps it unless a control before it or a reserved letter has it. Called again after a caption
// changed (Cancel that reads Abort during a run).
void addControlMnemonics(QWidget* window);
// A child window of the main window leaves the menu bar's letters to the menu bar: Alt+letter
// would otherwise open a menu in place of pressing the button, or the other way round.
void reserveMnemonics(QWidget* window, const QString& letters);
// The letter a text's mnemonic takes, lower case, or a null character.
QChar mnemonicLetter(const QString& text);
// A caption as the operator reads it: the mnemonic mark removed, "&&" shown as "&".
QString withoutMnemonic(QString text);

// The keyboard focus across a run. The buttons a run disables hand the focus on, to Cancel at the
// end of the row, where the first Enter after the run would close the window with its log: when
// the run is over (this object goes) the focus goes back to the control that had it, or else to
// the main action.
class RunFocus final
{
public:
    RunFocus(QWidget* window, QWidget* mainAction);
    ~RunFocus();
    Q_DISABLE_COPY_MOVE(RunFocus)

private:
    QPointer<QWidget> m_had;
    QPointer<QWidget> m_main;
};

// Closes a window: its frame when it is a child of the main window, otherwise the window itself.
void closeWindow(QWidget* window);

// Runs a window handler's work. A refused statement is shown as an error with its text and ends
// the work; the window stays usable. False when that happened.
template <typename F> bool guarded(Session& s, F&& work)
{
    try {
        work();
        return true;
    } catch (const DbError& e) {
        s.op.showError(e.text());
        return false;
    }
}

} // namespace vocaset
