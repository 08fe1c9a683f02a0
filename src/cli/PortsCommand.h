#pragma once

#include <string>
#include <vector>

namespace vantor::cli {

// vantor ports: the serial ports the system knows, with what it knows of each, the COM names and SIM.
class PortsCommand
{
public:
    static int run(const std::vector<std::string>& arguments);
};

} // namespace vantor::cli
