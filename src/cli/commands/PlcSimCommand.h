#pragma once

#include "cli/options/CommandSpec.h"
#include "plcsim/PlcFaults.h"
#include "serial/Result.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vantor::cli {

class CommandLine;

// vantor plc-sim [options]: serves a simulated PLC on a pseudo-terminal, or over TCP with --listen,
// until stopped.
class PlcSimCommand
{
public:
    static CommandSpec spec();
    static int run(const std::vector<std::string>& arguments);

private:
    // What the command line asks to serve.
    struct Plan
    {
        std::vector<std::int16_t> ids;
        plcsim::PlcFaults faults;
        bool overTcp = false; // on host:port, else on a pseudo-terminal
        std::string host;
        int port = 0;
        bool verbose = false;
        std::string link; // a symbolic link to the pseudo-terminal to make; empty: none
    };

    // The plan from arguments, or the exit status when the command ends here (help, a usage error).
    static std::optional<int> parse(const std::vector<std::string>& arguments, Plan* plan);
    // Reads the fault options into faults; a failure's message says which option is wrong and what it
    // takes, the sentence for the user.
    static serial::Result<> readFaults(const CommandLine& parser, plcsim::PlcFaults* faults);
    // Serves until Ctrl+C, a kill or a hang-up; returns the exit status.
    static int execute(const Plan& plan);
};

} // namespace vantor::cli
