#pragma once

#include <string>
#include <utility>
#include <vector>

namespace vantor::cli {

// How a profile may set an option: not at all, or by a key of the option's long name holding the one
// TOML type given here (a string, a string or a list of them, a whole number, true or false).
// A Switch set true gives the flag; an OnOff gives "on" or "off" as the option's value.
enum class ProfileValue { None, Text, TextOrList, Number, Switch, OnOff };

// One option of a command, as data: names without dashes (one letter: "-p", longer: "--port"), what
// --help says of it, and for an option that takes a value, the value's name in the help and its
// default. The help, the completion, the profile keys and the man page check are all read from it.
struct OptionSpec
{
    OptionSpec(std::vector<std::string> optionNames, std::string text, std::string value = {},
               std::string defaultText = {}, ProfileValue profileValue = ProfileValue::None)
        : names(std::move(optionNames)), description(std::move(text)), valueName(std::move(value)),
          defaultValue(std::move(defaultText)), profile(profileValue)
    {}

    // The long name (the last one), which the commands ask for and a profile's key spells.
    const std::string& longName() const { return names.back(); }
    bool takesValue() const { return !valueName.empty(); }
    // The values a value name such as "none|even|odd" lists; empty when it is a placeholder ("N").
    std::vector<std::string> choices() const;

    std::vector<std::string> names;
    std::string description;
    std::string valueName;    // empty: a flag without a value
    std::string defaultValue; // what value() gives when the option is not on the line
    ProfileValue profile;     // None: no profile key sets it
};

// An argument after the options: its name in the help, what it is, how the usage line shows it
// ("[COMMAND...]"; the name when empty), and for a file, the names the completion offers
// ("@(VQC|vqc)"; empty: no file).
struct PositionalSpec
{
    std::string name;
    std::string description;
    std::string syntax;
    std::string fileGlob;
};

} // namespace vantor::cli
