#include "cli/CheckCommand.h"

#include "cli/ExitStatus.h"
#include "cli/Usage.h"
#include "console/StopSignals.h"
#include "hostlink/ControlText.h"
#include "hostlink/Frame.h"
#include "hostlink/PlcId.h"
#include "upload/CompiledCodeFormat.h"
#include "upload/CompiledCodeReader.h"

#include <cstdio>
#include <map>

namespace vantor::cli {

using console::StopSignals;

using upload::CompiledCodeFormat;
using upload::CompiledCodeReader;
using upload::FileProblem;

namespace {
constexpr int maxSkippedShown = 50;
constexpr std::size_t maxShownBytes = 60; // of a skipped line

// A skipped line as the listing shows it: escaped, and cut short when long.
std::string shown(const std::string& line)
{
    if (line.empty())
        return "(empty)";
    if (line.size() <= maxShownBytes)
        return "\"" + hostlink::ControlText::escape(line) + "\"";
    return "\"" + hostlink::ControlText::escape(line.substr(0, maxShownBytes)) + "\"... (" +
           std::to_string(line.size()) + " bytes)";
}

int unreadable(const CompiledCodeReader& reader, const std::string& path)
{
    if (reader.problem() == FileProblem::Interrupted || StopSignals::requested()) {
        Usage::note("stopped reading " + path + " on request");
        return StopSignals::exitStatus();
    }
    Usage::say(reader.describeProblem(path) + ".");
    Usage::note(reader.describeProblem(path));
    return reader.problem() == FileProblem::LineTooLong ? FileRejected : FileNotReadable;
}
const char* const prefixes[] = {"01:", "02:", "03:", "04:", "05:", "06:"};
} // namespace

int CheckCommand::run(const std::vector<std::string>& arguments)
{
    CommandLine parser(
        "Reads FILE as an upload would, without a port: whether the header is accepted, how many\n"
        "records would be sent by type, which lines would be skipped, and with --frames every frame.\n"
        "Exit status 0 when the upload would start; 3 unreadable file, 4 rejected content.");
    Usage::addStandardOptions(parser);
    parser.addOptions({
        {{"i", "id"}, "The PLC ID the frames are built for, 1 to 4 hex digits (default 01).", "ID", "01"},
        {{"frames"}, "List every frame that would be sent, in order."},
    });
    parser.addPositional("FILE", "The compiled program to check.");
    if (const auto early = Usage::parse(parser, arguments))
        return *early;
    if (parser.positionals().size() != 1)
        return Usage::fail("check takes exactly one FILE");
    std::int16_t plcId = 1;
    std::string error;
    if (!Usage::strictId(parser.value("id"), &plcId, &error))
        return Usage::fail(error);
    const std::string path = parser.positionals().front();

    StopSignals::install();
    CompiledCodeReader reader;
    reader.setStopCheck([] { return StopSignals::requested(); });
    if (reader.open(path) != FileProblem::None)
        return unreadable(reader, path);
    Usage::say("File: " + path);
    std::string line;
    if (!reader.readLine(line)) {
        if (reader.problem() != FileProblem::None)
            return unreadable(reader, path);
        std::printf("Header: rejected: the file is empty.\n");
        return FileRejected;
    }
    if (const std::string problem = CompiledCodeFormat::headerProblem(line); !problem.empty()) {
        std::printf("Header: rejected: %s.\n", problem.c_str());
        return FileRejected;
    }
    std::printf("Header: accepted\n");

    const hostlink::PlcIdResult id{true, plcId, {}};
    const bool listFrames = parser.isSet("frames");
    if (listFrames && id.ok)
        std::printf("Frames for PLC ID %s:\n  %s\n", hostlink::Frame::renderHex(id.id).c_str(),
                    hostlink::Frame::build(id.id, "C2").c_str());

    std::map<std::string, std::int64_t> counts;
    std::int64_t records = 0;
    std::int64_t skipped = 0;
    std::string skippedList;
    while (reader.readLine(line)) {
        if (StopSignals::requested())
            return StopSignals::exitStatus();
        if (const auto command = CompiledCodeFormat::commandFor(line)) {
            ++records;
            ++counts[line.substr(0, 3)];
            if (listFrames && id.ok)
                std::printf("  %s\n",
                            hostlink::ControlText::escape(hostlink::Frame::build(id.id, *command)).c_str());
            continue;
        }
        if (++skipped <= maxSkippedShown)
            skippedList += "  line " + std::to_string(reader.lineNumber()) + ": " + shown(line) + "\n";
    }
    if (reader.problem() != FileProblem::None)
        return unreadable(reader, path);
    if (listFrames && id.ok) {
        for (const char* tail : {"CS", "IR"})
            std::printf("  %s\n", hostlink::Frame::build(id.id, tail).c_str());
        std::printf("  %s (then CL, C1, CL with --reset; C1 alone without)\n",
                    hostlink::Frame::build(id.id, "C1").c_str());
    }

    std::printf("Records to send: %lld\n", static_cast<long long>(records));
    for (const char* prefix : prefixes) {
        if (const auto it = counts.find(prefix); it != counts.end())
            std::printf("  %s %s  %lld\n", prefix, CompiledCodeFormat::codeFor(prefix)->c_str(),
                        static_cast<long long>(it->second));
    }
    std::printf("Skipped lines: %lld\n%s", static_cast<long long>(skipped), skippedList.c_str());
    if (skipped > maxSkippedShown)
        std::printf("  ... and %lld more\n", static_cast<long long>(skipped - maxSkippedShown));
    if (!id.ok) {
        std::printf("PLC ID: rejected: %s\n", id.error.c_str());
        return PlcIdRejected;
    }
    std::printf("The upload would start.\n");
    return Success;
}

} // namespace vantor::cli
