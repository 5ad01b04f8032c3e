#pragma once

#include "CliCommand.h"

namespace vocaset::cli {

// The phone-book windows' runs without a window: the same checks, the folder settings as defaults.
class PhoneBookGenerateCommand final : public Command
{
public:
    QString name() const override { return QStringLiteral("phonebook generate"); }
    QString summary() const override
    {
        return QStringLiteral("write a company's GXP2000 address book gs_phonebook.xml");
    }
    int execute(CliContext& ctx, const QStringList& arguments) override;
};

class PhoneBookImportCommand final : public Command
{
public:
    QString name() const override { return QStringLiteral("phonebook import"); }
    QString summary() const override
    {
        return QStringLiteral("bring a company's phone book in line with confUsers.ini");
    }
    int execute(CliContext& ctx, const QStringList& arguments) override;
};

class PhoneBookExportCommand final : public Command
{
public:
    QString name() const override { return QStringLiteral("phonebook export"); }
    QString summary() const override
    {
        return QStringLiteral("write a company's phone book as Phone_Book.csv or a workbook");
    }
    int execute(CliContext& ctx, const QStringList& arguments) override;
};

// Adds or deletes the telephone codes of a numeric interval for a company.
class RangesCommand final : public Command
{
public:
    explicit RangesCommand(bool remove) : m_remove(remove) {}
    QString name() const override { return m_remove ? QStringLiteral("ranges delete") : QStringLiteral("ranges add"); }
    QString summary() const override
    {
        return m_remove ? QStringLiteral("delete a company's telephone codes from N to N")
                        : QStringLiteral("create a company's telephone codes from N to N");
    }
    int execute(CliContext& ctx, const QStringList& arguments) override;

private:
    bool m_remove;
};

} // namespace vocaset::cli
