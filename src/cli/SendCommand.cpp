#include "cli/SendCommand.h"

#include "cli/ExitStatus.h"
#include "cli/JsonLines.h"
#include "cli/PortOptions.h"
#include "cli/Terminal.h"
#include "cli/Usage.h"
#include "console/SerialConsole.h"
#include "console/StopSignals.h"
#include "hostlink/ControlText.h"

#include <cstdio>

namespace vantor::cli {

using console::StopSignals;

namespace {
// One command and what came of it: "answered" with the reply, "no-response", "port-lost" or
// "interrupted".
void writeJson(const std::string& command, const hostlink::ExchangeResult& result)
{
    auto line = JsonLines::event("reply");
    line["command"] = command;
    if (result.hasResponse())
        line["status"] = "answered";
    else if (result.status == hostlink::ExchangeStatus::Interrupted)
        line["status"] = "interrupted";
    else if (result.portFailed())
        line["status"] = "port-lost";
    else
        line["status"] = "no-response";
    line["reply"] = result.hasResponse() ? JsonLines::Object(result.response) : JsonLines::Object();
    JsonLines::write(line);
}
} // namespace

int SendCommand::run(const std::vector<std::string>& arguments)
{
    CommandLine parser(
        "Sends each COMMAND exactly as typed (no frame, no FCS added) and prints each reply, or\n"
        "\"(Warning: No Response from PLC)\". A command that begins with neither \"@\" nor \":\" is\n"
        "preceded by the ENQ handshake. Replies go to standard output, shown safely on a terminal.\n"
        "Exit status 0 when every command got a response, 1 when one did not, 2 for a bad command\n"
        "line, 6 when the port cannot be opened, 10 when it is lost, 128+N when stopped by signal N.");
    Usage::addStandardOptions(parser);
    PortOptions port;
    port.addTo(parser);
    parser.addOptions(
        {{{"json"}, "Write each command and its reply as JSON Lines on standard output (see vantor(1))."}});
    parser.addPositional("COMMAND", "A command line to send, e.g. '@01C230*' or RS.", "COMMAND...");

    if (const auto early = Usage::parse(parser, arguments))
        return *early;
    std::string error;
    if (!port.read(parser, &error))
        return Usage::fail(error);
    if (parser.positionals().empty())
        return Usage::fail("no COMMAND given");

    const bool json = parser.isSet("json");
    console::SerialConsole console(PortOptions::catalog());
    port.applyTo(console);
    // With --json standard output is for the JSON alone; the opening line goes with the notes.
    console.setLogSink([json](const std::string& line) { Usage::line(json ? stderr : stdout, line); });
    console.setWarningSink([](const std::string& line) { Usage::note(line); });
    console.setErrorSink([](const std::string& message) { Usage::note(message); });

    StopSignals::install();
    console.exchange().setStopCheck([] { return StopSignals::requested(); });
    if (!console.openPort())
        return PortNotOpenable;
    // A reply is printed whole, NUL bytes included; on a terminal its control characters are shown
    // in the trace's notation, so a device cannot drive the user's terminal.
    const bool terminal = Terminal::isTerminal(stdout);
    int status = Success;
    for (const std::string& command : parser.positionals()) {
        const auto result = StopSignals::requested()
                                ? hostlink::ExchangeResult{hostlink::ExchangeStatus::Interrupted, {}}
                                : console.sendCommand(command);
        if (json)
            writeJson(command, result);
        if (result.status == hostlink::ExchangeStatus::Interrupted) {
            std::fflush(stdout);
            std::fprintf(stderr, "vantor: interrupted; the remaining commands were not sent\n");
            return StopSignals::exitStatus();
        }
        if (result.portFailed())
            return result.status == hostlink::ExchangeStatus::PortNotOpen ? PortNotOpenable : PortLost;
        if (!result.hasResponse())
            status = NoResponse;
        if (json)
            continue;
        if (result.hasResponse()) {
            const std::string shown =
                terminal ? hostlink::ControlText::escape(result.response) : result.response;
            std::fwrite(shown.data(), 1, shown.size(), stdout);
            std::fputc('\n', stdout);
        } else {
            std::printf("(Warning: No Response from PLC)\n");
        }
        std::fflush(stdout);
    }
    return status;
}

} // namespace vantor::cli
