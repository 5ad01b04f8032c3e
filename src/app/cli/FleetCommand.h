#pragma once

#include "CliCommand.h"

namespace vocaset::cli {

// Which telephones hold the configuration the server would send them now.
class FleetCommand final : public Command
{
public:
    QString name() const override { return QStringLiteral("fleet"); }
    QString summary() const override
    {
        return QStringLiteral("list the telephones as current, stale or never fetched from the server");
    }
    int execute(CliContext& ctx, const QStringList& arguments) override;
};

} // namespace vocaset::cli
