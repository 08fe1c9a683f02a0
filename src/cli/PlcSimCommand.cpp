#include "cli/PlcSimCommand.h"

#include "cli/ExitStatus.h"
#include "cli/Usage.h"
#include "hostlink/Frame.h"
#include "hostlink/PlcId.h"
#include "plcsim/PtyPlcServer.h"
#include "plcsim/TcpPlcServer.h"

#include "console/StopSignals.h"

#include <cctype>
#include <chrono>
#include <cstdio>
#include <thread>

namespace vantor::cli {

using console::StopSignals;

namespace {
constexpr std::size_t maxIdsNamed = 16; // in the line that says what is served

bool readCount(const CommandLine& parser, const char* name, int* value, std::string* error)
{
    if (!parser.isSet(name))
        return true;
    const auto n = Usage::wholeNumber(parser.value(name));
    if (!n) {
        *error = std::string("--") + name + " must be a whole number of 0 or more";
        return false;
    }
    *value = *n;
    return true;
}

// The number of an answer (counted from 1) given as --NAME; with code, also two hex digits after a
// colon, put in code in upper case (code keeps its value when none are given).
bool readAnswer(const CommandLine& parser, const char* name, int* number, std::string* code,
                std::string* error)
{
    if (!parser.isSet(name))
        return true;
    const std::string text = parser.value(name);
    const std::size_t colon = code ? text.find(':') : std::string::npos;
    const auto n = Usage::wholeNumber(text.substr(0, colon));
    std::string digits = colon != std::string::npos ? text.substr(colon + 1) : code ? *code : "00";
    const bool hex = digits.size() == 2 && std::isxdigit(static_cast<unsigned char>(digits[0])) &&
                     std::isxdigit(static_cast<unsigned char>(digits[1]));
    if (!n || *n < 1 || !hex) {
        *error = std::string("--") + name +
                 (code ? " takes N or N:CODE, the number of an answer (1 or more) "
                         "and two hexadecimal digits such as 13"
                       : " must be the number of an answer, 1 or more");
        return false;
    }
    *number = *n;
    if (code) {
        for (char& c : digits)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        *code = digits;
    }
    return true;
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
    std::fprintf(stderr, "Simulated PLC%s with ID%s %s on %s; press Ctrl+C to stop.\n",
                 ids.size() > 1 ? "s" : "", ids.size() > 1 ? "s" : "", idList.c_str(), port.c_str());
    std::fflush(stdout);
}

// "[HOST:]PORT" into host and port: the loopback address unless a host is named, IPv6 in brackets.
bool listenAddress(const std::string& text, std::string* host, int* port)
{
    const std::size_t colon = text.rfind(':');
    std::string hostText = colon == std::string::npos ? std::string() : text.substr(0, colon);
    const auto number = Usage::wholeNumber(colon == std::string::npos ? text : text.substr(colon + 1));
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

} // namespace

int PlcSimCommand::serveOverTcp(const std::string& listen, plcsim::SimulatedPlc plc, bool verbose)
{
    std::string host;
    int port = 0;
    if (!listenAddress(listen, &host, &port))
        return Usage::fail(
            "--listen takes PORT or HOST:PORT, such as 4001 or 0.0.0.0:4001 (a port from 0 to 65535)");
    StopSignals::install();
    const std::vector<std::int16_t> ids = plc.ids();
    plcsim::TcpPlcServer server(std::move(plc));
    if (verbose) {
        server.setMonitor([](const std::string& event) {
            std::printf("%s\n", event.c_str());
            std::fflush(stdout);
        });
    }
    if (const auto started = server.start(host, port); !started.ok()) {
        Usage::note(started.error);
        return PortNotOpenable;
    }
    announce("socket://" + server.address(), ids);
    while (server.isServing() && !StopSignals::requested())
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const bool hungUp = server.snapshot().hungUp();
    server.stop();
    if (hungUp)
        std::fprintf(stderr, "Simulated PLC hung up, as asked.\n");
    return Success;
}

int PlcSimCommand::run(const std::vector<std::string>& arguments)
{
    CommandLine parser(
        "Serves a simulated PLC on a pseudo-terminal and prints the device path to open, e.g.\n"
        "  vantor send --port /dev/pts/3 '@01C230*'\n"
        "or, with --listen, over TCP (on Windows too) and prints the port to open:\n"
        "  vantor plc-sim --listen 4001 --id 01-03  ->  vantor upload --port socket://127.0.0.1:4001\n"
        "It answers a lone ENQ with ENQ, and frames addressed to its ID with a correct FCS with\n"
        "\"@\" + ID + code + \"00\" + FCS + \"*\". Stop it with Ctrl+C.");
    Usage::addStandardOptions(parser);
    parser.addOptions({
        {{"i", "id"},
         "The PLC's ID in hexadecimal, 1 to 4 digits (default 01); a list such as 01,02,05-0A puts "
         "several PLCs on the line.",
         "ID",
         "01"},
        {{"silent"}, "Answer nothing at all."},
        {{"no-enq"}, "Do not answer the ENQ handshake."},
        {{"wrong-id"}, "Echo frames with the wrong ID (its ID plus one)."},
        {{"split"}, "Send each answer in pieces of N characters ...", "N"},
        {{"split-gap"}, "... with MS milliseconds between them (default 20).", "MS", "20"},
        {{"line-end"}, "End answers with cr, crlf or lf (default cr).", "cr|crlf|lf", "cr"},
        {{"delay"}, "Start every answer MS milliseconds late.", "MS"},
        {{"stop-after"}, "Answer N frames, then fall silent.", "N"},
        {{"hang-up-after"}, "Answer N frames, then close the line when the next arrives.", "N"},
        {{"flood"}, "Answer the first line with an endless stream of characters without a line end."},
        {{"line-echo"}, "Return every byte received before answering, as an adapter with local echo does."},
        {{"loopback"}, "Return every byte received and answer nothing, as a loopback plug does."},
        {{"loopback-after"},
         "Answer N frames, then return every byte received and answer nothing, as a line whose PLC was "
         "unplugged from an adapter that hears its own transmitter.",
         "N"},
        {{"double"}, "Send the Nth answer to a frame twice, one copy right after the other.", "N"},
        {{"busy-polls"}, "After CS, leave this many IR polls unanswered while saving (default 0).", "N", "0"},
        {{"deaf-first"}, "Neither take nor answer the first N frames, as a PLC still starting up.", "N"},
        {{"wrong-fcs"}, "Give the Nth answer to a frame a wrong FCS, as a corrupted line would.", "N"},
        {{"end-code"},
         "Answer the Nth frame with end code CODE (two hex digits, default 13) instead of 00, as a PLC "
         "refusing it.",
         "N[:CODE]"},
        {{"listen"},
         "Serve over raw TCP instead, one client at a time, on PORT of the loopback address, or of HOST when "
         "given (0.0.0.0 for every address; a port of 0 picks a free one).",
         "[HOST:]PORT"},
        {{"verbose"}, "Print what is received and sent."},
    });
    if (const auto early = Usage::parse(parser, arguments))
        return *early;
    if (!parser.positionals().empty())
        return Usage::fail("plc-sim takes no arguments besides its options");

    plcsim::PlcFaults faults;
    faults.silent = parser.isSet("silent");
    faults.noEnqAnswer = parser.isSet("no-enq");
    faults.wrongId = parser.isSet("wrong-id");
    faults.flood = parser.isSet("flood");
    faults.lineEcho = parser.isSet("line-echo");
    faults.loopback = parser.isSet("loopback");
    std::string error;
    std::string endCode = faults.endCode;
    if (!readCount(parser, "split", &faults.splitChars, &error) ||
        !readCount(parser, "split-gap", &faults.splitGapMs, &error) ||
        !readCount(parser, "delay", &faults.delayMs, &error) ||
        !readCount(parser, "stop-after", &faults.stopAfterFrames, &error) ||
        !readCount(parser, "hang-up-after", &faults.hangUpAfterFrames, &error) ||
        !readCount(parser, "busy-polls", &faults.busyPolls, &error) ||
        !readCount(parser, "deaf-first", &faults.deafFrames, &error) ||
        !readCount(parser, "loopback-after", &faults.loopbackAfterFrames, &error) ||
        !readAnswer(parser, "double", &faults.doubleAnswer, nullptr, &error) ||
        !readAnswer(parser, "wrong-fcs", &faults.wrongFcsAnswer, nullptr, &error) ||
        !readAnswer(parser, "end-code", &faults.endCodeAnswer, &endCode, &error))
        return Usage::fail(error);
    faults.endCode[0] = endCode[0];
    faults.endCode[1] = endCode[1];
    const std::string lineEnd = Usage::lower(parser.value("line-end"));
    if (lineEnd == "cr")
        faults.lineEnd = plcsim::LineEnd::CR;
    else if (lineEnd == "crlf")
        faults.lineEnd = plcsim::LineEnd::CRLF;
    else if (lineEnd == "lf")
        faults.lineEnd = plcsim::LineEnd::LF;
    else
        return Usage::fail("--line-end must be cr, crlf or lf");
    std::vector<std::int16_t> ids;
    if (!Usage::strictIdList(parser.value("id"), &ids, &error))
        return Usage::fail(error);

    if (parser.isSet("listen"))
        return serveOverTcp(parser.value("listen"), plcsim::SimulatedPlc(ids, faults),
                            parser.isSet("verbose"));
    if (!plcsim::PtyPlcServer::available()) {
        Usage::note("plc-sim serves the simulated PLC on a pseudo-terminal, which this system does not have; "
                    "use --port SIM with upload or send instead");
        return InternalError;
    }
    // Ctrl+C and kill only set a flag, looked at below, so the server shuts down cleanly.
    StopSignals::install();

    plcsim::PtyPlcServer server(plcsim::SimulatedPlc(ids, faults));
    if (parser.isSet("verbose")) {
        server.setMonitor([](const std::string& event) {
            std::printf("%s\n", event.c_str());
            std::fflush(stdout);
        });
    }
    if (const auto started = server.start(); !started.ok()) {
        std::fprintf(stderr, "vantor: %s\n", started.error.c_str());
        return InternalError;
    }
    announce(server.devicePath(), ids);

    while (server.isServing() && !StopSignals::requested())
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const bool hungUp = server.snapshot().hungUp();
    server.stop();
    if (hungUp)
        std::fprintf(stderr, "Simulated PLC hung up, as asked.\n");
    return Success;
}

} // namespace vantor::cli
