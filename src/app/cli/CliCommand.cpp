#include "CliCommand.h"

#include <cstdio>
#include <unistd.h>

#include "MenuRights.h"

namespace vocaset::cli {

void CliOperator::showMessage(const QString& text, const QString&)
{
    ++m_shown;
    m_err << escapeControls(text, true) << Qt::endl;
}

bool CliOperator::askYesNo(const QString& text, const QString&)
{
    m_err << escapeControls(text, true) << (m_yes ? QStringLiteral(" [yes]") : QStringLiteral(" [y/N] ")) << Qt::flush;
    if (m_yes) {
        m_err << Qt::endl;
        return true;
    }
    if (!m_tty) {
        m_err << QStringLiteral("no (not a terminal; use --yes)") << Qt::endl;
        return false;
    }
    QTextStream in(stdin);
    const QString answer = in.readLine().trimmed().toLower();
    return answer == u"y" || answer == u"yes";
}

std::optional<QString> CliOperator::askText(const QString& prompt, const QString& defaultText)
{
    if (!m_answer.isEmpty())
        return m_answer;
    if (!m_tty)
        return defaultText;
    m_err << escapeControls(prompt, true) << QStringLiteral(" [") << escapeControls(defaultText) << QStringLiteral("] ")
          << Qt::flush;
    QTextStream in(stdin);
    const QString answer = in.readLine();
    return answer.isEmpty() ? defaultText : answer;
}

Startup CliContext::prepare()
{
    op = std::make_unique<CliOperator>(err, assumeYes, interactive);
    log = std::make_unique<StreamRunLog>(out);
    db = std::make_unique<Database>();
    session = std::make_unique<Session>(*db, *op);
    session->appDir = appDir;
    session->userName = loginName();
    op->setTextAnswer(requestedUser);
    return Startup(*session, settingsPath, *log);
}

int CliContext::exitCodeOf(StartupOutcome outcome)
{
    switch (outcome) {
    case StartupOutcome::Ready:
    case StartupOutcome::Created:
        return Ok;
    case StartupOutcome::CreationStopped:
        return RunFailed;
    case StartupOutcome::SettingsMissing:
        return Usage;
    case StartupOutcome::OpenFailed:
    case StartupOutcome::DatabaseFailed:
        return DatabaseFailed;
    }
    return DatabaseFailed;
}

std::optional<int> CliContext::start()
{
    Startup startup = prepare();
    std::optional<StartupOutcome> stopped = startup.prepare();
    // --user from a login that may not use it is refused before the start-up writes anything.
    if (!stopped && !requestedUser.isEmpty() && session->userName != requestedUser.toUpper()) {
        err << QStringLiteral("--user needs a login listed as superuser; ") << loginName() << QStringLiteral(" is not")
            << Qt::endl;
        return Usage;
    }
    const StartupOutcome outcome = stopped ? *stopped : startup.finish();
    if (outcome == StartupOutcome::Ready)
        return std::nullopt;
    if (outcome == StartupOutcome::Created)
        err << QStringLiteral("The working database was empty and has been created; run the command again.") << Qt::endl;
    return outcome == StartupOutcome::Created ? RunFailed : exitCodeOf(outcome);
}

bool CliContext::allowed(const QString& entryName)
{
    const MainMenuState menu = loadMainMenu(*session);
    QString name = entryName;
    while (!name.isEmpty()) {
        const auto it = std::find_if(menu.entries.begin(), menu.entries.end(),
                                     [&](const MenuEntryState& e) { return e.entry.name == name; });
        if (it == menu.entries.end())
            break;
        if (!it->enabled) {
            err << QStringLiteral("User ") << session->userName << QStringLiteral(" has no right to the menu entry ")
                << name << Qt::endl;
            return false;
        }
        name = it->entry.parent;
    }
    return true;
}

int commandUsage(CliContext& ctx, const Command& command, const QString& usage, bool asked)
{
    QTextStream& stream = asked ? ctx.out : ctx.err;
    stream << QStringLiteral("Usage: vocaset-cli ") << command.name() << u' ' << usage << u'\n' << command.summary()
           << Qt::endl;
    return asked ? Ok : Usage;
}

namespace {

// The first option given more than once, or nothing. Taking the last of two values would run on a
// choice the operator may not have meant.
std::optional<QString> repeatedOption(const QStringList& names)
{
    for (qsizetype i = 0; i < names.size(); ++i) {
        if (names.indexOf(names[i], i + 1) > i)
            return names[i];
    }
    return std::nullopt;
}

} // namespace

std::optional<int> parseCommandLine(CliContext& ctx, const Command& command, QCommandLineParser& parser,
                                    const QStringList& arguments, const QString& usage, qsizetype positionals)
{
    const QCommandLineOption help(QStringLiteral("help"));
    parser.addOption(help);
    if (!parser.parse(QStringList{command.name()} + arguments)) {
        ctx.err << parser.errorText() << Qt::endl;
        return commandUsage(ctx, command, usage, false);
    }
    if (const auto repeated = repeatedOption(parser.optionNames())) {
        ctx.err << QStringLiteral("--") << *repeated << QStringLiteral(" is given more than once") << Qt::endl;
        return commandUsage(ctx, command, usage, false);
    }
    if (parser.isSet(help))
        return commandUsage(ctx, command, usage, true);
    if (parser.positionalArguments().size() != positionals)
        return commandUsage(ctx, command, usage, false);
    return std::nullopt;
}

namespace {

void printHelp(QTextStream& out, const std::vector<std::unique_ptr<Command>>& commands)
{
    out << QStringLiteral("Usage: vocaset-cli [--settings FILE] [--user NAME] [--yes] COMMAND [ARGS]\n\n"
                          "Global options:\n"
                          "  --settings FILE  connection settings file (default: ParamDB.txt beside the program)\n"
                          "  --user NAME      act as this user (only for users listed as superuser)\n"
                          "  --yes            answer Yes to every question\n"
                          "  --help           this text; COMMAND --help describes one command\n\n"
                          "Commands:\n");
    for (const auto& c : commands)
        out << QStringLiteral("  ") << c->name().leftJustified(16) << u' ' << c->summary() << u'\n';
    out << QStringLiteral("\nExit codes: 0 success, 1 the run reported an error, 2 wrong usage, 3 database failure.\n");
    out.flush();
}

} // namespace

int runCli(const QStringList& arguments, QTextStream& out, QTextStream& err, const QString& appDir)
{
    const auto commands = allCommands();
    CliContext ctx(out, err);
    ctx.appDir = appDir;
    ctx.settingsPath = appDir + QStringLiteral("/ParamDB.txt");
    ctx.interactive = isatty(STDIN_FILENO) != 0;

    QStringList rest;
    QStringList globals;
    bool help = false;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        if (a == u"--settings" || a == u"--user" || a == u"--yes") {
            if (globals.contains(a)) {
                err << a << QStringLiteral(" is given more than once") << Qt::endl;
                return Usage;
            }
            globals.append(a);
        }
        if (a == u"--settings" || a == u"--user") {
            if (i + 1 >= arguments.size()) {
                err << a << QStringLiteral(" needs a value") << Qt::endl;
                return Usage;
            }
            (a == u"--settings" ? ctx.settingsPath : ctx.requestedUser) = arguments[++i];
        } else if (a == u"--yes") {
            ctx.assumeYes = true;
        } else if (a == u"--help" || a == u"-h") {
            help = true;
        } else {
            rest.append(a);
        }
    }

    Command* chosen = nullptr;
    int words = 0;
    for (const auto& c : commands) {
        const QStringList name = c->name().split(u' ');
        if (rest.mid(0, name.size()) == name && int(name.size()) > words) {
            chosen = c.get();
            words = int(name.size());
        }
    }
    if (!chosen) {
        if (help || rest.isEmpty()) {
            printHelp(help ? out : err, commands);
            return help ? Ok : Usage;
        }
        err << QStringLiteral("Unknown command: ") << rest.join(u' ') << Qt::endl;
        printHelp(err, commands);
        return Usage;
    }
    QStringList args = rest.mid(words);
    if (help)
        args.prepend(QStringLiteral("--help"));

    return chosen->execute(ctx, args);
}

} // namespace vocaset::cli
