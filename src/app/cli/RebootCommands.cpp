#include "RebootCommands.h"

#include <atomic>
#include <csignal>
#include <functional>
#include <fcntl.h>
#include <unistd.h>

#include <QCommandLineParser>
#include <QSocketNotifier>

#include "DbCommands.h"
#include "FetchConfirmation.h"
#include "RebootRun.h"
#include "ResyncRun.h"

namespace vocaset::cli {
namespace {

// Ctrl-C reaches the run through a pipe that the event loop watches: the signal handler only
// writes one byte, and the run's waits see the pipe like any other event.
int g_interruptPipe[2] = {-1, -1};

void onInterrupt(int)
{
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(g_interruptPipe[1], &byte, 1);
}

class InterruptAsAbort final
{
public:
    explicit InterruptAsAbort(std::function<void()> abort, QTextStream& err)
    {
        if (::pipe2(g_interruptPipe, O_CLOEXEC | O_NONBLOCK) != 0)
            return;
        m_notifier = std::make_unique<QSocketNotifier>(g_interruptPipe[0], QSocketNotifier::Read);
        QObject::connect(m_notifier.get(), &QSocketNotifier::activated, m_notifier.get(), [abort = std::move(abort), &err] {
            char buffer[16];
            while (::read(g_interruptPipe[0], buffer, sizeof buffer) > 0) {
            }
            err << QStringLiteral("Interrupted: the run ends after the current telephone (Ctrl-C again ends at once).")
                << Qt::endl;
            abort();
        });
        struct sigaction action = {};
        action.sa_handler = onInterrupt;
        // A second Ctrl-C ends the program the usual way.
        action.sa_flags = SA_RESETHAND;
        sigemptyset(&action.sa_mask);
        m_installed = ::sigaction(SIGINT, &action, &m_previous) == 0;
    }
    ~InterruptAsAbort()
    {
        if (m_installed)
            ::sigaction(SIGINT, &m_previous, nullptr);
        m_notifier.reset();
        for (int& fd : g_interruptPipe) {
            if (fd >= 0)
                ::close(fd);
            fd = -1;
        }
    }
    Q_DISABLE_COPY_MOVE(InterruptAsAbort)

private:
    std::unique_ptr<QSocketNotifier> m_notifier;
    struct sigaction m_previous = {};
    bool m_installed = false;
};

const QString kUsage = QStringLiteral(
    "--company CO --model EQ --from PH --to PH [--no-wait-busy] [--confirm SECONDS]\n"
    "  --company CO     company code\n"
    "  --model EQ       equipment model code\n"
    "  --from PH        first telephone code of the range\n"
    "  --to PH          last telephone code of the range\n"
    "  --no-wait-busy   leave a busy telephone instead of asking it again every 5 seconds\n"
    "  --confirm SECONDS  then wait up to SECONDS for each restarted telephone's next fetch (120 suits most)\n"
    "Each telephone's lines are printed as they come; Ctrl-C ends the run after the current telephone.\n"
    "Ends with a line of telephones selected, restarted and failed. Exit 1 when a telephone was not restarted, no\n"
    "telephone matched, the run stopped on an equipment it cannot resolve, was interrupted, or showed a message,\n"
    "and with --confirm when a telephone did not fetch its current file in time.");

const QString kResyncUsage = QStringLiteral(
    "--company CO --model EQ [--from PH] [--to PH] [--stale] [--address fetch] [--confirm SECONDS]\n"
    "  --company CO     company code\n"
    "  --model EQ       equipment model code\n"
    "  --from PH        first telephone code (default: the model's first)\n"
    "  --to PH          last telephone code (default: the model's last)\n"
    "  --stale          only the telephones the fleet lists as stale\n"
    "  --address fetch  send to the client address of each telephone's last recorded fetch\n"
    "  --confirm SECONDS  then wait up to SECONDS for each telephone's next fetch (120 suits most)\n"
    "Sends each telephone a SIP NOTIFY over UDP with the event of the model's $$NOTIFY setting, to\n"
    "sip:USER@ADDRESS:PORT (USER the parameter $$SIPUSER names, PORT $$SIPPORT or 5060); a 401 or 407 gets one\n"
    "answer with the parameters $$SIPAUTH and $$SIPPWD name. Ctrl-C ends the run. Ends with a line of telephones\n"
    "selected, restarted and failed; exit 1 when a telephone did not accept, none matched, the model has no\n"
    "$$NOTIFY setting, the run was interrupted, or with --confirm a telephone did not fetch its current file.\n"
    "A confirmation line per telephone: \"confirmed: fetched the current file at T\", \"fetched, but not the\n"
    "current file\" or \"no fetch within N s\"; the wait reads the fetches every server records.");

QCommandLineOption confirmOption()
{
    return QCommandLineOption(QStringLiteral("confirm"), {}, QStringLiteral("SECONDS"));
}

// The seconds --confirm asks for: 0 when not given, nothing when it is not a number of seconds from
// 1 to a day.
std::optional<int> confirmSeconds(const QCommandLineParser& parser, const QCommandLineOption& option)
{
    if (!parser.isSet(option))
        return 0;
    bool ok = false;
    const int seconds = parser.value(option).toInt(&ok);
    if (!ok || seconds < 1 || seconds > 86400)
        return std::nullopt;
    return seconds;
}

// After the restarts: waits for the next fetch of each telephone that accepted, one line each as
// the outcome is known, then the counts. True when every one fetched its current file.
bool confirmRestarts(CliContext& ctx, FetchConfirmation& confirmation, const QString& company,
                     const QStringList& codes, int seconds)
{
    ctx.out.flush();
    ctx.err << QStringLiteral("Waiting up to %1 s for the next fetch of %2 telephone(s); Ctrl-C ends the wait.")
                   .arg(seconds)
                   .arg(codes.size())
            << Qt::endl;
    const FetchConfirmation::Summary summary = confirmation.wait(company, codes, seconds);
    ctx.out.flush();
    ctx.err << summary.line() << Qt::endl;
    return summary.unconfirmed() == 0 && !summary.aborted;
}

// The company and the model must be ones the reboot window would offer: Usage when not.
std::optional<int> unknownChoice(CliContext& ctx, const QString& company, const QString& model)
{
    if (!containsCode(companyEntries(ctx.session->db), company)) {
        ctx.err << QStringLiteral("No company ") << company << Qt::endl;
        return Usage;
    }
    if (!containsCode(modelEntries(ctx.session->db, company), model)) {
        ctx.err << QStringLiteral("Company ") << company << QStringLiteral(" has no telephone of model ") << model
                << Qt::endl;
        return Usage;
    }
    return std::nullopt;
}

// A reboot or a resync: started with Ctrl-C as its abort, its closing line printed, then the wait
// for the next fetches when confirmFor asks for one. The exit code.
template <typename Run, typename Start>
int restart(CliContext& ctx, Run& run, const Start& start, const QString& company, int confirmFor, int pollMs)
{
    FetchConfirmation confirmation(*ctx.session, *ctx.log, pollMs);
    InterruptAsAbort interrupt(
        [&run, &confirmation] {
            run.abort();
            confirmation.abort();
        },
        ctx.err);
    const int shownBefore = ctx.op->shown();
    confirmation.begin();
    const RebootRun::Outcome outcome = start();
    ctx.out.flush();
    if (outcome == RebootRun::Outcome::Aborted)
        ctx.err << QStringLiteral("Run aborted.") << Qt::endl;
    const RebootRun::Summary& summary = run.summary();
    ctx.err << summary.line() << Qt::endl;
    const bool confirmed = confirmFor == 0 || outcome != RebootRun::Outcome::Completed ||
                           confirmRestarts(ctx, confirmation, company, summary.accepted, confirmFor);
    if (outcome != RebootRun::Outcome::Completed || summary.selected == 0 || summary.failures() > 0 ||
        ctx.op->shown() > shownBefore || !confirmed)
        return RunFailed;
    return Ok;
}

} // namespace

int ResyncCommand::execute(CliContext& ctx, const QStringList& arguments)
{
    QCommandLineParser parser;
    const QCommandLineOption company(QStringLiteral("company"), {}, QStringLiteral("CO"));
    const QCommandLineOption model(QStringLiteral("model"), {}, QStringLiteral("EQ"));
    const QCommandLineOption from(QStringLiteral("from"), {}, QStringLiteral("PH"));
    const QCommandLineOption to(QStringLiteral("to"), {}, QStringLiteral("PH"));
    const QCommandLineOption stale(QStringLiteral("stale"));
    const QCommandLineOption address(QStringLiteral("address"), {}, QStringLiteral("fetch"));
    const QCommandLineOption confirm = confirmOption();
    parser.addOptions({company, model, from, to, stale, address, confirm});
    if (const auto done = parseCommandLine(ctx, *this, parser, arguments, kResyncUsage))
        return *done;
    const std::optional<int> confirmFor = confirmSeconds(parser, confirm);
    if (!parser.isSet(company) || !parser.isSet(model) || !confirmFor ||
        (parser.isSet(address) && parser.value(address) != u"fetch"))
        return commandUsage(ctx, *this, kResyncUsage, false);

    if (const auto failed = ctx.start())
        return *failed;
    if (!ctx.allowed(QStringLiteral("Reboot")))
        return RunFailed;

    try {
        ResyncRun run(*ctx.session, *ctx.log, m_t1Ms);
        if (const auto unknown = unknownChoice(ctx, parser.value(company), parser.value(model)))
            return *unknown;
        // A model the run cannot resolve ends it as the reboot's does.
        if (const QString refused = run.refusal(parser.value(model)); !refused.isEmpty()) {
            ctx.err << refused << Qt::endl;
            return RunFailed;
        }
        return restart(
            ctx, run,
            [&] {
                return run.run({parser.value(company), parser.value(model), parser.value(from), parser.value(to),
                                parser.isSet(stale), parser.isSet(address)});
            },
            parser.value(company), *confirmFor, m_pollMs);
    } catch (const DbError& e) {
        ctx.err << e.text() << Qt::endl;
        return DatabaseFailed;
    }
}

int RebootCommand::execute(CliContext& ctx, const QStringList& arguments)
{
    QCommandLineParser parser;
    const QCommandLineOption company(QStringLiteral("company"), {}, QStringLiteral("CO"));
    const QCommandLineOption model(QStringLiteral("model"), {}, QStringLiteral("EQ"));
    const QCommandLineOption from(QStringLiteral("from"), {}, QStringLiteral("PH"));
    const QCommandLineOption to(QStringLiteral("to"), {}, QStringLiteral("PH"));
    const QCommandLineOption noWait(QStringLiteral("no-wait-busy"));
    const QCommandLineOption confirm = confirmOption();
    parser.addOptions({company, model, from, to, noWait, confirm});
    if (const auto done = parseCommandLine(ctx, *this, parser, arguments, kUsage))
        return *done;
    const std::optional<int> confirmFor = confirmSeconds(parser, confirm);
    if (!parser.isSet(company) || !parser.isSet(model) || !parser.isSet(from) || !parser.isSet(to) || !confirmFor)
        return commandUsage(ctx, *this, kUsage, false);

    if (const auto failed = ctx.start())
        return *failed;
    if (!ctx.allowed(QStringLiteral("Reboot")))
        return RunFailed;

    try {
        RebootRun run(*ctx.session, *ctx.log, m_deadlineMs);
        if (const auto unknown = unknownChoice(ctx, parser.value(company), parser.value(model)))
            return *unknown;
        run.setWaitIfBusy(!parser.isSet(noWait));
        return restart(
            ctx, run,
            [&] { return run.run(parser.value(company), parser.value(model), parser.value(from), parser.value(to)); },
            parser.value(company), *confirmFor, m_pollMs);
    } catch (const DbError& e) {
        ctx.err << e.text() << Qt::endl;
        return DatabaseFailed;
    }
}

} // namespace vocaset::cli
