#include "CliCommand.h"
#include "ConfigCommands.h"
#include "DbCommands.h"
#include "ExplainCommand.h"
#include "FleetCommand.h"
#include "LobbyCommands.h"
#include "GenerateCommands.h"
#include "HistoryCommand.h"
#include "PhoneBookCommands.h"
#include "PhonesCommands.h"
#include "RebootCommands.h"
#include "RenameCommand.h"
#include "ServeCommand.h"
#include "TemplateCommand.h"

namespace vocaset::cli {

// Every command of the tool, in the order --help lists them.
std::vector<std::unique_ptr<Command>> allCommands()
{
    std::vector<std::unique_ptr<Command>> c;
    c.push_back(std::make_unique<DbCreateCommand>());
    c.push_back(std::make_unique<DbUpgradeCommand>());
    c.push_back(std::make_unique<DbPatchCommand>());
    c.push_back(std::make_unique<DbInfoCommand>());
    c.push_back(std::make_unique<ConfigCommand>(ConfigCommand::List));
    c.push_back(std::make_unique<ConfigCommand>(ConfigCommand::Set));
    c.push_back(std::make_unique<ConfigCommand>(ConfigCommand::Add));
    c.push_back(std::make_unique<ConfigCommand>(ConfigCommand::Delete));
    c.push_back(std::make_unique<RenameCommand>());
    c.push_back(std::make_unique<HistoryCommand>());
    c.push_back(std::make_unique<GenerateCommand>());
    c.push_back(std::make_unique<DecodeCommand>());
    c.push_back(std::make_unique<ExplainCommand>());
    for (const auto verb :
         {TemplateCommand::Show, TemplateCommand::Set, TemplateCommand::Check, TemplateCommand::Delete})
        c.push_back(std::make_unique<TemplateCommand>(verb));
    c.push_back(std::make_unique<RebootCommand>());
    c.push_back(std::make_unique<ResyncCommand>());
    c.push_back(std::make_unique<ServeCommand>());
    c.push_back(std::make_unique<FleetCommand>());
    c.push_back(std::make_unique<LobbyCommand>());
    c.push_back(std::make_unique<LobbyClaimCommand>());
    c.push_back(std::make_unique<LobbyForgetCommand>());
    c.push_back(std::make_unique<PhoneBookGenerateCommand>());
    c.push_back(std::make_unique<PhoneBookImportCommand>());
    c.push_back(std::make_unique<PhoneBookExportCommand>());
    c.push_back(std::make_unique<RangesCommand>(false));
    c.push_back(std::make_unique<RangesCommand>(true));
    c.push_back(std::make_unique<PhonesImportCommand>());
    c.push_back(std::make_unique<PhonesExportCommand>());
    return c;
}

} // namespace vocaset::cli
