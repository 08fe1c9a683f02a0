#include "cli/options/CommandLine.h"

#include <algorithm>
#include <cctype>

namespace vantor::cli {

namespace {

std::string dashed(const std::string& name)
{
    return (name.size() == 1 ? "-" : "--") + name;
}

// One help entry: the names in a column of nameWidth, the description beside it wrapped to end
// before column 79 (at blanks where it can, at explicit line ends always), long names continued below.
// The layout, a first character of each later line that does not count against the width included,
// is the one vantor's help has always had.
std::string wrap(const std::string& names, std::size_t nameWidth, const std::string& description)
{
    const long max = 79 - static_cast<long>(2 + nameWidth + 1);
    std::string text;
    std::size_t nameAt = 0;
    const auto nameSection = [&] {
        std::string section = names.substr(std::min(nameAt, names.size()), nameWidth);
        nameAt += section.size();
        return section;
    };
    const auto space = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
    const long length = static_cast<long>(description.size());
    long lineStart = 0;
    long lastBreakable = -1;
    long x = 0;
    for (long i = 0; i < length; ++i) {
        ++x;
        const char c = description[static_cast<std::size_t>(i)];
        if (space(c))
            lastBreakable = i;
        long breakAt = -1;
        long nextLineStart = -1;
        if (x > max && lastBreakable != -1) {
            breakAt = lastBreakable;
            nextLineStart = lastBreakable + 1;
        } else if ((x > max - 1 && lastBreakable == -1) || i == length - 1) {
            breakAt = i + 1;
            nextLineStart = breakAt;
        } else if (c == '\n') {
            breakAt = i;
            nextLineStart = i + 1;
        }
        if (breakAt == -1)
            continue;
        std::string section = nameSection();
        section.resize(std::max(section.size(), nameWidth), ' ');
        text += "  " + section + " " +
                description.substr(static_cast<std::size_t>(lineStart),
                                   static_cast<std::size_t>(breakAt - lineStart)) +
                "\n";
        x = 0;
        lastBreakable = -1;
        lineStart = nextLineStart;
        if (lineStart < length && space(description[static_cast<std::size_t>(lineStart)]))
            ++lineStart;
        i = lineStart;
    }
    while (nameAt < names.size())
        text += "  " + nameSection() + "\n";
    return text;
}

} // namespace

CommandLine::CommandLine(const CommandSpec& spec)
    : description_(spec.description), options_(spec.options), positionalSpecs_(spec.positionals)
{}

void CommandLine::addOptions(const std::vector<OptionSpec>& options)
{
    for (const OptionSpec& o : options)
        addOption(o);
}

void CommandLine::addPositional(const std::string& name, const std::string& description,
                                const std::string& syntax)
{
    positionalSpecs_.push_back({name, description, syntax, {}});
}

const OptionSpec* CommandLine::find(const std::string& name) const
{
    for (const OptionSpec& o : options_) {
        if (std::find(o.names.begin(), o.names.end(), name) != o.names.end())
            return &o;
    }
    return nullptr;
}

// "-name", "--name", "--name=value" or "--name value", refused with the messages vantor has always
// given.
bool CommandLine::takeOption(const std::vector<std::string>& arguments, std::size_t* i)
{
    const std::string& a = arguments[*i];
    const std::size_t dashes = a[1] == '-' ? 2 : 1;
    const std::size_t equals = a.find('=');
    const std::string name =
        a.substr(dashes, equals == std::string::npos ? std::string::npos : equals - dashes);
    const OptionSpec* option = find(name);
    if (!option || (dashes == 2 && name.size() == 1)) {
        error_ = "unknown option '" + name + "'";
        return false;
    }
    std::vector<std::string>& given = given_[static_cast<std::size_t>(option - options_.data())];
    if (!option->takesValue()) {
        if (equals != std::string::npos) {
            error_ = "unexpected value after '" + a.substr(0, equals) + "'";
            return false;
        }
        given.emplace_back();
        return true;
    }
    if (equals == std::string::npos && *i + 1 == arguments.size()) {
        error_ = "missing value after '" + a + "'";
        return false;
    }
    // "=" keeps a value that starts with a dash a value.
    const std::string value = equals != std::string::npos ? a.substr(equals + 1) : arguments[++*i];
    sequence_.emplace_back(option->longName(), value);
    given.push_back(value);
    return true;
}

bool CommandLine::parse(const std::vector<std::string>& arguments)
{
    command_ = arguments.empty() ? std::string("vantor") : arguments.front();
    error_.clear();
    given_.assign(options_.size(), {});
    positionals_.clear();
    sequence_.clear();
    bool onlyArguments = false;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::string& a = arguments[i];
        if (onlyArguments || a.size() < 2 || a[0] != '-')
            positionals_.push_back(a);
        else if (a == "--")
            onlyArguments = true;
        else if (!takeOption(arguments, &i))
            return false;
    }
    return true;
}

bool CommandLine::isSet(const std::string& name) const
{
    for (std::size_t i = 0; i < options_.size() && i < given_.size(); ++i) {
        const auto& names = options_[i].names;
        if (std::find(names.begin(), names.end(), name) != names.end())
            return !given_[i].empty();
    }
    return false;
}

std::string CommandLine::value(const std::string& name) const
{
    const std::vector<std::string> all = values(name);
    if (!all.empty())
        return all.back();
    const OptionSpec* option = find(name);
    return option ? option->defaultValue : std::string();
}

std::vector<std::string> CommandLine::values(const std::string& name) const
{
    for (std::size_t i = 0; i < options_.size() && i < given_.size(); ++i) {
        const auto& names = options_[i].names;
        if (std::find(names.begin(), names.end(), name) != names.end())
            return given_[i];
    }
    return {};
}

std::string CommandLine::helpText() const
{
    std::string usage = "Usage: " + command_;
    if (!options_.empty())
        usage += " [options]";
    for (const PositionalSpec& p : positionalSpecs_)
        usage += " " + (p.syntax.empty() ? p.name : p.syntax);
    std::string text = usage + "\n";
    if (!description_.empty())
        text += description_ + "\n";
    text += "\n";
    std::vector<std::string> names;
    std::size_t longest = 0;
    for (const OptionSpec& o : options_) {
        std::string shown;
        for (const std::string& n : o.names)
            shown += (shown.empty() ? "" : ", ") + dashed(n);
        if (!o.valueName.empty())
            shown += " <" + o.valueName + ">";
        longest = std::max(longest, shown.size());
        names.push_back(shown);
    }
    for (const PositionalSpec& p : positionalSpecs_)
        longest = std::max(longest, p.name.size());
    const std::size_t nameWidth = std::min<std::size_t>(50, longest + 1);
    if (!options_.empty())
        text += "Options:\n";
    for (std::size_t i = 0; i < options_.size(); ++i)
        text += wrap(names[i], nameWidth, options_[i].description);
    if (!positionalSpecs_.empty()) {
        if (!options_.empty())
            text += "\n";
        text += "Arguments:\n";
        for (const PositionalSpec& p : positionalSpecs_)
            text += wrap(p.name, nameWidth, p.description);
    }
    return text;
}

} // namespace vantor::cli
