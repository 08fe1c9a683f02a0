#pragma once

#include "cli/CommandLine.h"

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace vantor::cli {

// Parsing shared by the subcommands: help and version, strict values, and usage errors with exit
// status 2. Every message starts with "vantor: ".
class Usage
{
public:
    // -h/--help/--help-all and -V/--version; parse() answers them without doing anything else.
    static void addStandardOptions(CommandLine& parser);
    // Parses; returns an exit status when the command is done already (help shown, or an error).
    static std::optional<int> parse(CommandLine& parser, const std::vector<std::string>& arguments);
    // Prints "vantor: <message>" and a pointer to --help; returns the usage error status.
    static int fail(const std::string& message);

    // The command line as given: bytes, whatever the locale or encoding.
    static std::vector<std::string> arguments(int argc, char* argv[]);

    // A PLC ID on the command line: 1 to 4 hexadecimal digits, blanks around them allowed. Unlike the
    // panel's box, nothing else is taken: on a shared line a typo must not address another PLC.
    static bool strictId(const std::string& text, std::int16_t* id, std::string* error);
    // PLC IDs on one line: items separated by commas, each an ID as strictId takes it or a range
    // LOW-HIGH of them, in the order given ("01,02,05-0A"). An empty item, a range from high to low
    // and an ID named twice (in any spelling or range) are errors.
    static bool strictIdList(const std::string& text, std::vector<std::int16_t>* ids, std::string* error);
    // A timeout as the console's box reads one (blanks around, a fraction rounded, 0 for the
    // fallbacks), but text that is no number at all is an error rather than a silent fallback.
    static bool strictTimeout(const std::string& text, std::string* error);

    // A whole decimal number from 0 to INT_MAX, exactly as typed (a sign allowed, no blanks, nothing
    // after it); nothing for anything else.
    static std::optional<int> wholeNumber(const std::string& text);
    static std::string lower(std::string text);

    // Prints a diagnostic line on standard error: "vantor: <message>". Control characters (in a file or
    // port name, say) are shown as <x1B>, so nothing printed can drive the terminal.
    static void note(const std::string& message);
    // Prints one line on standard output, control characters shown the same way.
    static void say(const std::string& text) { line(stdout, text); }
    // Prints one line on stream, control characters shown the same way.
    static void line(std::FILE* stream, const std::string& text);
    // Once a write to a stream has failed (a closed pipe, a full disk), nothing more is printed there;
    // the command goes on to its end. finish() then flushes both streams and turns a success into
    // OutputFailed when one of them failed, saying so on standard error when that still works.
    static int finish(int status);
};

} // namespace vantor::cli
