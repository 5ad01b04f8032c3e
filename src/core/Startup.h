#pragma once

#include <QString>

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

// The operating system's login name of the current user, upper case.
QString loginName();

// The start-up sequence of the main program up to the main window: settings file, connection,
// language, superuser prompt, schema upgrade, data-patch import. Failures are shown through the
// session's operator and reported by the outcome.
class Startup final
{
public:
    Startup(Session& session, QString settingsPath, RunLog& log);

    StartupOutcome run();

    // The pieces, in order; run() calls them all.
    bool readSettings();
    bool openMain();
    bool readLanguage(); // false: the database has no settings table
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
};

} // namespace vocaset
