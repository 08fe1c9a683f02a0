#include "cli/commands/UploadCommand.h"

#include "cli/ExitStatus.h"
#include "cli/InstalledDocs.h"
#include "cli/options/OptionValues.h"
#include "cli/options/PortOptions.h"
#include "cli/options/Profile.h"
#include "cli/options/RecordTags.h"
#include "cli/options/RetryFailed.h"
#include "cli/output/EachReporter.h"
#include "cli/output/FleetReporter.h"
#include "cli/output/OnePlcReporter.h"
#include "cli/output/RecordNotes.h"
#include "cli/output/Usage.h"
#include "cli/terminal/Terminal.h"
#include "console/SerialConsole.h"
#include "console/StopSignals.h"
#include "hostlink/Frame.h"
#include "run/EachUpload.h"
#include "upload/UploadProcedure.h"

#include <algorithm>
#include <memory>
#include <optional>

namespace vantor::cli {

using console::StopSignals;

namespace {

// The port came from a profile and could not be opened: where the name came from is said too.
void blameProfileForPort(const Profile::Applied& profile, const std::vector<PlcResult>& results)
{
    if (!profile.sets("port"))
        return;
    for (const PlcResult& r : results) {
        if (r.status == PortNotOpenable) {
            Usage::note("the port " + r.port + " comes from " + profile.origin());
            return;
        }
    }
}
} // namespace

int UploadCommand::exitStatusFor(upload::UploadOutcome outcome)
{
    if (outcome == upload::UploadOutcome::Interrupted && StopSignals::requested())
        return StopSignals::exitStatus();
    return PlcResult::statusOf(outcome);
}

std::string UploadCommand::outcomeName(upload::UploadOutcome outcome)
{
    return PlcResult::outcomeWord(outcome);
}

CommandSpec UploadCommand::spec()
{
    CommandSpec spec{
        "upload",
        "upload a compiled program (.VQC) into the PLC",
        "Uploads FILE, a compiled program (.VQC), into the PLC: link test, one frame per record,\n"
#ifdef _WIN32
        "save to EEPROM, then C1 (with CL around it when --reset is given). Standard output gets the\n"
        "status captions, the final one last; standard error\n"
#else
        "save to EEPROM, then C1 (with CL around it when --reset is given). FILE may be a pipe\n"
        "(/dev/stdin). Standard output gets the status captions, the final one last; standard error\n"
#endif
        "gets what was tried and why something failed.\n"
        "Several PLCs: --id 01,02,05-0A uploads them one after another on the line, and --port given\n"
        "again adds a line; the lines run side by side, and standard error ends with a table. Given\n"
        "several times, each --id is for the --port values before it: -p A --id 01-03 -p B --id 02.\n"
        "Exit status: 0 saved, 3 unreadable file, 4 rejected file, 6 port not openable, 7 no answer\n"
        "to the link test, 8 a record not echoed, 9 save not confirmed, 10 port lost, 11 the file\n"
        "changed while sending, 12 some of several PLCs failed, 13 saved but the reset not answered,\n"
        "14 the record file failed mid-run, 15 --dry-run: the link test answered, 2 bad command line,\n"
        "128+N stopped by signal N. --each: 0 every PLC of the run saved, 12 one was not.\n" +
            InstalledDocs::seeManual(),
        CommandSpec::standardOptions(),
        {{"FILE", "The compiled program to upload.", "", "@(VQC|vqc)"}},
    };
    spec.with(PortOptions::options());
    using P = ProfileValue;
    return spec.with({
        {{"i", "id"},
         "The PLC's ID in hexadecimal, 1 to 4 digits (default 01), or several on one line: 01,02,05-0A.",
         "ID",
         "01",
         P::Text},
        {{"r", "reset"}, "Reset the PLC after the upload.", "", "", P::Switch},
        {{"json"},
         "Write progress and results as JSON Lines on standard output (see " + InstalledDocs::manual() +
             ")."},
        {{"attempts"},
         "Try the link test up to N times (1 to 10, default 1), each with the timeout, before giving up "
         "on "
         "a PLC; records and the save are never sent twice.",
         "N",
         "1",
         P::Number},
        {{"verify-replies"},
         "Check every reply in full, for PLCs that answer \"@\" + ID + code + end code + FCS + \"*\": a "
         "wrong FCS (a corrupted line) or an end code other than 00 (the PLC refusing the frame) fails "
         "it, as a missing echo would.",
         "",
         "",
         P::Switch},
        {{"record"},
         "Append each PLC's result, as a JSON line with the time, file and settings, to FILE (created "
         "when missing; shared safely by concurrent runs). VANTOR_RECORD sets it for every run; '' for "
         "none.",
         "FILE",
         "",
         P::Text},
        RecordTags::option(),
        RetryFailed::option(),
        {{"dry-run"},
         "Read and check FILE as an upload would, then send only the link test to each PLC: exit status "
         "15 when it answered (every PLC, with several), 12 when one did not."},
        {{"each"},
         "Production line: wait for a PLC on each line, upload, wait until it is gone, and again for the "
         "next, until Ctrl+C; one arrival gets all the line's IDs (a cabinet's PLCs on one bus). Exit "
         "status 0 when every PLC of the run was saved, 12 when one was not."},
        {{"poll-interval"},
         "With --each: ask the link test every MS milliseconds while waiting for a PLC to come or go "
         "(50 to 60000, default 500).",
         "MS",
         "500"},
        {{"unplug-limit"},
         "With --each: a PLC still answering S seconds after its upload is told once to be unplugged for "
         "the next (1 to 86400, default 60).",
         "S",
         "60"},
        Profile::option(),
    });
}

int UploadCommand::run(const std::vector<std::string>& arguments)
{
    Request request;
    if (const auto early = readRequest(arguments, &request))
        return *early;
    RecordNotes notes;
    run::RunRecord record(notes);
    if (const auto opened = record.open(run::RunRecord::chosenPath(request.recordPath)); !opened.ok())
        return Usage::fail(opened.message);
    if (request.each)
        return record.finalStatus(uploadEach(request, record));
    std::vector<PlcResult> results;
    const int status = upload(request.plan, request.port, request.json, record, &results);
    blameProfileForPort(request.profile, results);
    // A Ctrl+C that came only while the record waited for its lock still stopped the command.
    return StopSignals::requested() ? StopSignals::exitStatus() : record.finalStatus(status);
}

std::optional<int> UploadCommand::readRequest(const std::vector<std::string>& arguments, Request* request)
{
    CommandLine parser(spec());
    if (const auto early = Profile::parse(parser, arguments, &request->profile))
        return early;
    // With --retry-failed the record names the ports: neither --port nor VANTOR_PORT is needed.
    const bool retrying = parser.isSet(RetryFailed::optionName);
    if (const auto values = retrying ? request->port.readSettings(parser) : request->port.read(parser);
        !values.ok())
        return Usage::fail(request->profile.blame(values.message));
    const Profile::Applied& profile = request->profile;
    if (parser.positionals().size() != 1)
        return Usage::fail("upload takes exactly one FILE");
    run::FleetUpload::Plan& plan = request->plan;
    if (const auto read = readPlan(parser, request->port, &plan); !read.ok())
        return Usage::fail(profile.blame(read.message));
    plan.filePath = parser.positionals().front();
    // Refused before the record is read: its picks would be said and then not run.
    if (parser.isSet("each") && retrying)
        return Usage::fail(
            "--retry-failed picks PLCs from a record and --each waits for new ones: give one of "
            "them");
    if (const auto done = RetryFailed::apply(parser, request->port, &plan))
        return done;
    plan.reset = parser.isSet("reset");
    request->json = parser.isSet("json");
    if (const auto tagged = RecordTags::read(parser, profile, &plan.stamp); !tagged.ok())
        return Usage::fail(tagged.message);
    if (parser.isSet("record"))
        request->recordPath = parser.value("record");
    plan.linkOnly = parser.isSet("dry-run");
    if (const auto each = readEach(parser, request); !each.ok())
        return Usage::fail(profile.blame(each.message));
    return std::nullopt;
}

serial::Result<> UploadCommand::readEach(const CommandLine& parser, Request* request)
{
    request->each = parser.isSet("each");
    if (request->each && request->plan.linkOnly)
        return serial::failed("--dry-run checks the PLCs connected now and --each waits for PLCs to come: "
                              "give one of them");
    const auto interval = OptionValues::wholeNumber(parser.value("poll-interval"));
    if (!interval || *interval < 50 || *interval > 60000)
        return serial::failed("--poll-interval must be a whole number of milliseconds from 50 to 60000");
    const auto limit = OptionValues::wholeNumber(parser.value("unplug-limit"));
    if (!limit || *limit < 1 || *limit > 86400)
        return serial::failed("--unplug-limit must be a whole number of seconds from 1 to 86400");
    request->intervalMs = *interval;
    request->unplugLimitMs = *limit * 1000;
    return {};
}

serial::Result<> UploadCommand::readPlan(const CommandLine& parser, const PortOptions& port,
                                         run::FleetUpload::Plan* plan)
{
    const auto attempts = OptionValues::wholeNumber(parser.value("attempts"));
    if (!attempts || *attempts < 1 || *attempts > upload::UploadProcedure::maxLinkAttempts)
        return serial::failed("--attempts must be a whole number from 1 to " +
                              std::to_string(upload::UploadProcedure::maxLinkAttempts));
    plan->attempts = *attempts;
    plan->verifyReplies = parser.isSet("verify-replies");
    std::vector<std::pair<std::string, std::string>> lines; // each port with its --id text
    if (auto paired = pairPortsWithIds(parser, port.portName, &lines); !paired.ok())
        return paired;
    // Opening one port twice would only find it in use by this very run.
    const serial::PortCatalog catalog = PortOptions::catalog();
    for (const auto& [name, idText] : lines) {
        std::vector<std::int16_t> ids;
        if (auto listed = OptionValues::strictIdList(idText, &ids); !listed.ok())
            return listed;
        for (const run::FleetUpload::Line& other : plan->lines) {
            if (other.port == name || catalog.samePort(other.port, name))
                return serial::failed("--port " + name +
                                      (other.port == name ? " is given twice"
                                                          : " names the same port as --port " + other.port) +
                                      "; each line is named once");
        }
        plan->lines.push_back({name, port.settings, port.timeoutText, std::move(ids)});
    }
    // Each line's console gets this tool's names (SIM) and the trace when asked for.
    plan->catalog = [] { return PortOptions::catalog(); };
    plan->setUp = [port](console::SerialConsole& console, std::size_t) {
        PortOptions options = port;
        options.portName = console.portName();
        options.applyTo(console);
    };
    plan->stop = StopSignals::token();
    return {};
}

serial::Result<> UploadCommand::pairPortsWithIds(const CommandLine& parser, const std::string& defaultPort,
                                                 std::vector<std::pair<std::string, std::string>>* lines)
{
    std::vector<std::string> waiting; // ports not yet followed by an --id
    int idsGiven = 0;
    for (const auto& [name, value] : parser.sequence())
        idsGiven += name == "id" ? 1 : 0;
    for (const auto& [name, value] : parser.sequence()) {
        if (name == "port" && idsGiven > 1) {
            waiting.push_back(value);
        } else if (name == "port") {
            lines->emplace_back(value, parser.value("id"));
        } else if (name == "id" && idsGiven > 1) {
            if (waiting.empty())
                return serial::failed("--id " + value +
                                      " follows no --port: with several --id values, each follows the --port "
                                      "values it is for");
            for (const std::string& port : waiting)
                lines->emplace_back(port, value);
            waiting.clear();
        }
    }
    if (!waiting.empty())
        return serial::failed(
            "--port " + waiting.front() +
            " has no --id after it: with several --id values, each follows the --port values "
            "it is for");
    if (lines->empty()) // no --port: the one from the environment
        lines->emplace_back(defaultPort, parser.value("id"));
    return {};
}

void UploadCommand::sayWhatGoesWhere(const run::FleetUpload::Plan& plan, const PortOptions& port, bool one)
{
    if (one) {
        const run::FleetUpload::Line& line = plan.lines.front();
        Usage::note("uploading " + plan.filePath + " to PLC ID " +
                    hostlink::Frame::renderHex(line.ids.front()) + " through " + line.port + " at " +
                    line.settings.settingsText() + ", timeout " + std::to_string(port.timeoutMs()) + " ms" +
                    (plan.attempts > 1 ? ", " + std::to_string(plan.attempts) + " link test attempts" : "") +
                    (plan.verifyReplies ? ", every reply checked in full" : "") +
                    (plan.reset ? ", reset after" : ""));
        return;
    }
    std::string lines;
    std::size_t plcs = 0;
    for (const run::FleetUpload::Line& line : plan.lines) {
        std::string idList;
        for (const std::int16_t id : line.ids)
            idList += (idList.empty() ? "" : ",") + hostlink::Frame::renderHex(id);
        lines += (lines.empty() ? "" : "; ") + line.port + " (ID" + (line.ids.size() > 1 ? "s " : " ") +
                 idList + ")";
        plcs += line.ids.size();
    }
    Usage::note("uploading " + plan.filePath + " to " + std::to_string(plcs) + " PLC" +
                (plcs > 1 ? "s" : "") + " through " + lines + " at " +
                plan.lines.front().settings.settingsText() + (plan.reset ? ", reset after" : ""));
}

int UploadCommand::upload(const run::FleetUpload::Plan& plan, const PortOptions& port, bool json,
                          run::RunRecord& record, std::vector<PlcResult>* results)
{
    // One PLC as text shows the panel's captions; several, or --json, are named by port and ID.
    const bool one = plan.lines.size() == 1 && plan.lines.front().ids.size() == 1 && !json;
    sayWhatGoesWhere(plan, port, one);
    StopSignals::install();
    // The bar shares standard error with the trace, which would write over it: one or the other.
    const bool terminal = Terminal::isTerminal(stderr);
    OnePlcReporter onePlc(terminal && !port.trace, terminal);
    FleetReporter fleet(json ? FleetReporter::Format::Json : FleetReporter::Format::Text);
    if (!one && !json)
        fleet.showBoard(plan.lines);
    run::LinesListener& listener = one ? static_cast<run::LinesListener&>(onePlc) : fleet;
    const run::FleetUpload::Ended ended = run::FleetUpload::run(plan, listener, &record);
    *results = ended.results;
    if (!one)
        fleet.finish(*results);
    if (ended.fileRefused)
        return exitStatusFor(*ended.fileRefused);
    if (StopSignals::requested())
        return StopSignals::exitStatus();
    return statusOf(plan, *results);
}

int UploadCommand::statusOf(const run::FleetUpload::Plan& plan, const std::vector<PlcResult>& results)
{
    if (results.size() == 1)
        return results.front().status;
    const bool all = std::all_of(results.begin(), results.end(), [&plan](const PlcResult& r) {
        return plan.linkOnly ? r.ending == upload::UploadOutcome::LinkAnswered : r.saved();
    });
    if (!all)
        return SomePlcsFailed;
    return plan.linkOnly ? LinkAnswered : Success;
}

int UploadCommand::uploadEach(const Request& request, run::RunRecord& record)
{
    const run::FleetUpload::Plan& plan = request.plan;
    sayWhatGoesWhere(plan, request.port, false);
    Usage::note("waiting for each PLC in turn (Ctrl+C ends the run)");
    StopSignals::install();
    EachReporter reporter(request.json ? FleetReporter::Format::Json : FleetReporter::Format::Text,
                          request.intervalMs);
    run::EachUpload::Plan each{plan, request.intervalMs, request.unplugLimitMs};
    const run::EachUpload::Ended ended = run::EachUpload::run(each, reporter, &record);
    if (ended.fileRefused)
        return exitStatusFor(*ended.fileRefused);
    reporter.finish(ended.results);
    const bool allSaved =
        std::all_of(ended.results.begin(), ended.results.end(), [](const PlcResult& r) { return r.saved(); });
    return allSaved ? Success : SomePlcsFailed;
}

} // namespace vantor::cli
