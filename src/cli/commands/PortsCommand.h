#pragma once

#include "cli/options/CommandSpec.h"
#include "cli/output/JsonLines.h"
#include "serial/PortInfo.h"

#include <string>
#include <vector>

namespace vantor::cli {

// vantor ports: the serial ports the system knows, with what it knows of each, the COM names and SIM.
class PortsCommand
{
public:
    static CommandSpec spec();
    static int run(const std::vector<std::string>& arguments);
    // A port as --json writes it: {"schema":1,"event":"port","name":...,"device":...,...}.
    static JsonLines::Object toJson(const serial::PortInfo& port);
};

} // namespace vantor::cli
