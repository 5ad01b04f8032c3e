#pragma once

#include "CliCommand.h"

namespace vocaset::cli {

// The provisioning server: telephones fetch their configuration files over HTTP or HTTPS, built from
// the database on each request. Runs until SIGINT or SIGTERM.
class ServeCommand final : public Command
{
public:
    QString name() const override { return QStringLiteral("serve"); }
    QString summary() const override
    {
        return QStringLiteral("serve telephones their configuration files over HTTP(S)");
    }
    int execute(CliContext& ctx, const QStringList& arguments) override;
};

} // namespace vocaset::cli
