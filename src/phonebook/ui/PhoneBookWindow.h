#pragma once

#include <functional>

#include <QWidget>

#include "PhoneBookChoices.h"
#include "RecordLists.h"
#include "SelectionList.h"

class QComboBox;
class QLabel;
class QPushButton;
class QVBoxLayout;

namespace vocaset {

class ProgressStrip;
class RunLogView;

// Shows the end of a phone-book or range run in the window's progress strip: the summary, or
// "The run failed." when a statement was refused.
void showRunEnd(Session& s, ProgressStrip* strip, const PhoneBookSummary& summary, bool completed,
                const QString& doneText);

// What the three phone-book windows share: the company list (and the model list of its telephones),
// the folder from a setting with its picker, the log with its progress strip, Generate and Cancel.
// A window supplies its run; the controls keep their short names as object names.
class PhoneBookWindow : public QWidget, public FollowsRecords
{
    Q_OBJECT

public:
    bool running() const { return m_running; }
    QString folder() const;
    // The lists read again, the choices kept where they still exist (after the run when one goes).
    void recordsChanged(const QString& table) override;

protected:
    struct Kind
    {
        const char* name;        // object name, also the caption key
        const char* title;       // designed caption
        bool perModel;           // an equipment list follows the company list
        const char* folderKey;   // "$$PBGEN", "$$PBIMP" or "$$PBExp"
        const char* doneKey;     // caption key of the summary's "%1 written"
        const char* doneEnglish; // its English text
    };
    PhoneBookWindow(Session& session, const Kind& kind, QWidget* parent);

    RunLog& runLog() const;
    // Extra controls go here, between the folder and the log.
    QVBoxLayout* extras() const { return m_extras; }
    // Called after the designed layout is complete: captions, Tab order, first focus.
    void finishLayout(const QList<QWidget*>& extraControls);

    // The run of the window: the engine's summary; stop() asks it to stop.
    virtual PhoneBookSummary runEngine(RunLog& log, const PhoneBookRequest& request) = 0;
    virtual void stop() = 0;
    // After a run that ended without a refused statement.
    virtual void afterRun(const PhoneBookSummary&) {}

    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

    Session& m_s;

private:
    void choose(int i);
    void browse();
    void generate();
    void pressCancel();
    QString chosenCode(int i) const;
    QList<ListEntry> models() const;

    Kind m_kind;
    QLabel* m_cLab;
    QLabel* m_eLab = nullptr;
    QLabel* m_pLab;
    QComboBox* m_filter1;
    QComboBox* m_filter2 = nullptr;
    QLabel* m_lPath;
    QPushButton* m_btPath;
    QVBoxLayout* m_extras;
    RunLogView* m_list1;
    ProgressStrip* m_bar;
    QPushButton* m_ok;
    QPushButton* m_cancel;
    bool m_running = false;
    bool m_closeWhenIdle = false;
    bool m_focused = false;
    bool m_listsStale = false; // records changed during the run
};

} // namespace vocaset
