#include "cli/UploadCommand.h"

#include "cli/ExitStatus.h"
#include "cli/FleetReporter.h"
#include "cli/FleetUpload.h"
#include "cli/PortOptions.h"
#include "cli/Profile.h"
#include "cli/ProgressBar.h"
#include "cli/Terminal.h"
#include "cli/Usage.h"
#include "console/SerialConsole.h"
#include "console/StopSignals.h"
#include "hostlink/Frame.h"
#include "upload/UploadProcedure.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace vantor::cli {

using console::StopSignals;

namespace {

// Captions to standard output; details, and record progress as a bar when standard error is a
// terminal, to standard error.
class CommandLineReporter : public upload::UploadReporter
{
public:
    explicit CommandLineReporter(bool showProgress)
    {
        if (showProgress)
            bar_ = std::make_unique<ProgressBar>(stderr);
    }
    void detail(const std::string& sentence) override
    {
        if (bar_)
            bar_->finish();
        Usage::note(sentence);
        details_ += (details_.empty() ? "" : "; ") + sentence;
    }
    void showCaption(const std::string& caption) override
    {
        if (bar_)
            bar_->finish();
        Usage::say(caption);
        lastCaption_ = caption;
    }
    // A failure whose cause no detail named yet is named on standard error from its caption, so
    // that the reason is there also when standard output is discarded.
    void explainFailure()
    {
        if (details_.empty() && !lastCaption_.empty())
            Usage::note(lastCaption_);
    }
    std::string reason() const { return PlcResult::reasonOf(lastCaption_, details_); }
    void repaint() override {}
    void recordSent(std::int64_t lineNumber, std::int64_t total, const std::string&) override
    {
        if (bar_)
            bar_->update(lineNumber, total);
    }

private:
    std::unique_ptr<ProgressBar> bar_;
    std::string details_;
    std::string lastCaption_;
};

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

int UploadCommand::run(const std::vector<std::string>& arguments)
{
    CommandLine parser(
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
        "14 the record file failed mid-run, 2 bad command line, 128+N stopped by signal N.\n"
        "See vantor(1).");
    Usage::addStandardOptions(parser);
    PortOptions port;
    port.addTo(parser);
    parser.addOptions({
        {{"i", "id"},
         "The PLC's ID in hexadecimal, 1 to 4 digits (default 01), or several on one line: 01,02,05-0A.",
         "ID",
         "01"},
        {{"r", "reset"}, "Reset the PLC after the upload."},
        {{"json"}, "Write progress and results as JSON Lines on standard output (see vantor(1))."},
        {{"attempts"},
         "Try the link test up to N times (1 to 10, default 1), each with the timeout, before giving up on a "
         "PLC; records and the save are never sent twice.",
         "N",
         "1"},
        {{"verify-replies"},
         "Check every reply in full, for PLCs that answer \"@\" + ID + code + end code + FCS + \"*\": a "
         "wrong FCS (a corrupted line) or an end code other than 00 (the PLC refusing the frame) fails it, "
         "as a missing echo would."},
        {{"record"},
         "Append each PLC's result, as a JSON line with the time, file and settings, to FILE (created when "
         "missing; shared safely by concurrent runs). VANTOR_RECORD sets it for every run; '' for none.",
         "FILE"},
        Profile::option(),
    });
    parser.addPositional("FILE", "The compiled program to upload.");
    Profile::Applied profile;
    if (const auto early = Profile::parse(parser, arguments, &profile))
        return *early;
    std::string error;
    if (!port.read(parser, &error))
        return Usage::fail(profile.blame(error));
    if (parser.positionals().size() != 1)
        return Usage::fail("upload takes exactly one FILE");
    FleetUpload::Plan plan;
    if (!readPlan(parser, port, &plan, &error))
        return Usage::fail(profile.blame(error));
    plan.filePath = parser.positionals().front();
    plan.reset = parser.isSet("reset");
    const char* recordFromEnvironment = std::getenv("VANTOR_RECORD");
    const std::string recordPath = parser.isSet("record")  ? parser.value("record")
                                   : recordFromEnvironment ? recordFromEnvironment
                                                           : "";
    RunRecord record;
    if (!record.open(recordPath, &error))
        return Usage::fail(error);

    std::vector<PlcResult> results;
    const bool json = parser.isSet("json");
    const int status = plan.ports.size() == 1 && plan.ids.front().size() == 1 && !json
                           ? uploadOne(plan, record, &results)
                           : uploadMany(plan, json, record, &results);
    blameProfileForPort(profile, results);
    // A Ctrl+C that came only while the record waited for its lock still stopped the command.
    return StopSignals::requested() ? StopSignals::exitStatus() : record.finalStatus(status);
}

bool UploadCommand::readPlan(const CommandLine& parser, const PortOptions& port, FleetUpload::Plan* plan,
                             std::string* error)
{
    const auto attempts = Usage::wholeNumber(parser.value("attempts"));
    if (!attempts || *attempts < 1 || *attempts > upload::UploadProcedure::maxLinkAttempts) {
        *error = "--attempts must be a whole number from 1 to " +
                 std::to_string(upload::UploadProcedure::maxLinkAttempts);
        return false;
    }
    plan->attempts = *attempts;
    plan->verifyReplies = parser.isSet("verify-replies");
    std::vector<std::pair<std::string, std::string>> lines; // each port with its --id text
    if (!pairPortsWithIds(parser, port.portName, &lines, error))
        return false;
    // Opening one port twice would only find it in use by this very run.
    const serial::PortCatalog catalog = PortOptions::catalog();
    for (const auto& [name, idText] : lines) {
        plan->ids.emplace_back();
        if (!Usage::strictIdList(idText, &plan->ids.back(), error))
            return false;
        for (const PortOptions& other : plan->ports) {
            if (other.portName == name || catalog.samePort(other.portName, name)) {
                *error = "--port " + name +
                         (other.portName == name ? " is given twice"
                                                 : " names the same port as --port " + other.portName) +
                         "; each line is named once";
                return false;
            }
        }
        plan->ports.push_back(port);
        plan->ports.back().portName = name;
    }
    return true;
}

bool UploadCommand::pairPortsWithIds(const CommandLine& parser, const std::string& defaultPort,
                                     std::vector<std::pair<std::string, std::string>>* lines,
                                     std::string* error)
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
            if (waiting.empty()) {
                *error =
                    "--id " + value +
                    " follows no --port: with several --id values, each follows the --port values it is for";
                return false;
            }
            for (const std::string& port : waiting)
                lines->emplace_back(port, value);
            waiting.clear();
        }
    }
    if (!waiting.empty()) {
        *error = "--port " + waiting.front() +
                 " has no --id after it: with several --id values, each follows the --port values it is for";
        return false;
    }
    if (lines->empty()) // no --port: the one from the environment
        lines->emplace_back(defaultPort, parser.value("id"));
    return true;
}

int UploadCommand::uploadMany(FleetUpload::Plan& plan, bool json, RunRecord& record,
                              std::vector<PlcResult>* results)
{
    std::string lines;
    std::size_t plcs = 0;
    for (std::size_t p = 0; p < plan.ports.size(); ++p) {
        std::string idList;
        for (const std::int16_t id : plan.ids[p])
            idList += (idList.empty() ? "" : ",") + hostlink::Frame::renderHex(id);
        lines += (lines.empty() ? "" : "; ") + plan.ports[p].portName + " (ID" +
                 (plan.ids[p].size() > 1 ? "s " : " ") + idList + ")";
        plcs += plan.ids[p].size();
    }
    Usage::note("uploading " + plan.filePath + " to " + std::to_string(plcs) + " PLC" +
                (plcs > 1 ? "s" : "") + " through " + lines + " at " +
                plan.ports.front().settings.settingsText() + (plan.reset ? ", reset after" : ""));
    StopSignals::install();
    FleetReporter reporter(json ? FleetReporter::Format::Json : FleetReporter::Format::Text, &record);
    if (!json)
        reporter.showBoard(plan.ports, plan.ids);
    // The file is read and checked once; every PLC gets the same bytes.
    auto bytes = std::make_shared<std::string>();
    const upload::FileCheck check = upload::UploadProcedure::checkFile(
        plan.filePath, [] { return StopSignals::requested(); }, bytes.get());
    if (!check.ok()) {
        const int status = exitStatusFor(check.outcome);
        Usage::note(check.detail.empty() ? check.caption : check.caption + ": " + check.detail);
        for (std::size_t p = 0; p < plan.ports.size(); ++p) {
            for (const std::int16_t id : plan.ids[p]) {
                PlcResult r = FleetUpload::newResult(plan, plan.ports[p], id);
                r.setOutcome(check.outcome);
                r.detail = check.caption + " (nothing was sent)";
                reporter.result(r, true);
                results->push_back(r);
            }
        }
        reporter.finish(*results);
        return status;
    }
    // A regular file is read again by each PLC's upload, compared with this check's SHA-256, so that
    // memory does not grow with the file; only what cannot be read twice (a pipe) is kept.
    if (!check.regular)
        plan.contents = std::move(bytes);
    else
        plan.sha256 = check.sha256;
    *results = FleetUpload::run(plan, reporter);
    reporter.finish(*results);
    if (StopSignals::requested())
        return StopSignals::exitStatus();
    if (results->size() == 1)
        return results->front().status;
    const bool allSaved =
        std::all_of(results->begin(), results->end(), [](const PlcResult& r) { return r.saved(); });
    return allSaved ? Success : SomePlcsFailed;
}

int UploadCommand::uploadOne(const FleetUpload::Plan& plan, RunRecord& record,
                             std::vector<PlcResult>* results)
{
    const PortOptions& port = plan.ports.front();
    const std::int16_t id = plan.ids.front().front();
    const std::string& file = plan.filePath;
    const bool reset = plan.reset;
    console::SerialConsole console(PortOptions::catalog());
    port.applyTo(console);
    // The opening line goes where the console would log it; on the command line that is standard
    // error, so standard output keeps to the panel's captions.
    console.setLogSink([](const std::string& line) { Usage::line(stderr, line); });
    console.setWarningSink([](const std::string& line) { Usage::note(line); });

    // The bar shares standard error with the trace, which would write over it: one or the other.
    const bool terminal = Terminal::isTerminal(stderr);
    CommandLineReporter reporter(terminal && !port.trace);
    // Port failures reach the user through the final caption, which names the port and the cause.
    console.setErrorSink([](const std::string&) {});
    upload::UploadProcedure procedure({console.exchange(), [&console] { return console.lastPortProblem(); }},
                                      reporter);

    const std::string idText = hostlink::Frame::renderHex(id);
    Usage::note("uploading " + file + " to PLC ID " + idText + " through " + port.portName + " at " +
                port.settings.settingsText() + ", timeout " + std::to_string(port.timeoutMs()) + " ms" +
                (plan.attempts > 1 ? ", " + std::to_string(plan.attempts) + " link test attempts" : "") +
                (plan.verifyReplies ? ", every reply checked in full" : "") + (reset ? ", reset after" : ""));
    StopSignals::install();
    PlcResult result = FleetUpload::newResult(plan, port, id);
    const auto started = std::chrono::steady_clock::now();
    const auto outcome = procedure.run({file, [&idText] { return idText; }, [reset] { return reset; },
                                        [] { return StopSignals::requested(); }, nullptr, std::string(),
                                        plan.attempts, plan.verifyReplies});
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    if (!terminal && PlcResult::lineUsed(outcome)) {
        // Logs and scripts get no bar; one closing line tells the count and the time.
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%.2f", result.seconds);
        Usage::note(std::to_string(procedure.linesSent()) + " records sent and echoed in " + seconds + " s");
    }
    if (outcome != upload::UploadOutcome::Completed)
        reporter.explainFailure();
    result.setOutcome(outcome);
    result.records = procedure.linesSent();
    result.total = procedure.lastCheck().records;
    result.sha256 = procedure.lastCheck().sha256;
    if (!result.saved())
        result.detail = reporter.reason();
    record.add(result);
    results->push_back(result);
    // The process says which signal stopped it (128 + N); the record says that the user stopped it.
    return exitStatusFor(outcome);
}

} // namespace vantor::cli
