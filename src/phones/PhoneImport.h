#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include "Explain.h"
#include "Interaction.h"
#include "SelectionList.h"
#include "Session.h"

namespace vocaset {

class BlockWriter;
class InputFile;

// The file's fixed columns; every other column of its header is a parameter code of the model.
inline constexpr auto kCodeColumn = "code";
inline constexpr auto kDescriptionColumn = "description";
inline constexpr auto kMacColumn = "mac";

// Why a file is refused: a line (1 is the header, 0 the file itself), the column when one is to
// blame, and the reason.
struct ImportProblem
{
    int line = 0;
    QString column;
    QString reason;
};

// One change the import makes; in list order, each one's rows exist before it is written.
struct PhoneChange
{
    enum class Kind {
        NewRange,    // RANGES gains the telephone's code
        NewPhone,    // PHONES gains the telephone: after is its description, mac its MAC
        Description, // PH_DESC from before to after
        Mac,         // PH_MAC from before to after
        NewValue,    // PHONES_PARAMETERS gains the value after of parameter param
        Value        // the value of parameter param from before to after
    };
    Kind kind = Kind::NewPhone;
    int line = 0;
    QString phone;
    QString param;
    QString before;
    QString after;
    QString mac;

    bool operator==(const PhoneChange&) const = default;
};

enum class PhoneOutcome { Added, Updated, Unchanged, Refused };

// What the import would do with one line of the file.
struct PlannedPhone
{
    int line = 0;
    QString phone;
    QString mac; // as the file gives it
    PhoneOutcome outcome = PhoneOutcome::Unchanged;
    QList<ImportProblem> problems;
    QList<PhoneChange> changes;
};

// The whole file checked against the database: its problems, or every change.
struct PhoneImportPlan
{
    QString company;
    QString model;
    QString file;
    bool utf8 = false;             // the file was read as UTF-8, else as Windows-1252
    QList<ImportProblem> problems; // in line order, the first PhoneImport::kMaxProblems of them
    int problemCount = 0;          // all those found, listed or not
    int stoppedAt = 0;             // the line after which the check stopped, 0 when it read the whole file
    int lines = 0;                 // the file's lines, when the check stopped before its end
    QList<PlannedPhone> phones;    // one per telephone line checked, in file order
    int added = 0;
    int updated = 0;
    int unchanged = 0;

    bool refused() const { return !problems.isEmpty(); }
    QList<PhoneChange> changes() const;
};

// Every model, for the choice of the one whose telephones a file holds: a new office may get its
// first telephones of a model.
QList<ListEntry> equipmentEntries(Database& db);

struct PhoneImportRequest
{
    QString company;
    QString model;
    QString file;
};

// How an import that was to write ended.
enum class PhoneImportOutcome {
    Written, // every change is in the database
    Refused, // the file has problems: nothing written
    Changed, // the plan is not the one the operator saw (file or database changed): nothing written
    Aborted  // the operator stopped it: nothing written
};

// Telephones of one company and model from a CSV file: new ones added with their range codes, existing
// ones updated (description, MAC, the values the file names), nothing else touched. The whole file is
// checked before anything is written, and everything is written in one transaction.
class PhoneImport
{
public:
    PhoneImport(Session& session, RunLog& log) : m_s(session), m_log(log), m_texts(session) {}
    Q_DISABLE_COPY_MOVE(PhoneImport)

    // Files larger than this are not read.
    static constexpr qint64 kMaxBytes = 64 * 1024 * 1024;
    // The check stops at this many problems; the longest line (in characters) it reads.
    static constexpr int kMaxProblems = 100;
    static constexpr qsizetype kMaxRecord = 1024 * 1024;

    // Reads and checks the file as it goes, keeping only what the plan needs; writes nothing.
    PhoneImportPlan plan(const PhoneImportRequest& request);

    // Plans again inside one transaction and writes the changes, unless the file has problems or
    // (expected given) the plan differs from the one the operator accepted. A refused statement
    // throws DbError and leaves the database as it was: OperatorConflict when another operator's
    // commit since the check took a key the import writes or a row it refers to.
    PhoneImportOutcome run(const PhoneImportRequest& request, const PhoneImportPlan* expected = nullptr,
                           PhoneImportPlan* done = nullptr);
    // Asks a run that is giving the user interface a turn to stop; nothing it wrote is kept.
    void requestStop() { m_stopRequested = true; }

    // Lines for the log: each problem, or each telephone that changes; secrets masked.
    QStringList problemLines(const PhoneImportPlan& plan);
    QString changeLine(const PlannedPhone& phone);
    QString summaryLine(const PhoneImportPlan& plan);
    // The words of the four outcomes, as the preview shows them.
    QString outcomeText(PhoneOutcome outcome);
    // What the preview shows of a line: its problems, or its changes.
    QString details(const PlannedPhone& phone);
    // A problem without its line: the column, then the reason.
    static QString problemDetail(const ImportProblem& problem);
    // Why a run wrote nothing although the file had no problem: it changed, or the database did.
    QString changedText();

private:
    PhoneImportPlan planFile(const PhoneImportRequest& request, InputFile& file);
    // Every change of the import in the history, in the import's transaction.
    void recordHistory(const QString& company, const QString& model, const QList<PhoneChange>& changes,
                       BlockWriter& blocks);
    void apply(const QString& company, const QString& model, const QList<PhoneChange>& changes, BlockWriter& blocks);
    // A change the MAC index refused: thrown with the check's own problem when another telephone has
    // the MAC (another operator's, written after the check); returns when none has.
    struct MacTaken
    {
        ImportProblem problem;
    };
    void macTaken(const QString& company, const PhoneChange& change);
    QString problemText(const ImportProblem& problem);
    QString changeText(const PhoneChange& change);

    Session& m_s;
    RunLog& m_log;
    InsightTexts m_texts;
    std::optional<SecretParameters> m_secrets;
    QString m_secretsModel;
    bool m_stopRequested = false;
};

} // namespace vocaset
