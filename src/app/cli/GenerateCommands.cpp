#include "GenerateCommands.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>

#include "DbCommands.h"
#include "ExplainCommand.h"
#include "GenerationChoices.h"
#include "GenerationRun.h"
#include "Gxp2000Writer.h"
#include "TextFile.h"

namespace vocaset::cli {
namespace {

const QString kGenerateUsage =
    QStringLiteral("--company CO --model EQ [--levels PCE] [--from PH --to PH] [--out DIR] [--source]\n"
                   "  --company CO     company code\n"
                   "  --model EQ       equipment model code\n"
                   "  --levels PCE     levels to merge: P telephone, C company, E equipment (default: the model's\n"
                   "                   $$DEFGEN setting, all three without it)\n"
                   "  --from PH        first telephone of the range (with --to; telephone level only; default: all)\n"
                   "  --to PH          last telephone of the range\n"
                   "  --out DIR        output folder (default: the model's $$GENPATH setting)\n"
                   "  --source         also write the readable source files\n"
                   "  --dry-run        write nothing: compare each file with the one in the folder\n"
                   "  --show-secrets   with --dry-run, show passwords instead of ***\n"
                   "Prints the run's lines; exit 1 when the run stopped on an error or a telephone got no file.");

} // namespace

std::optional<LevelChoice> parseLevels(const QString& text)
{
    LevelChoice levels{false, false, false};
    for (QChar c : text.toUpper()) {
        if (c == u'P')
            levels.phone = true;
        else if (c == u'C')
            levels.company = true;
        else if (c == u'E')
            levels.equipment = true;
        else
            return std::nullopt;
    }
    if (!levels.phone && !levels.company && !levels.equipment)
        return std::nullopt;
    return levels;
}

int GenerateCommand::execute(CliContext& ctx, const QStringList& arguments)
{
    QCommandLineParser parser;
    const QCommandLineOption company(QStringLiteral("company"), {}, QStringLiteral("CO"));
    const QCommandLineOption model(QStringLiteral("model"), {}, QStringLiteral("EQ"));
    const QCommandLineOption levelsOption(QStringLiteral("levels"), {}, QStringLiteral("PCE"));
    const QCommandLineOption from(QStringLiteral("from"), {}, QStringLiteral("PH"));
    const QCommandLineOption to(QStringLiteral("to"), {}, QStringLiteral("PH"));
    const QCommandLineOption out(QStringLiteral("out"), {}, QStringLiteral("DIR"));
    const QCommandLineOption source(QStringLiteral("source"));
    const QCommandLineOption dryRun(QStringLiteral("dry-run"));
    const QCommandLineOption showSecrets(QStringLiteral("show-secrets"));
    parser.addOptions({company, model, levelsOption, from, to, out, source, dryRun, showSecrets});
    if (const auto done = parseCommandLine(ctx, *this, parser, arguments, kGenerateUsage))
        return *done;
    if (!parser.isSet(company) || !parser.isSet(model) || parser.isSet(from) != parser.isSet(to) ||
        (parser.isSet(showSecrets) && !parser.isSet(dryRun)))
        return commandUsage(ctx, *this, kGenerateUsage, false);
    std::optional<LevelChoice> chosenLevels;
    if (parser.isSet(levelsOption)) {
        chosenLevels = parseLevels(parser.value(levelsOption));
        if (!chosenLevels) {
            ctx.err << QStringLiteral("--levels takes the letters P, C and E") << Qt::endl;
            return Usage;
        }
        if (parser.isSet(from) && !chosenLevels->phone) {
            ctx.err << QStringLiteral("--from and --to need the telephone level P") << Qt::endl;
            return Usage;
        }
    }

    if (const auto failed = ctx.start())
        return *failed;
    if (!ctx.allowed(QStringLiteral("GenConf")))
        return RunFailed;

    Session& s = *ctx.session;
    try {
        GenerationRequest request;
        request.company = parser.value(company);
        request.model = parser.value(model);
        // The company and the model must be ones the window would offer.
        if (!containsCode(companyEntries(s.db), request.company)) {
            ctx.err << QStringLiteral("No company ") << request.company << Qt::endl;
            return Usage;
        }
        if (!containsCode(modelEntries(s.db, request.company), request.model)) {
            ctx.err << QStringLiteral("Company ") << request.company << QStringLiteral(" has no telephone of model ")
                    << request.model << Qt::endl;
            return Usage;
        }
        if (chosenLevels) {
            request.levels = *chosenLevels;
        } else {
            LevelBoxes boxes;
            if (const auto flags = generationSetting(s.db, request.company, request.model, QStringLiteral("$$DEFGEN")))
                boxes.applyDefault(*flags);
            request.levels = boxes.choice();
            if (parser.isSet(from) && !request.levels.phone) {
                ctx.err << QStringLiteral("--from and --to need the telephone level, which $$DEFGEN leaves out; "
                                          "give --levels")
                        << Qt::endl;
                return Usage;
            }
        }
        request.folder =
            parser.isSet(out) ? trimFolder(parser.value(out)) : defaultFolder(s.db, request.company, request.model);
        // A relative folder typed on the command line is taken from the current folder, a setting's from
        // the program's.
        if (parser.isSet(out) && !request.folder.isEmpty() && !request.folder.startsWith(QLatin1String("$$APPPATH$$")))
            request.folder = QDir::current().absoluteFilePath(request.folder);
        if (request.folder.isEmpty()) {
            ctx.err << QStringLiteral("No output folder: give --out or set $$GENPATH of ") << request.company
                    << request.model << Qt::endl;
            return Usage;
        }
        if (parser.isSet(from)) {
            request.firstPhone = parser.value(from);
            request.lastPhone = parser.value(to);
        } else if (request.levels.phone) {
            const QList<ListEntry> phones = phoneEntries(s.db, request.company, request.model);
            request.firstPhone = phones.first().code;
            request.lastPhone = phones.last().code;
        }
        request.source = parser.isSet(source);
        if (parser.isSet(dryRun))
            return runDryRun(ctx, request, parser.isSet(showSecrets));

        const int shownBefore = ctx.op->shown();
        GenerationRun run(s, *ctx.log);
        const RunSummary summary = run.run(request);
        ctx.out.flush();
        ctx.err << summary.selected << QStringLiteral(" telephone(s) selected, ") << summary.written
                << QStringLiteral(" written, ") << summary.skipped << QStringLiteral(" refused");
        if (!summary.refused.isEmpty())
            ctx.err << QStringLiteral(": ") << summary.refused.join(QStringLiteral(", "));
        ctx.err << Qt::endl;
        if (summary.outcome != RunOutcome::Completed || summary.skipped > 0 || s.runError ||
            ctx.op->shown() > shownBefore)
            return RunFailed;
        return Ok;
    } catch (const DbError& e) {
        ctx.err << e.text() << Qt::endl;
        return DatabaseFailed;
    }
}

int DecodeCommand::execute(CliContext& ctx, const QStringList& arguments)
{
    QCommandLineParser parser;
    if (const auto done = parseCommandLine(ctx, *this, parser, arguments,
                                           QStringLiteral("FILE\nExit 1 when the file is not a well-formed GXP2000 file."), 1))
        return *done;
    const QString path = parser.positionalArguments().first();
    // No larger than the largest file the writer makes, and a plain file: a device or a FIFO is
    // refused unread rather than read without end or waited on.
    QString error;
    const std::optional<QByteArray> read = readInputFile(path, Gxp2000Writer::kMaxFileBytes, &error);
    if (!read) {
        ctx.err << error << Qt::endl;
        return QFileInfo::exists(path) ? RunFailed : Usage;
    }
    const QByteArray& bytes = *read;
    const Gxp2000Contents c = decodeGxp2000(bytes);
    const auto yesNo = [](bool b) { return b ? QStringLiteral("yes") : QStringLiteral("no"); };
    ctx.out << QStringLiteral("Length word: ") << c.lengthWord << QStringLiteral(" (") << bytes.size()
            << QStringLiteral(" bytes)\nMAC: ") << c.mac << QStringLiteral("\nChecksum holds: ")
            << yesNo(c.checksumHolds) << QStringLiteral("\nLength holds: ") << yesNo(c.lengthHolds) << u'\n';
    for (const auto& [code, value] : c.params)
        ctx.out << u'P' << code << u'=' << value << u'\n';
    ctx.out.flush();
    if (!c.wellFormed) {
        ctx.err << path << QStringLiteral(": ") << c.problem << Qt::endl;
        return RunFailed;
    }
    return Ok;
}

} // namespace vocaset::cli
