#pragma once

#include "cli/options/CommandLine.h"
#include "serial/Result.h"

#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace vantor::cli {

// Named sets of options kept in a TOML file, so that a bench's port, baud rate, timeout and IDs are
// not retyped every run:
//
//   [profiles.line3]
//   port = ["socket://10.0.3.21:4001", "socket://10.0.3.22:4001"]   # or one string
//   id = "01-04"
//   baud = 19200
//   timeout = 300
//   attempts = 3
//   record = "/var/log/vantor/line3.jsonl"
//   tags = { line = "3", site = "north" }
//
// Keys are the long options' names (data_bits or data-bits, stop_bits or stop-bits); each has one
// type, and anything else in a profile (an unknown key, a wrong type, a table other than tags) is an
// error naming the file, line and key, before anything is sent. Options on the command line win over
// the profile's; the profile's port wins over VANTOR_PORT, since it becomes a --port. The tags table
// (strings, keys as RecordStamp::validKey) gives one --tag KEY=VALUE each, which the command line's
// --tag values add to rather than replace. A key the command does not take (reset, for send) is left
// out for it.
class Profile
{
public:
    // $XDG_CONFIG_HOME/vantor/vantor.toml, or ~/.config/vantor/vantor.toml; %APPDATA%\vantor\vantor.toml
    // on Windows. Empty when none of those variables is set.
    static std::string defaultPath();

    // What a profile gave the command line: its name, its file and the options it set.
    struct Applied
    {
        std::string name;
        std::string path;
        std::set<std::string> options; // long names, without dashes
        bool sets(const std::string& option) const { return options.count(option) != 0; }
        // "profile 'line3' in PATH"
        std::string origin() const;
        // An error about an option the profile set, followed by where it was set.
        std::string blame(const std::string& error) const;
    };

    // Usage::parse, with the profile that --profile (or VANTOR_PROFILE) names merged under the
    // command line's own options. Returns an exit status when the command is done already (help shown,
    // or an error); applied gets the profile used, if any.
    static std::optional<int> parse(CommandLine& parser, const std::vector<std::string>& arguments,
                                    Applied* applied);

    // The options profile name in the TOML text sets, as (long name, value) pairs in the file's order
    // (a switch set true has an empty value and one set false is left out; a list of ports gives one
    // pair each). A failure's message is the sentence naming source, line and key, also for a key or
    // table name of more than a few dozen dotted parts, which the parser would recurse into until the
    // stack overflows. source names the text in messages.
    static serial::Result<> read(const std::string& text, const std::string& source, const std::string& name,
                                 std::vector<std::pair<std::string, std::string>>* options);

    // The profile option every command that takes one adds.
    static OptionSpec option();
    // What 'vantor help profiles' prints: where the file is, an example, the keys and the rules.
    static std::string helpText();
};

} // namespace vantor::cli
