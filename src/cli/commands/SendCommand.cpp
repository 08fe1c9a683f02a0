#include "cli/commands/SendCommand.h"

#include "cli/ExitStatus.h"
#include "cli/InstalledDocs.h"
#include "cli/commands/RunPlanned.h"
#include "cli/options/OptionValues.h"
#include "cli/options/PortOptions.h"
#include "cli/options/Profile.h"
#include "cli/output/JsonLines.h"
#include "cli/output/Usage.h"
#include "cli/terminal/Terminal.h"
#include "console/SerialConsole.h"
#include "console/StopSignals.h"
#include "hostlink/ControlText.h"
#include "hostlink/Frame.h"

#include <algorithm>
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

// A reply as it came, or the warning that none did.
void printReply(const hostlink::ExchangeResult& result, bool terminal)
{
    if (result.hasResponse()) {
        const std::string shown = terminal ? hostlink::ControlText::escape(result.response) : result.response;
        std::fwrite(shown.data(), 1, shown.size(), stdout);
        std::fputc('\n', stdout);
    } else {
        std::printf("(Warning: No Response from PLC)\n");
    }
    std::fflush(stdout);
}
} // namespace

serial::Result<> SendCommand::framesFor(const CommandLine& parser, std::vector<std::string>* frames)
{
    std::int16_t id = 1;
    if (auto read = OptionValues::strictId(parser.value("id"), &id); !read.ok())
        return read;
    for (const std::string& command : parser.values("frame")) {
        // What would end the frame early, or is no character of the host link, is refused: the
        // frame must be the one the FCS was computed for.
        const bool plain = std::all_of(command.begin(), command.end(), [](char c) {
            return static_cast<unsigned char>(c) >= 0x20 && static_cast<unsigned char>(c) < 0x7F && c != '*';
        });
        if (command.size() < 2 || !plain)
            return serial::failed(
                "--frame " + hostlink::ControlText::escapeControls(command) +
                ": a command is two letters or more (C2, CS, IR, a record's code and data), "
                "printable ASCII without \"*\"");
        frames->push_back(hostlink::Frame::build(id, command));
    }
    return {};
}

CommandSpec SendCommand::spec()
{
    CommandSpec spec{
        "send",
        "send command lines as typed and print the replies",
        "Sends each COMMAND exactly as typed (no frame, no FCS added) and prints each reply, or\n"
        "\"(Warning: No Response from PLC)\". A command that begins with neither \"@\" nor \":\" is\n"
        "preceded by the ENQ handshake. Replies go to standard output, shown safely on a terminal.\n"
        "--frame CMD instead builds the frame as the upload does, \"@\" + ID + CMD + FCS + \"*\":\n"
        "  vantor send --port SIM --id 0A --frame CL     sends @0ACL3E*\n"
        "Exit status 0 when every command got a response, 1 when one did not, 2 for a bad command\n"
        "line, 6 when the port cannot be opened, 10 when it is lost, 128+N when stopped by signal N.",
        CommandSpec::standardOptions(),
        {{"COMMAND", "A command line to send, e.g. '@01C230*' or RS.", "[COMMAND...]", ""}},
    };
    spec.with(PortOptions::options());
    return spec.with({
        {{"json"},
         "Write each command and its reply as JSON Lines on standard output (see " + InstalledDocs::manual() +
             ")."},
        {{"frame"},
         "Send CMD (such as C2 or CL) framed for the PLC --id names, with its FCS; may be given again.",
         "CMD"},
        {{"i", "id"},
         "The PLC's ID for --frame, in hexadecimal, 1 to 4 digits (default 01).",
         "ID",
         "01",
         ProfileValue::Text},
        Profile::option(),
    });
}

int SendCommand::run(const std::vector<std::string>& arguments)
{
    return runPlanned<Plan>(arguments, readPlan, send);
}

std::optional<int> SendCommand::readPlan(const std::vector<std::string>& arguments, Plan* plan)
{
    CommandLine parser(spec());
    if (const auto early = plan->port.parse(parser, arguments, &plan->profile))
        return early;
    const Profile::Applied& profile = plan->profile;
    plan->commands = parser.positionals();
    if (parser.isSet("frame")) {
        if (!plan->commands.empty())
            return Usage::fail("--frame and COMMAND arguments do not mix: give every command one way");
        if (const auto frames = framesFor(parser, &plan->commands); !frames.ok())
            return Usage::fail(profile.blame(frames.message));
    } else if (parser.isSet("id") && !profile.sets("id")) {
        return Usage::fail("--id is for --frame: a COMMAND is sent exactly as typed");
    }
    if (plan->commands.empty())
        return Usage::fail("no COMMAND given");
    plan->json = parser.isSet("json");
    return std::nullopt;
}

int SendCommand::send(const Plan& plan)
{
    const bool json = plan.json;
    console::SerialConsole console(PortOptions::catalog(), StopSignals::token());
    plan.port.applyTo(console);
    // With --json standard output is for the JSON alone; the opening line goes with the notes.
    console.setLogSink([json](const std::string& line) { Usage::line(json ? stderr : stdout, line); });
    console.setWarningSink([](const std::string& line) { Usage::note(line); });
    console.setErrorSink([](const std::string& message) { Usage::note(message); });

    StopSignals::install();
    if (!console.openPort()) {
        if (plan.profile.sets("port"))
            Usage::note("the port " + plan.port.portName + " comes from " + plan.profile.origin());
        return PortNotOpenable;
    }
    // A reply is printed whole, NUL bytes included; on a terminal its control characters are shown
    // in the trace's notation, so a device cannot drive the user's terminal.
    const bool terminal = Terminal::isTerminal(stdout);
    int status = Success;
    for (const std::string& command : plan.commands) {
        const auto result = StopSignals::requested()
                                ? hostlink::ExchangeResult{hostlink::ExchangeStatus::Interrupted, {}}
                                : console.sendCommand(command);
        if (json)
            writeJson(command, result);
        if (result.status == hostlink::ExchangeStatus::Interrupted) {
            Usage::note("interrupted; the remaining commands were not sent");
            return StopSignals::exitStatus();
        }
        if (result.portFailed())
            return result.status == hostlink::ExchangeStatus::PortNotOpen ? PortNotOpenable : PortLost;
        if (!result.hasResponse())
            status = NoResponse;
        if (!json)
            printReply(result, terminal);
    }
    return status;
}

} // namespace vantor::cli
