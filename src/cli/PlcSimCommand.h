#pragma once

#include "plcsim/SimulatedPlc.h"

#include <string>
#include <vector>

namespace vantor::cli {

// vantor plc-sim [options]: serves a simulated PLC on a pseudo-terminal, or over TCP with --listen,
// until stopped.
class PlcSimCommand
{
public:
    static int run(const std::vector<std::string>& arguments);

private:
    static int serveOverTcp(const std::string& listen, plcsim::SimulatedPlc plc, bool verbose);
};

} // namespace vantor::cli
