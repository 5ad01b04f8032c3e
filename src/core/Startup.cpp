#include "Startup.h"

#include <pwd.h>
#include <unistd.h>

#include "DatabaseCreation.h"
#include "Dialect.h"
#include "Messages.h"
#include "PatchImport.h"
#include "SchemaUpgrade.h"
#include "Sql.h"
#include "TextFile.h"

namespace vocaset {

QString loginName()
{
    if (const passwd* pw = getpwuid(geteuid()); pw && pw->pw_name)
        return QString::fromLocal8Bit(pw->pw_name).toUpper();
    return QString();
}

Startup::Startup(Session& session, QString settingsPath, RunLog& log)
    : m_s(session), m_settingsPath(std::move(settingsPath)), m_log(log)
{
}

bool Startup::readSettings()
{
    // Two lines of connection strings: a larger file, a device or a FIFO is not a settings file.
    constexpr qint64 kMaxSettings = 64 * 1024;
    QString error;
    const std::optional<QByteArray> bytes = readInputFile(m_settingsPath, kMaxSettings, &error);
    if (!bytes) {
        m_s.op.showMessage(QStringLiteral("Cannot read the connection settings file ") + error);
        return false;
    }
    const QStringList lines = splitLines(decodeText(*bytes));
    m_line1 = lines.value(0);
    m_line2 = lines.value(1);
    m_line1.replace(QLatin1String("$$APPPATH$$"), m_s.appDir);
    m_line2.replace(QLatin1String("$$APPPATH$$"), m_s.appDir);
    return true;
}

bool Startup::openMain(Database::Access access)
{
    try {
        m_s.db.open(m_line1, access);
        return true;
    } catch (const DbError& e) {
        m_log.append(e.text());
        m_s.op.showMessage(QStringLiteral("Open Database Failed : ") + ConnectionString::masked(m_line1));
        return false;
    }
}

bool Startup::readLanguage()
{
    try {
        const Recordset rs = m_s.db.execute(QStringLiteral("SELECT SY_VALUE FROM SYSTEM_PARAMETERS WHERE SY_CODE = '$$LNG'"));
        m_s.language = rs.eof() ? QStringLiteral("EN") : rs.text(0);
        return true;
    } catch (const DbError& e) {
        m_languageError = e.text();
        return false;
    }
}

WorkingState Startup::inspectWorking()
{
    try {
        if (m_languageError.isEmpty()) {
            // The settings could be read: a table without a single row is what a creation left
            // unfinished, never an old database to upgrade from 000000.
            if (m_s.db.execute(QStringLiteral("SELECT COUNT(*) FROM SYSTEM_PARAMETERS")).text(0).toInt() > 0)
                return WorkingState::Ready;
            m_s.op.showMessage(kIncompleteDatabase);
            return WorkingState::Incomplete;
        }
        if (m_s.db.columns(QStringLiteral("SYSTEM_PARAMETERS")).count() == 0) {
            if (!holdsSchemaTables(m_s.db))
                return WorkingState::Empty;
            m_s.op.showMessage(kIncompleteDatabase);
            return WorkingState::Incomplete;
        }
    } catch (const DbError& e) {
        m_languageError = e.text();
    }
    // The table is there and cannot be read, or the catalogue itself cannot: say what the engine
    // finds wrong rather than creating tables over it.
    QString finding;
    if (m_s.db.engine() == Engine::SQLite) {
        try {
            const Recordset check = m_s.db.execute(QStringLiteral("PRAGMA quick_check"));
            if (!check.eof() && check.text(0) != u"ok")
                finding = check.text(0);
        } catch (const DbError& e) {
            finding = e.text();
        }
    }
    m_s.op.showMessage(QStringLiteral("The working database is damaged: the settings cannot be read (") + m_languageError +
                       (finding.isEmpty() ? QString() : QStringLiteral("; check: ") + finding) + u')');
    return WorkingState::Damaged;
}

void Startup::actAsSuperuser()
{
    const Recordset rs = m_s.db.execute(
        QStringLiteral("SELECT SY_VALUE FROM SYSTEM_PARAMETERS WHERE SY_CODE = '$$SUPERUSER' AND SY_SUBCODE = '") +
        sqlText(m_s.userName) + QStringLiteral("'"));
    if (rs.eof())
        return;
    const QString prompt = MessageText(m_s, QStringLiteral("M34"));
    const auto answer = m_s.op.askText(prompt, m_s.userName);
    if (answer && !answer->isEmpty())
        m_s.userName = answer->toUpper();
}

StartupOutcome Startup::createFromSource()
{
    try {
        switch (createDatabase(m_s, m_line2, m_log)) {
        case CreationOutcome::Created:
            return StartupOutcome::Created;
        default:
            return StartupOutcome::CreationStopped;
        }
    } catch (const DbError& e) {
        m_s.op.showMessage(e.text());
        return StartupOutcome::DatabaseFailed;
    }
}

std::optional<StartupOutcome> Startup::prepare()
{
    if (!readSettings())
        return StartupOutcome::SettingsMissing;
    if (!openMain())
        return StartupOutcome::OpenFailed;
    readLanguage();
    switch (inspectWorking()) {
    case WorkingState::Ready:
        break;
    case WorkingState::Empty:
        return createFromSource();
    case WorkingState::Incomplete:
    case WorkingState::Damaged:
        return StartupOutcome::DatabaseFailed;
    }
    try {
        actAsSuperuser();
    } catch (const DbError& e) {
        m_s.op.showMessage(e.text());
        return StartupOutcome::DatabaseFailed;
    }
    return std::nullopt;
}

StartupOutcome Startup::finish()
{
    try {
        m_s.programVersion = programVersion();
        upgradeSchema(m_s);
        importDataPatch(m_s, defaultPatchPath(m_s), m_log);
    } catch (const DbError& e) {
        m_s.op.showMessage(e.text());
        return StartupOutcome::DatabaseFailed;
    }
    return StartupOutcome::Ready;
}

StartupOutcome Startup::run()
{
    if (const auto stopped = prepare())
        return *stopped;
    return finish();
}

} // namespace vocaset
