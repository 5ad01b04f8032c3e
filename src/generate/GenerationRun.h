#pragma once

#include <QString>
#include <QStringList>

#include "GenerationChoices.h"
#include "Interaction.h"
#include "Session.h"

namespace vocaset {

// What the operator chose: company, model, levels, the telephone range (with the telephone level),
// the folder text as shown (place-holders not yet expanded; "$$APPPATH$$" or a relative folder is
// taken from the program's folder) and whether source files are wanted.
struct GenerationRequest
{
    QString company;
    QString model;
    LevelChoice levels;
    QString firstPhone;
    QString lastPhone;
    QString folder;
    bool source = false;
};

enum class RunOutcome {
    Completed,     // every telephone had its turn
    NoTelephones,  // M8
    FolderMissing, // M7
    MergeFailed,   // a level of the merge failed: M12
    Stopped,       // RunError after a telephone's turn
    Cancelled      // the operator asked the run to stop
};

struct RunSummary
{
    RunOutcome outcome = RunOutcome::Completed;
    int selected = 0;       // turns the run takes: the telephones selected, or one for a model-wide file
    int done = 0;           // turns ended
    int written = 0;        // telephones whose files were written
    int skipped = 0;        // telephones whose files were refused
    QStringList refused;    // their codes, for the summary line
    bool cleanedUp = false; // EQ_TEMP emptied at the end, so the window may enable Generate again
};

// The generation run: selects the telephones and writes the files that TelephoneFileMaker makes for
// each into the folder, with the turn's lines. Refused statements throw DbError.
class GenerationRun
{
public:
    GenerationRun(Session& session, RunLog& log) : m_s(session), m_log(log) {}
    Q_DISABLE_COPY_MOVE(GenerationRun)

    RunSummary run(const GenerationRequest& request);
    // Asks a run that is giving the user interface a turn to stop after the current telephone.
    void requestStop() { m_stopRequested = true; }

    // EQ_TEMP of this connection: a temporary table that hides the shared one, so two operators
    // generating at once never mix their sets.
    static void preparePrivateScratch(Database& db);
    // Selects the request's telephones into the session's current telephone and returns the number
    // of turns a run takes: 0 when there is none (M8 shown), 1 for the equipment level alone.
    static int selectTelephones(Session& s, const GenerationRequest& request);

private:
    class Turns;

    Session& m_s;
    RunLog& m_log;
    bool m_stopRequested = false;
};

} // namespace vocaset
