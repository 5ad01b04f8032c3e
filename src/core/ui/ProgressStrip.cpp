#include "ProgressStrip.h"

#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

#include "Messages.h"

namespace vocaset {
namespace {

constexpr qint64 kRedrawMs = 100;
constexpr int kFailuresNamed = 5;

QString clockText(qint64 seconds)
{
    const auto two = [](qint64 n) { return QString::number(n).rightJustified(2, u'0'); };
    if (seconds >= 3600)
        return QString::number(seconds / 3600) + u':' + two(seconds / 60 % 60) + u':' + two(seconds % 60);
    return QString::number(seconds / 60) + u':' + two(seconds % 60);
}

} // namespace

ProgressStrip::ProgressStrip(Session& session, QWidget* parent)
    : QWidget(parent), m_s(session), m_bar(new QProgressBar(this)), m_status(new QLabel(this))
{
    m_sinceCreated.start();
    setObjectName(QStringLiteral("Progress"));
    m_bar->setObjectName(QStringLiteral("ProgressBar"));
    m_bar->setOrientation(Qt::Horizontal);
    m_bar->setTextVisible(true);
    m_bar->setRange(0, 1);
    m_bar->setValue(0);
    m_bar->setFormat(QString());
    m_status->setObjectName(QStringLiteral("Status"));
    m_status->setWordWrap(true);
    m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_bar);
    layout->addWidget(m_status);
}

QString ProgressStrip::text(const char* key, const char* english) const
{
    return textOr(m_s, QLatin1String(key), QLatin1String(english));
}

qint64 ProgressStrip::now() const
{
    return m_clock ? m_clock() : m_sinceCreated.elapsed();
}

void ProgressStrip::start(int total)
{
    m_runStart = now();
    m_lastDraw = -1;
    setStatus(QString());
    show(0, total, true);
}

void ProgressStrip::setProgress(int done, int total)
{
    if (m_runStart < 0)
        m_runStart = now();
    // A repaint per telephone would cost more than the telephone; the last count is drawn by finish().
    // A new total (the selection counted) is drawn at once, so the first item never reads "0 of 0".
    const bool newTotal = total != m_total;
    m_done = done;
    m_total = total;
    if (!newTotal && m_lastDraw >= 0 && now() - m_lastDraw < kRedrawMs && done < total)
        return;
    show(done, total, true);
}

void ProgressStrip::show(int done, int total, bool running)
{
    m_done = done;
    m_total = total;
    m_lastDraw = now();
    m_bar->setRange(0, qMax(total, 1));
    m_bar->setValue(qBound(0, done, qMax(total, 1)));
    // Before the run knows its selection there is no count to show.
    QString format = total > 0 || done > 0 ? text("RUN_PROGRESS", "%1 of %2").arg(done).arg(total) : QString();
    const qint64 elapsed = m_runStart >= 0 ? now() - m_runStart : 0;
    if (running && done > 0 && done < total && elapsed >= kTimeLeftAfterMs) {
        const qint64 left = elapsed * (total - done) / done / 1000;
        format += QStringLiteral(" - ") + text("RUN_TIMELEFT", "%1 left").arg(clockText(left));
    }
    // The bar's own format would read '%' signs in the text as place-holders.
    format.replace(u'%', QLatin1String("%%"));
    m_bar->setFormat(format);
}

void ProgressStrip::finish(const QString& summary, bool problem)
{
    // A run that stopped early has no time left.
    show(m_done, m_total, false);
    m_runStart = -1;
    setStatus(summary, problem);
}

void ProgressStrip::setStatus(const QString& text, bool problem)
{
    m_status->setText(text);
    m_status->setToolTip(text);
    QPalette palette = this->palette();
    if (problem)
        palette.setColor(QPalette::WindowText, QColor(0xB0, 0x10, 0x10));
    m_status->setPalette(palette);
    Q_EMIT statusChanged(text);
}

QString ProgressStrip::summaryText(const RunTally& t, const QString& succeededText, const QString& failedText) const
{
    QStringList parts;
    if (!t.aborted)
        parts.append(text("RUN_SELECTED", "%1 selected").arg(t.selected));
    parts.append(succeededText.arg(t.succeeded));
    parts.append((failedText.isEmpty() ? text("RUN_FAILED", "%1 failed") : failedText).arg(t.failed));
    QString out = parts.join(QStringLiteral(", "));
    if (t.aborted)
        out = text("RUN_ABORTED", "aborted after %1 of %2").arg(t.done).arg(t.selected) + QStringLiteral(": ") + out;
    if (!t.failures.isEmpty()) {
        QStringList named = t.failures.mid(0, kFailuresNamed);
        if (t.failures.size() > kFailuresNamed)
            named.append(QStringLiteral("..."));
        out += QStringLiteral(": ") + named.join(QStringLiteral(", "));
    }
    return out;
}

QString ProgressStrip::barText() const
{
    return m_bar->text();
}

QString ProgressStrip::statusText() const
{
    return m_status->text();
}

} // namespace vocaset
