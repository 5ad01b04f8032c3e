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
      m_address(new QComboBox(m_addressRow)), m_browser(new PageBrowser(this)), m_timer(new QTimer(this)),
      m_openExternal([](const QUrl& url) { return QDesktopServices::openUrl(url); })
{
    setObjectName(QStringLiteral("frmBrowser"));
    m_addressRow->setObjectName(QStringLiteral("picAddress"));
    m_addressLabel->setObjectName(QStringLiteral("lblAddress"));
    m_address->setObjectName(QStringLiteral("cboAddress"));
    m_browser->setObjectName(QStringLiteral("brwWebBrowser"));
    m_timer->setObjectName(QStringLiteral("timTimer"));

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
    // Enter in the address box is taken here: the box would pass it on and report it twice.
    m_address->lineEdit()->installEventFilter(this);
    connect(m_browser, &QTextBrowser::anchorClicked, this,
            [this](const QUrl& link) { navigate(m_location.resolved(link)); });
    connect(m_timer, &QTimer::timeout, this, &frmBrowser::tick);

    setReadingOrder({m_address, m_browser});
    // The page has the focus, so the keys scroll it at once; Esc closes the window when idle.
    setFocusProxy(m_browser);
    new WindowKeys(this, nullptr, [this] { return m_busy; });
    resize(860, 640);
}

void frmBrowser::showSection(const QString& anchor)
{
    const QUrl url = manualUrl(m_s.appDir, anchor);
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
        m_address->clear();
        m_address->addItems(m_history.entries());
        m_address->setCurrentIndex(0);
    }
    Q_EMIT navigationFinished(m_location);
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
    if (watched == m_address->lineEdit() && event->type() == QEvent::KeyPress) {
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
    if (!m_loaded)
        load();
}

void frmBrowser::layOut()
{
    const QSize label = m_addressLabel->sizeHint();
    m_addressLabel->setGeometry(kAddressLeft, kBelowLabel, label.width(), label.height());
    const int boxTop = kBelowLabel + label.height() + kBelowLabel;
    m_address->setGeometry(kAddressLeft, boxTop, std::max(0, width() - kAddressLeft - kMargin),
                           m_address->sizeHint().height());
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
