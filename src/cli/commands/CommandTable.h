#pragma once

#include "cli/options/CommandSpec.h"

#include <string>
#include <vector>

namespace vantor::cli {

// Every command of the tool once, in the order vantor --help lists them: its declaration and what
// runs it. The top-level help, the completion and the profile keys are read from here.
class CommandTable
{
public:
    struct Command
    {
        CommandSpec (*spec)();
        int (*run)(const std::vector<std::string>& arguments);
    };
    static const std::vector<Command>& commands();
    // Each command's declaration, made once.
    static const std::vector<CommandSpec>& specs();
    // The command named so; null for none.
    static const Command* find(const std::string& name);
};

} // namespace vantor::cli
