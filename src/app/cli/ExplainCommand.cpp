#include "ExplainCommand.h"

#include <QCommandLineParser>

#include "DryRun.h"
#include "Explain.h"
#include "GenerateCommands.h"
#include "GenerationChoices.h"
#include "Sql.h"
#include "TextFile.h"

namespace vocaset::cli {
namespace {

const QString kExplainUsage =
    QStringLiteral("--company CO --phone PH [--levels PCE] [--format text|tsv] [--show-secrets]\n"
                   "  --company CO     company code\n"
                   "  --phone PH       telephone code\n"
                   "  --levels PCE     levels to merge: P telephone, C company, E equipment (default: the model's\n"
                   "                   $$DEFGEN setting, all three without it)\n"
                   "  --format FORMAT  text (default) or tsv: tab-separated columns with a header\n"
                   "  --show-secrets   show passwords instead of ***\n"
                   "Prints every parameter of the telephone's model in the file's order: code, description, the\n"
                   "catalogue's level, the value written and the level that gave it, the value before its\n"
                   "place-holders were expanded, and what the run would refuse. Exit 1 when the run would refuse\n"
                   "the telephone.");

void printTsv(QTextStream& out, const TelephoneExplanation& e, bool showSecrets)
{
    out << QStringLiteral("code\tdescription\tcatalogue level\tvalue\tlevel\traw value\tnote\n");
    for (const ParamExplanation& p : e.params) {
        const auto cell = [&](const QString& text) {
            return p.secret && !showSecrets && !text.isEmpty() ? SecretParameters::kMask : escapeControls(text);
        };
        const QStringList cells = {escapeControls(p.code),
                                   escapeControls(p.description),
                                   p.catalogueLevel,
                                   p.value ? cell(*p.value) : QString(),
                                   p.value ? QString(p.level) : QString(),
                                   cell(p.rawValue),
                                   escapeControls(explanationNote(p))};
        out << cells.join(u'\t') << u'\n';
    }
}

} // namespace

int ExplainCommand::execute(CliContext& ctx, const QStringList& arguments)
{
    QCommandLineParser parser;
    const QCommandLineOption company(QStringLiteral("company"), {}, QStringLiteral("CO"));
    const QCommandLineOption phone(QStringLiteral("phone"), {}, QStringLiteral("PH"));
    const QCommandLineOption levelsOption(QStringLiteral("levels"), {}, QStringLiteral("PCE"));
    const QCommandLineOption format(QStringLiteral("format"), {}, QStringLiteral("FORMAT"));
    const QCommandLineOption showSecrets(QStringLiteral("show-secrets"));
    parser.addOptions({company, phone, levelsOption, format, showSecrets});
    if (const auto done = parseCommandLine(ctx, *this, parser, arguments, kExplainUsage))
        return *done;
    if (!parser.isSet(company) || !parser.isSet(phone))
        return commandUsage(ctx, *this, kExplainUsage, false);
    const QString formatName = parser.isSet(format) ? parser.value(format) : QStringLiteral("text");
    if (formatName != u"text" && formatName != u"tsv") {
        ctx.err << QStringLiteral("--format takes text or tsv") << Qt::endl;
        return Usage;
    }
    std::optional<LevelChoice> levels;
    if (parser.isSet(levelsOption) && !(levels = parseLevels(parser.value(levelsOption)))) {
        ctx.err << QStringLiteral("--levels takes the letters P, C and E") << Qt::endl;
        return Usage;
    }

    if (const auto failed = ctx.start())
        return *failed;
    if (!ctx.allowed(QStringLiteral("GenConf")))
        return RunFailed;
    Session& s = *ctx.session;
    try {
        const QString co = parser.value(company);
        const QString ph = parser.value(phone);
        const Recordset found =
            s.db.execute(QStringLiteral("SELECT EQ_CODE FROM PHONES WHERE CO_CODE = '") + sqlText(co) +
                         QStringLiteral("' AND PH_CODE = '") + sqlText(ph) + QStringLiteral("'"));
        if (found.isEmpty()) {
            ctx.err << QStringLiteral("No telephone ") << co << u'/' << ph << Qt::endl;
            return Usage;
        }
        if (!levels) {
            LevelBoxes boxes;
            if (const auto flags = generationSetting(s.db, co, found.text(0), QStringLiteral("$$DEFGEN")))
                boxes.applyDefault(*flags);
            levels = boxes.choice();
        }

        const TelephoneExplanation e = explainTelephone(s, co, ph, *levels);
        const bool show = parser.isSet(showSecrets);
        InsightTexts t(s);
        if (formatName == u"tsv") {
            printTsv(ctx.out, e, show);
        } else {
            ctx.out << escapeControls(explanationHeading(t, e)) << u'\n';
            for (const ParamExplanation& p : e.params)
                ctx.out << escapeControls(explanationLine(t, p, show)) << u'\n';
        }
        ctx.out.flush();
        for (const QString& problem : e.problems)
            ctx.err << escapeControls(problem) << Qt::endl;
        ctx.err << escapeControls(explanationSummary(t, e)) << Qt::endl;
        return e.refused() ? RunFailed : Ok;
    } catch (const DbError& e) {
        ctx.err << e.text() << Qt::endl;
        return DatabaseFailed;
    }
}

int runDryRun(CliContext& ctx, const GenerationRequest& request, bool showSecrets)
{
    DryRun run(*ctx.session, *ctx.log);
    run.setShowSecrets(showSecrets);
    const DryRunSummary summary = run.run(request);
    ctx.out.flush();
    ctx.err << escapeControls(summary.line) << Qt::endl;
    return summary.clean() ? Ok : RunFailed;
}

} // namespace vocaset::cli
