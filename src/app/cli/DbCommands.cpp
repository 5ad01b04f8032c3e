#include "DbCommands.h"

#include <QFile>

#include "PatchImport.h"
#include "Schema.h"

namespace vocaset::cli {

int commandUsage(CliContext& ctx, const Command& command, const QString& usage, bool asked)
{
    QTextStream& stream = asked ? ctx.out : ctx.err;
    stream << QStringLiteral("Usage: vocaset-cli ") << command.name() << u' ' << usage << u'\n'
           << command.summary() << Qt::endl;
    return asked ? Ok : Usage;
}

int DbCreateCommand::execute(CliContext& ctx, const QStringList& arguments)
{
    if (!arguments.isEmpty())
        return commandUsage(ctx, *this, {}, arguments.first() == u"--help");
    Startup startup = ctx.prepare();
    if (!startup.readSettings())
        return Usage;
    if (!startup.openMain())
        return DatabaseFailed;
    if (startup.readLanguage()) {
        ctx.err << QStringLiteral("The working database already holds the settings table; nothing to create.")
                << Qt::endl;
        return Ok;
    }
    return CliContext::exitCodeOf(startup.createFromSource());
}

int DbUpgradeCommand::execute(CliContext& ctx, const QStringList& arguments)
{
    if (!arguments.isEmpty())
        return commandUsage(ctx, *this, {}, arguments.first() == u"--help");
    if (const auto failed = ctx.start())
        return *failed;
    ctx.out << QStringLiteral("Database at version ") << ctx.session->programVersion << Qt::endl;
    return Ok;
}

int DbPatchCommand::execute(CliContext& ctx, const QStringList& arguments)
{
    if (arguments.size() != 1 || arguments.first().startsWith(u'-'))
        return commandUsage(ctx, *this, QStringLiteral("FILE"), arguments.value(0) == u"--help");
    if (const auto failed = ctx.start())
        return *failed;
    if (!QFile::exists(arguments.first())) {
        ctx.err << QStringLiteral("No such patch file: ") << arguments.first() << Qt::endl;
        return RunFailed;
    }
    const PatchReport report = importDataPatch(*ctx.session, arguments.first(), *ctx.log);
    ctx.out << report.applied << QStringLiteral(" line(s) applied, ") << report.failed
            << QStringLiteral(" failed; archived as ") << report.archivePath << Qt::endl;
    return report.reported > 0 ? RunFailed : Ok;
}

int DbInfoCommand::execute(CliContext& ctx, const QStringList& arguments)
{
    if (!arguments.isEmpty())
        return commandUsage(ctx, *this, {}, arguments.first() == u"--help");
    if (const auto failed = ctx.start())
        return *failed;
    Session& s = *ctx.session;
    ctx.out << QStringLiteral("Version: ") << s.programVersion << QStringLiteral("\nLanguage: ") << s.language
            << QStringLiteral("\nUser: ") << s.userName << u'\n';
    for (const QString& table : Schema::copyOrder()) {
        const Recordset rs = s.db.execute(QStringLiteral("SELECT COUNT(*) FROM ") + table);
        ctx.out << table << QStringLiteral(": ") << rs.text(0) << u'\n';
    }
    Recordset companies = s.db.execute(QStringLiteral("SELECT CO_CODE, CO_DESC FROM COMPANY ORDER BY CO_CODE"));
    for (; !companies.eof(); companies.moveNext())
        ctx.out << QStringLiteral("Company ") << companies.text(0) << QStringLiteral(" \\\\ ") << companies.text(1) << u'\n';
    ctx.out.flush();
    return Ok;
}

} // namespace vocaset::cli
