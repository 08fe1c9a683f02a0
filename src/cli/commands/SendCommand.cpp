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
#include "console/FramedCommand.h"
#include "console/SerialConsole.h"
#include "console/StopSignals.h"
#include "hostlink/ControlText.h"
#include "hostlink/Frame.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

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
constexpr std::size_t longestLine = 64 * 1024;

// The next line of in without its line end (LF or CR LF; a last line without one is taken), in
// *line. False at the end of in, or when it cannot be read or the line is longer than longestLine
// (*error says which then, and the line's number: *number counts the lines read).
bool nextLine(std::FILE* in, std::string* line, int* number, std::string* error)
{
    line->clear();
    int c = 0;
    while ((c = std::getc(in)) != EOF && c != '\n') {
        if (line->size() == longestLine) {
            *error = "line " + std::to_string(*number + 1) + " is longer than " +
                     std::to_string(longestLine) + " bytes, which no command is";
            return false;
        }
        line->push_back(static_cast<char>(c));
    }
    if (c == EOF && std::ferror(in)) {
        *error = std::string("cannot be read");
        return false;
    }
    if (c == EOF && line->empty())
        return false;
    ++*number;
    if (!line->empty() && line->back() == '\r')
        line->pop_back();
    return true;
}

} // namespace

serial::Result<> SendCommand::framesFor(const CommandLine& parser, std::vector<std::string>* frames)
{
    std::int16_t id = 1;
    if (auto read = OptionValues::strictId(parser.value("id"), &id); !read.ok())
        return read;
    for (const std::string& command : parser.values("frame")) {
        std::string frame;
        if (auto built = console::FramedCommand::build(id, command, &frame); !built.ok())
            return serial::failed("--frame " + built.message);
        frames->push_back(frame);
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
        "With - (or --file FILE) the commands are read one per line (LF or CR LF) from standard input\n"
        "(or FILE), each sent as soon as it is read; empty lines are skipped:\n"
        "  printf '@01C230*\\nRS\\n' | vantor send --port SIM -\n"
        "The port's opening line goes to standard error, so standard output holds the replies alone.\n"
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
        {{"file"},
         "Read the commands from FILE, one per line, instead of COMMAND arguments ('-': standard "
         "input).",
         "FILE"},
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
    if (plan->commands.size() == 1 && plan->commands[0] == "-") {
        plan->commands.clear();
        plan->commandFile = "-";
    }
    if (parser.isSet("file")) {
        if (!plan->commandFile.empty() || !plan->commands.empty() || parser.isSet("frame"))
            return Usage::fail("--file gives every command: give no COMMAND, '-' or --frame with it");
        plan->commandFile = parser.value("file");
        if (plan->commandFile.empty())
            return Usage::fail("--file takes the FILE to read the commands from ('-': standard input)");
    }
    if (std::find(plan->commands.begin(), plan->commands.end(), "-") != plan->commands.end())
        return Usage::fail("'-' reads every command from standard input: give no other COMMAND with it");
    if (parser.isSet("frame")) {
        if (!plan->commands.empty())
            return Usage::fail("--frame and COMMAND arguments do not mix: give every command one way");
        if (const auto frames = framesFor(parser, &plan->commands); !frames.ok())
            return Usage::fail(profile.blame(frames.message));
    } else if (parser.isSet("id") && !profile.sets("id")) {
        return Usage::fail("--id is for --frame: a COMMAND is sent exactly as typed");
    }
    if (plan->commands.empty() && plan->commandFile.empty())
        return Usage::fail("no COMMAND given (or '-' to read them from standard input)");
    plan->json = parser.isSet("json");
    return std::nullopt;
}

int SendCommand::send(const Plan& plan)
{
    const bool json = plan.json;
    console::SerialConsole console(PortOptions::catalog(), StopSignals::token());
    plan.port.applyTo(console);
    // Standard output is for the replies (or the JSON) alone; the opening line goes with the notes.
    console.setLogSink([](const std::string& line) { Usage::line(stderr, line); });
    console.setWarningSink([](const std::string& line) { Usage::note(line); });
    console.setErrorSink([](const std::string& message) { Usage::note(message); });

    // The command file is opened first: one that cannot be read leaves the port alone.
    const bool fromStdin = plan.commandFile == "-";
    std::FILE* in = nullptr;
    if (!plan.commandFile.empty()) {
        in = fromStdin ? stdin : std::fopen(plan.commandFile.c_str(), "rb");
        if (!in) {
            Usage::note("cannot read the commands from " + plan.commandFile + ": " + std::strerror(errno));
            return FileNotReadable;
        }
    }
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> closer(fromStdin ? nullptr : in, std::fclose);
    StopSignals::install();
    if (!console.openPort()) {
        if (plan.profile.sets("port"))
            Usage::note("the port " + plan.port.portName + " comes from " + plan.profile.origin());
        return PortNotOpenable;
    }
    // A reply is printed whole, NUL bytes included; on a terminal its control characters are shown
    // in the trace's notation, so a device cannot drive the user's terminal.
    const bool terminal = Terminal::isTerminal(stdout);
    if (in)
        return sendFromFile(console, in, fromStdin ? "standard input" : plan.commandFile, plan.json,
                            terminal);
    int status = Success;
    for (const std::string& command : plan.commands) {
        if (const auto ended = exchange(console, command, json, terminal, &status))
            return *ended;
    }
    return status;
}

std::optional<int> SendCommand::exchange(console::SerialConsole& console, const std::string& command,
                                         bool json, bool terminal, int* status)
{
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
        *status = NoResponse;
    if (!json)
        printReply(result, terminal);
    return std::nullopt;
}

int SendCommand::sendFromFile(console::SerialConsole& console, std::FILE* in, const std::string& name,
                              bool json, bool terminal)
{
    int status = Success;
    int number = 0;
    std::string line, error;
    std::optional<int> ended;
    while (!ended && nextLine(in, &line, &number, &error)) {
        if (!line.empty()) // a blank line is no command (an ENQ handshake for nothing)
            ended = exchange(console, line, json, terminal, &status);
    }
    if (ended)
        return *ended;
    if (!error.empty()) {
        Usage::note("the commands of " + name + ": " + error + "; the rest were not sent");
        return FileNotReadable;
    }
    return status;
}

} // namespace vantor::cli
