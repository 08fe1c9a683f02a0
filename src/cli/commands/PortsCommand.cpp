#include "cli/commands/PortsCommand.h"

#include "cli/ExitStatus.h"
#include "cli/InstalledDocs.h"
#include "cli/options/PortOptions.h"
#include "cli/output/JsonLines.h"
#include "cli/output/Usage.h"

#include "serial/PortCatalog.h"
#include "serial/PortLister.h"

#include <cstdio>
#include <cstring>

namespace vantor::cli {

JsonLines::Object PortsCommand::toJson(const serial::PortInfo& port)
{
    const auto text = [](const std::string& value) {
        return value.empty() ? JsonLines::Object() : JsonLines::Object(value);
    };
    const auto hex4 = [](int value) {
        char digits[16];
        std::snprintf(digits, sizeof digits, "%04x", static_cast<unsigned>(value) & 0xffffu);
        return std::string(digits);
    };
    auto line = JsonLines::event("port");
    const std::size_t slash = port.device.find_last_of("/\\");
    line["name"] = slash == std::string::npos ? port.device : port.device.substr(slash + 1);
    line["device"] = port.device;
    line["com_name"] = text(serial::PortCatalog::comNameOf(port.device));
    line["description"] = text(port.description);
    line["manufacturer"] = text(port.manufacturer);
    line["driver"] = text(port.driver);
    JsonLines::Object usb;
    if (port.vendorId >= 0 && port.productId >= 0) {
        usb["vendor_id"] = hex4(port.vendorId);
        usb["product_id"] = hex4(port.productId);
        usb["serial_number"] = text(port.serialNumber);
    }
    line["usb"] = usb;
    line["aliases"] = port.aliases;
    return line;
}

CommandSpec PortsCommand::spec()
{
    CommandSpec spec{"ports",
                     "list the serial ports",
                     "Lists the serial ports the system reports, what it knows of each (for a USB\n"
                     "adapter the usb: name that finds it wherever the system puts it, such as\n"
                     "usb:A1B2C3 for --port), the COM names this program accepts, and SIM.",
                     CommandSpec::standardOptions(),
                     {}};
    spec.options.push_back(
        {{"json"},
         "Write one JSON object per port on standard output (see " + InstalledDocs::manual() + ")."});
    return spec;
}

int PortsCommand::run(const std::vector<std::string>& arguments)
{
    CommandLine parser(spec());
    if (const auto early = Usage::parse(parser, arguments))
        return *early;
    if (!parser.positionals().empty())
        return Usage::fail("ports takes no arguments");

    const serial::PortCatalog catalog = PortOptions::catalog();
    const auto ports = serial::PortCatalog::systemPorts();
    if (parser.isSet("json")) {
        for (const serial::PortInfo& port : ports)
            JsonLines::write(toJson(port));
        return Success;
    }
    if (ports.empty())
#ifdef _WIN32
        std::printf("No serial ports found. Plug in the adapter; it appears in Device Manager under Ports "
                    "(COM & LPT) as COMn.\n");
#else
        std::printf(
            "No serial ports found. Plug in the adapter; it appears as /dev/ttyUSB0 or /dev/ttyACM0.\n");
#endif
    for (const serial::PortInfo& port : ports) {
        Usage::say(port.device);
        const auto field = [](const char* name, const std::string& value) {
            if (!value.empty())
                Usage::say("  " + std::string(name) + std::string(15 - std::strlen(name), ' ') + value);
        };
        // The name that finds this adapter wherever the system puts it next time.
        field("port name", serial::PortCatalog::usbNameOf(port, ports));
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
        const std::string device = catalog.resolve(name).device;
        std::printf("  %-5s %s%s\n", name.c_str(), device.c_str(),
                    serial::PortLister::exists(device) ? "" : " (not present)");
    }
    std::printf("\n");
    for (const serial::PortCatalog::Registered& entry : catalog.registered())
        std::printf("%-6s the %s\n", entry.name.c_str(), entry.description.c_str());
    return Success;
}

} // namespace vantor::cli
