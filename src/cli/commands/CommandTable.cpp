#include "cli/commands/CommandTable.h"

#include "cli/commands/CheckCommand.h"
#include "cli/commands/PlcSimCommand.h"
#include "cli/commands/PortsCommand.h"
#include "cli/commands/ScanCommand.h"
#include "cli/commands/SendCommand.h"
#include "cli/commands/TermCommand.h"
#include "cli/commands/UploadCommand.h"

namespace vantor::cli {

const std::vector<CommandTable::Command>& CommandTable::commands()
{
    static const std::vector<Command> table{
        {UploadCommand::spec, UploadCommand::run}, {CheckCommand::spec, CheckCommand::run},
        {SendCommand::spec, SendCommand::run},     {TermCommand::spec, TermCommand::run},
        {PortsCommand::spec, PortsCommand::run},   {ScanCommand::spec, ScanCommand::run},
        {PlcSimCommand::spec, PlcSimCommand::run},
    };
    return table;
}

const std::vector<CommandSpec>& CommandTable::specs()
{
    static const std::vector<CommandSpec> all = [] {
        std::vector<CommandSpec> made;
        for (const Command& command : commands())
            made.push_back(command.spec());
        return made;
    }();
    return all;
}

const CommandTable::Command* CommandTable::find(const std::string& name)
{
    const std::vector<CommandSpec>& all = specs();
    for (std::size_t i = 0; i < all.size(); ++i) {
        if (all[i].name == name)
            return &commands()[i];
    }
    return nullptr;
}

} // namespace vantor::cli
