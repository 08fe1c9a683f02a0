#pragma once

#include "cli/options/CommandLine.h"
#include "cli/options/PortOptions.h"
#include "cli/options/Profile.h"
#include "serial/Result.h"

#include <optional>
#include <string>
#include <vector>

namespace vantor::cli {

// vantor send [port options] COMMAND...: the console's terminal without a window. Each command is
// sent as typed over one opening of the port; standard output gets what the response log would.
// With --frame CMD (and --id), the frames are built as the upload builds them.
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
        bool json = false;
        Profile::Applied profile;
    };
    // Reads the command line into plan; an exit status when the command is done already (help
    // shown, or a usage error said).
    static std::optional<int> readPlan(const std::vector<std::string>& arguments, Plan* plan);
    // Sends the plan's commands over one opening of its port; the exit status.
    static int send(const Plan& plan);
    // The --frame commands as frames for the --id PLC; a failure says which ID or command is bad, in
    // the sentence for the user.
    static serial::Result<> framesFor(const CommandLine& parser, std::vector<std::string>* frames);
};

} // namespace vantor::cli
