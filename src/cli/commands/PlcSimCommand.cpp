#include "cli/commands/PlcSimCommand.h"

#include "cli/ExitStatus.h"
#include "cli/commands/RunPlanned.h"
#include "cli/options/CommandLine.h"
#include "cli/options/OptionValues.h"
#include "cli/output/Usage.h"
#include "hostlink/Frame.h"
#include "hostlink/PlcId.h"
#include "plcsim/PlcFaultTable.h"
#include "plcsim/PtyPlcServer.h"
#include "plcsim/TcpPlcServer.h"

#include "console/StopSignals.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace vantor::cli {

using console::StopSignals;
using plcsim::PlcFaultTable;

namespace {
constexpr std::size_t maxIdsNamed = 16; // in the line that says what is served

serial::Result<> readCount(const CommandLine& parser, const char* name, int* value)
{
    if (!parser.isSet(name))
        return {};
    const auto n = OptionValues::wholeNumber(parser.value(name));
    if (!n)
        return serial::failed(std::string("--") + name + " must be a whole number of 0 or more");
    *value = *n;
    return {};
}

// The number of an answer (counted from 1) given as --NAME; with code, also two hex digits after a
// colon, put in code in upper case (code keeps its value when none are given).
serial::Result<> readAnswer(const CommandLine& parser, const char* name, int* number, std::string* code)
{
    if (!parser.isSet(name))
        return {};
    const std::string text = parser.value(name);
    const std::size_t colon = code ? text.find(':') : std::string::npos;
    const auto n = OptionValues::wholeNumber(text.substr(0, colon));
    std::string digits = colon != std::string::npos ? text.substr(colon + 1) : code ? *code : "00";
    const bool hex = digits.size() == 2 && std::isxdigit(static_cast<unsigned char>(digits[0])) &&
                     std::isxdigit(static_cast<unsigned char>(digits[1]));
    if (!n || *n < 1 || !hex)
        return serial::failed(std::string("--") + name +
                              (code ? " takes N or N:CODE, the number of an answer (1 or more) "
                                      "and two hexadecimal digits such as 13"
                                    : " must be the number of an answer, 1 or more"));
    *number = *n;
    if (code) {
        for (char& c : digits)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        *code = digits;
    }
    return {};
}

// "MS:TEXT" given as --NAME: milliseconds (1 or more) in ms, and printable text of up to
// PlcFaults::maxUnaskedText characters in text.
serial::Result<> readMsAndText(const CommandLine& parser, const char* name, int* ms, std::string* text)
{
    const std::string given = parser.value(name);
    const std::size_t colon = given.find(':');
    const auto n = OptionValues::wholeNumber(given.substr(0, colon));
    *text = colon == std::string::npos ? std::string() : given.substr(colon + 1);
    const bool printable = std::all_of(text->begin(), text->end(), [](char c) {
        return static_cast<unsigned char>(c) >= 0x20 && static_cast<unsigned char>(c) != 0x7F;
    });
    if (!n || *n < 1 || text->empty() || text->size() > plcsim::PlcFaults::maxUnaskedText || !printable)
        return serial::failed(std::string("--") + name +
                              " takes MS:TEXT, milliseconds (1 or more) and up to " +
                              std::to_string(plcsim::PlcFaults::maxUnaskedText) +
                              " printable characters, such as 2000:ALARM 3");
    *ms = *n;
    return {};
}

// One of row's choices, in any case, as its index in number.
serial::Result<> readChoice(const CommandLine& parser, const PlcFaultTable::Row& row, int* number)
{
    const std::vector<std::string> words = PlcFaultTable::choices(row);
    const std::string given = OptionValues::lower(parser.value(row.option));
    for (std::size_t i = 0; i < words.size(); ++i) {
        if (given == words[i]) {
            *number = static_cast<int>(i);
            return {};
        }
    }
    std::string why = std::string("--") + row.option + " must be ";
    for (std::size_t i = 0; i < words.size(); ++i)
        why += (i == 0 ? "" : i + 1 == words.size() ? " or " : ", ") + words[i];
    return serial::failed(why);
}

// Says what is served where: the port to open on standard output, the rest on standard error.
void announce(const std::string& port, const std::vector<std::int16_t>& ids)
{
    std::printf("%s\n", port.c_str());
    std::string idList = hostlink::Frame::renderHex(ids.front());
    for (std::size_t i = 1; i < ids.size() && i < maxIdsNamed; ++i)
        idList += ", " + hostlink::Frame::renderHex(ids[i]);
    if (ids.size() > maxIdsNamed)
        idList += " ... (" + std::to_string(ids.size()) + " PLCs)";
    const std::string plural = ids.size() > 1 ? "s" : "";
    Usage::line(stderr, "Simulated PLC" + plural + " with ID" + plural + " " + idList + " on " + port +
                            "; press Ctrl+C to stop.");
    // Standard output goes out after the sentence: where both lead to one file, the sentence has
    // always come first.
    std::fflush(stdout);
}

// "[HOST:]PORT" into host and port: the loopback address unless a host is named, IPv6 in brackets.
bool listenAddress(const std::string& text, std::string* host, int* port)
{
    const std::size_t colon = text.rfind(':');
    std::string hostText = colon == std::string::npos ? std::string() : text.substr(0, colon);
    const auto number = OptionValues::wholeNumber(colon == std::string::npos ? text : text.substr(colon + 1));
    if (!number || *number > 65535)
        return false;
    if (hostText.size() >= 2 && hostText.front() == '[' && hostText.back() == ']')
        hostText = hostText.substr(1, hostText.size() - 2);
    if (hostText.find_first_of("[]/ ") != std::string::npos)
        return false;
    *host = hostText.empty() ? "127.0.0.1" : hostText;
    *port = *number;
    return true;
}

// Reads row's option, when given, and applies its effect to faults; a failure says why.
serial::Result<> readFault(const CommandLine& parser, const PlcFaultTable::Row& row,
                           plcsim::PlcFaults* faults)
{
    using Value = PlcFaultTable::Value;
    if (!parser.isSet(row.option)) {
        // A default the help names holds when the option is left out (--split's pieces 20 ms apart).
        if (row.value == Value::Count && *row.defaultValue)
            row.apply(*faults, std::atoi(row.defaultValue), nullptr);
        return {};
    }
    int number = 1;
    std::string code = faults->endCode;
    serial::Result<> read;
    switch (row.value) {
    case Value::None:
        break;
    case Value::Count:
        read = readCount(parser, row.option, &number);
        break;
    case Value::Answer:
        read = readAnswer(parser, row.option, &number, nullptr);
        break;
    case Value::AnswerAndCode:
        read = readAnswer(parser, row.option, &number, &code);
        break;
    case Value::Choice:
        read = readChoice(parser, row, &number);
        break;
    case Value::MsAndText:
        read = readMsAndText(parser, row.option, &number, &code);
        break;
    }
    const bool takesText = row.value == Value::AnswerAndCode || row.value == Value::MsAndText;
    if (read.ok())
        row.apply(*faults, number, takesText ? code.c_str() : nullptr);
    return read;
}

// Serves on server, already started, until Ctrl+C, a kill or a hang-up; port is what to open.
template <class Server>
int serveUntilStopped(Server& server, const std::string& port, const std::vector<std::int16_t>& ids)
{
    announce(port, ids);
    while (server.isServing() && !StopSignals::requested())
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const bool hungUp = server.snapshot().hungUp();
    server.stop();
    if (hungUp)
        Usage::line(stderr, "Simulated PLC hung up, as asked.");
    return Success;
}

void printEvent(const std::string& event)
{
    std::printf("%s\n", event.c_str());
    std::fflush(stdout);
}

} // namespace

int PlcSimCommand::run(const std::vector<std::string>& arguments)
{
    return runPlanned<Plan>(arguments, parse, execute);
}

CommandSpec PlcSimCommand::spec()
{
    CommandSpec spec{
        "plc-sim",
        "serve a simulated PLC on a pseudo-terminal or over TCP",
        "Serves a simulated PLC on a pseudo-terminal and prints the device path to open, e.g.\n"
        "  vantor send --port /dev/pts/3 '@01C230*'\n"
        "or, with --listen, over TCP (on Windows too) and prints the port to open:\n"
        "  vantor plc-sim --listen 4001 --id 01-03  ->  vantor upload --port socket://127.0.0.1:4001\n"
        "It answers a lone ENQ with ENQ, and frames addressed to its ID with a correct FCS with\n"
        "\"@\" + ID + code + \"00\" + FCS + \"*\". Stop it with Ctrl+C.",
        CommandSpec::standardOptions(),
        {},
    };
    spec.options.push_back(
        {{"i", "id"},
         "The PLC's ID in hexadecimal, 1 to 4 digits (default 01); a list such as 01,02,05-0A "
         "puts several PLCs on the line.",
         "ID",
         "01"});
    // The faults are the table's rows, so a new fault needs no option written here.
    for (const PlcFaultTable::Row& row : PlcFaultTable::rows())
        spec.options.push_back({{row.option}, row.help, row.valueName, row.defaultValue});
    return spec.with({
        {{"listen"},
         "Serve over raw TCP instead, one client at a time, on PORT of the loopback address, or of HOST "
         "when given (0.0.0.0 for every address; a port of 0 picks a free one). A client that starts "
         "with Telnet (rfc2217://) is served as a serial server's Telnet port with the COM port option.",
         "[HOST:]PORT"},
        {{"link"},
         "Also make PATH a symbolic link to the pseudo-terminal, removed when the simulator ends, so that "
         "a PLC that comes and goes keeps one name. A link an earlier run left is replaced; anything else "
         "at PATH is refused.",
         "PATH"},
        {{"verbose"}, "Print what is received and sent, and the DTR, RTS and break changes asked for."},
    });
}

std::optional<int> PlcSimCommand::parse(const std::vector<std::string>& arguments, Plan* plan)
{
    CommandLine parser(spec());
    if (const auto early = Usage::parse(parser, arguments))
        return early;
    if (!parser.positionals().empty())
        return Usage::fail("plc-sim takes no arguments besides its options");
    if (const auto faults = readFaults(parser, &plan->faults); !faults.ok())
        return Usage::fail(faults.message);
    if (const auto ids = OptionValues::strictIdList(parser.value("id"), &plan->ids); !ids.ok())
        return Usage::fail(ids.message);
    plan->overTcp = parser.isSet("listen");
    if (plan->overTcp && !listenAddress(parser.value("listen"), &plan->host, &plan->port))
        return Usage::fail(
            "--listen takes PORT or HOST:PORT, such as 4001 or 0.0.0.0:4001 (a port from 0 to 65535)");
    plan->verbose = parser.isSet("verbose");
    plan->link = parser.value("link");
    if (parser.isSet("link") && (plan->overTcp || plan->link.empty()))
        return Usage::fail(plan->overTcp ? "--link names the pseudo-terminal, which --listen does not use"
                                         : "--link takes the PATH of the link to make");
    return std::nullopt;
}

serial::Result<> PlcSimCommand::readFaults(const CommandLine& parser, plcsim::PlcFaults* faults)
{
    for (const PlcFaultTable::Row& row : PlcFaultTable::rows()) {
        if (auto read = readFault(parser, row, faults); !read.ok())
            return read;
    }
    return {};
}

int PlcSimCommand::execute(const Plan& plan)
{
    plcsim::SimulatedPlc plc(plan.ids, plan.faults);
    if (plan.overTcp) {
        // Ctrl+C and kill only set a flag, looked at while serving, so the server shuts down cleanly.
        StopSignals::install();
        plcsim::TcpPlcServer server(std::move(plc));
        if (plan.verbose)
            server.setMonitor(printEvent);
        if (const auto started = server.start(plan.host, plan.port); !started.ok()) {
            Usage::note(started.message);
            return PortNotOpenable;
        }
        return serveUntilStopped(server, "socket://" + server.address(), plan.ids);
    }
    if (!plcsim::PtyPlcServer::available()) {
        Usage::note("plc-sim serves the simulated PLC on a pseudo-terminal, which this system does not have; "
                    "use --port SIM with upload or send instead");
        return InternalError;
    }
    StopSignals::install();
    plcsim::PtyPlcServer server(std::move(plc));
    if (plan.verbose)
        server.setMonitor(printEvent);
    if (const auto started = server.start(); !started.ok()) {
        Usage::note(started.message);
        return InternalError;
    }
    if (!plan.link.empty()) {
        if (const auto linked = server.linkAs(plan.link); !linked.ok()) {
            Usage::note("cannot make the link " + plan.link + ": " + linked.message);
            return PortNotOpenable;
        }
    }
    return serveUntilStopped(server, plan.link.empty() ? server.devicePath() : plan.link, plan.ids);
}

} // namespace vantor::cli
