#include "frmBrowser.h"

#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTextBrowser>
#include <QTimer>
#include <QToolButton>

#include "HelpTexts.h"
#include "ManualPage.h"
#include "Messages.h"
#include "WindowConventions.h"

namespace vocaset {
namespace {

// The window's measures in pixels, at 15 twips to the pixel.
constexpr int kMargin = 7;      // 100 twips around the page
constexpr int kAddressLeft = 3; // 50 twips
constexpr int kBelowLabel = 1;  // 15 twips
constexpr int kTickMs = 100;

const QUrl kBlank(QStringLiteral("about:blank"));

// A text browser that reads local pages in the character set they declare (the manual is
// Windows-1252).
class PageBrowser final : public QTextBrowser
{
public:
    using QTextBrowser::QTextBrowser;

    QVariant loadResource(int type, const QUrl& name) override
    {
        const QUrl url = name.isRelative() ? source().resolved(name) : name;
        if (type == QTextDocument::HtmlResource && url.isLocalFile()) {
            QFile file(url.toLocalFile());
            if (file.open(QIODevice::ReadOnly))
                return decodeHtmlPage(file.readAll());
        }
        return QTextBrowser::loadResource(type, name);
    }
};

} // namespace

frmBrowser::frmBrowser(Session& session, QWidget* parent)
    : QWidget(parent), m_s(session), m_addressRow(new QWidget(this)), m_addressLabel(new QLabel(m_addressRow)),
      m_address(new QComboBox(m_addressRow)), m_back(new QToolButton(m_addressRow)),
      m_forward(new QToolButton(m_addressRow)), m_browser(new PageBrowser(this)), m_timer(new QTimer(this)),
      m_openExternal([](const QUrl& url) { return QDesktopServices::openUrl(url); })
{
    setObjectName(QStringLiteral("frmBrowser"));
    m_addressRow->setObjectName(QStringLiteral("picAddress"));
    m_addressLabel->setObjectName(QStringLiteral("lblAddress"));
    m_address->setObjectName(QStringLiteral("cboAddress"));
    m_browser->setObjectName(QStringLiteral("brwWebBrowser"));
    m_timer->setObjectName(QStringLiteral("timTimer"));
    m_back->setObjectName(QStringLiteral("cmdBack"));
    m_forward->setObjectName(QStringLiteral("cmdForward"));
    m_back->setArrowType(Qt::LeftArrow);
    m_forward->setArrowType(Qt::RightArrow);
    m_back->setShortcut(QKeySequence::Back);
    m_forward->setShortcut(QKeySequence::Forward);
    m_back->setToolTip(QStringLiteral("Back (%1)").arg(m_back->shortcut().toString(QKeySequence::NativeText)));
    m_forward->setToolTip(QStringLiteral("Forward (%1)").arg(m_forward->shortcut().toString(QKeySequence::NativeText)));
    m_back->setEnabled(false);
    m_forward->setEnabled(false);
    connect(m_back, &QToolButton::clicked, this, [this] { goAlongTrail(-1); });
    connect(m_forward, &QToolButton::clicked, this, [this] { goAlongTrail(1); });

    setWindowTitle(QStringLiteral("Help"));
    m_addressLabel->setText(QStringLiteral("&Address"));
    applyCaptions(m_s, this);
    m_loadingText = textOr(m_s, QLatin1String(helpkey::kLoading), QStringLiteral("Loading..."));
    m_addressLabel->setBuddy(m_address);

    m_address->setEditable(true);
    // The list only changes with the history.
    m_address->setInsertPolicy(QComboBox::NoInsert);
    m_address->setCompleter(nullptr);
    m_address->setEditText(kBlank.toString());
    // Links are followed here, so that every navigation shows the loading caption and enters the
    // history, and links to other sites go to the desktop's browser.
    m_browser->setOpenLinks(false);
    m_timer->setInterval(kTickMs);

    connect(m_address, &QComboBox::activated, this, &frmBrowser::chooseAddress);
    // Enter in the address box is taken here: the box would pass it on and report it twice, and it
    // navigates only to addresses already in its list. The box holds the keyboard focus and hands
    // keys to its line on its own, so both are watched.
    m_address->installEventFilter(this);
    m_address->lineEdit()->installEventFilter(this);
    connect(m_browser, &QTextBrowser::anchorClicked, this,
            [this](const QUrl& link) { navigate(m_location.resolved(link)); });
    connect(m_timer, &QTimer::timeout, this, &frmBrowser::tick);

    setReadingOrder({m_back, m_forward, m_address, m_browser});
    // The page has the focus, so the keys scroll it at once; Esc closes the window when idle.
    setFocusProxy(m_browser);
    new WindowKeys(this, nullptr, [this] { return m_busy; });
    resize(860, 640);
}

void frmBrowser::showSection(const QString& anchor)
{
    const QUrl url = manualUrl(m_s.appDir, anchor, m_s.language);
    // Before the window has opened, its opening goes straight to the section.
    if (m_loaded)
        navigate(url);
    else
        m_start = url;
}

void frmBrowser::navigate(const QUrl& url)
{
    if (!url.isValid() || url.isEmpty())
        return;
    if (url != kBlank && !url.isLocalFile()) {
        if (!m_openExternal(url))
            m_s.op.showMessage(textOr(m_s, QLatin1String(helpkey::kNoOpener),
                                      QStringLiteral("No program on this computer opens $$."), url.toDisplayString()));
        return;
    }
    m_busy = true;
    setWindowTitle(m_loadingText);
    m_timer->start();
    // The page is read on the next turn of the event loop, so the loading caption shows first.
    QTimer::singleShot(0, this, [this, url] { display(url); });
}

void frmBrowser::display(const QUrl& url)
{
    if (url == kBlank) {
        m_browser->clear();
        m_placeholder = true;
    } else if (!QFileInfo(url.toLocalFile()).isFile()) {
        const QString text =
            textOr(m_s, QLatin1String(helpkey::kPageMissing), QStringLiteral("The page $$ cannot be found."),
                   QDir::toNativeSeparators(url.toLocalFile()));
        m_browser->setHtml(QStringLiteral("<html><head><title>") + text.toHtmlEscaped() +
                           QStringLiteral("</title></head><body><h3>") + text.toHtmlEscaped() +
                           QStringLiteral("</h3></body></html>"));
        m_placeholder = true;
    } else {
        m_browser->setSource(url);
        // The browser keeps its page when only the fragment changes; after a text of ours it must
        // read the file again.
        if (m_placeholder)
            m_browser->reload();
        m_placeholder = false;
    }
    m_location = url;
    m_busy = false;
    finishNavigation();
}

void frmBrowser::finishNavigation()
{
    setWindowTitle(locationCaption());
    {
        AddressHistory::Rewrite rewrite(m_history);
        m_history.visited(m_location.toDisplayString());
        m_history.shown(m_location.toDisplayString());
        m_address->clear();
        m_address->addItems(m_history.entries());
        m_address->setCurrentIndex(0);
        // The box shows the page shown, whatever was typed into it meanwhile.
        m_address->setEditText(m_location.toDisplayString());
    }
    m_back->setEnabled(m_history.canGoBack());
    m_forward->setEnabled(m_history.canGoForward());
    Q_EMIT navigationFinished(m_location);
}

void frmBrowser::goAlongTrail(int direction)
{
    const QString address = direction < 0 ? m_history.back() : m_history.forward();
    if (address.isEmpty() || m_busy)
        return;
    m_history.step(direction);
    navigate(addressUrl(address, m_s.appDir));
}

QString frmBrowser::locationCaption() const
{
    return locationName(m_location, m_browser->documentTitle());
}

void frmBrowser::tick()
{
    if (m_busy) {
        setWindowTitle(m_loadingText);
        return;
    }
    m_timer->stop();
    setWindowTitle(locationCaption());
}

void frmBrowser::chooseAddress()
{
    if (!m_history.navigationAllowed())
        return;
    navigate(addressUrl(m_address->currentText(), m_s.appDir));
}

bool frmBrowser::eventFilter(QObject* watched, QEvent* event)
{
    if ((watched == m_address || watched == m_address->lineEdit()) && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            chooseAddress();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void frmBrowser::load()
{
    m_loaded = true;
    layOut();
    if (m_start.isEmpty())
        return;
    m_address->setEditText(m_start.toDisplayString());
    navigate(m_start);
}

void frmBrowser::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!m_loaded) {
        load();
        // The page takes the keys from the start (Page Down, arrows, Esc), however it was opened.
        m_browser->setFocus();
    }
}

void frmBrowser::layOut()
{
    const QSize label = m_addressLabel->sizeHint();
    m_addressLabel->setGeometry(kAddressLeft, kBelowLabel, label.width(), label.height());
    const int boxTop = kBelowLabel + label.height() + kBelowLabel;
    const int boxHeight = m_address->sizeHint().height();
    // Back and Forward stand left of the address box, as square as the box is high.
    m_back->setGeometry(kAddressLeft, boxTop, boxHeight, boxHeight);
    m_forward->setGeometry(kAddressLeft + boxHeight, boxTop, boxHeight, boxHeight);
    const int boxLeft = kAddressLeft + 2 * boxHeight + kAddressLeft;
    m_address->setGeometry(boxLeft, boxTop, std::max(0, width() - boxLeft - kMargin), boxHeight);
    m_addressRow->setGeometry(0, 0, width(), boxTop + m_address->height());
    // The page fills the window below the address row, 100 twips in from its top and left.
    const int innerTop = m_addressRow->height();
    m_browser->setGeometry(kMargin, innerTop + kMargin, std::max(0, width() - kMargin),
                           std::max(0, height() - innerTop - kMargin));
}

void frmBrowser::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    layOut();
}

} // namespace vocaset
