#pragma once

#include <cstdio>

namespace vantor::cli {

// Whether a standard stream goes to a terminal (a person) rather than a file or a pipe (a script).
class Terminal
{
public:
    static bool isTerminal(std::FILE* stream);
    // Whether stream is a terminal that moves the cursor up and clears a line on the ANSI sequences
    // (not TERM=dumb; on Windows, a console that takes them once asked to).
    static bool movesCursor(std::FILE* stream);

    // Run first thing: gives each of standard input, output and error that is closed a /dev/null, so
    // that no port or lock file the program opens later becomes one of them, and ignores SIGPIPE, so
    // that a reader that goes away (| head -1) makes writes fail instead of killing the program in the
    // middle of the PLC's sequence; SIGXFSZ likewise, for a file size limit.
    static void prepareStandardStreams();
};

} // namespace vantor::cli
