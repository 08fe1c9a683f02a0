#pragma once

#include "cli/options/CommandLine.h"
#include "cli/options/Profile.h"
#include "serial/PortCatalog.h"
#include "serial/PortSettings.h"
#include "serial/Result.h"

#include <optional>
#include <string>
#include <vector>

namespace vantor::console {
class SerialConsole;
}

namespace vantor::cli {

// The port options that every command talking to a PLC takes, with the console's defaults:
// --port (required, or VANTOR_PORT) --baud 38400 --data-bits 8 --parity none --stop-bits 1
// --timeout 500, --dtr on --rts on and --trace.
class PortOptions
{
public:
    // What scan waits for each answer by default: a PLC answers a link test within a few character
    // times, and most IDs asked have no PLC, so each of them costs this much.
    static constexpr const char* scanTimeoutText = "100";

    // The options' declarations, in the order the help lists them; for scan, --port not required
    // (with neither it nor VANTOR_PORT, every port the system lists), --baud a list of rates, and
    // --timeout scanTimeoutText by default.
    static std::vector<OptionSpec> options(bool scan = false);
    static void addTo(CommandLine& parser) { parser.addOptions(options()); }
    // The --port values given, else VANTOR_PORT's; empty when neither names a port.
    static std::vector<std::string> portNames(const CommandLine& parser);
    // The names this tool knows: the catalog's own and SIM, a simulated PLC of its own for every
    // catalog made (every console, so each line of a run has its own).
    static serial::PortCatalog catalog();
    // Reads the options after parsing; a failure says which value is bad, naming its option, in a
    // sentence of its own.
    serial::Result<> read(const CommandLine& parser);
    // Profile::parse, then read(): an exit status when the command is done already (help shown) or
    // the line is wrong, a wrong value then blamed on the profile that set it.
    std::optional<int> parse(CommandLine& parser, const std::vector<std::string>& arguments,
                             Profile::Applied* profile);
    // The same but for the port's name, and the baud rate unless withBaud (scan reads a list of them).
    serial::Result<> readSettings(const CommandLine& parser, bool withBaud = true);
    // Applies port name, settings and timeout, and the trace when asked for.
    void applyTo(console::SerialConsole& console) const;
    // The response timeout in effect, in milliseconds (the fallback for 0).
    int timeoutMs() const;

    std::string portName;
    serial::PortSettings settings;
    std::string timeoutText = serial::PortSettings::defaultTimeoutText;
    bool trace = false;
};

} // namespace vantor::cli
