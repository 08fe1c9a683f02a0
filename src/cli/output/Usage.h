#pragma once

#include "cli/options/CommandLine.h"
#include "upload/UploadReporter.h"

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace vantor::cli {

// What the commands print and how they end: help and version, usage errors with exit status 2, and
// every diagnostic ("vantor: " first) and line of output, shown safely on a terminal. The checks of
// option values are OptionValues'.
class Usage
{
public:
    // Parses; returns an exit status when the command is done already (help shown, or an error).
    // -h/--help/--help-all and -V/--version (CommandSpec::standardOptions) are answered before
    // anything else, a wrong option on the same line included.
    static std::optional<int> parse(CommandLine& parser, const std::vector<std::string>& arguments);
    // Prints "vantor: <message>" and a pointer to --help; returns the usage error status.
    static int fail(const std::string& message);

    // The command line as given: bytes, whatever the locale or encoding.
    static std::vector<std::string> arguments(int argc, char* argv[]);

    // What an upload's detail advises trying, as this tool's command or option: "vantor scan",
    // "--attempts 3", "--timeout 1000" (see UploadReporter::remedy).
    static std::string remedy(upload::UploadReporter::Remedy which, int value);

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
