// What is derived from the commands' declarations, checked against them so that it cannot drift: the
// shell completion offers every command and every option of each, the man page lists every option,
// and vantor help profiles names every profile key.
#include "cli/commands/CommandTable.h"
#include "cli/options/Profile.h"
#include "support/ChildProcess.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>
#include <sstream>

using namespace vantor;

namespace {

// What the installed completion script answers for the words, the last one being completed, in bash
// with just enough of bash-completion's helpers: COMPREPLY, one per line.
std::vector<std::string> completions(std::vector<std::string> words)
{
    const std::string driver =
        "_init_completion() { words=(\"${COMP_WORDS[@]}\"); cword=$COMP_CWORD; cur=${COMP_WORDS[COMP_CWORD]};"
        " prev=${COMP_WORDS[COMP_CWORD-1]}; }\n"
        "_filedir() { COMPREPLY=(\"(files $1)\"); }\n"
        "source \"" VANTOR_COMPLETION "\"\n"
        "COMP_WORDS=(\"$@\"); COMP_CWORD=$(($# - 1)); _vantor; printf '%s\\n' \"${COMPREPLY[@]}\"\n";
    words.insert(words.begin(), {"-c", driver, "bash", VANTOR_TOOL});
    test::ChildProcess bash;
    bash.start("/bin/bash", words);
    bash.closeStdin();
    bash.waitFinished(20000);
    std::vector<std::string> offered;
    std::istringstream lines(bash.out());
    for (std::string line; std::getline(lines, line);)
        offered.push_back(line);
    return offered;
}

std::string dashed(const std::string& name)
{
    return (name.size() == 1 ? "-" : "--") + name;
}

bool has(const std::vector<std::string>& list, const std::string& item)
{
    return std::find(list.begin(), list.end(), item) != list.end();
}

} // namespace

TEST(Declarations, TheCompletionOffersEveryCommandAndEveryOptionOfEach)
{
    const auto commands = completions({""});
    for (const cli::CommandSpec& command : cli::CommandTable::specs()) {
        SCOPED_TRACE(command.name);
        EXPECT_TRUE(has(commands, command.name));
        const auto options = completions({command.name, "-"});
        for (const cli::OptionSpec& option : command.options) {
            for (const std::string& name : option.names)
                EXPECT_TRUE(has(options, dashed(name))) << dashed(name);
        }
    }
}

TEST(Declarations, TheManPageListsEveryOptionOfEachCommand)
{
    std::ifstream in(VANTOR_MAN_PAGE);
    const std::string page((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_FALSE(page.empty());
    for (const cli::CommandSpec& command : cli::CommandTable::specs()) {
        SCOPED_TRACE(command.name);
        for (const cli::OptionSpec& option : command.options) {
            // As roff writes it: every dash escaped, and no letter or dash right after the name.
            std::string written = dashed(option.longName());
            for (std::size_t at = 0; (at = written.find('-', at)) != std::string::npos; at += 2)
                written.insert(at, "\\");
            bool found = false;
            for (std::size_t at = 0; !found && (at = page.find(written, at)) != std::string::npos; ++at) {
                const char next = at + written.size() < page.size() ? page[at + written.size()] : ' ';
                found = !std::isalnum(static_cast<unsigned char>(next)) && next != '\\';
            }
            EXPECT_TRUE(found) << written;
        }
    }
}

TEST(Declarations, HelpProfilesNamesEveryProfileKey)
{
    const std::string help = cli::Profile::helpText();
    for (const cli::CommandSpec& command : cli::CommandTable::specs()) {
        for (const cli::OptionSpec& option : command.options) {
            std::string key = option.longName();
            std::replace(key.begin(), key.end(), '-', '_');
            if (option.profile != cli::ProfileValue::None) {
                EXPECT_NE(help.find(key), std::string::npos) << key;
            }
        }
    }
}
