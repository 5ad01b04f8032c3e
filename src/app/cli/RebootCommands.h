#pragma once

#include "CliCommand.h"
#include "HttpExchange.h"

namespace vocaset::cli {

// Restarts a range of telephones, as the reboot window does, with the log on standard output.
class RebootCommand final : public Command
{
public:
    // The deadline of each exchange with a telephone, and the time between two looks at the fetches
    // recorded while --confirm waits; tests shorten them.
    explicit RebootCommand(int deadlineMs = HttpExchange::kDefaultDeadlineMs, int pollMs = 1000)
        : m_deadlineMs(deadlineMs), m_pollMs(pollMs)
    {
    }

    QString name() const override { return QStringLiteral("reboot"); }
    QString summary() const override
    {
        return QStringLiteral("restart a range of telephones so they load their new files");
    }
    int execute(CliContext& ctx, const QStringList& arguments) override;

private:
    int m_deadlineMs;
    int m_pollMs;
};

// Asks telephones over SIP to check their configuration, with the log on standard output.
class ResyncCommand final : public Command
{
public:
    // The SIP transactions' base interval, and the time between two looks at the fetches recorded
    // while --confirm waits; tests shorten them.
    explicit ResyncCommand(int t1Ms = 500, int pollMs = 1000) : m_t1Ms(t1Ms), m_pollMs(pollMs) {}

    QString name() const override { return QStringLiteral("resync"); }
    QString summary() const override
    {
        return QStringLiteral("ask telephones over SIP to fetch their new files, without their passwords");
    }
    int execute(CliContext& ctx, const QStringList& arguments) override;

private:
    int m_t1Ms;
    int m_pollMs;
};

} // namespace vocaset::cli
