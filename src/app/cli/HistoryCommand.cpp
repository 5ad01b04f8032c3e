#include "HistoryCommand.h"

#include <QCommandLineParser>

#include "ChangeHistory.h"
#include "Messages.h"

namespace vocaset::cli {
namespace {

const QString kUsage =
    QStringLiteral("[--company CO] [--phone PH] [--table T] [--user U] [--since DATE] [--format text|tsv]\n"
                   "  --company CO   changes of the company's records (its telephones, values, ranges, phone book)\n"
                   "  --phone PH     changes of the telephone's records, also under the codes it bore before a rename\n"
                   "  --table T      changes of one table\n"
                   "  --user U       changes made by one user\n"
                   "  --since DATE   changes from DATE on: YYYY-MM-DD, optionally followed by HH:MM or HH:MM:SS (UTC)\n"
                   "  --format tsv   a header line and one tab-separated line per change; text by default\n"
                   "Each change shows its time (UTC), user, program and what made it, the operation, the table, the\n"
                   "record's key, and the column with its old and new values. Secret values show as ***.");

} // namespace

int HistoryCommand::execute(CliContext& ctx, const QStringList& arguments)
{
    QCommandLineParser parser;
    const QCommandLineOption company(QStringLiteral("company"), {}, QStringLiteral("CO"));
    const QCommandLineOption phone(QStringLiteral("phone"), {}, QStringLiteral("PH"));
    const QCommandLineOption table(QStringLiteral("table"), {}, QStringLiteral("T"));
    const QCommandLineOption user(QStringLiteral("user"), {}, QStringLiteral("U"));
    const QCommandLineOption since(QStringLiteral("since"), {}, QStringLiteral("DATE"));
    const QCommandLineOption format(QStringLiteral("format"), {}, QStringLiteral("FORMAT"), QStringLiteral("text"));
    parser.addOptions({company, phone, table, user, since, format});
    if (const auto done = parseCommandLine(ctx, *this, parser, arguments, kUsage))
        return *done;
    const QString shape = parser.value(format).toLower();
    if (shape != u"text" && shape != u"tsv") {
        ctx.err << QStringLiteral("--format ") << parser.value(format) << QStringLiteral(" is neither text nor tsv")
                << Qt::endl;
        return commandUsage(ctx, *this, kUsage, false);
    }
    HistoryFilter filter;
    if (parser.isSet(since)) {
        const std::optional<QString> from = historyTime(parser.value(since));
        if (!from) {
            ctx.err << QStringLiteral("--since ") << parser.value(since)
                    << QStringLiteral(" is not a date: give YYYY-MM-DD, optionally followed by HH:MM or HH:MM:SS")
                    << Qt::endl;
            return commandUsage(ctx, *this, kUsage, false);
        }
        filter.since = *from;
    }
    filter.company = parser.value(company);
    filter.phone = parser.value(phone);
    filter.table = parser.value(table);
    filter.user = parser.value(user);

    if (const auto failed = ctx.start())
        return *failed;
    if (!ctx.allowed(QStringLiteral("Config")))
        return RunFailed;
    Session& s = *ctx.session;
    const QList<HistoryEntry> entries = readHistory(s.db, filter);
    if (shape == u"tsv") {
        ctx.out << QStringLiteral("TIME\tUSER\tPROGRAM\tSOURCE\tOPERATION\tTABLE\tKEY\tCOLUMN\tOLD\tNEW") << Qt::endl;
        for (const HistoryEntry& e : entries) {
            QStringList cells = {e.time,  e.user, e.program, e.source,   e.operation,
                                 e.table, e.key,  e.column,  e.oldValue, e.newValue};
            for (QString& cell : cells)
                cell = escapeControls(cell);
            ctx.out << cells.join(u'\t') << Qt::endl;
        }
    } else {
        for (const HistoryEntry& e : entries)
            ctx.out << escapeControls(historyLine(e)) << Qt::endl;
    }
    ctx.err << textOr(s, kHistoryCount, entries.size(), QString::number(entries.size())) << Qt::endl;
    return Ok;
}

} // namespace vocaset::cli
