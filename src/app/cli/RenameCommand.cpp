#include "RenameCommand.h"

#include <QCommandLineParser>

#include "CodeRename.h"
#include "ConfigCommands.h"

namespace vocaset::cli {
namespace {

const QString kUsage = QStringLiteral(
    "company|model|telephone OLD NEW [--company CO]\n"
    "  --company CO  the telephone's company (telephone only)\n"
    "Renames the code in every table and in the settings rows keyed on it (folders, default levels, export\n"
    "folder, provisioning password, reboot settings), in one transaction, after a question that --yes answers.\n"
    "Needs the Config right, the table's editor tab and the second password of the settings table (see\n"
    "vocaset-cli --help for how a password is given). A new code that is used already, too long for its\n"
    "column or unfit for a file name is refused with nothing changed: exit 1.");

} // namespace

int RenameCommand::execute(CliContext& ctx, const QStringList& arguments)
{
    QCommandLineParser parser;
    const QCommandLineOption company(QStringLiteral("company"), {}, QStringLiteral("CO"));
    parser.addOption(company);
    if (const auto done = parseCommandLine(ctx, *this, parser, arguments, kUsage, 3))
        return *done;
    const QStringList words = parser.positionalArguments();
    const QStringList kinds = {QStringLiteral("company"), QStringLiteral("model"), QStringLiteral("telephone")};
    const qsizetype kind = kinds.indexOf(words[0].toLower());
    if (kind < 0) {
        ctx.err << words[0] << QStringLiteral(" is none of company, model, telephone") << Qt::endl;
        return commandUsage(ctx, *this, kUsage, false);
    }
    RenameRequest request{RenameRequest::Kind(kind), words[1], words[2], parser.value(company)};
    if ((request.kind == RenameRequest::Telephone) != parser.isSet(company)) {
        ctx.err << QStringLiteral("--company names the company of a telephone, and only of a telephone") << Qt::endl;
        return commandUsage(ctx, *this, kUsage, false);
    }

    if (const auto failed = ctx.start())
        return *failed;
    if (!editorTabAllowed(ctx, renamedTable(request.kind)))
        return RunFailed;
    Session& s = *ctx.session;
    if (!renameAllowed(s, [&] { return ctx.password(); })) {
        ctx.err << renameText(s, RenameText::NeedsAdmin) << Qt::endl;
        return RunFailed;
    }
    const RenamePlan plan = planRename(s, request);
    if (!plan.refusal.isEmpty()) {
        ctx.err << plan.refusal << Qt::endl;
        return RunFailed;
    }
    if (!ctx.op->askYesNo(renameText(s, RenameText::Question, renameChange(request, plan)))) {
        ctx.err << QStringLiteral("Nothing renamed.") << Qt::endl;
        return RunFailed;
    }
    const RenamePlan done = renameCode(s, request);
    if (!done.refusal.isEmpty()) {
        ctx.err << done.refusal << Qt::endl;
        return RunFailed;
    }
    ctx.out << renameText(s, RenameText::Done, renameChange(request, done)) << Qt::endl;
    return Ok;
}

} // namespace vocaset::cli
