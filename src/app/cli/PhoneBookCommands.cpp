#include "PhoneBookCommands.h"

#include <functional>

#include <QCommandLineParser>
#include <QFileInfo>

#include "Messages.h"
#include "PhoneBookExport.h"
#include "PhoneBookGeneration.h"
#include "PhoneBookImport.h"
#include "RangeGeneration.h"
#include "SelectionList.h"
#include "TextFile.h"

namespace vocaset::cli {
namespace {

const QCommandLineOption kCompany(QStringLiteral("company"), {}, QStringLiteral("CO"));
const QCommandLineOption kModel(QStringLiteral("model"), {}, QStringLiteral("EQ"));
const QCommandLineOption kOut(QStringLiteral("out"), {}, QStringLiteral("DIR"));

// What a phone-book command chose once its arguments are read.
struct Choice
{
    QString company;
    QString model;
    QString folderOption; // the folder option's name: out or dir
    QString subCode;      // the folder setting read when the option is left out
    bool perModel = true; // the setting is keyed by company and model
};

// A folder given on the command line is taken from the current folder; a setting's folder from the
// program's folder, as the window takes it.
QString givenFolder(const QString& text)
{
    return trimFolder(QFileInfo(text).absoluteFilePath());
}

// Refuses a company no window would offer.
bool knownCompany(CliContext& ctx, const QString& company)
{
    if (containsCode(companyEntries(ctx.session->db), company))
        return true;
    ctx.err << QStringLiteral("No company ") << company << Qt::endl;
    return false;
}

// The closing line on standard error after the run's lines; 1 when anything failed or was shown.
int closeRun(CliContext& ctx, const PhoneBookSummary& summary, const QString& closing, int shownBefore)
{
    ctx.out.flush();
    ctx.err << closing << Qt::endl;
    const bool failed =
        summary.outcome != PhoneBookOutcome::Completed || summary.failed > 0 || ctx.op->shown() > shownBefore;
    return failed ? RunFailed : Ok;
}

// The steps every phone-book command shares: start-up, rights, the company (and model) a window
// would offer, the folder; then the run and its closing line. Returns the exit code.
int runPhoneBook(CliContext& ctx, const QString& entry, const QCommandLineParser& parser, const Choice& c,
                 const std::function<PhoneBookSummary(Session&, const PhoneBookRequest&)>& run,
                 const std::function<QString(const PhoneBookSummary&)>& closing)
{
    if (const auto failed = ctx.start())
        return *failed;
    if (!ctx.allowed(entry))
        return RunFailed;
    Session& s = *ctx.session;
    try {
        if (!knownCompany(ctx, c.company))
            return Usage;
        if (c.perModel && !containsCode(modelEntries(s.db, c.company), c.model)) {
            ctx.err << QStringLiteral("Company ") << c.company << QStringLiteral(" has no telephone of model ")
                    << c.model << Qt::endl;
            return Usage;
        }
        PhoneBookRequest request{c.company, c.model, {}};
        if (parser.isSet(c.folderOption)) {
            request.folder = givenFolder(parser.value(c.folderOption));
        } else {
            request.folder = phoneBookFolder(s, c.perModel ? c.company + c.model : c.company, c.subCode);
            if (request.folder.isEmpty()) {
                ctx.err << QStringLiteral("No folder: give --") << c.folderOption << QStringLiteral(" or set ")
                        << c.subCode << QStringLiteral(" of ") << (c.perModel ? c.company + c.model : c.company)
                        << Qt::endl;
                return Usage;
            }
        }
        const int shownBefore = ctx.op->shown();
        const PhoneBookSummary summary = run(s, request);
        return closeRun(ctx, summary, closing(summary), shownBefore);
    } catch (const DbError& e) {
        ctx.out.flush();
        ctx.err << e.text() << Qt::endl;
        return exitOf(e);
    }
}

// Parses a phone-book command: --company, --model when the run is per model, and the options given.
// Nothing when the command goes on.
std::optional<int> parsePhoneBook(CliContext& ctx, const Command& command, QCommandLineParser& parser,
                                  const QStringList& arguments, const QString& usage,
                                  const QList<QCommandLineOption>& options, bool perModel)
{
    parser.addOption(kCompany);
    if (perModel)
        parser.addOption(kModel);
    parser.addOptions(options);
    if (const auto done = parseCommandLine(ctx, command, parser, arguments, usage))
        return done;
    if (!parser.isSet(kCompany) || (perModel && !parser.isSet(kModel)))
        return commandUsage(ctx, command, usage, false);
    return std::nullopt;
}

QString counted(const PhoneBookSummary& s, const char* one, const char* many, const QString& done,
                const QString& failed)
{
    QString line = QStringLiteral("%1, %2 %3, %4 %5")
                       .arg(countOf(s.selected, one, many))
                       .arg(s.succeeded)
                       .arg(done)
                       .arg(s.failed)
                       .arg(failed);
    if (s.outcome == PhoneBookOutcome::Aborted)
        line = QStringLiteral("aborted after %1 of %2: ").arg(s.done).arg(s.selected) + line;
    if (!s.file.isEmpty())
        line += QStringLiteral(": ") + s.file;
    return line;
}

} // namespace

int PhoneBookGenerateCommand::execute(CliContext& ctx, const QStringList& arguments)
{
    static const QString usage =
        QStringLiteral("--company CO --model EQ [--out DIR]\n"
                       "  --company CO     company code\n"
                       "  --model EQ       equipment model code (only GXP2000 has an address-book format)\n"
                       "  --out DIR        output folder (default: the $$PBGEN setting of the company and model)\n"
                       "Writes DIR/gs_phonebook.xml from the company's entries not marked hidden, one line per entry.\n"
                       "Exit 1 when nothing was written or an entry was left out.");
    QCommandLineParser parser;
    if (const auto done = parsePhoneBook(ctx, *this, parser, arguments, usage, {kOut}, true))
        return *done;
    return runPhoneBook(
        ctx, QStringLiteral("PbGen"), parser,
        {parser.value(kCompany), parser.value(kModel), QStringLiteral("out"), QStringLiteral("$$PBGEN")},
        [&ctx](Session& s, const PhoneBookRequest& r) { return PhoneBookGeneration(s, *ctx.log).run(r); },
        [](const PhoneBookSummary& s) {
            return counted(s, "entry selected", "entries selected", QStringLiteral("written"),
                           QStringLiteral("left out"));
        });
}

int PhoneBookImportCommand::execute(CliContext& ctx, const QStringList& arguments)
{
    static const QString usage = QStringLiteral(
        "--company CO --model EQ [--dir DIR]\n"
        "  --company CO     company code\n"
        "  --model EQ       equipment model code (GXP2000)\n"
        "  --dir DIR        folder of confUsers.ini (default: the $$PBIMP setting of the company and model)\n"
        "Adds new extensions, refreshes the names of imported ones, hides imported ones no longer listed;\n"
        "only the company's entries change, all at once. Exit 1 when the file was refused or a user failed.");
    QCommandLineParser parser;
    const QCommandLineOption dir(QStringLiteral("dir"), {}, QStringLiteral("DIR"));
    if (const auto done = parsePhoneBook(ctx, *this, parser, arguments, usage, {dir}, true))
        return *done;
    return runPhoneBook(
        ctx, QStringLiteral("PbImp"), parser,
        {parser.value(kCompany), parser.value(kModel), QStringLiteral("dir"), QStringLiteral("$$PBIMP")},
        [&ctx](Session& s, const PhoneBookRequest& r) { return PhoneBookImport(s, *ctx.log).run(r); },
        [](const PhoneBookSummary& s) {
            return counted(s, "user read", "users read", QStringLiteral("added or updated"), QStringLiteral("failed"));
        });
}

int PhoneBookExportCommand::execute(CliContext& ctx, const QStringList& arguments)
{
    static const QString usage = QStringLiteral(
        "--company CO [--out DIR] [--format csv|xlsx]\n"
        "  --company CO     company code\n"
        "  --out DIR        output folder (default: the $$PBExp setting of the company)\n"
        "  --format F       csv: DIR/Phone_Book.csv (the default); xlsx: DIR/CO.xlsx with a header row\n"
        "Every entry of the company, hidden ones too. An existing file is replaced only on Yes (--yes).\n"
        "Exit 1 when nothing was written or an entry was left out.");
    QCommandLineParser parser;
    const QCommandLineOption format(QStringLiteral("format"), {}, QStringLiteral("F"));
    if (const auto done = parsePhoneBook(ctx, *this, parser, arguments, usage, {kOut, format}, false))
        return *done;
    const QString f = parser.value(format).toLower();
    if (!(f.isEmpty() || f == u"csv" || f == u"xlsx"))
        return commandUsage(ctx, *this, usage, false);
    const ExportFormat chosen = f == u"xlsx" ? ExportFormat::Xlsx : ExportFormat::Csv;
    return runPhoneBook(
        ctx, QStringLiteral("PbExp"), parser,
        {parser.value(kCompany), QString(), QStringLiteral("out"), QStringLiteral("$$PBExp"), false},
        [&ctx, chosen](Session& s, const PhoneBookRequest& r) { return PhoneBookExport(s, *ctx.log).run(r, chosen); },
        [](const PhoneBookSummary& s) {
            return counted(s, "entry selected", "entries selected", QStringLiteral("exported"),
                           QStringLiteral("left out"));
        });
}

int RangesCommand::execute(CliContext& ctx, const QStringList& arguments)
{
    const QString usage = QStringLiteral("--company CO --from N --to N\n"
                                         "  --company CO     company code\n"
                                         "  --from N         first telephone code (a whole number)\n"
                                         "  --to N           last telephone code (a whole number up to 99999)\n") +
                          (m_remove ? QStringLiteral("Deletes the codes no telephone uses; ")
                                    : QStringLiteral("Creates the codes not yet listed; ")) +
                          QStringLiteral("one line per code. The questions take --yes, or are asked on a terminal.\n"
                                         "Exit 1 when the run was refused or declined, or a code failed.");
    QCommandLineParser parser;
    const QCommandLineOption from(QStringLiteral("from"), {}, QStringLiteral("N"));
    const QCommandLineOption to(QStringLiteral("to"), {}, QStringLiteral("N"));
    parser.addOptions({kCompany, from, to});
    if (const auto done = parseCommandLine(ctx, *this, parser, arguments, usage))
        return *done;
    if (!parser.isSet(kCompany) || !parser.isSet(from) || !parser.isSet(to))
        return commandUsage(ctx, *this, usage, false);

    if (const auto failed = ctx.start())
        return *failed;
    if (!ctx.allowed(QStringLiteral("Ranges")))
        return RunFailed;
    Session& s = *ctx.session;
    try {
        if (!knownCompany(ctx, parser.value(kCompany)))
            return Usage;
        const int shownBefore = ctx.op->shown();
        RangeGeneration run(s, *ctx.log);
        const PhoneBookSummary summary =
            run.run({parser.value(kCompany), parser.value(from), parser.value(to), m_remove});
        return closeRun(ctx, summary,
                        counted(summary, "code selected", "codes selected",
                                m_remove ? QStringLiteral("deleted") : QStringLiteral("created"),
                                m_remove ? QStringLiteral("kept in use") : QStringLiteral("refused")),
                        shownBefore);
    } catch (const DbError& e) {
        ctx.out.flush();
        ctx.err << e.text() << Qt::endl;
        return exitOf(e);
    }
}

} // namespace vocaset::cli
