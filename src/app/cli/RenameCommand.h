#pragma once

#include "CliCommand.h"

namespace vocaset::cli {

// Gives a company, a model or a telephone a new code in every table and settings row that names it.
class RenameCommand final : public Command
{
public:
    QString name() const override { return QStringLiteral("rename"); }
    QString summary() const override
    {
        return QStringLiteral("give a company, a model or a telephone a new code everywhere it stands");
    }
    int execute(CliContext& ctx, const QStringList& arguments) override;
};

} // namespace vocaset::cli
