#include "DbCommands.h"

#include "MacIndex.h"
#include "PatchImport.h"
#include "Schema.h"

namespace vocaset::cli {

int DbCreateCommand::execute(CliContext& ctx, const QStringList& arguments)
{
    QCommandLineParser parser;
    if (const auto done = parseCommandLine(ctx, *this, parser, arguments, {}))
        return *done;
    Startup startup = ctx.prepare();
    if (!startup.readSettings())
        return Usage;
    if (!startup.openMain())
        return DatabaseFailed;
    startup.readLanguage();
    switch (startup.inspectWorking()) {
    case WorkingState::Ready:
        ctx.err << QStringLiteral("The working database already holds the settings table; nothing to create.")
                << Qt::endl;
        return Ok;
    case WorkingState::Empty:
        return CliContext::exitCodeOf(startup.createFromSource());
    case WorkingState::Incomplete:
    case WorkingState::Damaged:
        break;
    }
    return DatabaseFailed;
}

int DbUpgradeCommand::execute(CliContext& ctx, const QStringList& arguments)
{
    QCommandLineParser parser;
    if (const auto done = parseCommandLine(ctx, *this, parser, arguments, {}))
        return *done;
    if (const auto failed = ctx.start())
        return *failed;
    ctx.out << QStringLiteral("Database at version ") << ctx.session->programVersion << Qt::endl;
    return Ok;
}

int DbPatchCommand::execute(CliContext& ctx, const QStringList& arguments)
{
    QCommandLineParser parser;
    const QString usage = QStringLiteral("FILE\nExit 1 when a line failed or the file could not be archived, "
                                         "2 when FILE is not a plain file or is named like its archive.");
    if (const auto done = parseCommandLine(ctx, *this, parser, arguments, usage, 1))
        return *done;
    // Refused before the start-up writes anything to the database.
    const QString path = parser.positionalArguments().first();
    if (const auto problem = patchFileProblem(path, programVersion())) {
        ctx.err << *problem << Qt::endl;
        return Usage;
    }
    if (const auto failed = ctx.start())
        return *failed;
    PatchReport report;
    try {
        report = importDataPatch(*ctx.session, path, *ctx.log);
    } catch (const DbError& e) {
        // Nothing of the file was applied; it stays to be applied again.
        ctx.err << e.text() << Qt::endl;
        return DatabaseFailed;
    }
    if (!report.fileFound) {
        // The patch file beside the program: the start-up has just applied it.
        ctx.err << path << QStringLiteral(" was applied while the database started") << Qt::endl;
        return ctx.op->shown() > 0 ? RunFailed : Ok;
    }
    if (report.refused)
        return RunFailed;
    ctx.out << report.applied << QStringLiteral(" line(s) applied, ") << report.failed << QStringLiteral(" failed; ")
            << (report.archived ? QStringLiteral("archived as ") + report.archivePath
                                : QStringLiteral("not archived, the patch file stays"))
            << Qt::endl;
    return report.failed > 0 || !report.archived ? RunFailed : Ok;
}

int DbInfoCommand::execute(CliContext& ctx, const QStringList& arguments)
{
    QCommandLineParser parser;
    if (const auto done = parseCommandLine(ctx, *this, parser, arguments, {}))
        return *done;
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
    // Two telephones with one MAC: neither gets its file from the server until one is changed.
    for (const QString& line : MacIndex::sharedMacs(s.db))
        ctx.out << line << u'\n';
    ctx.out.flush();
    return Ok;
}

} // namespace vocaset::cli
