#pragma once

#include "cli/options/CommandLine.h"
#include "cli/options/PortOptions.h"
#include "cli/options/Profile.h"
#include "serial/Result.h"

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace vantor::console {
class SerialConsole;
}

namespace vantor::cli {

// vantor send [port options] COMMAND...: the console's terminal without a window. Each command is
// sent as typed over one opening of the port; standard output gets what the response log would.
// With --frame CMD (and --id), the frames are built as the upload builds them. With "-" or --file
// FILE the commands are read one per line and each is sent as soon as it is read.
class SendCommand
{
public:
    static CommandSpec spec();
    static int run(const std::vector<std::string>& arguments);

private:
    // What the command line asks for: the port, and the commands as they go onto the line.
    struct Plan
    {
        PortOptions port;
        std::vector<std::string> commands;
        // Where the commands are read from, one per line, as they are sent: a file, or "-" for
        // standard input; empty when they are in commands.
        std::string commandFile;
        bool json = false;
        Profile::Applied profile;
    };
    // Reads the command line into plan; an exit status when the command is done already (help
    // shown, or a usage error said).
    static std::optional<int> readPlan(const std::vector<std::string>& arguments, Plan* plan);
    // Sends the plan's commands over one opening of its port; the exit status.
    static int send(const Plan& plan);
    // Sends one command and prints what came of it; the exit status when sending must end here.
    static std::optional<int> exchange(console::SerialConsole& console, const std::string& command, bool json,
                                       bool terminal, int* status);
    // Sends the commands of in (named name in messages) as they are read; the exit status.
    static int sendFromFile(console::SerialConsole& console, std::FILE* in, const std::string& name,
                            bool json, bool terminal);
    // The --frame commands as frames for the --id PLC; a failure says which ID or command is bad, in
    // the sentence for the user.
    static serial::Result<> framesFor(const CommandLine& parser, std::vector<std::string>* frames);
};

} // namespace vantor::cli
