#include "cli/PortsCommand.h"

#include "cli/ExitStatus.h"
#include "cli/Usage.h"
#include "console/PortName.h"

#include "serial/PortLister.h"

#include <cstdio>
#include <cstring>

namespace vantor::cli {

int PortsCommand::run(const std::vector<std::string>& arguments)
{
    CommandLine parser("Lists the serial ports the system reports, what it knows of each,\n"
                       "the COM names this program accepts, and SIM.");
    Usage::addStandardOptions(parser);
    if (const auto early = Usage::parse(parser, arguments))
        return *early;
    if (!parser.positionals().empty())
        return Usage::fail("ports takes no arguments");

    const auto ports = serial::PortLister().ports();
    if (ports.empty())
        std::printf(
            "No serial ports found. Plug in the adapter; it appears as /dev/ttyUSB0 or /dev/ttyACM0.\n");
    for (const serial::PortInfo& port : ports) {
        Usage::say(port.device);
        const auto field = [](const char* name, const std::string& value) {
            if (!value.empty())
                Usage::say("  " + std::string(name) + std::string(15 - std::strlen(name), ' ') + value);
        };
        field("description", port.description);
        field("manufacturer", port.manufacturer);
        field("USB id", port.usbId());
        field("serial number", port.serialNumber);
        field("driver", port.driver);
        for (const std::string& alias : port.aliases)
            field("also", alias);
    }
    std::printf("\nCOM names:\n");
    for (int n = 1; n <= 8; ++n) {
        const std::string name = "COM" + std::to_string(n);
        const std::string device = console::PortName::devicePath(name);
        std::printf("  %-5s %s%s\n", name.c_str(), device.c_str(),
                    serial::PortLister::exists(device) ? "" : " (not present)");
    }
    std::printf("\nSIM    the built-in simulated PLC\n");
    return Success;
}

} // namespace vantor::cli
