#pragma once

#include "CliCommand.h"

namespace vocaset::cli {

// The configuration editor without a window: the same tabs and rights, passwords, list rule,
// lookups and checks. A record is named by its key columns as COLUMN=VALUE arguments.
class ConfigCommand final : public Command
{
public:
    enum Verb { List, Set, Add, Delete };
    explicit ConfigCommand(Verb verb) : m_verb(verb) {}
    QString name() const override;
    QString summary() const override;
    int execute(CliContext& ctx, const QStringList& arguments) override;

private:
    Verb m_verb;
};

} // namespace vocaset::cli
