#pragma once

#include <memory>
#include <optional>
#include <vector>

#include <QCommandLineParser>
#include <QStringList>
#include <QTextStream>

#include "Interaction.h"
#include "Session.h"
#include "Startup.h"
#include "TextFile.h"

namespace vocaset::cli {

// Exit codes of vocaset-cli.
enum Exit { Ok = 0, RunFailed = 1, Usage = 2, DatabaseFailed = 3 };

// The exit code of a command the engine's refusal ended: 1 for a run that another operator's commit
// got in the way of (OperatorConflict: try again), 3 for any other refusal.
inline int exitOf(const DbError& e)
{
    return dynamic_cast<const OperatorConflict*>(&e) ? RunFailed : DatabaseFailed;
}

// The environment variable that gives a script's password; a value on the command line would show
// in the process list.
inline constexpr char kPasswordVariable[] = "VOCASET_PASSWORD";

// Shown messages go to standard error; questions take --yes, else the terminal, else "No".
class CliOperator final : public Operator
{
public:
    CliOperator(QTextStream& err, bool assumeYes, bool interactive) : m_err(err), m_yes(assumeYes), m_tty(interactive) {}
    void showMessage(const QString& text, const QString& title = {}) override;
    bool askYesNo(const QString& text, const QString& title = {}) override;
    std::optional<QString> askText(const QString& prompt, const QString& defaultText) override;
    // A secret typed on the terminal without echo; nothing when standard input is not a terminal.
    std::optional<QString> askSecret(const QString& prompt);
    int shown() const { return m_shown; }
    // The answer to the next text prompt (the superuser's act-as question) instead of asking; it
    // answers that one prompt only.
    void setTextAnswer(const QString& answer) { m_answer = answer; }

private:
    QString m_answer;
    QTextStream& m_err;
    bool m_yes;
    bool m_tty;
    int m_shown = 0;
};

// Log lines go to standard output, one per line.
class StreamRunLog final : public RunLog
{
public:
    explicit StreamRunLog(QTextStream& out) : m_out(out) {}
    // A value from the database holding a line break or a terminal escape is shown escaped.
    void append(const QString& line) override { m_out << escapeControls(line) << Qt::endl; }

private:
    QTextStream& m_out;
};

// What every command gets: the streams, the global options and, once opened, the session.
struct CliContext
{
    CliContext(QTextStream& o, QTextStream& e) : out(o), err(e) {}

    QTextStream& out;
    QTextStream& err;
    QString appDir;
    QString settingsPath; // --settings, or ParamDB.txt beside the executable
    QString requestedUser; // --user: the name a superuser acts as
    std::optional<QString> givenPassword; // --password-file, else the environment variable
    bool assumeYes = false;
    bool interactive = false;
    Database::InterleavingHook interleaving; // handed to the connection: tests act at a run's named points

    std::unique_ptr<CliOperator> op;
    std::unique_ptr<StreamRunLog> log;
    std::unique_ptr<Database> db;
    std::unique_ptr<Session> session;

    // Runs the start-up up to the main window (connection, language, superuser, upgrade, patch).
    // Returns the exit code to use when it did not reach Ready, or nothing when the session is ready.
    std::optional<int> start();
    // Creates the session and its connection without running any step.
    Startup prepare();
    // True when the user holds the menu right of an entry and of every menu above it; otherwise
    // prints why on standard error.
    bool allowed(const QString& entryName);
    // The password a protected tab asks for: the one given by file or environment, else typed on
    // the terminal without echo; nothing when neither is possible.
    std::optional<QString> password();
    static int exitCodeOf(StartupOutcome outcome);
};

// One command of the tool: its words ("db create"), a line of help, and its run.
class Command
{
public:
    virtual ~Command() = default;
    virtual QString name() const = 0;
    virtual QString summary() const = 0;
    // Arguments after the command's words; returns an exit code.
    virtual int execute(CliContext& ctx, const QStringList& arguments) = 0;
};

std::vector<std::unique_ptr<Command>> allCommands();

// Prints a command's usage when asked with --help or when its arguments are wrong.
int commandUsage(CliContext& ctx, const Command& command, const QString& usage, bool asked);

// The one parse of a command's arguments, with --help added: an unknown or repeated option, a
// missing value or another count of positional arguments than expected prints why and the usage
// and gives Usage; --help prints the usage and gives Ok. Nothing when the command goes on with the
// parser's values. A negative count -n asks for at least n positional arguments.
std::optional<int> parseCommandLine(CliContext& ctx, const Command& command, QCommandLineParser& parser,
                                    const QStringList& arguments, const QString& usage, qsizetype positionals = 0);

// A listing: with tsv a header line and tab-separated fields, otherwise columns aligned two spaces
// apart, the last one unpadded.
void printTable(QTextStream& out, const QStringList& header, const QList<QStringList>& rows, bool tsv);
// A listing's --format: true for tsv, false for text (the default); nothing after saying why the
// value is neither.
std::optional<bool> tsvFormat(CliContext& ctx, const QCommandLineParser& parser, const QCommandLineOption& format);
// A listing's closing line: after its rows in text, on standard error with tsv, so that the rows
// stay a table a script reads.
void printClosingLine(CliContext& ctx, const QString& line, bool tsv);

// The whole tool: global options, command dispatch, help. Returns the exit code.
// A test may give the connection a hook for the named points of its runs (Database::reached).
int runCli(const QStringList& arguments, QTextStream& out, QTextStream& err, const QString& appDir,
           Database::InterleavingHook interleaving = {});

} // namespace vocaset::cli
