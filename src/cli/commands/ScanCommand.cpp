#include "cli/commands/ScanCommand.h"

#include "cli/ExitStatus.h"
#include "cli/InstalledDocs.h"
#include "cli/commands/RunPlanned.h"
#include "cli/options/OptionValues.h"
#include "cli/options/Profile.h"
#include "cli/output/JsonLines.h"
#include "cli/output/Usage.h"
#include "cli/terminal/StatusBoard.h"
#include "cli/terminal/Terminal.h"
#include "console/StopSignals.h"
#include "hostlink/ControlText.h"
#include "record/UploadRecord.h"
#include "serial/PortCatalog.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <mutex>
#include <thread>

namespace vantor::cli {

using console::StopSignals;

namespace {

// A line of the scan as the scanner takes it: its port, settings and timeout, this tool's names (SIM)
// and the trace when asked for.
run::LineScan::Line lineToScan(const PortOptions& port)
{
    return {port.portName, port.settings, port.timeoutText, [] { return PortOptions::catalog(); },
            [port](console::SerialConsole& console) { port.applyTo(console); }};
}

std::string describe(const run::ScanReply& r)
{
    if (r.kind == "echo")
        return "PLC " + r.answeredAs;
    if (r.kind == "late")
        return "PLC " + r.answeredAs + ", late (a longer --timeout)";
    if (r.kind == "other-id")
        return "answered as ID " + r.answeredAs + " (not " + r.id + "; two PLCs share an ID, or a wrong ID)";
    return "garbled (no PLC's echo: PLCs sharing the ID, or wrong line settings)";
}

JsonLines::Object toJson(const run::ScanReply& r)
{
    auto line = JsonLines::event("found");
    line["port"] = r.port;
    line["baud"] = r.baud;
    line["id"] = r.id;
    line["kind"] = r.kind;
    line["answered_as"] = r.answeredAs.empty() ? JsonLines::Object() : JsonLines::Object(r.answeredAs);
    line["reply"] = r.reply;
    return line;
}

} // namespace

serial::Result<> ScanCommand::readBauds(const std::string& text, std::vector<int>* bauds)
{
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = text.find(',', start);
        const auto baud =
            OptionValues::wholeNumber(text.substr(start, comma == std::string::npos ? comma : comma - start));
        if (!baud || *baud == 0 || std::count(bauds->begin(), bauds->end(), *baud) > 0)
            return serial::failed(
                "--baud takes baud rates separated by commas, each once, such as 9600,19200,38400");
        bauds->push_back(*baud);
        if (comma == std::string::npos)
            return {};
        start = comma + 1;
    }
}

std::string ScanCommand::table(const std::vector<run::ScanReply>& replies)
{
    std::vector<std::vector<std::string>> rows{{"PORT", "BAUD", "ID", "ANSWER", "REPLY"}};
    for (const run::ScanReply& r : replies)
        rows.push_back({hostlink::ControlText::escapeControls(r.port), std::to_string(r.baud), r.id,
                        describe(r), hostlink::ControlText::escape(r.reply)});
    std::vector<std::size_t> widths(rows.front().size(), 0);
    for (const auto& row : rows) {
        for (std::size_t c = 0; c < row.size(); ++c)
            widths[c] = std::max(widths[c], row[c].size());
    }
    std::string text;
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t c = 0; c < row.size(); ++c)
            line += row[c] + (c + 1 < row.size() ? std::string(widths[c] - row[c].size() + 2, ' ') : "");
        text += line + "\n";
    }
    return text;
}

CommandSpec ScanCommand::spec()
{
    CommandSpec spec{
        "scan",
        "find the PLCs that answer: which ports, baud rates and IDs",
        "Finds the PLCs that answer: the link test (C2, which changes nothing in a PLC) to each ID at\n"
        "each baud rate on each line: every --port given (or VANTOR_PORT), else every port the system\n"
        "lists. The lines are scanned side by side, the IDs on a line one after another. Standard\n"
        "output gets the table of replies; a reply from another ID than the one asked is shown as such.\n"
        "Exit status: 0 when a PLC answered, 7 when none did, 2 bad command line, 128+N stopped by\n"
        "signal N (after printing what was found so far).",
        CommandSpec::standardOptions(),
        {},
    };
    spec.with(PortOptions::options(true));
    return spec.with({
        {{"i", "id"},
         "The IDs to ask, as a list or ranges (default 00-1F).",
         "LIST",
         "00-1F",
         ProfileValue::Text},
        {{"json"},
         "Write a \"found\" JSON line per reply, then a \"summary\" (see " + InstalledDocs::manual() + ")."},
        Profile::option(),
    });
}

int ScanCommand::run(const std::vector<std::string>& arguments)
{
    return runPlanned<Plan>(arguments, readPlan, scan);
}

std::optional<int> ScanCommand::readPlan(const std::vector<std::string>& arguments, Plan* plan)
{
    CommandLine parser(spec());
    Profile::Applied profile;
    if (const auto early = Profile::parse(parser, arguments, &profile))
        return early;
    if (!parser.positionals().empty())
        return Usage::fail("scan takes no arguments besides its options");
    if (const auto bauds = readBauds(parser.value("baud"), &plan->bauds); !bauds.ok())
        return Usage::fail(profile.blame(bauds.message));
    if (const auto ids = OptionValues::strictIdList(parser.value("id"), &plan->ids); !ids.ok())
        return Usage::fail(profile.blame(ids.message));
    std::vector<std::string> names;
    if (const auto early = linesToScan(parser, &names))
        return early;
    // Each line gets its own name, and each baud rate its turn (LineScan).
    PortOptions port;
    if (const auto settings = port.readSettings(parser, false); !settings.ok())
        return Usage::fail(profile.blame(settings.message));
    plan->lines.assign(names.size(), port);
    for (std::size_t p = 0; p < names.size(); ++p)
        plan->lines[p].portName = names[p];
    plan->json = parser.isSet("json");
    return std::nullopt;
}

std::optional<int> ScanCommand::linesToScan(const CommandLine& parser, std::vector<std::string>* names)
{
    *names = PortOptions::portNames(parser);
    if (names->empty()) {
        std::string listed;
        for (const serial::PortInfo& info : serial::PortCatalog::systemPorts()) {
            names->push_back(info.device);
            listed += (listed.empty() ? "" : ", ") + info.device;
        }
        if (names->empty()) {
            Usage::note("no serial ports found to scan: plug in the adapter, or name the ports with --port");
            return NoLinkResponse;
        }
        Usage::note("no --port given, nor VANTOR_PORT: scanning the ports this system lists, " + listed);
    }
    const serial::PortCatalog catalog = PortOptions::catalog();
    for (std::size_t a = 0; a < names->size(); ++a) {
        for (std::size_t b = 0; b < a; ++b) {
            if (catalog.samePort((*names)[a], (*names)[b]))
                return Usage::fail("--port " + (*names)[a] + " names the same port as --port " + (*names)[b] +
                                   "; each line is named once");
        }
    }
    return std::nullopt;
}

void ScanCommand::sayWhatIsScanned(const Plan& plan)
{
    const std::size_t lines = plan.lines.size();
    const std::size_t ids = plan.ids.size();
    const std::size_t bauds = plan.bauds.size();
    const int timeoutMs = plan.lines.front().timeoutMs();
    // Every ID silent but for bytes without a line end, each of which costs a second wait, is the
    // longest a line can take; the lines take it side by side.
    const double longest = 2.0 * static_cast<double>(ids * bauds) * timeoutMs / 1000.0;
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.0f", longest < 1 ? 1 : longest);
    Usage::note("scanning " + std::to_string(lines) + " line" + (lines > 1 ? "s" : "") + " for " +
                std::to_string(ids) + " ID" + (ids > 1 ? "s" : "") + " at " + std::to_string(bauds) +
                " baud rate" + (bauds > 1 ? "s" : "") + ", " + std::to_string(timeoutMs) +
                " ms each: " + seconds + " s at most");
}

int ScanCommand::scan(const Plan& plan)
{
    const std::vector<PortOptions>& lines = plan.lines;
    const std::vector<int>& bauds = plan.bauds;
    const std::vector<std::int16_t>& ids = plan.ids;
    const bool json = plan.json;
    sayWhatIsScanned(plan);
    StopSignals::install();
    std::unique_ptr<StatusBoard> board;
    if (Terminal::movesCursor(stderr))
        board = std::make_unique<StatusBoard>(stderr, lines.size());
    std::mutex mutex;
    std::vector<std::vector<run::ScanReply>> replies(lines.size());
    std::vector<std::size_t> found(lines.size(), 0);
    const auto note = [&](const std::string& text) {
        const std::lock_guard<std::mutex> lock(mutex);
        if (board)
            board->print("vantor: " + hostlink::ControlText::escapeControls(text));
        else
            Usage::note(text);
    };
    std::vector<std::thread> threads;
    for (std::size_t p = 0; p < lines.size(); ++p) {
        run::LineScan::Sink sink;
        sink.reply = [&, p](const run::ScanReply& reply) {
            if (json)
                JsonLines::write(toJson(reply));
            const std::lock_guard<std::mutex> lock(mutex);
            replies[p].push_back(reply);
            found[p] += reply.found() ? 1 : 0;
        };
        sink.note = note;
        sink.at = [&, p](int baud, const std::string& id) {
            const std::lock_guard<std::mutex> lock(mutex);
            if (board)
                board->set(p, lines[p].portName + "  " + std::to_string(baud) + " baud  ID " + id + "  " +
                                  std::to_string(found[p]) + " found");
        };
        threads.emplace_back([&lines, &bauds, &ids, p, sink] {
            run::LineScan::run(lineToScan(lines[p]), bauds, ids, StopSignals::token(), sink);
        });
    }
    for (auto& thread : threads)
        thread.join();
    if (board)
        board->finish();
    return report(replies, json);
}

int ScanCommand::report(const std::vector<std::vector<run::ScanReply>>& perLine, bool json)
{
    std::vector<run::ScanReply> replies;
    for (const auto& line : perLine)
        replies.insert(replies.end(), line.begin(), line.end());
    const auto found =
        std::count_if(replies.begin(), replies.end(), [](const run::ScanReply& r) { return r.found(); });
    if (json) {
        auto line = JsonLines::event("scan-summary");
        line["found"] = found;
        line["other_replies"] = static_cast<std::int64_t>(replies.size()) - found;
        line["interrupted"] = StopSignals::requested();
        line["version"] = record::UploadRecord::version();
        JsonLines::write(line);
    } else if (replies.empty()) {
        Usage::say("No PLC answered.");
    } else {
        const std::string text = table(replies);
        std::size_t start = 0;
        for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
            Usage::say(text.substr(start, end - start));
    }
    if (StopSignals::requested()) {
        Usage::note("interrupted: the replies above are what was found so far");
        return StopSignals::exitStatus();
    }
    return found > 0 ? Success : NoLinkResponse;
}

} // namespace vantor::cli
