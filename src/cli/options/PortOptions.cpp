#include "cli/options/PortOptions.h"

#include "cli/options/OptionValues.h"
#include "cli/output/TracePrinter.h"
#include "cli/output/Usage.h"
#include "console/SerialConsole.h"
#include "hostlink/TimeoutText.h"
#include "plcsim/SimulatedPlcPort.h"
#include "serial/PortKind.h"

#include <cstdlib>
#include <memory>
#include <optional>

namespace vantor::cli {

namespace {

// A modem line option: on or off (also 1/0, yes/no); nothing for anything else.
std::optional<bool> onOff(const std::string& text)
{
    const std::string t = OptionValues::lower(text);
    if (t == "on" || t == "1" || t == "yes")
        return true;
    if (t == "off" || t == "0" || t == "no")
        return false;
    return std::nullopt;
}

} // namespace

std::vector<OptionSpec> PortOptions::options(bool scan)
{
    const std::string timeout = scan ? scanTimeoutText : serial::PortSettings::defaultTimeoutText;
    const std::string timeoutMs = std::to_string(
        hostlink::TimeoutText::effectiveMs(timeout, hostlink::CommandExchange::responseFallbackMs));
    using P = ProfileValue;
    return {
        {{"p", "port"},
#ifdef _WIN32
         "Serial port: a COM port such as COM3 (as Device Manager names it), a serial server's "
#else
         "Serial port: a device such as /dev/ttyUSB0, COM1..COM8 (/dev/ttyS0..7 here), a serial server's "
#endif
             + serial::PortKind::listed(", ", " or ", true) +
             ", a USB adapter by its serial number or IDs wherever it is plugged in (usb:SERIAL, "
             "usb:VID:PID[:SERIAL]), or SIM for the built-in simulated PLC. " +
             std::string(scan ? "Give it once for each line to scan; without it, VANTOR_PORT names the line, "
                                "else every port the system lists is scanned ('vantor ports' lists them)."
                              : "Required, unless VANTOR_PORT is set; 'vantor ports' lists them."),
         "PORT",
         "",
         P::TextOrList},
        scan ? OptionSpec{{"b", "baud"},
                          "Baud rates to try, one after another, separated by commas (default 38400).",
                          "LIST",
                          "38400",
                          P::Number}
             : OptionSpec{{"b", "baud"}, "Baud rate (default 38400).", "N", "38400", P::Number},
        {{"data-bits"}, "Data bits: 7 or 8 (default 8).", "7|8", "8", P::Number},
        {{"parity"}, "Parity: none, even or odd (default none).", "none|even|odd", "none", P::Text},
        {{"stop-bits"}, "Stop bits: 1 or 2 (default 1).", "1|2", "1", P::Number},
        {{"t", "timeout"},
         "How long to wait for each answer, in milliseconds (default " + timeoutMs +
             "; a fraction is rounded). 0 means 1000 ms for the ENQ handshake and 500 ms for a response.",
         "MS",
         timeout,
         P::Number},
        {{"dtr"}, "DTR while the port is open: on or off (default on).", "on|off", "on", P::OnOff},
        {{"rts"}, "RTS while the port is open: on or off (default on).", "on|off", "on", P::OnOff},
        {{"trace"}, "Write every byte sent and received to standard error, with times in milliseconds."},
    };
}

std::vector<std::string> PortOptions::portNames(const CommandLine& parser)
{
    if (parser.isSet("port"))
        return parser.values("port");
    const char* fromEnvironment = std::getenv("VANTOR_PORT");
    if (fromEnvironment && *fromEnvironment)
        return {fromEnvironment};
    return {};
}

std::optional<int> PortOptions::parse(CommandLine& parser, const std::vector<std::string>& arguments,
                                      Profile::Applied* profile)
{
    if (const auto early = Profile::parse(parser, arguments, profile))
        return early;
    if (const auto values = read(parser); !values.ok())
        return Usage::fail(profile->blame(values.message));
    return std::nullopt;
}

serial::Result<> PortOptions::read(const CommandLine& parser)
{
    const std::vector<std::string> names = portNames(parser);
    portName = names.empty() ? std::string() : names.back();
    if (portName.empty())
        return serial::failed(
            "no port given: name one with --port PORT (or set VANTOR_PORT); 'vantor ports' lists them");
    return readSettings(parser);
}

serial::Result<> PortOptions::readSettings(const CommandLine& parser, bool withBaud)
{
    const auto baud = OptionValues::wholeNumber(parser.value("baud"));
    if (withBaud && (!baud || *baud == 0))
        return serial::failed("--baud must be a positive whole number, such as 9600 or 38400");
    if (withBaud)
        settings.baudRate = *baud;
    const std::string dataBits = parser.value("data-bits");
    if (dataBits != "7" && dataBits != "8")
        return serial::failed("--data-bits must be 7 or 8");
    settings.dataBits = dataBits == "7" ? 7 : 8;
    const std::string parity = OptionValues::lower(parser.value("parity"));
    if (parity == "none" || parity == "n")
        settings.parity = 'N';
    else if (parity == "even" || parity == "e")
        settings.parity = 'E';
    else if (parity == "odd" || parity == "o")
        settings.parity = 'O';
    else
        return serial::failed("--parity must be none, even or odd");
    const std::string stopBits = parser.value("stop-bits");
    if (stopBits != "1" && stopBits != "2")
        return serial::failed("--stop-bits must be 1 or 2");
    settings.stopBits = stopBits == "2" ? 2 : 1;
    if (auto timeout = OptionValues::strictTimeout(parser.value("timeout")); !timeout.ok())
        return timeout;
    timeoutText = parser.value("timeout");
    const auto dtr = onOff(parser.value("dtr"));
    const auto rts = onOff(parser.value("rts"));
    if (!dtr || !rts)
        return serial::failed(dtr ? "--rts must be on or off" : "--dtr must be on or off");
    settings.dtr = *dtr;
    settings.rts = *rts;
    trace = parser.isSet("trace");
    return {};
}

serial::PortCatalog PortOptions::catalog()
{
    serial::PortCatalog catalog;
    auto simulator = std::make_shared<plcsim::SimulatedPlcPort>();
    catalog.add(plcsim::SimulatedPlcPort::name, plcsim::SimulatedPlcPort::description,
                [simulator] { return simulator; });
    return catalog;
}

int PortOptions::timeoutMs() const
{
    return hostlink::TimeoutText::effectiveMs(timeoutText, hostlink::CommandExchange::responseFallbackMs);
}

void PortOptions::applyTo(console::SerialConsole& console) const
{
    console.setPortName(portName);
    console.setSettings(settings);
    console.setTimeoutText(timeoutText);
    if (trace) {
        auto printer = std::make_shared<TracePrinter>(stderr);
        console.exchange().setTraceSink(
            [printer](hostlink::TraceDirection direction, const std::string& bytes) {
                printer->print(direction, bytes);
            });
    }
}

} // namespace vantor::cli
