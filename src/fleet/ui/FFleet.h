#pragma once

#include <QWidget>

#include "FetchConfirmation.h"
#include "FleetSurvey.h"
#include "RebootRun.h"
#include "ResyncRun.h"
#include "RecordLists.h"
#include "Session.h"

class QComboBox;
class QLabel;
class QPushButton;
class QTreeWidget;

namespace vocaset {

class ProgressStrip;
class RunLogView;

// The fleet window: a company and a model (or all models), the list of their telephones with the
// state of each (current, stale, never) and its last fetch, a count per state, Refresh, and the
// restart of exactly the stale telephones listed, by HTTP reboot or SIP resync as the operator
// chooses, with the reboot window's log, progress, abort and summary; when asked, the wait for each
// one's next fetch, the list following each confirmation as it comes.
class FFleet final : public QWidget, public FollowsRecords
{
    Q_OBJECT
    Q_PROPERTY(bool running READ running)

public:
    // connection: the working database's connection string, for the server's file source.
    // deadlineMs, t1Ms, pollMs: the reboot's exchanges, the SIP transactions, the looks at the
    // recorded fetches; tests shorten them.
    FFleet(Session& session, QString connection, int deadlineMs = HttpExchange::kDefaultDeadlineMs,
           QWidget* parent = nullptr, int t1Ms = 500, int pollMs = 1000);

    QComboBox* filter(int i) const { return i == 1 ? m_company : m_model; }
    QTreeWidget* list1() const { return m_list; }
    QLabel* counts() const { return m_counts; }
    QPushButton* refreshButton() const { return m_refresh; }
    QPushButton* rebootStale() const { return m_reboot; }
    QPushButton* cancel() const { return m_cancel; }
    RunLogView* lb1() const { return m_lb1; }
    ProgressStrip* progress() const { return m_bar; }
    // A reboot or a refresh is going on.
    bool running() const { return m_run.running() || m_refreshing || m_restarting; }
    bool refreshing() const { return m_refreshing; }
    // The lists read again, the choices kept where they still exist; a list shown is read again.
    void recordsChanged(const QString& table) override;

    // The list's columns: the firmware before the user agent it is taken from, which is long.
    enum Column { Company, Code, Model, Mac, State, Fetched, Client, Firmware, Agent, Columns };

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void chooseCompany();
    void refresh();
    void rebootStaleTelephones();
    // The stale telephones of each model resynchronised over SIP, as one run.
    RebootRun::Summary resyncStale(const QStringList& codes, bool& aborted);
    // A confirmed telephone's row shows its fetch, and its state when it holds the current file.
    void showConfirmation(const FetchConfirmation::Result& r);
    void pressCancel();
    void abortAll();
    void setRunning(bool running);
    void lockForRefresh(bool locked);
    QStringList staleCodes() const;

    Session& m_s;
    QString m_connection;
    QComboBox* m_company;
    QComboBox* m_model;
    QTreeWidget* m_list;
    QLabel* m_counts;
    RunLogView* m_lb1;
    ProgressStrip* m_bar;
    QPushButton* m_refresh;
    QPushButton* m_reboot;
    QPushButton* m_cancel;
    QString m_cancelCaption;
    QString m_shownCompany; // the company the list shows
    bool m_closeWhenIdle = false;
    bool m_focused = false;
    bool m_refreshing = false;
    bool m_stopRefresh = false;
    bool m_listsStale = false; // records changed during a run
    bool m_restarting = false; // a resync or a wait for fetches is going on
    RebootRun m_run;
    ResyncRun m_resync;
    FetchConfirmation m_confirmation;
};

} // namespace vocaset
