#include "LobbyCommands.h"

#include <QCommandLineParser>
#include <QRegularExpression>

#include "DbError.h"
#include "PhoneLobby.h"

namespace vocaset::cli {

namespace {

// MACs as the telephones' file names carry them: twelve hexadecimal digits.
bool isMac(const QString& text)
{
    static const QRegularExpression mac(QStringLiteral("^[0-9A-Fa-f]{12}$"));
    return mac.match(text).hasMatch();
}

std::optional<int> checkMacs(CliContext& ctx, const QStringList& macs)
{
    for (const QString& mac : macs) {
        if (!isMac(mac)) {
            ctx.err << QStringLiteral("Not a MAC (twelve hexadecimal digits): ") << escapeControls(mac) << Qt::endl;
            return Usage;
        }
    }
    return std::nullopt;
}

} // namespace

int LobbyCommand::execute(CliContext& ctx, const QStringList& arguments)
{
    static const QString usage = QStringLiteral(
        "[--format text|tsv]\n"
        "  --format F  text (aligned columns, the default) or tsv (a header line, then tab-separated fields)\n"
        "Lists, newest first, every telephone that asked the provisioning server for its file while no\n"
        "telephone had its MAC: the file asked, first and last time seen (UTC), the number of requests, the\n"
        "client address and User-Agent, the maker the MAC's first three bytes name, and the model guessed.");
    QCommandLineParser parser;
    const QCommandLineOption format(QStringLiteral("format"), {}, QStringLiteral("F"));
    parser.addOption(format);
    if (const auto done = parseCommandLine(ctx, *this, parser, arguments, usage))
        return *done;
    const std::optional<bool> tsv = tsvFormat(ctx, parser, format);
    if (!tsv)
        return Usage;
    if (const auto failed = ctx.start())
        return *failed;
    if (!ctx.allowed(QStringLiteral("Fleet")))
        return RunFailed;
    QList<LobbyTable::Row> rows;
    try {
        rows = LobbyTable::rows(ctx.session->db);
    } catch (const DbError& e) {
        ctx.err << e.text() << Qt::endl;
        return DatabaseFailed;
    }
    const QStringList header = {QStringLiteral("MAC"),    QStringLiteral("FILE"),   QStringLiteral("FIRST (UTC)"),
                                QStringLiteral("LAST (UTC)"), QStringLiteral("REQUESTS"), QStringLiteral("CLIENT"),
                                QStringLiteral("MODEL"),  QStringLiteral("MAKER"),  QStringLiteral("USER AGENT")};
    QList<QStringList> table;
    for (const LobbyTable::Row& r : std::as_const(rows)) {
        QStringList fields = {r.mac,    r.file,  r.first, r.last, QString::number(r.count),
                              r.client, r.model, r.maker, r.agent};
        for (QString& f : fields)
            f = escapeControls(f);
        table.append(fields);
    }
    printTable(ctx.out, header, table, *tsv);
    printClosingLine(ctx, QStringLiteral("%1 new telephone(s)").arg(rows.size()), *tsv);
    return Ok;
}

int LobbyClaimCommand::execute(CliContext& ctx, const QStringList& arguments)
{
    static const QString usage = QStringLiteral(
        "MAC... --company CO [--model EQ] [--code PH | --next-free] [--description TEXT] [--dry-run]\n"
        "  --company CO        the company the telephones go to\n"
        "  --model EQ          their model (default: each one's guessed model)\n"
        "  --code PH           the code of the one telephone claimed (a free code of the company's ranges)\n"
        "  --next-free         the company's lowest free codes of its ranges (the default)\n"
        "  --description TEXT  their description (default: the maker and the MAC)\n"
        "  --dry-run           show what would be created, change nothing\n"
        "Creates the telephones in one transaction, recorded in the change history, and takes them out of the\n"
        "lobby; their next fetch is served their file. When any MAC is refused (not in the lobby, already a\n"
        "telephone, no model, a model that fetches another file name, no free code) each is named and nothing\n"
        "changes; exit 1.");
    QCommandLineParser parser;
    const QCommandLineOption company(QStringLiteral("company"), {}, QStringLiteral("CO"));
    const QCommandLineOption model(QStringLiteral("model"), {}, QStringLiteral("EQ"));
    const QCommandLineOption code(QStringLiteral("code"), {}, QStringLiteral("PH"));
    const QCommandLineOption nextFree(QStringLiteral("next-free"));
    const QCommandLineOption description(QStringLiteral("description"), {}, QStringLiteral("TEXT"));
    const QCommandLineOption dryRun(QStringLiteral("dry-run"));
    parser.addOptions({company, model, code, nextFree, description, dryRun});
    if (const auto done = parseCommandLine(ctx, *this, parser, arguments, usage, -1))
        return *done;
    const QStringList macs = parser.positionalArguments();
    if (!parser.isSet(company) || (parser.isSet(code) && (parser.isSet(nextFree) || macs.size() != 1))) {
        if (parser.isSet(code) && macs.size() != 1)
            ctx.err << QStringLiteral("--code names the code of one telephone: claim one MAC with it") << Qt::endl;
        return commandUsage(ctx, *this, usage, false);
    }
    if (const auto bad = checkMacs(ctx, macs))
        return *bad;
    if (const auto failed = ctx.start())
        return *failed;
    if (!ctx.allowed(QStringLiteral("Config")))
        return RunFailed;
    try {
        const ClaimOutcome outcome =
            claimArrivals(*ctx.session, {macs, parser.value(company), parser.value(model), parser.value(code),
                                         parser.value(description), parser.isSet(dryRun)});
        for (const QString& line : outcome.refused)
            ctx.err << escapeControls(line) << Qt::endl;
        if (!outcome.refused.isEmpty()) {
            ctx.err << QStringLiteral("Nothing was claimed.") << Qt::endl;
            return RunFailed;
        }
        for (const QString& line : outcome.created)
            ctx.out << escapeControls(line) << u'\n';
        ctx.out.flush();
        ctx.err << QStringLiteral("%1 telephone(s) %2").arg(outcome.created.size())
                       .arg(parser.isSet(dryRun) ? QStringLiteral("would be created (dry run)")
                                                 : QStringLiteral("created"))
                << Qt::endl;
        return Ok;
    } catch (const DbError& e) {
        ctx.out.flush();
        ctx.err << e.text() << Qt::endl;
        return exitOf(e);
    }
}

int LobbyForgetCommand::execute(CliContext& ctx, const QStringList& arguments)
{
    static const QString usage = QStringLiteral("MAC...\nRemoves these telephones from the lobby.");
    QCommandLineParser parser;
    if (const auto done = parseCommandLine(ctx, *this, parser, arguments, usage, -1))
        return *done;
    const QStringList macs = parser.positionalArguments();
    if (const auto bad = checkMacs(ctx, macs))
        return *bad;
    if (const auto failed = ctx.start())
        return *failed;
    if (!ctx.allowed(QStringLiteral("Config")))
        return RunFailed;
    try {
        const int removed = forgetArrivals(ctx.session->db, macs);
        ctx.err << QStringLiteral("%1 of %2 removed").arg(removed).arg(macs.size()) << Qt::endl;
        return removed == macs.size() ? Ok : RunFailed;
    } catch (const DbError& e) {
        ctx.err << e.text() << Qt::endl;
        return DatabaseFailed;
    }
}

} // namespace vocaset::cli
