#pragma once

#include <array>

#include <QWidget>

#include "GenerationChoices.h"
#include "Session.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;

namespace vocaset {

class GenerationRun;
class ProgressStrip;
class RunLogView;

// The generation window: company, model, levels and telephone range narrow the selection; Generate
// runs the generation over it. Controls keep their short names as object names.
class FGenerate final : public QWidget
{
    Q_OBJECT

public:
    explicit FGenerate(Session& session, QWidget* parent = nullptr);
    ~FGenerate() override;

    bool folderConfirmed() const { return m_folderConfirmed; }
    bool running() const { return m_run != nullptr; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    template <typename F> void guarded(F action);
    void chooseFilter(int i);
    void levelClicked(int box, bool ticked);
    void setPath(const QString& text);
    void folderCheck();
    void browse();
    void generate();
    void cancel();
    void fill(QComboBox* list, const QList<ListEntry>& entries);
    QString chosenCode(int i) const;
    void syncLevelBoxes();

    Session& m_s;
    std::array<QCheckBox*, 3> m_clev{};
    std::array<QLabel*, 5> m_flab{};      // 1 to 4 used
    std::array<QComboBox*, 5> m_filter{}; // 1 to 4 used
    QLabel* m_plab;
    QLabel* m_lpath;
    QPushButton* m_btPath;
    QCheckBox* m_genSrc;
    RunLogView* m_list1;
    ProgressStrip* m_progress;
    QPushButton* m_ok;
    QPushButton* m_cancel;

    LevelBoxes m_levels;
    bool m_folderConfirmed = false;
    GenerationRun* m_run = nullptr;
    bool m_closeAfterRun = false;
};

} // namespace vocaset
