#include "CliCommand.h"

#include <cstdio>
#include <termios.h>
#include <unistd.h>
#include <utility>

#include "DbError.h"
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
        return std::exchange(m_answer, QString());
    if (!m_tty)
        return defaultText;
    m_err << escapeControls(prompt, true) << QStringLiteral(" [") << escapeControls(defaultText) << QStringLiteral("] ")
          << Qt::flush;
    QTextStream in(stdin);
    const QString answer = in.readLine();
    return answer.isEmpty() ? defaultText : answer;
}

std::optional<QString> CliOperator::askSecret(const QString& prompt)
{
    if (!m_tty)
        return std::nullopt;
    // Echo goes off before the prompt is shown, so nothing typed after it can appear; what was
    // typed ahead is kept.
    termios saved{};
    const bool quiet = ::tcgetattr(STDIN_FILENO, &saved) == 0;
    if (quiet) {
        termios silent = saved;
        silent.c_lflag &= ~tcflag_t(ECHO);
        silent.c_lflag |= ECHONL;
        ::tcsetattr(STDIN_FILENO, TCSANOW, &silent);
    }
    m_err << escapeControls(prompt, true) << QStringLiteral(": ") << Qt::flush;
    QTextStream in(stdin);
    const QString answer = in.readLine();
    if (quiet)
        ::tcsetattr(STDIN_FILENO, TCSANOW, &saved);
    return answer;
}

std::optional<QString> CliContext::password()
{
    if (givenPassword)
        return givenPassword;
    return op->askSecret(QStringLiteral("Password"));
}

Startup CliContext::prepare()
{
    op = std::make_unique<CliOperator>(err, assumeYes, interactive);
    log = std::make_unique<StreamRunLog>(out);
    db = std::make_unique<Database>();
    db->setInterleavingHook(interleaving);
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
    // --user answers the act-as question and nothing after it.
    op->setTextAnswer(QString());
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

void printTable(QTextStream& out, const QStringList& header, const QList<QStringList>& rows, bool tsv)
{
    if (tsv) {
        out << header.join(u'\t') << u'\n';
        for (const QStringList& row : rows)
            out << row.join(u'\t') << u'\n';
        return;
    }
    QList<qsizetype> widths;
    for (const QString& h : header)
        widths.append(h.size());
    for (const QStringList& row : rows) {
        for (int i = 0; i < row.size() && i < widths.size(); ++i)
            widths[i] = std::max(widths[i], row[i].size());
    }
    const auto print = [&](const QStringList& row) {
        QString line;
        for (int i = 0; i < row.size(); ++i)
            line += i + 1 < row.size() ? row[i].leftJustified(widths[i] + 2) : row[i];
        out << line.trimmed() << u'\n';
    };
    print(header);
    for (const QStringList& row : rows)
        print(row);
}

std::optional<bool> tsvFormat(CliContext& ctx, const QCommandLineParser& parser, const QCommandLineOption& format)
{
    const QString shape = parser.isSet(format) ? parser.value(format) : QStringLiteral("text");
    if (shape != u"text" && shape != u"tsv") {
        ctx.err << QStringLiteral("--format takes text or tsv, not \"%1\"").arg(shape) << Qt::endl;
        return std::nullopt;
    }
    return shape == u"tsv";
}

void printClosingLine(CliContext& ctx, const QString& line, bool tsv)
{
    if (tsv) {
        ctx.out.flush();
        ctx.err << line << Qt::endl;
    } else {
        ctx.out << line << Qt::endl;
    }
}

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
    const qsizetype given = parser.positionalArguments().size();
    if (positionals >= 0 ? given != positionals : given < -positionals)
        return commandUsage(ctx, command, usage, false);
    return std::nullopt;
}

namespace {

// A password file holds one line; anything much longer is not one.
constexpr qint64 kMaxPasswordFile = 64 * 1024;

void printHelp(QTextStream& out, const std::vector<std::unique_ptr<Command>>& commands)
{
    out << QStringLiteral("Usage: vocaset-cli [--settings FILE] [--user NAME] [--password-file FILE] [--yes] COMMAND "
                          "[ARGS]\n\n"
                          "Global options:\n"
                          "  --settings FILE       connection settings file (default: ParamDB.txt beside the program)\n"
                          "  --user NAME           act as this user (only for users listed as superuser)\n"
                          "  --password-file FILE  the password of a protected editor tab: the file's first line\n"
                          "  --yes                 answer Yes to every question\n"
                          "  --help                this text; COMMAND --help describes one command\n\n"
                          "A password is taken from --password-file, else from the environment variable ")
        << QLatin1String(kPasswordVariable)
        << QStringLiteral(",\nelse asked on the terminal without echo; it is never given as an option's value.\n\n"
                          "Commands:\n");
    for (const auto& c : commands)
        out << QStringLiteral("  ") << c->name().leftJustified(16) << u' ' << c->summary() << u'\n';
    out << QStringLiteral("\nExit codes: 0 success, 1 the run reported an error, 2 wrong usage, 3 database failure.\n");
    out.flush();
}

} // namespace

int runCli(const QStringList& arguments, QTextStream& out, QTextStream& err, const QString& appDir,
           Database::InterleavingHook interleaving)
{
    const auto commands = allCommands();
    CliContext ctx(out, err);
    ctx.appDir = appDir;
    ctx.interleaving = std::move(interleaving);
    ctx.settingsPath = appDir + QStringLiteral("/ParamDB.txt");
    ctx.interactive = isatty(STDIN_FILENO) != 0;

    QStringList rest;
    QStringList globals;
    QString passwordFile;
    bool help = false;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        if (a == u"--password" || a.startsWith(QLatin1String("--password="))) {
            err << QStringLiteral("--password is not taken: a value on the command line shows in the process list. "
                                  "Give --password-file FILE or the environment variable ")
                << QLatin1String(kPasswordVariable) << Qt::endl;
            return Usage;
        }
        // After the word history, --user names whose changes to list, not whom to act as.
        const bool ownUser = a == u"--user" && rest.value(0) == u"history";
        if (ownUser) {
            rest.append(a);
            continue;
        }
        const bool valued = a == u"--settings" || a == u"--user" || a == u"--password-file";
        if (valued || a == u"--yes") {
            if (globals.contains(a)) {
                err << a << QStringLiteral(" is given more than once") << Qt::endl;
                return Usage;
            }
            globals.append(a);
        }
        if (valued) {
            if (i + 1 >= arguments.size()) {
                err << a << QStringLiteral(" needs a value") << Qt::endl;
                return Usage;
            }
            QString& value = a == u"--settings" ? ctx.settingsPath : a == u"--user" ? ctx.requestedUser : passwordFile;
            value = arguments[++i];
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

    if (globals.contains(QStringLiteral("--password-file"))) {
        QString error;
        const std::optional<QByteArray> bytes = readInputFile(passwordFile, kMaxPasswordFile, &error);
        if (!bytes) {
            err << QStringLiteral("Cannot read the password file ") << error << Qt::endl;
            return Usage;
        }
        ctx.givenPassword = splitLines(decodeText(*bytes)).value(0);
    } else if (qEnvironmentVariableIsSet(kPasswordVariable)) {
        ctx.givenPassword = qEnvironmentVariable(kPasswordVariable);
    }

    // A statement refused anywhere in a command (a damaged file, a lost server) ends it with the
    // engine's text and its own exit code; a conflict with another operator's commit with 1.
    try {
        return chosen->execute(ctx, args);
    } catch (const DbError& e) {
        out.flush();
        err << escapeControls(e.text(), true) << Qt::endl;
        return exitOf(e);
    }
}

} // namespace vocaset::cli
