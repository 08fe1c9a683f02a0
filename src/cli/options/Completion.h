#pragma once

#include <string>
#include <vector>

namespace vantor::cli {

// What the shell completion offers, read from the commands' declarations so that it cannot drift
// from them: data/vantor.bash-completion asks with the hidden "vantor --complete CWORD WORDS...".
class Completion
{
public:
    // Marks an answer that is no word but a request for file names: "@files GLOB" (GLOB empty: any).
    static constexpr const char* filesMark = "@files";

    // The candidates for words[cword] (words[0] is the tool, words[1] the command; cword may be
    // words.size(), a word not begun): every command, an option's values, every option of the
    // command, or the file names a FILE takes. Unfiltered: the shell keeps those that fit.
    static std::vector<std::string> candidates(const std::vector<std::string>& words, std::size_t cword);
    // arguments: "vantor", "--complete", CWORD, WORDS...; prints the candidates one a line. Exit 0,
    // or 2 when CWORD is no number.
    static int run(const std::vector<std::string>& arguments);
};

} // namespace vantor::cli
