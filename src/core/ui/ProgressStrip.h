#pragma once

#include <functional>

#include <QElapsedTimer>
#include <QWidget>

#include "Session.h"

class QLabel;
class QProgressBar;

namespace vocaset {

// What a run did, for its closing line: items selected, items whose turn ended, how many of them
// succeeded and failed (with their names), and whether the operator stopped it.
struct RunTally
{
    int selected = 0;
    int done = 0;
    int succeeded = 0;
    int failed = 0;
    bool aborted = false;
    QStringList failures; // names of the failed items, as the log shows them
};

// The progress strip of a run window: a horizontal bar reading "N of M" (with the time left once
// a run has gone on for a few seconds) and, beside it, the window's status line, which shows the
// run's summary at its end. Texts come from the captions table (keys RUN_PROGRESS, RUN_TIMELEFT,
// RUN_ABORTED, RUN_SELECTED, RUN_FAILED, with %1 and %2 for the numbers), English otherwise.
class ProgressStrip final : public QWidget
{
    Q_OBJECT

public:
    // Runs shorter than this show no time left.
    static constexpr qint64 kTimeLeftAfterMs = 3000;

    explicit ProgressStrip(Session& session, QWidget* parent = nullptr);

    // A run begins: the bar empties and the status line is cleared.
    void start(int total = 0);
    // Throttled: the bar is redrawn at most every few tens of milliseconds, and at the end.
    void setProgress(int done, int total);
    // The run ended: the bar shows the last count, the status line the summary, marked as a
    // problem when the run failed or was aborted (the bar then never reads as a plain 100 %).
    void finish(const QString& summary, bool problem);
    // Any status text (a hint, an error) outside a run.
    void setStatus(const QString& text, bool problem = false);

    // "12 selected, 11 written, 1 failed: 103 \\ Desk" or "aborted after 4 of 12: 4 written, 0 failed".
    // succeededText is the window's own "%1 written" / "%1 restarted" text, failedText its "%1 refused".
    QString summaryText(const RunTally& tally, const QString& succeededText, const QString& failedText = {}) const;

    // The last count reported, drawn or not.
    int done() const { return m_done; }
    int total() const { return m_total; }
    QString barText() const;
    QString statusText() const;
    QProgressBar* bar() const { return m_bar; }
    // Milliseconds from any fixed point, for the time left; a test sets its own.
    void setClock(std::function<qint64()> clock) { m_clock = std::move(clock); }

Q_SIGNALS:
    // The status line changed; the main window mirrors it in its status bar.
    void statusChanged(const QString& text);

private:
    QString text(const char* key, const char* english) const;
    void show(int done, int total, bool running);
    qint64 now() const;

    Session& m_s;
    QProgressBar* m_bar;
    QLabel* m_status;
    QElapsedTimer m_sinceCreated;
    std::function<qint64()> m_clock;
    qint64 m_runStart = -1; // -1 outside a run
    qint64 m_lastDraw = -1;
    int m_done = 0;
    int m_total = 0;
};

} // namespace vocaset
