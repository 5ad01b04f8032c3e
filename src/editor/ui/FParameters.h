#pragma once

#include <memory>

#include <QList>
#include <QWidget>

#include "CodeRename.h"
#include "EditorAccess.h"
#include "RecordForm.h"
#include "RecordList.h"
#include "RecordLists.h"
#include "SecretValues.h"
#include "TableCatalogue.h"

class QAction;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QTabBar;
class QToolButton;
class QTreeView;

namespace vocaset {

class FHistory;
class ProgressStrip;
class RecordListModel;

// The configuration editor: one tab per table the settings name, the table's rows listed with a
// filter per key column, and one record at a time changed, inserted or deleted through edit rows.
// Controls keep their short names as object names; indexed arrays are named with their index
// ("Filter1", "Text3"). A change saved to companies, models or telephones is told to the other
// windows, which read their lists again.
class FParameters final : public QWidget, public ChangesRecords
{
    Q_OBJECT

public:
    // prompt asks for a tab's password; by default a masked dialog titled "Password Required" that
    // names the password it wants, its texts from the captions table.
    explicit FParameters(Session& session, PasswordPrompt prompt = {}, QWidget* parent = nullptr);
    ~FParameters() override;

    const QString& currentTable() const { return m_cat.table; }
    AccessMode accessMode() const { return m_mode; }
    const QString& whereClause() const { return m_where; }
    RecordListModel* listModel() const { return m_model; }
    const RecordForm& form() const { return *m_form; }
    bool listing() const { return m_listing; }
    // What the password prompt asks for now: the tab's password, or the settings' second one.
    const QString& passwordWanted() const { return m_passwordWanted; }
    FHistory* historyWindow() const { return m_historyWindow; }

    // The tab selection, as a click on tab index (0-based) does.
    void selectTab(int index);
    // Opens the record menu over a list row, as a right click on it does.
    void openRecordMenu(int row, const QPoint& globalPos);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void setUp();
    void FormList();
    void RempList();
    void setFilterRows(int count);
    void fitColumns(const QList<QVariantList>& rows);
    void sortClicked(int section);
    // Takes the row the record commands act on and enables those that apply; false when none may.
    bool prepareRecordMenu(int row);
    void startOperation(Operation op);
    // Gives the clicked company, model or telephone a new code everywhere it stands.
    void renameClicked();
    // Shows the recorded changes of the clicked record.
    void historyClicked();
    // The kind of code the tab's rows carry, when the tab is one whose codes may be renamed.
    std::optional<RenameRequest::Kind> renameKind() const;
    void setEditRows(int count);
    void syncEditRows();
    // The edit row of the value of a secret parameter in the record being edited, or -1.
    int secretEditRow() const;
    // Runs work that gives the user interface its turns (filling drop-downs); a close meanwhile
    // waits for its end.
    template <typename F> void whileFilling(F&& work);
    void closeIfAsked();
    void textEdited(int row, const QString& text);
    void comboChosen(int row, int entry);
    void okClicked();
    void endOperation();
    void arrangeControls();
    void setError(const QString& text);
    void addError(const QString& text);
    bool editing() const;
    // Asks before typed data is thrown away; true when nothing is lost or the operator agrees.
    bool mayAbandonRecord();

    Session& m_s;
    PasswordPrompt m_prompt;

    QFrame* m_tabBody;
    QTabBar* m_tabStrip;
    QGroupBox* m_rcompany;
    QList<QLabel*> m_flab;      // FLab(1) and further
    QList<QComboBox*> m_filter; // Filter(1) and further
    QTreeView* m_listCom;
    RecordListModel* m_model;
    QList<QLabel*> m_label; // Label(1) and further
    QList<QLineEdit*> m_text;
    QList<QComboBox*> m_combo;
    QPushButton* m_ok;
    QPushButton* m_cancel;
    QLabel* m_lerr;
    QToolButton* m_reveal; // shows a secret value in the record form
    ProgressStrip* m_progress;
    QMenu* m_mnuRecord;
    QAction* m_edit;
    QAction* m_delete;
    QAction* m_new;
    QAction* m_rename;
    QAction* m_history;
    FHistory* m_historyWindow = nullptr;

    QList<EditorTab> m_tabs;
    TableCatalogue m_cat;
    AccessMode m_mode = AccessMode::False;
    QString m_where;
    std::unique_ptr<RecordForm> m_form;
    std::unique_ptr<SecretValues> m_secrets;
    QString m_passwordWanted;
    ListSort m_sort;
    int m_clickedRow = -1;
    bool m_loading = false;
    bool m_listing = false;
    bool m_filling = false;
    bool m_stopListing = false;
    bool m_closeAfterListing = false;
};

} // namespace vocaset
