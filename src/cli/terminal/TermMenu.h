#pragma once

#include <string>
#include <vector>

namespace vantor::cli {

// The keys of `vantor term`'s menu, pressed after Ctrl+T, as a table that both the help and the
// handling read.
class TermMenu
{
public:
    enum class Action { Help, Dtr, Rts, Break, ChangeId, Timestamps, Hex, Quit, Nothing, Unknown };
    struct Entry
    {
        char key;
        Action action;
        const char* what; // for the help: "toggle DTR"
    };

    static const std::vector<Entry>& entries();
    // What key does (either case); Nothing for Ctrl+T itself, Unknown for a key of no entry.
    static Action actionFor(char key);
    // The help, one line per entry: "Ctrl+T d  toggle DTR".
    static std::vector<std::string> helpLines();
};

} // namespace vantor::cli
