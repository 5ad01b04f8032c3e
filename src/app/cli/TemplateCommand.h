#pragma once

#include "CliCommand.h"

namespace vocaset::cli {

// A template model's templates: show, set (checked first), check against the telephones, delete.
class TemplateCommand final : public Command
{
public:
    enum Verb { Show, Set, Check, Delete };
    explicit TemplateCommand(Verb verb) : m_verb(verb) {}
    QString name() const override;
    QString summary() const override;
    int execute(CliContext& ctx, const QStringList& arguments) override;

private:
    Verb m_verb;
};

} // namespace vocaset::cli
