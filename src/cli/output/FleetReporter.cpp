#include "cli/output/FleetReporter.h"

#include "cli/output/JsonLines.h"
#include "cli/output/PlcReporter.h"
#include "cli/output/Usage.h"
#include "cli/terminal/Terminal.h"
#include "hostlink/ControlText.h"

#include <algorithm>
#include <cstdio>

namespace vantor::cli {

namespace {
std::string seconds(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", value);
    return text;
}
} // namespace

void FleetReporter::showBoard(const std::vector<run::FleetUpload::Line>& lines)
{
    if (format_ != Format::Text || !Terminal::movesCursor(stderr))
        return;
    board_ = std::make_unique<StatusBoard>(stderr, lines.size());
    captionsToScreen_ = !Terminal::isTerminal(stdout);
    std::size_t width = 0;
    for (const run::FleetUpload::Line& l : lines)
        width = std::max(width, l.port.size());
    for (std::size_t p = 0; p < lines.size(); ++p) {
        LineState& line = lines_[lines[p].port];
        line.index = p;
        line.port = lines[p].port + std::string(width - lines[p].port.size(), ' ');
        line.plcs = lines[p].ids.size();
        line.state = "waiting";
        show(line);
    }
}

std::unique_ptr<run::PlcListener> FleetReporter::plc(const std::string& port, const std::string& id)
{
    return std::make_unique<PlcReporter>(*this, port, id);
}

void FleetReporter::fileRefused(const upload::FileCheck& check)
{
    Usage::note(check.detail.empty() ? check.caption : check.caption + ": " + check.detail);
}

FleetReporter::LineState* FleetReporter::lineOf(const std::string& port)
{
    const auto found = lines_.find(port);
    return found == lines_.end() ? nullptr : &found->second;
}

void FleetReporter::show(LineState& line)
{
    std::string text = line.port + "  ";
    if (line.started == 0)
        text += line.state;
    else
        text +=
            "PLC " + line.id + " (" + std::to_string(line.started) + " of " + std::to_string(line.plcs) +
            ")  " +
            (line.total > 0 ? std::to_string(line.record) + "/" + std::to_string(line.total) + "  " : "") +
            line.state;
    if (line.answered > 0)
        text +=
            "  [" + std::to_string(line.answered) + " answered, " + std::to_string(line.failed) + " failed]";
    else if (line.saved + line.failed > 0)
        text += "  [" + std::to_string(line.saved) + " saved, " + std::to_string(line.failed) + " failed]";
    board_->set(line.index, text);
}

void FleetReporter::noteLine(const std::string& text)
{
    if (board_)
        board_->print(hostlink::ControlText::escapeControls(text));
    else
        Usage::line(stderr, text);
}

void FleetReporter::caption(const std::string& port, const std::string& id, const std::string& caption)
{
    if (format_ == Format::Json)
        return;
    const std::lock_guard<std::mutex> lock(mutex_);
    if (LineState* line = board_ ? lineOf(port) : nullptr) {
        if (line->id != id) {
            line->id = id;
            ++line->started;
            line->record = line->total = 0;
        }
        const std::size_t start = caption.find_first_not_of(' ');
        line->state = start == std::string::npos ? std::string() : caption.substr(start);
        show(*line);
    }
    if (captionsToScreen_)
        Usage::say(port + " " + id + ": " + caption);
}

void FleetReporter::log(const std::string& line, bool warning)
{
    const std::lock_guard<std::mutex> lock(mutex_);
    noteLine(warning ? "vantor: " + line : line);
}

void FleetReporter::detail(const std::string& port, const std::string& id, const std::string& sentence)
{
    const std::lock_guard<std::mutex> lock(mutex_);
    noteLine("vantor: " + port + " " + id + ": " + sentence);
}

void FleetReporter::progress(const std::string& port, const std::string& id, std::int64_t record,
                             std::int64_t total)
{
    if (format_ != Format::Json) {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (LineState* line = board_ ? lineOf(port) : nullptr) {
            line->record = record;
            line->total = total;
            show(*line);
        }
        return;
    }
    auto line = JsonLines::event("progress");
    line["port"] = port;
    line["id"] = id;
    line["record"] = record;
    line["total"] = total;
    JsonLines::write(line);
}

void FleetReporter::ended(const PlcResult& result, bool explained)
{
    // A dry run's answered link test is what was asked for: its caption says so, no reason is due.
    if (!result.saved() && !explained && result.ending != upload::UploadOutcome::LinkAnswered)
        detail(result.port, result.id, result.detail);
}

void FleetReporter::recorded(const PlcResult& result)
{
    if (board_) {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (LineState* line = lineOf(result.port)) {
            if (line->id != result.id) { // a PLC not started: its port could not be opened
                line->id = result.id;
                ++line->started;
            }
            const bool answered = result.ending == upload::UploadOutcome::LinkAnswered;
            ++(result.saved() ? line->saved : answered ? line->answered : line->failed);
            line->state = result.outcome;
            show(*line);
        }
    }
    if (format_ == Format::Json)
        JsonLines::write(result.toJson());
}

void FleetReporter::finish(const std::vector<PlcResult>& results)
{
    const auto saved =
        std::count_if(results.begin(), results.end(), [](const PlcResult& r) { return r.saved(); });
    if (format_ == Format::Json) {
        auto line = JsonLines::event("summary");
        // A dry run saves none: its answered link tests are counted apart, not as failures.
        const auto answered = std::count_if(results.begin(), results.end(), [](const PlcResult& r) {
            return r.ending == upload::UploadOutcome::LinkAnswered;
        });
        line["saved"] = saved;
        line["failed"] = static_cast<std::int64_t>(results.size()) - saved - answered;
        if (answered > 0)
            line["answered"] = answered;
        line["version"] = PlcResult::version();
        JsonLines::write(line);
    }
    if (board_)
        board_->finish();
    if (results.size() > 1) {
        const std::lock_guard<std::mutex> lock(mutex_);
        std::fflush(stdout);
        std::string text = table(results);
        std::size_t start = 0;
        for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
            Usage::line(stderr, text.substr(start, end - start));
    }
}

std::string FleetReporter::table(const std::vector<PlcResult>& results)
{
    std::vector<std::vector<std::string>> rows{{"PORT", "ID", "OUTCOME", "RECORDS", "SECONDS"}};
    for (const PlcResult& r : results) {
        const std::string outcome = r.outcome + (r.saved() ? "" : " (" + std::to_string(r.status) + ")");
        rows.push_back({hostlink::ControlText::escapeControls(r.port), r.id, outcome,
                        std::to_string(r.records) + "/" + std::to_string(r.total), seconds(r.seconds)});
    }
    // Columns on the screen, not bytes: a UTF-8 character takes one however many bytes it has.
    const auto width = [](const std::string& text) {
        return static_cast<std::size_t>(std::count_if(
            text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
    };
    std::vector<std::size_t> widths(rows.front().size(), 0);
    for (const auto& row : rows) {
        for (std::size_t c = 0; c < row.size(); ++c)
            widths[c] = std::max(widths[c], width(row[c]));
    }
    std::string text;
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t c = 0; c < row.size(); ++c) {
            // Numbers to the right, words to the left.
            const std::string pad(widths[c] - width(row[c]), ' ');
            line += (c >= 3 ? pad + row[c] : row[c] + (c + 1 < row.size() ? pad : "")) + "  ";
        }
        text += line.substr(0, line.find_last_not_of(' ') + 1) + "\n";
    }
    return text;
}

} // namespace vantor::cli
