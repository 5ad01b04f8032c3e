#pragma once

#include "CliCommand.h"
#include "GenerationRun.h"

namespace vocaset::cli {

// Where each value of a telephone's file comes from, and what would keep the run from writing it.
class ExplainCommand final : public Command
{
public:
    QString name() const override { return QStringLiteral("explain"); }
    QString summary() const override
    {
        return QStringLiteral("show where each parameter value of a telephone comes from");
    }
    int execute(CliContext& ctx, const QStringList& arguments) override;
};

// generate --dry-run: the run's selection compared with the output folder, nothing written.
// Returns the exit code: Ok when the run would write without refusals.
int runDryRun(CliContext& ctx, const GenerationRequest& request, bool showSecrets);

} // namespace vocaset::cli
