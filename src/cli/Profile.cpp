// Profiles: toml++ is used header-only, here alone.
#define TOML_HEADER_ONLY 1
#include "cli/Profile.h"

#include "cli/Usage.h"
#include "hostlink/ControlText.h"

#include <toml++/toml.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>

namespace vantor::cli {

namespace {

constexpr std::uintmax_t maxFileBytes = 1024 * 1024; // a profiles file is a page or two

// Each key a profile may hold: its option, and the one TOML type it takes.
enum class Type { Text, TextOrList, Number, Switch, OnOff };
struct Key
{
    const char* key;
    const char* option;
    Type type;
};
constexpr Key keys[] = {
    {"port", "port", Type::TextOrList},
    {"id", "id", Type::Text},
    {"baud", "baud", Type::Number},
    {"parity", "parity", Type::Text},
    {"data_bits", "data-bits", Type::Number},
    {"data-bits", "data-bits", Type::Number},
    {"stop_bits", "stop-bits", Type::Number},
    {"stop-bits", "stop-bits", Type::Number},
    {"timeout", "timeout", Type::Number},
    {"reset", "reset", Type::Switch},
    {"attempts", "attempts", Type::Number},
    {"record", "record", Type::Text},
    {"dtr", "dtr", Type::OnOff},
    {"rts", "rts", Type::OnOff},
};

const char* typeName(Type type)
{
    switch (type) {
    case Type::Text:
        return "a string";
    case Type::TextOrList:
        return "a string or a list of strings";
    case Type::Number:
        return "a whole number (not negative, no quotes)";
    case Type::Switch:
    case Type::OnOff:
        return "true or false";
    }
    return "";
}

std::string where(const std::string& source, const toml::source_region& region)
{
    return source + ":" + std::to_string(region.begin.line);
}

// The key's value as option values; false when its type is not the key's.
bool valuesOf(const toml::node& node, Type type, std::vector<std::string>* values)
{
    switch (type) {
    case Type::Text:
        if (!node.is_string())
            return false;
        values->push_back(*node.value<std::string>());
        return true;
    case Type::TextOrList:
        if (node.is_string())
            return valuesOf(node, Type::Text, values);
        if (!node.is_array() || node.as_array()->empty())
            return false;
        for (const toml::node& item : *node.as_array()) {
            if (!item.is_string())
                return false;
            values->push_back(*item.value<std::string>());
        }
        return true;
    case Type::Number: {
        const auto number = node.is_integer() ? node.value<std::int64_t>() : std::nullopt;
        if (!number || *number < 0 || *number > std::numeric_limits<int>::max())
            return false;
        values->push_back(std::to_string(*number));
        return true;
    }
    case Type::Switch:
    case Type::OnOff:
        if (!node.is_boolean())
            return false;
        if (type == Type::OnOff)
            values->push_back(*node.value<bool>() ? "on" : "off");
        else if (*node.value<bool>())
            values->push_back("");
        return true;
    }
    return false;
}

// The file's text; false with an error for a file that is missing, too large or no file.
bool readFile(const std::string& path, std::string* text, std::string* error)
{
    namespace fs = std::filesystem;
    const fs::path file = fs::u8path(path);
    std::error_code ec;
    const fs::file_status status = fs::status(file, ec);
    if (!fs::exists(status)) {
        *error = "there is no profiles file " + path + " (see 'vantor help profiles')";
        return false;
    }
    // A FIFO or a device under the name would hold the run, or feed it without end.
    if (!fs::is_regular_file(status) || fs::file_size(file, ec) > maxFileBytes) {
        *error = path + " is not a profiles file: " +
                 (fs::is_regular_file(status) ? "it is larger than 1 MiB" : "it is not a regular file");
        return false;
    }
    std::ifstream in(file, std::ios::binary);
    text->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (!in.good() && !in.eof()) {
        *error = "cannot read " + path;
        return false;
    }
    return true;
}

} // namespace

std::string Profile::defaultPath()
{
#ifdef _WIN32
    const wchar_t* appData = _wgetenv(L"APPDATA");
    if (!appData || !*appData)
        return {};
    return (std::filesystem::path(appData) / "vantor" / "vantor.toml").u8string();
#else
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config && *config == '/')
        return std::string(config) + "/vantor/vantor.toml";
    const char* home = std::getenv("HOME");
    if (!home || !*home)
        return {};
    return std::string(home) + "/.config/vantor/vantor.toml";
#endif
}

OptionSpec Profile::option()
{
    return {{"profile"},
            "Take the options that profile NAME of vantor.toml sets, under those given here (or set "
            "VANTOR_PROFILE); 'vantor help profiles' shows the file.",
            "NAME"};
}

std::string Profile::helpText()
{
    const std::string path = defaultPath();
    return "Profiles keep the options a bench or a line uses, so that they are not retyped every run.\n"
           "vantor upload, send and scan take one with --profile NAME (or VANTOR_PROFILE=NAME) from\n"
#ifdef _WIN32
           "%APPDATA%\\vantor\\vantor.toml"
#else
           "$XDG_CONFIG_HOME/vantor/vantor.toml (~/.config/vantor/vantor.toml)"
#endif
           ", here " +
           (path.empty() ? std::string("(no home folder is set)") : path) +
           ":\n"
           "\n"
           "  [profiles.bench]\n"
           "  port = \"/dev/ttyUSB0\"\n"
           "  baud = 9600\n"
           "  parity = \"even\"\n"
           "  data_bits = 7\n"
           "\n"
           "  [profiles.line3]\n"
           "  port = [\"socket://10.0.3.21:4001\", \"socket://10.0.3.22:4001\"]\n"
           "  id = \"01-04\"\n"
           "  timeout = 300\n"
           "  attempts = 3\n"
           "  reset = true\n"
           "  record = \"/var/log/vantor/line3.jsonl\"\n"
           "\n"
           "  vantor upload --profile line3 conveyor.VQC\n"
           "\n"
           "Keys, named as the long options: port (a string, or a list: one line each), id (a string),\n"
           "baud, data_bits, stop_bits, timeout, attempts (whole numbers), parity and record (strings),\n"
           "reset, dtr and rts (true or false). Options given on the command line win over the\n"
           "profile's (a --port or --id there replaces the profile's), and the profile's port wins over\n"
           "VANTOR_PORT. An unknown key, a wrong type or a broken file is an error naming the file, line\n"
           "and key, and nothing is sent. Without --profile the file is not read at all.\n";
}

std::string Profile::Applied::origin() const
{
    return "profile '" + hostlink::ControlText::escapeControls(name) + "' in " + path;
}

std::string Profile::Applied::blame(const std::string& error) const
{
    for (const std::string& option : options) {
        if (error.rfind("--" + option + " ", 0) == 0)
            return error + " (--" + option + " comes from " + origin() + ")";
    }
    return error;
}

bool Profile::read(const std::string& text, const std::string& source, const std::string& name,
                   std::vector<std::pair<std::string, std::string>>* options, std::string* error)
{
    toml::table file;
    try {
        file = toml::parse(text, source);
    } catch (const toml::parse_error& e) {
        *error = where(source, e.source()) + ": " + std::string(e.description());
        return false;
    }
    const toml::table* profiles = file["profiles"].as_table();
    const toml::table* profile = profiles ? (*profiles)[name].as_table() : nullptr;
    if (!profile) {
        std::string known;
        if (profiles) {
            for (const auto& [key, node] : *profiles)
                known += (known.empty() ? "" : ", ") + std::string(key.str());
        }
        *error = "there is no profile '" + hostlink::ControlText::escapeControls(name) + "' in " + source +
                 (known.empty() ? " (it has no [profiles.NAME] table)" : " (it has: " + known + ")");
        return false;
    }
    for (const auto& [key, node] : *profile) {
        const std::string keyText(key.str());
        const Key* known = nullptr;
        for (const Key& k : keys)
            known = keyText == k.key ? &k : known;
        const std::string at = where(source, key.source()) + ": [profiles." + name + "] " +
                               hostlink::ControlText::escapeControls(keyText);
        if (!known) {
            *error = at + ": no such key; a profile takes port, id, baud, parity, data_bits, stop_bits, "
                          "timeout, reset, attempts, record, dtr and rts";
            return false;
        }
        std::vector<std::string> values;
        if (!valuesOf(node, known->type, &values)) {
            *error =
                at + " must be " + typeName(known->type) + (known->type == Type::Number ? " from 0 up" : "");
            return false;
        }
        for (const std::string& value : values)
            options->emplace_back(known->option, value);
    }
    return true;
}

std::optional<int> Profile::parse(CommandLine& parser, const std::vector<std::string>& arguments,
                                  Applied* applied)
{
    if (const auto early = Usage::parse(parser, arguments))
        return early;
    std::string name = parser.isSet("profile") ? parser.value("profile") : std::string();
    if (!parser.isSet("profile")) {
        if (const char* fromEnvironment = std::getenv("VANTOR_PROFILE"))
            name = fromEnvironment;
    }
    if (name.empty())
        return std::nullopt;
    const std::string path = defaultPath();
    if (path.empty())
        return Usage::fail("profile '" + name + "' asked for, but neither HOME nor XDG_CONFIG_HOME is set");
    std::string text, error;
    std::vector<std::pair<std::string, std::string>> options;
    if (!readFile(path, &text, &error) || !read(text, path, name, &options, &error))
        return Usage::fail(error);
    applied->name = name;
    applied->path = path;
    // The profile's options go first, so that the command line's own, given again, win; a --port or
    // --id on the command line replaces the profile's, which would otherwise add lines to it.
    std::vector<std::string> merged{arguments.front()};
    for (const auto& [option, value] : options) {
        if (!parser.has(option) || parser.isSet(option))
            continue;
        // "--record=-x" keeps a value that starts with a dash a value.
        merged.push_back(option == "reset" ? "--reset" : "--" + option + "=" + value);
        applied->options.insert(option);
    }
    merged.insert(merged.end(), arguments.begin() + 1, arguments.end());
    return Usage::parse(parser, merged);
}

} // namespace vantor::cli
