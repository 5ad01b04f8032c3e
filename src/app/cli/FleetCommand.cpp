#include "FleetCommand.h"

#include "FleetSurvey.h"
#include "PhoneImport.h"
#include "SelectionList.h"

namespace vocaset::cli {

int FleetCommand::execute(CliContext& ctx, const QStringList& arguments)
{
    static const QString usage = QStringLiteral(
        "[--company CO] [--model EQ] [--state current|stale|never|refused] [--firmware-not VERSION] [--format text|tsv]\n"
        "  --company CO            only the telephones of this company\n"
        "  --model EQ              only the telephones of this equipment model\n"
        "  --state S               only the telephones in this state; refused: those whose last request was\n"
        "                          refused\n"
        "  --firmware-not VERSION  only the telephones whose firmware is not VERSION, unknown firmware included\n"
        "  --format F              text (aligned columns, the default) or tsv (a header line, then tab-separated\n"
        "                          fields)\n"
        "Lists every telephone with its state, from the fetches the provisioning server records: current (the last\n"
        "file served to it is the file the server would build now), stale (the values changed since its last\n"
        "fetch), never (no fetch recorded); with the last fetch's time (UTC), client address and User-Agent, and\n"
        "the firmware: the version the model's $$UAFIRMWARE setting (a regular expression with one capture\n"
        "group) takes from the User-Agent, empty when it finds none; and last the last refusal of its requests\n"
        "the server recorded, its time (UTC) and reason (wrong Digest answer, address locked out, outside the\n"
        "company's networks, a value the file cannot carry, the file could not be made, database time-out).\n"
        "Ends with the line \"N current, N stale, N never\" over the company and model chosen, whatever --state\n"
        "and --firmware-not list (on standard error with --format tsv).");
    QCommandLineParser parser;
    const QCommandLineOption company(QStringLiteral("company"), {}, QStringLiteral("CO"));
    const QCommandLineOption model(QStringLiteral("model"), {}, QStringLiteral("EQ"));
    const QCommandLineOption state(QStringLiteral("state"), {}, QStringLiteral("S"));
    const QCommandLineOption firmwareNot(QStringLiteral("firmware-not"), {}, QStringLiteral("VERSION"));
    const QCommandLineOption format(QStringLiteral("format"), {}, QStringLiteral("F"));
    parser.addOptions({company, model, state, firmwareNot, format});
    if (const auto done = parseCommandLine(ctx, *this, parser, arguments, usage))
        return *done;
    FleetFilter filter;
    std::optional<FleetState> only;
    const bool onlyRefused = parser.value(state) == u"refused";
    if (parser.isSet(state) && !onlyRefused) {
        only = stateFromName(parser.value(state));
        if (!only) {
            ctx.err << QStringLiteral("--state takes current, stale, never or refused, not \"%1\"")
                           .arg(parser.value(state))
                    << Qt::endl;
            return Usage;
        }
    }
    // A telephone whose firmware is unknown has an empty one: an empty VERSION would leave it out.
    const QString notVersion = parser.value(firmwareNot);
    if (parser.isSet(firmwareNot) && notVersion.isEmpty()) {
        ctx.err << QStringLiteral("--firmware-not takes a firmware version, not an empty text") << Qt::endl;
        return Usage;
    }
    const std::optional<bool> tsv = tsvFormat(ctx, parser, format);
    if (!tsv)
        return Usage;
    filter.company = parser.value(company);
    filter.model = parser.value(model);

    if (const auto failed = ctx.start())
        return *failed;
    if (!ctx.allowed(QStringLiteral("Fleet")))
        return RunFailed;
    QList<FleetPhone> phones;
    QStringList notes;
    try {
        Database& db = ctx.session->db;
        if (parser.isSet(company) && !containsCode(companyEntries(db), filter.company)) {
            ctx.err << QStringLiteral("No company ") << filter.company << Qt::endl;
            return Usage;
        }
        if (parser.isSet(model) && !containsCode(equipmentEntries(db), filter.model)) {
            ctx.err << QStringLiteral("No model ") << filter.model << Qt::endl;
            return Usage;
        }
        FleetSurvey survey(db, ctx.session->language);
        phones = survey.survey(filter);
        notes = survey.notes();
    } catch (const DbError& e) {
        ctx.err << e.text() << Qt::endl;
        return DatabaseFailed;
    }

    const QStringList header = {
        QStringLiteral("COMPANY"), QStringLiteral("CODE"),       QStringLiteral("MODEL"),
        QStringLiteral("MAC"),     QStringLiteral("STATE"),      QStringLiteral("FETCHED (UTC)"),
        QStringLiteral("CLIENT"),  QStringLiteral("USER AGENT"), QStringLiteral("FIRMWARE"),
        QStringLiteral("LAST REFUSAL")};
    QList<QStringList> table;
    table.reserve(phones.size());
    for (const FleetPhone& p : std::as_const(phones)) {
        if ((only && p.state != *only) || (onlyRefused && !p.lastRefused()) ||
            (parser.isSet(firmwareNot) && p.firmware == notVersion))
            continue;
        const QString refusal = p.refusedAt.isEmpty() ? QString() : p.refusedAt + u' ' + refusalText(p.refusal);
        QStringList fields = {p.company,   p.code,   p.model,     p.mac,      stateName(p.state),
                              p.fetchedAt, p.client, p.userAgent, p.firmware, refusal};
        for (QString& f : fields)
            f = escapeControls(f);
        table.append(fields);
    }
    const QString summary = summaryLine(countStates(phones));
    // Telephones sharing a MAC are served no file, a model's firmware expression may be unusable: named
    // on standard error, whatever the format.
    for (const QString& note : std::as_const(notes))
        ctx.err << note << Qt::endl;
    printTable(ctx.out, header, table, *tsv);
    printClosingLine(ctx, summary, *tsv);
    return Ok;
}

} // namespace vocaset::cli
