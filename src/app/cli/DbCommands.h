#pragma once

#include "CliCommand.h"

namespace vocaset::cli {

class DbCreateCommand final : public Command
{
public:
    QString name() const override { return QStringLiteral("db create"); }
    QString summary() const override { return QStringLiteral("fill an empty working database from the source database"); }
    int execute(CliContext& ctx, const QStringList& arguments) override;
};

class DbUpgradeCommand final : public Command
{
public:
    QString name() const override { return QStringLiteral("db upgrade"); }
    QString summary() const override { return QStringLiteral("start without a window: version check, upgrade, pending patch"); }
    int execute(CliContext& ctx, const QStringList& arguments) override;
};

class DbPatchCommand final : public Command
{
public:
    QString name() const override { return QStringLiteral("db patch"); }
    QString summary() const override { return QStringLiteral("apply a data-patch file now, then archive it beside itself"); }
    int execute(CliContext& ctx, const QStringList& arguments) override;
};

class DbInfoCommand final : public Command
{
public:
    QString name() const override { return QStringLiteral("db info"); }
    QString summary() const override { return QStringLiteral("show the working database's version, language and contents"); }
    int execute(CliContext& ctx, const QStringList& arguments) override;
};

} // namespace vocaset::cli
