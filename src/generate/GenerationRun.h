#pragma once

#include <QHash>
#include <QString>

#include "ConfigWriter.h"
#include "GenerationChoices.h"
#include "Interaction.h"
#include "Session.h"

namespace vocaset {

// What the operator chose: company, model, levels, the telephone range (with the telephone level),
// the folder text as shown (place-holders not yet expanded) and whether source files are wanted.
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
    int selected = 0;       // telephones selected
    int done = 0;           // telephones whose turn ended
    int written = 0;        // telephones whose files were written
    int skipped = 0;        // telephones whose files were refused
    bool cleanedUp = false; // EQ_TEMP emptied at the end, so the window may enable Generate again
};

// The generation run: selects the telephones, merges the chosen levels of each into the
// connection's own EQ_TEMP and hands it to the model's writer. Refused statements throw DbError.
class GenerationRun
{
public:
    GenerationRun(Session& session, RunLog& log) : m_s(session), m_log(log), m_texts(session) {}
    Q_DISABLE_COPY_MOVE(GenerationRun)

    RunSummary run(const GenerationRequest& request);
    // Asks a run that is giving the user interface a turn to stop after the current telephone.
    void requestStop() { m_stopRequested = true; }

    // EQ_TEMP of this connection: a temporary table that hides the shared one, so two operators
    // generating at once never mix their sets.
    static void preparePrivateScratch(Database& db);

private:
    enum class Turn { Next, FolderMissing, MergeFailed };
    Turn telephone(const GenerationRequest& request, RunSummary& summary);
    void mergeLevel(QChar level, const QString& readSql, const QString& copySql, const QVariantList& keys);
    QVariant description(QChar level, const QVariantList& row, int codeField, int descField);
    QString telephoneName() const;
    void storeExpanded(QChar level);

    Session& m_s;
    RunLog& m_log;
    bool m_stopRequested = false;
    ProgressTexts m_texts;
    QHash<QString, QString> m_descriptions; // the model's catalogue: code -> description
    QHash<QString, QChar> m_merged;         // codes of the current telephone and their level
    QVariantList m_expanded;                // rows of the level to insert here: code, description, value
};

} // namespace vocaset
