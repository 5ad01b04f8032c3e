#pragma once

#include "CliCommand.h"

namespace vocaset::cli {

// Lists the recorded changes, newest first, narrowed by company, telephone, table, user and time.
class HistoryCommand final : public Command
{
public:
    QString name() const override { return QStringLiteral("history"); }
    QString summary() const override { return QStringLiteral("list the changes made through Vocaset, newest first"); }
    int execute(CliContext& ctx, const QStringList& arguments) override;
};

} // namespace vocaset::cli
