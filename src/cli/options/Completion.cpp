#include "cli/options/Completion.h"

#include "cli/ExitStatus.h"
#include "cli/commands/CommandTable.h"
#include "cli/options/OptionValues.h"
#include "cli/output/Usage.h"
#include "serial/PortCatalog.h"
#include "serial/PortKind.h"

#include <cstdio>

namespace vantor::cli {

namespace {

// The rates offered for --baud: those serial adapters and PLCs commonly run at.
const char* const bauds[] = {"1200", "2400", "4800", "9600", "19200", "38400", "57600", "115200"};

// The port names offered: the built-in ones and every port the system lists.
std::vector<std::string> portNames()
{
    std::vector<std::string> names{"SIM"};
    for (const serial::PortKind& kind : serial::PortKind::all())
        names.push_back(kind.prefix());
    for (int n = 1; n <= 8; ++n)
        names.push_back("COM" + std::to_string(n));
    for (const serial::PortInfo& info : serial::PortCatalog::systemPorts())
        names.push_back(info.device);
    return names;
}

// The option a word names ("-p", "--port", "-port"); null for none.
const OptionSpec* optionNamed(const CommandSpec& spec, const std::string& word)
{
    if (word.size() < 2 || word[0] != '-' || word.find('=') != std::string::npos)
        return nullptr;
    return spec.option(word.substr(word[1] == '-' ? 2 : 1));
}

std::vector<std::string> valuesFor(const OptionSpec& option)
{
    if (option.longName() == "port")
        return portNames();
    if (option.longName() == "baud")
        return {std::begin(bauds), std::end(bauds)};
    if (option.valueName == "FILE")
        return {Completion::filesMark};
    return option.choices();
}

} // namespace

std::vector<std::string> Completion::candidates(const std::vector<std::string>& words, std::size_t cword)
{
    std::vector<std::string> offered;
    const std::vector<CommandSpec>& specs = CommandTable::specs();
    if (cword <= 1) {
        for (const CommandSpec& spec : specs)
            offered.push_back(spec.name);
        offered.insert(offered.end(), {"help", "--help", "--version"});
        return offered;
    }
    if (words.size() < 2 || cword > words.size())
        return offered;
    const CommandSpec* spec = nullptr;
    for (const CommandSpec& s : specs)
        spec = s.name == words[1] ? &s : spec;
    if (words[1] == "help" && cword == 2) {
        for (const CommandSpec& s : specs)
            offered.push_back(s.name);
        offered.push_back("profiles");
        return offered;
    }
    if (!spec)
        return offered;
    const std::string current = cword < words.size() ? words[cword] : std::string();
    if (const OptionSpec* option = optionNamed(*spec, words[cword - 1]); option && option->takesValue())
        return valuesFor(*option);
    if (!current.empty() && current[0] == '-') {
        for (const OptionSpec& o : spec->options) {
            for (const std::string& name : o.names)
                offered.push_back((name.size() == 1 ? "-" : "--") + name);
        }
        return offered;
    }
    for (const PositionalSpec& p : spec->positionals) {
        if (!p.fileGlob.empty())
            offered.push_back(std::string(filesMark) + " " + p.fileGlob);
    }
    return offered;
}

int Completion::run(const std::vector<std::string>& arguments)
{
    const auto cword = arguments.size() > 2 ? OptionValues::wholeNumber(arguments[2]) : std::nullopt;
    if (!cword)
        return UsageError;
    const std::vector<std::string> words(arguments.begin() + 3, arguments.end());
    for (const std::string& candidate : candidates(words, static_cast<std::size_t>(*cword)))
        Usage::say(candidate);
    return Success;
}

} // namespace vantor::cli
