#include "cli/commands/CheckCommand.h"

#include "cli/ExitStatus.h"
#include "cli/InstalledDocs.h"
#include "cli/options/OptionValues.h"
#include "cli/output/JsonLines.h"
#include "cli/output/Usage.h"
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

const char* const prefixes[] = {"01:", "02:", "03:", "04:", "05:", "06:"};

// What reading the file through found.
struct Report
{
    int status = Success;
    std::string problem;     // why the file cannot be uploaded; empty when it can
    bool headerRead = false; // the header line was looked at
    bool headerAccepted = false;
    std::vector<std::string> frames;
    std::map<std::string, std::int64_t> counts;
    std::int64_t records = 0;
    std::int64_t skipped = 0;
    std::string skippedList; // the first maxSkippedShown, one per line
    std::string sha256;
};

int unreadable(const CompiledCodeReader& reader, const std::string& path, Report* report)
{
    if (reader.problem() == FileProblem::Interrupted || StopSignals::requested()) {
        Usage::note("stopped reading " + path + " on request");
        return StopSignals::exitStatus();
    }
    report->problem = reader.describeProblem(path);
    report->status = reader.problem() == FileProblem::LineTooLong ? FileRejected : FileNotReadable;
    return report->status;
}

// Reads the file at path through; the status, or a signal's when stopped.
int readThrough(const std::string& path, std::int16_t plcId, bool listFrames, Report* report)
{
    CompiledCodeReader reader;
    if (reader.open(path, StopSignals::token()) != FileProblem::None)
        return unreadable(reader, path, report);
    std::string line;
    if (!reader.readLine(line)) {
        if (reader.problem() != FileProblem::None)
            return unreadable(reader, path, report);
        report->headerRead = true;
        report->problem = "the file is empty";
        return report->status = FileRejected;
    }
    report->headerRead = true;
    if (const std::string problem = CompiledCodeFormat::headerProblem(line); !problem.empty()) {
        report->problem = problem;
        return report->status = FileRejected;
    }
    report->headerAccepted = true;
    if (listFrames)
        report->frames.push_back(hostlink::Frame::build(plcId, "C2"));
    while (reader.readLine(line)) {
        if (StopSignals::requested())
            return StopSignals::exitStatus();
        if (const auto command = CompiledCodeFormat::commandFor(line)) {
            ++report->records;
            ++report->counts[line.substr(0, 3)];
            if (listFrames)
                report->frames.push_back(hostlink::Frame::build(plcId, *command));
            continue;
        }
        if (++report->skipped <= maxSkippedShown)
            report->skippedList +=
                "  line " + std::to_string(reader.lineNumber()) + ": " + shown(line) + "\n";
    }
    if (reader.problem() != FileProblem::None)
        return unreadable(reader, path, report);
    if (listFrames) {
        for (const char* tail : {"CS", "IR", "C1"})
            report->frames.push_back(hostlink::Frame::build(plcId, tail));
    }
    report->sha256 = reader.sha256();
    return Success;
}

void printText(const std::string& path, std::int16_t plcId, const Report& report)
{
    if (!report.headerRead) {
        Usage::say(report.problem + ".");
        Usage::note(report.problem);
        return;
    }
    Usage::say("File: " + path);
    if (!report.headerAccepted) {
        std::printf("Header: rejected: %s.\n", report.problem.c_str());
        return;
    }
    std::printf("Header: accepted\n");
    if (!report.frames.empty()) {
        std::printf("Frames for PLC ID %s:\n", hostlink::Frame::renderHex(plcId).c_str());
        for (std::size_t i = 0; i < report.frames.size(); ++i) {
            std::printf("  %s%s\n", hostlink::ControlText::escape(report.frames[i]).c_str(),
                        i + 1 == report.frames.size() ? " (then CL, C1, CL with --reset; C1 alone without)"
                                                      : "");
        }
    }
    if (!report.problem.empty()) {
        Usage::say(report.problem + ".");
        Usage::note(report.problem);
        return;
    }
    std::printf("Records to send: %lld\n", static_cast<long long>(report.records));
    for (const char* prefix : prefixes) {
        if (const auto it = report.counts.find(prefix); it != report.counts.end())
            std::printf("  %s %s  %lld\n", prefix, CompiledCodeFormat::codeFor(prefix)->c_str(),
                        static_cast<long long>(it->second));
    }
    std::printf("Skipped lines: %lld\n%s", static_cast<long long>(report.skipped),
                report.skippedList.c_str());
    if (report.skipped > maxSkippedShown)
        std::printf("  ... and %lld more\n", static_cast<long long>(report.skipped - maxSkippedShown));
    std::printf("The upload would start.\n");
}

void printJson(const std::string& path, const Report& report)
{
    if (!report.problem.empty())
        Usage::note(report.problem);
    auto line = JsonLines::event("check");
    line["file"] = path;
    line["status"] = report.status;
    line["records"] = report.records;
    auto byType = JsonLines::Object::object();
    for (const char* prefix : prefixes) {
        if (const auto it = report.counts.find(prefix); it != report.counts.end())
            byType[*CompiledCodeFormat::codeFor(prefix)] = it->second;
    }
    line["records_by_command"] = byType;
    line["skipped"] = report.skipped;
    line["sha256"] = report.sha256.empty() ? JsonLines::Object() : JsonLines::Object(report.sha256);
    line["detail"] = report.problem.empty() ? JsonLines::Object() : JsonLines::Object(report.problem);
    if (!report.frames.empty())
        line["frames"] = report.frames;
    JsonLines::write(line);
}
} // namespace

CommandSpec CheckCommand::spec()
{
    CommandSpec spec{
        "check",
        "read a compiled program as an upload would, without a port",
        "Reads FILE as an upload would, without a port: whether the header is accepted, how many\n"
        "records would be sent by type, which lines would be skipped, and with --frames every frame.\n"
        "Exit status 0 when the upload would start; 3 unreadable file, 4 rejected content.",
        CommandSpec::standardOptions(),
        {{"FILE", "The compiled program to check.", "", "@(VQC|vqc)"}},
    };
    return spec.with({
        {{"i", "id"}, "The PLC ID the frames are built for, 1 to 4 hex digits (default 01).", "ID", "01"},
        {{"frames"}, "List every frame that would be sent, in order."},
        {{"json"},
         "Write the findings as one JSON object on standard output (see " + InstalledDocs::manual() + ")."},
    });
}

std::optional<int> CheckCommand::readPlan(const std::vector<std::string>& arguments, Plan* plan)
{
    CommandLine parser(spec());
    if (const auto early = Usage::parse(parser, arguments))
        return early;
    if (parser.positionals().size() != 1)
        return Usage::fail("check takes exactly one FILE");
    if (const auto id = OptionValues::strictId(parser.value("id"), &plan->plcId); !id.ok())
        return Usage::fail(id.message);
    plan->path = parser.positionals().front();
    plan->frames = parser.isSet("frames");
    plan->json = parser.isSet("json");
    return std::nullopt;
}

int CheckCommand::run(const std::vector<std::string>& arguments)
{
    Plan plan;
    if (const auto early = readPlan(arguments, &plan))
        return *early;
    StopSignals::install();
    Report report;
    const int status = readThrough(plan.path, plan.plcId, plan.frames, &report);
    if (StopSignals::requested())
        return status;
    if (plan.json)
        printJson(plan.path, report);
    else
        printText(plan.path, plan.plcId, report);
    return status;
}

} // namespace vantor::cli
