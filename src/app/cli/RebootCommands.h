#pragma once

#include "CliCommand.h"
#include "HttpExchange.h"

namespace vocaset::cli {

// Restarts a range of telephones, as the reboot window does, with the log on standard output.
class RebootCommand final : public Command
{
public:
    // The deadline of each exchange with a telephone; tests shorten it.
    explicit RebootCommand(int deadlineMs = HttpExchange::kDefaultDeadlineMs) : m_deadlineMs(deadlineMs) {}

    QString name() const override { return QStringLiteral("reboot"); }
    QString summary() const override
    {
        return QStringLiteral("restart a range of telephones so they load their new files");
    }
    int execute(CliContext& ctx, const QStringList& arguments) override;

private:
    int m_deadlineMs;
};

} // namespace vocaset::cli
