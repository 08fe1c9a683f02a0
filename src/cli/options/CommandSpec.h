#pragma once

#include "cli/options/OptionSpec.h"

#include <string>
#include <vector>

namespace vantor::cli {

// A command as data, declared once beside its run: its name and one-line summary for vantor --help,
// the description its own --help starts with, its options in the order the help lists them (the
// standard -h, --help-all and -V first), and its arguments.
struct CommandSpec
{
    std::string name;
    std::string summary;
    std::string description;
    std::vector<OptionSpec> options;
    std::vector<PositionalSpec> positionals;

    // Appends more options after those there are, in their order; returns this spec, for declaring a
    // command in one expression.
    CommandSpec& with(std::vector<OptionSpec> more);
    // The option by any of its names; null when the command has none such.
    const OptionSpec* option(const std::string& optionName) const;
    // -h/--help, --help-all and -V/--version, which every command takes first.
    static std::vector<OptionSpec> standardOptions();
};

} // namespace vantor::cli
