#include "cli/UploadCommand.h"

#include "cli/ExitStatus.h"
#include "cli/FleetReporter.h"
#include "cli/FleetUpload.h"
#include "cli/PortOptions.h"
#include "cli/ProgressBar.h"
#include "cli/Terminal.h"
#include "cli/Usage.h"
#include "console/SerialConsole.h"
#include "console/StopSignals.h"
#include "hostlink/Frame.h"
#include "upload/UploadProcedure.h"

#include "hostlink/TimeoutText.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
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
        ++details_;
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
        if (details_ == 0 && !lastCaption_.empty())
            Usage::note(lastCaption_);
    }
    void repaint() override {}
    void recordSent(std::int64_t lineNumber, std::int64_t total, const std::string&) override
    {
        if (bar_)
            bar_->update(lineNumber, total);
    }

private:
    std::unique_ptr<ProgressBar> bar_;
    int details_ = 0;
    std::string lastCaption_;
};

// Each outcome once: its exit status, its word in JSON and in the table of several PLCs, and
// whether the line was used at all (else the closing line says nothing of records).
struct OutcomeRow
{
    upload::UploadOutcome outcome;
    int status;
    const char* word;
    bool lineUsed;
};
constexpr OutcomeRow outcomeRows[] = {
    {upload::UploadOutcome::Completed, Success, "saved", true},
    {upload::UploadOutcome::SaveNotConfirmed, SaveNotConfirmed, "save-not-confirmed", true},
    {upload::UploadOutcome::ResetNotConfirmed, ResetNotConfirmed, "reset-not-confirmed", true},
    {upload::UploadOutcome::FileNotReadable, FileNotReadable, "file-not-readable", false},
    {upload::UploadOutcome::FileRejected, FileRejected, "file-rejected", false},
    {upload::UploadOutcome::PlcIdRejected, PlcIdRejected, "id-rejected", false},
    {upload::UploadOutcome::PortNotOpenable, PortNotOpenable, "port-not-openable", false},
    {upload::UploadOutcome::NoLinkResponse, NoLinkResponse, "no-link-response", true},
    {upload::UploadOutcome::Aborted, UploadAborted, "aborted", true},
    {upload::UploadOutcome::PortLost, PortLost, "port-lost", true},
    {upload::UploadOutcome::FileChanged, FileChanged, "file-changed", true},
    // Only a stop request interrupts; its status is the signal's (below).
    {upload::UploadOutcome::Interrupted, InternalError, "interrupted", true},
};

const OutcomeRow* rowOf(upload::UploadOutcome outcome)
{
    for (const OutcomeRow& row : outcomeRows) {
        if (row.outcome == outcome)
            return &row;
    }
    return nullptr;
}
} // namespace

int UploadCommand::exitStatusFor(upload::UploadOutcome outcome)
{
    if (outcome == upload::UploadOutcome::Interrupted && StopSignals::requested())
        return StopSignals::exitStatus();
    const OutcomeRow* row = rowOf(outcome);
    return row ? row->status : InternalError;
}

std::string UploadCommand::outcomeName(upload::UploadOutcome outcome)
{
    const OutcomeRow* row = rowOf(outcome);
    return row ? row->word : "internal-error";
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
        "2 bad command line, 128+N stopped by signal N. See vantor(1).");
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
    });
    parser.addPositional("FILE", "The compiled program to upload.");
    if (const auto early = Usage::parse(parser, arguments))
        return *early;
    std::string error;
    if (!port.read(parser, &error))
        return Usage::fail(error);
    if (parser.positionals().size() != 1)
        return Usage::fail("upload takes exactly one FILE");
    std::vector<std::pair<std::string, std::string>> lines; // each port with its --id text
    if (!pairPortsWithIds(parser, port.portName, &lines, &error))
        return Usage::fail(error);
    // Opening one port twice would only find it in use by this very run.
    const serial::PortCatalog catalog = PortOptions::catalog();
    std::vector<PortOptions> ports;
    std::vector<std::vector<std::int16_t>> ids;
    for (const auto& [name, idText] : lines) {
        ids.emplace_back();
        if (!Usage::strictIdList(idText, &ids.back(), &error))
            return Usage::fail(error);
        for (const PortOptions& other : ports) {
            if (other.portName == name)
                return Usage::fail("--port " + name + " is given twice; each line is named once");
            if (catalog.samePort(other.portName, name))
                return Usage::fail("--port " + name + " names the same port as --port " + other.portName +
                                   "; each line is named once");
        }
        ports.push_back(port);
        ports.back().portName = name;
    }
    const bool json = parser.isSet("json");
    if (ports.size() == 1 && ids.front().size() == 1 && !json)
        return uploadOne(port, ids.front().front(), parser.isSet("reset"), parser.positionals().front());
    return uploadMany(ports, ids, parser.isSet("reset"), parser.positionals().front(), json);
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

int UploadCommand::uploadMany(const std::vector<PortOptions>& ports,
                              const std::vector<std::vector<std::int16_t>>& ids, bool reset,
                              const std::string& file, bool json)
{
    std::string lines;
    std::size_t plcs = 0;
    for (std::size_t p = 0; p < ports.size(); ++p) {
        std::string idList;
        for (const std::int16_t id : ids[p])
            idList += (idList.empty() ? "" : ",") + hostlink::Frame::renderHex(id);
        lines += (lines.empty() ? "" : "; ") + ports[p].portName + " (ID" + (ids[p].size() > 1 ? "s " : " ") +
                 idList + ")";
        plcs += ids[p].size();
    }
    Usage::note("uploading " + file + " to " + std::to_string(plcs) + " PLC" + (plcs > 1 ? "s" : "") +
                " through " + lines + " at " + ports.front().settings.settingsText() +
                (reset ? ", reset after" : ""));
    StopSignals::install();
    FleetReporter reporter(json ? FleetReporter::Format::Json : FleetReporter::Format::Text);
    // The file is read and checked once; every PLC gets the same bytes.
    auto bytes = std::make_shared<std::string>();
    const upload::FileCheck check = upload::UploadProcedure::checkFile(
        file, [] { return StopSignals::requested(); }, bytes.get());
    std::vector<PlcResult> results;
    if (!check.ok()) {
        const int status = exitStatusFor(check.outcome);
        Usage::note(check.detail.empty() ? check.caption : check.caption + ": " + check.detail);
        for (std::size_t p = 0; p < ports.size(); ++p) {
            for (const std::int16_t id : ids[p]) {
                PlcResult r;
                r.port = ports[p].portName;
                r.id = hostlink::Frame::renderHex(id);
                r.status = status;
                r.outcome = outcomeName(check.outcome);
                r.detail = check.caption + " (nothing was sent)";
                reporter.result(r, true);
                results.push_back(r);
            }
        }
        reporter.finish(results);
        return status;
    }
    // A regular file is read again by each PLC's upload, compared with this check's SHA-256, so that
    // memory does not grow with the file; only what cannot be read twice (a pipe) is kept.
    std::shared_ptr<const std::string> contents;
    if (!check.regular)
        contents = std::move(bytes);
    results = FleetUpload::run(
        {ports, ids, file, contents, check.regular ? check.sha256 : std::string(), reset}, reporter);
    reporter.finish(results);
    if (StopSignals::requested())
        return StopSignals::exitStatus();
    if (results.size() == 1)
        return results.front().status;
    const bool allSaved =
        std::all_of(results.begin(), results.end(), [](const PlcResult& r) { return r.saved(); });
    return allSaved ? Success : SomePlcsFailed;
}

int UploadCommand::uploadOne(const PortOptions& port, std::int16_t id, bool reset, const std::string& file)
{
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
                port.settings.settingsText() + ", timeout " +
                std::to_string(hostlink::TimeoutText::effectiveMs(
                    port.timeoutText, hostlink::CommandExchange::responseFallbackMs)) +
                " ms" + (reset ? ", reset after" : ""));
    StopSignals::install();
    const auto started = std::chrono::steady_clock::now();
    const auto outcome = procedure.run({file, [&idText] { return idText; }, [reset] { return reset; },
                                        [] { return StopSignals::requested(); }});
    if (const OutcomeRow* row = rowOf(outcome); !terminal && row && row->lineUsed) {
        // Logs and scripts get no bar; one closing line tells the count and the time.
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%.2f",
                      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
        Usage::note(std::to_string(procedure.linesSent()) + " records sent and echoed in " + seconds + " s");
    }
    if (outcome != upload::UploadOutcome::Completed)
        reporter.explainFailure();
    return exitStatusFor(outcome);
}

} // namespace vantor::cli
