#pragma once

#include "CliCommand.h"

namespace vocaset::cli {

// Telephones of a company and model from a CSV file: checked whole, then written in one transaction.
class PhonesImportCommand final : public Command
{
public:
    QString name() const override { return QStringLiteral("phones import"); }
    QString summary() const override
    {
        return QStringLiteral("add or update a company's telephones of a model from a CSV file");
    }
    int execute(CliContext& ctx, const QStringList& arguments) override;
};

// The same telephones written in the file the import reads.
class PhonesExportCommand final : public Command
{
public:
    QString name() const override { return QStringLiteral("phones export"); }
    QString summary() const override
    {
        return QStringLiteral("write a company's telephones of a model as the CSV file the import reads");
    }
    int execute(CliContext& ctx, const QStringList& arguments) override;
};

} // namespace vocaset::cli
