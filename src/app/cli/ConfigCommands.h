#pragma once

#include "CliCommand.h"

namespace vocaset::cli {

// True when the user holds the Config right and the table is one of the user's editor tabs;
// otherwise says why on standard error.
bool editorTabAllowed(CliContext& ctx, const QString& table);

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
