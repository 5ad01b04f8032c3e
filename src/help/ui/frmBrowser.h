#pragma once

#include <functional>

#include <QUrl>
#include <QWidget>

#include "AddressHistory.h"
#include "Session.h"

class QComboBox;
class QLabel;
class QTextBrowser;
class QTimer;
class QToolButton;

namespace vocaset {

// The help viewer: the manual (or any local page) with an address box whose list holds the
// addresses visited, most recent first. The caption reads the page's title, and a "loading" text
// until the page is shown. It never touches the database beyond its own captions.
class frmBrowser final : public QWidget
{
    Q_OBJECT

public:
    explicit frmBrowser(Session& session, QWidget* parent = nullptr);

    // Where the window goes when it opens; the Help entry gives the manual's address.
    void setStartingAddress(const QUrl& url) { m_start = url; }
    // Shows the manual beside the program at the section of that name (a window's object name);
    // an unknown name shows the manual's top.
    Q_INVOKABLE void showSection(const QString& anchor);
    // Goes to an address: local pages are shown here, other links go to the desktop's browser.
    void navigate(const QUrl& url);

    bool busy() const { return m_busy; }
    const QUrl& location() const { return m_location; }
    const AddressHistory& history() const { return m_history; }
    QTextBrowser* browser() const { return m_browser; }
    QComboBox* addressBox() const { return m_address; }
    QWidget* addressRow() const { return m_addressRow; }
    QTimer* timer() const { return m_timer; }
    QToolButton* backButton() const { return m_back; }
    QToolButton* forwardButton() const { return m_forward; }
    // How links that are no local page are opened (the desktop's default browser unless replaced).
    void setExternalOpener(std::function<bool(const QUrl&)> opener) { m_openExternal = std::move(opener); }

Q_SIGNALS:
    // A page (or the missing-page text) is shown and the address list holds its address.
    void navigationFinished(const QUrl& url);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void load();
    void layOut();
    void display(const QUrl& url);
    void finishNavigation();
    void tick();
    void chooseAddress();
    // Back (-1) or Forward (+1) along the pages shown.
    void goAlongTrail(int direction);
    QString locationCaption() const;

    Session& m_s;
    QWidget* m_addressRow; // picAddress
    QLabel* m_addressLabel;
    QComboBox* m_address;
    QToolButton* m_back;
    QToolButton* m_forward;
    QTextBrowser* m_browser;
    QTimer* m_timer;
    AddressHistory m_history;
    std::function<bool(const QUrl&)> m_openExternal;
    QUrl m_start;
    QUrl m_location;
    QString m_loadingText;
    bool m_loaded = false;
    bool m_busy = false;
    bool m_placeholder = false; // a text of ours (a missing page) stands in the browser
};

} // namespace vocaset
