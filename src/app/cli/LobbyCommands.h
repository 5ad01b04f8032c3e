#pragma once

#include "CliCommand.h"

namespace vocaset::cli {

// The telephones that asked the server for a file before any telephone had their MAC.
class LobbyCommand final : public Command
{
public:
    QString name() const override { return QStringLiteral("lobby"); }
    QString summary() const override { return QStringLiteral("list the new telephones that asked for a file"); }
    int execute(CliContext& ctx, const QStringList& arguments) override;
};

// Turns lobby rows into telephones of a company.
class LobbyClaimCommand final : public Command
{
public:
    QString name() const override { return QStringLiteral("lobby claim"); }
    QString summary() const override { return QStringLiteral("make new telephones of the lobby a company's"); }
    int execute(CliContext& ctx, const QStringList& arguments) override;
};

// Removes lobby rows.
class LobbyForgetCommand final : public Command
{
public:
    QString name() const override { return QStringLiteral("lobby forget"); }
    QString summary() const override { return QStringLiteral("remove new telephones from the lobby"); }
    int execute(CliContext& ctx, const QStringList& arguments) override;
};

} // namespace vocaset::cli
