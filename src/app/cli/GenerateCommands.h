#pragma once

#include <optional>

#include "CliCommand.h"
#include "GenerationChoices.h"

namespace vocaset::cli {

// The generation run without a window: the same selection rules, the model's settings as defaults.
class GenerateCommand final : public Command
{
public:
    QString name() const override { return QStringLiteral("generate"); }
    QString summary() const override
    {
        return QStringLiteral("write the configuration files of a company's telephones");
    }
    int execute(CliContext& ctx, const QStringList& arguments) override;
};

// Reads a GXP2000 binary file back: header fields, whether it holds together, the parameters.
class DecodeCommand final : public Command
{
public:
    QString name() const override { return QStringLiteral("decode"); }
    QString summary() const override { return QStringLiteral("show what a GXP2000 configuration file holds"); }
    int execute(CliContext& ctx, const QStringList& arguments) override;
};

// "PCE" in any order and case; nothing when the text names no level or anything else.
std::optional<LevelChoice> parseLevels(const QString& text);

} // namespace vocaset::cli
