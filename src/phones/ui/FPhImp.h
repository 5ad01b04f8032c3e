#pragma once

#include <memory>

#include <QWidget>

#include "PhoneImport.h"
#include "RecordLists.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;

namespace vocaset {

class ProgressStrip;

// Telephone import: a CSV file for a company and model, checked whole and shown as a preview of
// what would change (added, updated, unchanged, refused with the reasons); Import writes it all in
// one transaction, and only when nothing is refused. Controls keep short names as object names.
class FPhImp final : public QWidget, public FollowsRecords, public ChangesRecords
{
    Q_OBJECT

public:
    explicit FPhImp(Session& session, QWidget* parent = nullptr);
    bool running() const { return m_running; }
    // The lists read again, the choices kept where they still exist, and the preview made anew.
    void recordsChanged(const QString& table) override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    PhoneImportRequest request() const;
    void browse();
    void preview();
    void showPlan(const PhoneImportPlan& plan);
    void import();
    void pressCancel();

    Session& m_s;
    QLabel* m_cLab;
    QComboBox* m_filter1;
    QLabel* m_eLab;
    QComboBox* m_filter2;
    QLabel* m_fLab;
    QLineEdit* m_lFile;
    QPushButton* m_btFile;
    QTreeWidget* m_preview;
    ProgressStrip* m_bar;
    QPushButton* m_ok;
    QPushButton* m_cancel;
    std::unique_ptr<RunLog> m_log; // the engine's progress, drawn in the strip
    std::unique_ptr<PhoneImport> m_engine;
    PhoneImportPlan m_plan;    // the plan the preview shows; Import writes exactly it
    bool m_fileEdited = false; // the file's name was typed since the last preview
    bool m_running = false;
    bool m_closeWhenIdle = false;
    bool m_focused = false;
    bool m_listsStale = false; // records changed during the import
};

} // namespace vocaset
