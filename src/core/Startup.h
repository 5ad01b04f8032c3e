#pragma once

#include <optional>

#include <QString>

#include "Database.h"
#include "Session.h"

namespace vocaset {

enum class StartupOutcome {
    Ready,            // schema current, patch applied: the main window may open
    Created,          // the working database was empty and has been filled; the program ends
    CreationStopped,  // the creation run stopped on one of its fixed messages
    SettingsMissing,  // the settings file could not be read; no connection was tried
    OpenFailed,       // the working database could not be opened
    DatabaseFailed,   // a later statement of the start-up was refused (text shown)
};

// The login name of the current user from the account database, upper case; empty when the
// account has no entry there (no environment variable can choose it: rights are keyed on it).
QString loginName();

// What the working database holds when the settings cannot be read or hold nothing.
enum class WorkingState {
    Ready,      // the settings table holds rows
    Empty,      // no table of the schema: the creation run fills it
    Incomplete, // some of the tables, but no settings (message shown)
    Damaged,    // the settings table is there but cannot be read (message shown)
};

// The start-up sequence of the main program up to the main window: settings file, connection,
// language, superuser prompt, schema upgrade, data-patch import. Failures are shown through the
// session's operator and reported by the outcome.
class Startup final
{
public:
    Startup(Session& session, QString settingsPath, RunLog& log);

    StartupOutcome run();
    // The steps that only read (settings file, connection, language, superuser prompt), or the
    // creation run of an empty database: nothing when the steps that write may follow.
    std::optional<StartupOutcome> prepare();
    // The steps that write: version check and upgrade, pending data patch.
    StartupOutcome finish();

    // The pieces, in order.
    bool readSettings();
    // Opens line 1; the query tool opens an existing database only, the main program creates a
    // missing file for its creation run.
    bool openMain(Database::Access access = Database::Access::ReadWrite);
    bool readLanguage(); // false: the settings table cannot be read
    // After readLanguage() failed or found no settings: why, with the message for the bad cases.
    WorkingState inspectWorking();
    void actAsSuperuser();
    StartupOutcome createFromSource();

    const QString& workingConnection() const { return m_line1; }
    const QString& sourceConnection() const { return m_line2; }

private:
    Session& m_s;
    QString m_settingsPath;
    RunLog& m_log;
    QString m_line1;
    QString m_line2;
    QString m_languageError; // why the settings could not be read
};

} // namespace vocaset
