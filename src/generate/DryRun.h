#pragma once

#include <optional>

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include "Explain.h"
#include "GenerationRun.h"

namespace vocaset {

// The parameters a configuration file holds, read back by the syntax of its writer module.
struct FileParameters
{
    QList<QPair<QString, QString>> params; // code and value, in file order
    QString mac;                           // GXP2000: the MAC of the header
    QString problem;                       // why the bytes are not a valid file of the module
};
FileParameters readFileParameters(const QString& module, const QByteArray& bytes);

struct ParamChange
{
    QString code;
    std::optional<QString> before; // nothing: the parameter is added
    std::optional<QString> after;  // nothing: the parameter is removed
};

// What writing a file would do to the file of that name in the folder.
struct FileComparison
{
    enum class Verdict { Unchanged, New, Changed };
    Verdict verdict = Verdict::New;
    int parameters = 0;          // in the file the run writes, unless it is unchanged
    QList<ParamChange> changes;  // new file's order, then the removed ones
    QString invalid;             // why the file there is not a valid file of the module
    QString macBefore, macAfter; // GXP2000: set when the header's MAC changes
    QList<qsizetype> lines;      // a template's file, read as lines only: those that differ, from 1
};
// The bytes before (nothing when there is no file) against the bytes the run would write.
FileComparison compareFiles(const QString& module, const std::optional<QByteArray>& before, const QByteArray& after);

struct DryRunSummary
{
    RunOutcome outcome = RunOutcome::Completed;
    int selected = 0;
    int done = 0;
    int unchanged = 0; // the file stays as it is (no file where the run writes none)
    int added = 0;     // new files
    int changed = 0;
    int refused = 0;
    QStringList refusedPhones;
    QString line; // the closing line, for the log or the terminal

    // The run would write its files without a refusal.
    bool clean() const { return outcome == RunOutcome::Completed && refused == 0; }
};

// The generation run without writing: the same selection, folders and files, each file compared
// with the one already in the folder, one log line per telephone. Stops where the run would stop.
// Messages the run shows before it ends (M6, M7, M8) are shown alike. Refused statements throw DbError.
class DryRun
{
public:
    DryRun(Session& session, RunLog& log) : m_s(session), m_log(log), m_texts(session) {}
    Q_DISABLE_COPY_MOVE(DryRun)

    void setShowSecrets(bool show) { m_showSecrets = show; }
    DryRunSummary run(const GenerationRequest& request);
    // Asks a run that is giving the user interface a turn to stop after the current telephone.
    void requestStop() { m_stopRequested = true; }

    // Files larger than this are not read back.
    static constexpr qint64 kMaxCompareBytes = 16 * 1024 * 1024;

private:
    class Turns;

    Session& m_s;
    RunLog& m_log;
    InsightTexts m_texts;
    bool m_showSecrets = false;
    bool m_stopRequested = false;
};

} // namespace vocaset
