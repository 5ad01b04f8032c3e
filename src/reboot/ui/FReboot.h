#pragma once

#include <array>

#include <QWidget>

#include "FetchConfirmation.h"
#include "RebootRun.h"
#include "RecordLists.h"
#include "ResyncRun.h"
#include "Session.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QTreeWidget;

namespace vocaset {

class ProgressStrip;
class RestartChoice;
class RunLogView;

// The reboot window: company, model and a range of telephone codes, then one reboot after the
// other with the log of each telephone, by each model's HTTP dialogue or by a SIP NOTIFY, and when
// asked the wait for each restarted telephone's next fetch, with every telephone's outcome in a
// list. Cancel aborts a run or the wait, or closes the window when idle.
class FReboot final : public QWidget, public FollowsRecords
{
    Q_OBJECT
    Q_PROPERTY(bool running READ running)

public:
    // deadlineMs: each HTTP exchange's; t1Ms: the SIP transactions' base interval; pollMs: the time
    // between two looks at the recorded fetches. Tests shorten them.
    explicit FReboot(Session& session, int deadlineMs = HttpExchange::kDefaultDeadlineMs, QWidget* parent = nullptr,
                     int t1Ms = 500, int pollMs = 1000);

    // Filter(1) to Filter(4).
    QComboBox* filter(int i) const { return m_filter.at(i - 1); }
    QPushButton* ok() const { return m_ok; }
    QPushButton* cancel() const { return m_cancel; }
    QCheckBox* busy() const { return m_cbusy; }
    RestartChoice* restart() const { return m_restart; }
    // A row per telephone of the last run: code, restart, confirmation.
    QTreeWidget* outcomes() const { return m_outcomes; }
    RunLogView* lb1() const { return m_lb1; }
    ProgressStrip* progress() const { return m_bar; }
    // "End" when Cancel closes the window, "Abort" while a run is going on.
    const QString& cancelTag() const { return m_cancelTag; }
    bool running() const { return m_run.running() || m_busy; }
    // The lists read again, the choices kept where they still exist (after the run when one goes).
    void recordsChanged(const QString& table) override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void finishRun(const RebootRun::Summary& summary, RebootRun::Outcome outcome, bool failed);
    // The restart's column for each telephone of the run, then the wait for their fetches.
    void listOutcomes(const RebootRun::Summary& summary);
    void awaitFetches(const RebootRun::Summary& summary, int seconds);
    void chooseMethod();
    void abortAll();
    void lockLists(bool locked);
    void choose(int i);
    void startRun();
    void pressCancel();
    void setCancel(const QString& tag, const QString& captionKey);
    void fill(QComboBox* box, const QStringList& entries);
    QString chosenCode(int i) const;
    bool allChosen() const;

    Session& m_s;
    QLabel* m_cLab;
    QLabel* m_eLab;
    QLabel* m_pfLab;
    QLabel* m_ptLab;
    std::array<QComboBox*, 4> m_filter;
    QCheckBox* m_cbusy;
    RestartChoice* m_restart;
    QTreeWidget* m_outcomes;
    RunLogView* m_lb1;
    ProgressStrip* m_bar;
    QPushButton* m_ok;
    QPushButton* m_cancel;
    QString m_cancelCaption; // the designed or described caption of Cancel, when no run-state text exists
    QString m_okCaption;     // the HTTP reboot's caption of the main button
    QString m_cancelTag = QStringLiteral("End");
    bool m_closeWhenIdle = false;
    bool m_focused = false;
    bool m_listsStale = false;  // records changed during the run
    QList<bool> m_listsEnabled; // the lists' state before a run locked them
    bool m_busy = false; // a resync or a wait for fetches is going on
    RebootRun m_run;
    ResyncRun m_resync;
    FetchConfirmation m_confirmation;
};

// The end of a reboot run in a window: the summary line ("N selected, N restarted, N failed") in
// the log and in the progress strip, marked as a problem when a telephone failed or the run ended
// early; failed: the run ended on a refused statement.
void showRebootEnd(Session& s, const RebootRun& run, RebootRun::Outcome outcome, bool failed, RunLogView* log,
                   ProgressStrip* bar);
void showRebootEnd(Session& s, const RebootRun::Summary& summary, RebootRun::Outcome outcome, bool failed,
                   RunLogView* log, ProgressStrip* bar);

} // namespace vocaset
