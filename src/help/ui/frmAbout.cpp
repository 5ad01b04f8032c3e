#include "frmAbout.h"

#include <QApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>

#include "HelpTexts.h"
#include "Messages.h"
#include "SystemInformation.h"
#include "WindowConventions.h"

namespace vocaset {
namespace {

constexpr int kMarkSize = 56;

// The program's mark when it has no icon: the title's initial on a rounded square.
QPixmap titleMark(const QString& title, const QPalette& palette)
{
    QPixmap mark(kMarkSize, kMarkSize);
    mark.fill(Qt::transparent);
    QPainter p(&mark);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(palette.color(QPalette::Highlight));
    p.drawRoundedRect(mark.rect(), 10, 10);
    QFont font = p.font();
    font.setBold(true);
    font.setPixelSize(kMarkSize * 2 / 3);
    p.setFont(font);
    p.setPen(palette.color(QPalette::HighlightedText));
    p.drawText(mark.rect(), Qt::AlignCenter, title.left(1));
    return mark;
}

} // namespace

frmAbout::frmAbout(Session& session, QWidget* parent)
    : QWidget(parent), m_s(session), m_icon(new QLabel(this)), m_title(new QLabel(this)), m_version(new QLabel(this)),
      m_description(new QLabel(this)), m_disclaimer(new QLabel(this)), m_sysInfo(new QPushButton(this)),
      m_ok(new QPushButton(this))
{
    setObjectName(QStringLiteral("frmAbout"));
    m_icon->setObjectName(QStringLiteral("picIcon"));
    m_title->setObjectName(QStringLiteral("lblTitle"));
    m_version->setObjectName(QStringLiteral("lblVersion"));
    m_description->setObjectName(QStringLiteral("lblDescription"));
    m_disclaimer->setObjectName(QStringLiteral("lblDisclaimer"));
    m_sysInfo->setObjectName(QStringLiteral("cmdSysInfo"));
    m_ok->setObjectName(QStringLiteral("cmdOK"));

    const AboutTexts texts = aboutTexts(m_s);
    setWindowTitle(texts.caption);
    m_title->setText(texts.title);
    m_version->setText(texts.version);
    m_description->setText(texts.description);
    m_disclaimer->setText(texts.disclaimer);
    m_sysInfo->setText(QStringLiteral("&System Info..."));
    m_ok->setText(QStringLiteral("OK"));
    applyCaptions(m_s, this);

    m_icon->setPixmap(QApplication::windowIcon().isNull() ? titleMark(texts.title, palette())
                                                          : QApplication::windowIcon().pixmap(kMarkSize, kMarkSize));
    m_icon->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
    QFont big = m_title->font();
    big.setPointSizeF(big.pointSizeF() * 1.6);
    big.setBold(true);
    m_title->setFont(big);
    for (QLabel* label : {m_description, m_disclaimer}) {
        label->setWordWrap(true);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    }
    QFont small = m_disclaimer->font();
    small.setPointSizeF(small.pointSizeF() * 0.9);
    m_disclaimer->setFont(small);

    auto* grid = new QGridLayout(this);
    grid->addWidget(m_icon, 0, 0, 4, 1);
    grid->addWidget(m_title, 0, 1);
    grid->addWidget(m_version, 1, 1);
    grid->addWidget(m_description, 2, 1);
    grid->addWidget(m_disclaimer, 3, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_sysInfo);
    buttons->addWidget(m_ok);
    grid->addLayout(buttons, 4, 0, 1, 2);
    grid->setColumnStretch(1, 1);

    connect(m_ok, &QPushButton::clicked, this, [this] { closeWindow(this); });
    connect(m_sysInfo, &QPushButton::clicked, this, &frmAbout::startSysInfo);
    setReadingOrder({m_sysInfo, m_ok});
    // OK has the focus when the box opens, so Enter closes it.
    setFocusProxy(m_ok);
    m_ok->setFocus();
    new WindowKeys(this, m_ok, {});
    resize(460, sizeHint().height());
}

void frmAbout::startSysInfo()
{
    if (!startSystemInfo(m_folders))
        m_s.op.showMessage(textOr(m_s, QLatin1String(helpkey::kSysInfoMissing),
                                  QStringLiteral("System information is not available at the moment.")));
}

} // namespace vocaset
