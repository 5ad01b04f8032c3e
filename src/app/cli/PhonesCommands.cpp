#include "PhonesCommands.h"

#include <QCommandLineParser>
#include <QFileInfo>

#include "Messages.h"
#include "PhoneExport.h"
#include "PhoneImport.h"
#include "SelectionList.h"

namespace vocaset::cli {
namespace {

const QCommandLineOption kCompany(QStringLiteral("company"), {}, QStringLiteral("CO"));
const QCommandLineOption kModel(QStringLiteral("model"), {}, QStringLiteral("EQ"));
// The question before an import changes telephones already in the database.
constexpr CountedText kChangesKnown{"M591", "The import changes %1 telephones that are already in the database. Go on?",
                                    "M437", "The import changes %1 telephone that is already in the database. Go on?"};

// Parses --company and --model, which both commands need, with the options given; then the
// start-up, the menu right and a company and model that exist. Nothing when the command goes on.
std::optional<int> prepare(CliContext& ctx, const Command& command, QCommandLineParser& parser,
                           const QStringList& arguments, const QString& usage, const QList<QCommandLineOption>& options,
                           qsizetype positionals)
{
    parser.addOptions(QList<QCommandLineOption>{kCompany, kModel} + options);
    if (const auto done = parseCommandLine(ctx, command, parser, arguments, usage, positionals))
        return done;
    if (!parser.isSet(kCompany) || !parser.isSet(kModel))
        return commandUsage(ctx, command, usage, false);
    if (const auto failed = ctx.start())
        return failed;
    if (!ctx.allowed(QStringLiteral("PhImp")))
        return RunFailed;
    try {
        Database& db = ctx.session->db;
        if (!containsCode(companyEntries(db), parser.value(kCompany))) {
            ctx.err << QStringLiteral("No company ") << parser.value(kCompany) << Qt::endl;
            return Usage;
        }
        if (!containsCode(equipmentEntries(db), parser.value(kModel))) {
            ctx.err << QStringLiteral("No model ") << parser.value(kModel) << Qt::endl;
            return Usage;
        }
    } catch (const DbError& e) {
        ctx.err << e.text() << Qt::endl;
        return DatabaseFailed;
    }
    return std::nullopt;
}

} // namespace

int PhonesImportCommand::execute(CliContext& ctx, const QStringList& arguments)
{
    static const QString usage = QStringLiteral(
        "FILE --company CO --model EQ [--dry-run] [--yes]\n"
        "  FILE             CSV file, UTF-8 or Windows-1252, fields separated by ';' or ','; its header names\n"
        "                   the columns code, description, mac and any parameter codes of the model\n"
        "  --company CO     company code\n"
        "  --model EQ       equipment model code\n"
        "  --dry-run        check the file and show the changes; write nothing\n"
        "  --yes            change telephones already in the database without asking\n"
        "Adds the telephones that are new (with their range codes) and updates the others: description, MAC and\n"
        "the values the file names; an empty cell changes nothing. The whole file is checked first: any problem\n"
        "refuses it, one line per problem, and nothing is written (exit 1). Secret values are shown as ***.");
    QCommandLineParser parser;
    const QCommandLineOption dryRun(QStringLiteral("dry-run"));
    if (const auto done = prepare(ctx, *this, parser, arguments, usage, {dryRun}, 1))
        return *done;
    Session& s = *ctx.session;
    const PhoneImportRequest request{parser.value(kCompany), parser.value(kModel),
                                     QFileInfo(parser.positionalArguments().first()).absoluteFilePath()};
    PhoneImport import(s, *ctx.log);
    const auto close = [&](const QString& line, int code) {
        ctx.out.flush();
        ctx.err << line << Qt::endl;
        return code;
    };
    // The problems of a refused file, or the changes of an accepted one.
    const auto show = [&](const PhoneImportPlan& plan) {
        if (plan.refused()) {
            for (const QString& line : import.problemLines(plan))
                ctx.log->append(line);
            return;
        }
        for (const PlannedPhone& phone : plan.phones) {
            if (!phone.changes.isEmpty())
                ctx.log->append(import.changeLine(phone));
        }
    };
    try {
        PhoneImportPlan plan = import.plan(request);
        if (!plan.problems.isEmpty() && plan.problems.first().line == 0)
            return close(plan.problems.first().reason, RunFailed);
        ctx.log->append(textOr(s, QStringLiteral("M434"), QStringLiteral("%1 was read as %2."))
                            .arg(request.file, plan.utf8 ? QStringLiteral("UTF-8") : QStringLiteral("Windows-1252")));
        show(plan);
        if (plan.refused())
            return close(import.summaryLine(plan), RunFailed);
        if (parser.isSet(dryRun))
            return close(import.summaryLine(plan) + QStringLiteral(" (dry run: nothing written)"), Ok);
        if (plan.updated > 0 && !s.op.askYesNo(textOr(s, kChangesKnown, plan.updated).arg(plan.updated)))
            return close(
                textOr(s, QStringLiteral("M433"), QStringLiteral("Import not confirmed: nothing was changed.")),
                RunFailed);
        PhoneImportPlan written;
        switch (import.run(request, &plan, &written)) {
        case PhoneImportOutcome::Written:
            return close(import.summaryLine(written), Ok);
        case PhoneImportOutcome::Refused:
            show(written);
            return close(import.summaryLine(written), RunFailed);
        case PhoneImportOutcome::Changed:
        case PhoneImportOutcome::Aborted:
            break;
        }
        return close(import.changedText(), RunFailed);
    } catch (const DbError& e) {
        return close(e.text(), exitOf(e));
    }
}

int PhonesExportCommand::execute(CliContext& ctx, const QStringList& arguments)
{
    static const QString usage =
        QStringLiteral("--company CO --model EQ [--out FILE]\n"
                       "  --company CO     company code\n"
                       "  --model EQ       equipment model code\n"
                       "  --out FILE       the file to write (UTF-8); without it the lines go to standard output\n"
                       "Writes the file 'phones import' reads: code, description, mac and every parameter a telephone\n"
                       "has a value of, passwords too: a new FILE is readable by its owner only. An existing FILE is\n"
                       "replaced only on Yes (--yes).");
    QCommandLineParser parser;
    const QCommandLineOption out(QStringLiteral("out"), {}, QStringLiteral("FILE"));
    if (const auto done = prepare(ctx, *this, parser, arguments, usage, {out}, 0))
        return *done;
    Session& s = *ctx.session;
    try {
        const PhoneExportText exported = exportPhones(s.db, parser.value(kCompany), parser.value(kModel));
        if (!parser.isSet(out)) {
            ctx.out << exported.text;
            ctx.out.flush();
        } else {
            const QString path = QFileInfo(parser.value(out)).absoluteFilePath();
            if (QFileInfo::exists(path) && !s.op.askYesNo(MessageText(s, QStringLiteral("M32"), path))) {
                ctx.err << MessageText(s, QStringLiteral("M33"), QStringLiteral("0")) << Qt::endl;
                return RunFailed;
            }
            QString error;
            if (!writeExportFile(path, exported.text, &error)) {
                ctx.err << error << Qt::endl;
                return RunFailed;
            }
        }
        ctx.err << countOf(exported.phones, "telephone exported", "telephones exported") << Qt::endl;
        return Ok;
    } catch (const DbError& e) {
        ctx.err << e.text() << Qt::endl;
        return DatabaseFailed;
    }
}

} // namespace vocaset::cli
