#pragma once

#include <string>
#include <vector>

namespace vantor::cli {

// vantor plc-sim [options]: serves a simulated PLC on a pseudo-terminal until stopped.
class PlcSimCommand
{
public:
    static int run(const std::vector<std::string>& arguments);
};

} // namespace vantor::cli
