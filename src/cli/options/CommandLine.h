#pragma once

#include "cli/options/CommandSpec.h"

#include <string>
#include <utility>
#include <vector>

namespace vantor::cli {

// A command's options and arguments, parsed with the conventions vantor has always had:
// a single dash before a word is a long option ("-port SIM" as "--port SIM"), a value may follow as
// the next argument or after "=", anything after "--" is an argument, an option given twice takes
// its last value, and the help text lays out options and arguments in two columns wrapped at 79.
// Arguments are bytes and pass through unchanged, whatever the locale.
class CommandLine
{
public:
    explicit CommandLine(std::string description) : description_(std::move(description)) {}
    // The command's declared description, options and arguments.
    explicit CommandLine(const CommandSpec& spec);

    void addOption(OptionSpec option) { options_.push_back(std::move(option)); }
    void addOptions(const std::vector<OptionSpec>& options);
    // syntax: how the usage line shows it ("COMMAND..."); the name when empty.
    void addPositional(const std::string& name, const std::string& description,
                       const std::string& syntax = {});

    // arguments[0] names the command in the help ("vantor upload"). False with errorText() for an
    // unknown option, a missing value or a value given to a flag.
    bool parse(const std::vector<std::string>& arguments);
    const std::string& errorText() const { return error_; }

    // Whether the command takes this option at all, by any of its names.
    bool has(const std::string& name) const { return find(name) != nullptr; }
    // By any of the option's names.
    bool isSet(const std::string& name) const;
    // The last value given, or the default.
    std::string value(const std::string& name) const;
    // Every value given, in order.
    std::vector<std::string> values(const std::string& name) const;
    // Every option that takes a value, as given, in the order of the line: (its long name, the value).
    const std::vector<std::pair<std::string, std::string>>& sequence() const { return sequence_; }
    const std::vector<std::string>& positionals() const { return positionals_; }

    std::string helpText() const;

private:
    const OptionSpec* find(const std::string& name) const;
    // Takes the option at arguments[*i] (and its value, moving *i past it); false with error_ set.
    bool takeOption(const std::vector<std::string>& arguments, std::size_t* i);

    std::string description_;
    std::vector<OptionSpec> options_;
    std::vector<PositionalSpec> positionalSpecs_;
    std::string command_;
    std::string error_;
    std::vector<std::vector<std::string>> given_; // per option, the values given (flags: "" each time)
    std::vector<std::string> positionals_;
    std::vector<std::pair<std::string, std::string>> sequence_;
};

} // namespace vantor::cli
