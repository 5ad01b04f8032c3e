#pragma once

#include <QWidget>

#include "PhoneBookChoices.h"
#include "RecordLists.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace vocaset {

class ProgressStrip;
class RangeGeneration;
class RunLogView;

// Range generation: the telephone codes of a numeric interval added to, or deleted from, a company's
// ranges, one log line per code. Controls keep their short names as object names.
class FRgen final : public QWidget, public FollowsRecords
{
    Q_OBJECT

public:
    explicit FRgen(Session& session, QWidget* parent = nullptr);
    bool running() const { return m_run != nullptr; }
    // The company list read again, its choice kept while it exists (after the run when one goes).
    void recordsChanged(const QString& table) override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void updateOk();
    void generate();
    void pressCancel();

    Session& m_s;
    QLabel* m_cLab;
    QComboBox* m_filter;
    QLabel* m_pfLab;
    QLineEdit* m_pFrom;
    QLabel* m_ptLab;
    QLineEdit* m_pTo;
    QCheckBox* m_delAll;
    RunLogView* m_list1;
    ProgressStrip* m_bar;
    QPushButton* m_ok;
    QPushButton* m_cancel;
    RangeGeneration* m_run = nullptr;
    bool m_closeWhenIdle = false;
    bool m_focused = false;
    bool m_listsStale = false; // records changed during the run
};

} // namespace vocaset
