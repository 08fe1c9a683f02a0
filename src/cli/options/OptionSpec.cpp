#include "cli/options/OptionSpec.h"

namespace vantor::cli {

std::vector<std::string> OptionSpec::choices() const
{
    std::vector<std::string> values;
    if (valueName.find('|') == std::string::npos)
        return values;
    std::size_t start = 0;
    for (std::size_t bar; (bar = valueName.find('|', start)) != std::string::npos; start = bar + 1)
        values.push_back(valueName.substr(start, bar - start));
    values.push_back(valueName.substr(start));
    return values;
}

} // namespace vantor::cli
