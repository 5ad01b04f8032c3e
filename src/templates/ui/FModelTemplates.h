#pragma once

#include <functional>
#include <optional>

#include <QPointer>
#include <QWidget>

#include "ModelTemplates.h"
#include "Session.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPlainTextEdit;
class QPushButton;
class QTimer;

namespace vocaset {

class FHistory;
class ProgressStrip;
class TemplateEditor;

// The templates of the models whose files come from a template: the model and kind, the file's
// name and options, the template in an editor with line numbers, and beside it the file it makes
// for a telephone (or a company's address book), made again a moment after each change. Problems
// are listed with their line and column; choosing one puts the cursor there. Save checks first and
// needs the settings' second password; History lists the template's recorded changes.
class FModelTemplates final : public QWidget
{
    Q_OBJECT

public:
    using PasswordPrompt = std::function<std::optional<QString>()>;
    explicit FModelTemplates(Session& session, PasswordPrompt prompt = {}, QWidget* parent = nullptr);

    // How long after the last change the preview is made again.
    static constexpr int kPreviewDelayMs = 300;

    // The template as the controls hold it.
    ModelTemplate edited() const;
    bool modified() const;
    // Makes the preview and the problems now instead of after the delay.
    void refreshNow();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void fillModels();
    void chooseTemplate();
    void fillSubjects();
    void showTemplate(const ModelTemplate& t);
    void changed();
    void refresh();
    void problemChosen(QListWidgetItem* item);
    void save();
    void showHistory();
    bool mayLeave();
    QString what() const;

    Session& m_s;
    PasswordPrompt m_prompt;
    QLabel* m_mLab;
    QComboBox* m_filter1;
    QLabel* m_kLab;
    QComboBox* m_filter2;
    QLabel* m_nLab;
    QLineEdit* m_lName;
    QLabel* m_eLab;
    QComboBox* m_escape;
    QLabel* m_cLab;
    QComboBox* m_encoding;
    QLabel* m_lLab;
    QComboBox* m_eol;
    QLabel* m_tLab;
    QLineEdit* m_lType;
    QLabel* m_pLab;
    QComboBox* m_filter3;
    QLabel* m_xLab;
    TemplateEditor* m_text;
    QLabel* m_fLab;
    QPlainTextEdit* m_file;
    QLabel* m_qLab;
    QListWidget* m_problems;
    ProgressStrip* m_strip;
    QPushButton* m_save;
    QPushButton* m_history;
    QPushButton* m_close;
    QTimer* m_delay;
    QPointer<FHistory> m_historyWindow;

    ModelTemplate m_shown; // what the controls held when the template was chosen or saved
    bool m_stored = false; // the model has the template in the database
    bool m_loading = false;
    bool m_admin = false; // the second password was given
    bool m_focused = false;
    int m_model = -1; // the model and kind chosen, for going back when the operator keeps the changes
    int m_kind = 0;
};

} // namespace vocaset
