#pragma once

#include <QElapsedTimer>
#include <QListView>
#include <QStringList>

#include "Interaction.h"

namespace vocaset {

class ProgressStrip;
class RunLogModel;

// A run window's log list. Appended lines are held back and shown in one batch at most every tenth
// of a second (a run gives the event loop a turn every few milliseconds), rows have one height, and the
// last line is selected and kept in view after each batch, unless the operator has scrolled up to read:
// 100 000 lines cost no more per line than the first ten.
// It is the window's RunLog; progress reports go to the strip set with setProgressStrip().
class RunLogView final : public QListView, public RunLog
{
    Q_OBJECT

public:
    explicit RunLogView(QWidget* parent = nullptr);
    ~RunLogView() override;

    void append(const QString& line) override;
    void progress(int done, int total) override;

    void setProgressStrip(ProgressStrip* strip) { m_strip = strip; }
    void clear();
    // Shows the lines still held back now (the counts below include them anyway).
    void flush();
    // The end of a run: every line shown and the last one (the summary) selected and in view.
    void showEnd();

    int lineCount() const;
    QString line(int row) const;
    QStringList lines() const;
    // The selected line, -1 when none.
    int currentLine() const;

private:
    void showLast();

    RunLogModel* m_model;
    ProgressStrip* m_strip = nullptr;
    QStringList m_pending;
    bool m_flushQueued = false;
    bool m_follow = true;
    QElapsedTimer m_lastFlush;
};

} // namespace vocaset
