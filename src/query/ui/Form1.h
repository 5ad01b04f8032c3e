#pragma once

#include <array>
#include <functional>

#include <QUrl>
#include <QWidget>

#include "FilterRow.h"
#include "QueryTool.h"
#include "ResultModel.h"

class QCheckBox;
class QLabel;
class QPushButton;
class QTreeView;

namespace vocaset {

class DropDownCombo;
class ProgressStrip;

// The query tool's window: one row per catalogue field (check box, filter box, comparison button),
// CExec to run the query, the result list Lv with its row count NbEnr, and BtExcel to export the
// list. Controls keep their short names as object names (CkField0, CbField0, BtField0, ...).
class Form1 final : public QWidget
{
    Q_OBJECT

public:
    static constexpr int kRows = QueryTool::kMaxFields;

    explicit Form1(QueryTool& tool, QWidget* parent = nullptr);
    ~Form1() override;

    bool running() const { return m_running; }
    const ResultModel& result() const { return *m_model; }

    // Where an export goes (a save dialog by default; empty: cancelled) and how the written file and
    // the manual (F1) are opened (the desktop's default application); replaceable for tests.
    std::function<QString(const QString& proposed)> chooseExportFile;
    std::function<bool(const QUrl& link)> openLink;
    // F1: shows the manual at the query tool's section; by default through openLink. The program
    // gives it the help viewer.
    std::function<void(const QUrl& manual)> showManual;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void fillList(int i);
    void textChanged(int i);
    void entryClicked(int i, int entry);
    void buttonClicked(int i);
    void showButton(int i);
    void runQuery();
    void exportResult();
    void sortBy(int column);
    void fitColumns();

    QueryTool& m_tool;
    Session& m_s;
    std::array<QCheckBox*, kRows> m_ckField{};
    std::array<DropDownCombo*, kRows> m_cbField{};
    std::array<QPushButton*, kRows> m_btField{};
    std::array<FilterRow, kRows> m_rows;
    QPushButton* m_cExec;
    QPushButton* m_btExcel;
    QLabel* m_nbEnr;
    QTreeView* m_lv;
    ResultModel* m_model;
    ProgressStrip* m_strip;
    SortState m_sort;
    QString m_exportFolder;
    bool m_running = false;
    bool m_closeAfterRun = false;
};

} // namespace vocaset
