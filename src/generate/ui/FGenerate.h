#pragma once

#include <array>

#include <QHash>
#include <QWidget>

#include "GenerationChoices.h"
#include "RecordLists.h"
#include "Session.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;

namespace vocaset {

class DryRun;
class FExplain;
class GenerationRun;
class ProgressStrip;
class RunLogView;
struct DryRunSummary;
struct RunSummary;

// The generation window: company, model, levels and telephone range narrow the selection; Generate
// runs the generation over it, Preview the same run without writing. A double click on a line of a
// telephone's turn shows where each of its values comes from. Controls keep their short names as
// object names, which are also their caption keys (FGENERATE_ + the name in upper case).
class FGenerate final : public QWidget, public FollowsRecords
{
    Q_OBJECT
    Q_PROPERTY(bool running READ running)

public:
    explicit FGenerate(Session& session, QWidget* parent = nullptr);
    ~FGenerate() override;

    bool folderConfirmed() const { return m_folderConfirmed; }
    bool running() const { return m_run != nullptr || m_preview != nullptr; }
    // The telephone whose turn wrote a line of the log; empty for the run's own lines.
    QString linePhone(int line) const { return m_linePhones.value(line); }
    // Shows the values of the telephone whose turn wrote the line, if any.
    void showValues(int line);
    // The lists read again, the choices kept where they still exist (after the run when one goes).
    void recordsChanged(const QString& table) override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void chooseFilter(int i);
    void levelClicked(int box, bool ticked);
    void setPath(const QString& text);
    void folderCheck();
    bool offerToCreate(const QString& folder);
    void browse();
    void generate() { runSelection(false); }
    void previewRun() { runSelection(true); }
    void runSelection(bool dryRun);
    void finishRun(const RunSummary& summary);
    void finishPreview(const DryRunSummary& summary);
    void setRunnable(bool enabled);
    void cancel();
    bool stopRunAsked();
    void fill(QComboBox* list, const QList<ListEntry>& entries);
    bool choose(int i, const QString& code);
    QString chosenCode(int i) const;
    void syncLevelBoxes();
    void setRunning(bool running);

    Session& m_s;
    QLabel* m_levLab;
    std::array<QCheckBox*, 3> m_clev{};
    std::array<QLabel*, 5> m_flab{};      // 1 to 4 used
    std::array<QComboBox*, 5> m_filter{}; // 1 to 4 used
    QLabel* m_plab;
    QLabel* m_lpath;
    QPushButton* m_btPath;
    QCheckBox* m_genSrc;
    RunLogView* m_list1;
    ProgressStrip* m_progress;
    QPushButton* m_previewButton;
    QPushButton* m_ok;
    QPushButton* m_cancel;
    QString m_cancelCaption;

    LevelBoxes m_levels;
    bool m_folderConfirmed = false;
    bool m_focused = false; // the first showing focuses the company list
    GenerationRun* m_run = nullptr;
    DryRun* m_preview = nullptr;
    // The last run's lines that belong to a telephone's turn, and the company and levels it used.
    QHash<int, QString> m_linePhones;
    QString m_runCompany;
    LevelChoice m_runLevels;
    FExplain* m_values = nullptr;
    bool m_closeAfterRun = false;
    bool m_listsStale = false;  // records changed during the run
    QList<QWidget*> m_locked;   // the selection, locked while a run goes
    QList<bool> m_wasEnabled;
};

} // namespace vocaset
