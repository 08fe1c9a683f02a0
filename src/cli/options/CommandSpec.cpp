#include "cli/options/CommandSpec.h"

#include <algorithm>

namespace vantor::cli {

CommandSpec& CommandSpec::with(std::vector<OptionSpec> more)
{
    for (OptionSpec& o : more)
        options.push_back(std::move(o));
    return *this;
}

const OptionSpec* CommandSpec::option(const std::string& optionName) const
{
    for (const OptionSpec& o : options) {
        if (std::find(o.names.begin(), o.names.end(), optionName) != o.names.end())
            return &o;
    }
    return nullptr;
}

std::vector<OptionSpec> CommandSpec::standardOptions()
{
    return {
        {{"h", "help"}, "Show this help: what the command does and its options."},
        {{"help-all"}, "The same help as --help: no option is hidden."},
        {{"V", "version"}, "Print the version and exit."},
    };
}

} // namespace vantor::cli
