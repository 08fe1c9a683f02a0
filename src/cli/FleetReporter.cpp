#include "cli/FleetReporter.h"

#include "cli/JsonLines.h"
#include "cli/Usage.h"
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

// Seconds rounded to milliseconds, so that the JSON does not carry clock noise.
double rounded(double value)
{
    return static_cast<double>(static_cast<long long>(value * 1000 + 0.5)) / 1000;
}
} // namespace

void FleetReporter::caption(const std::string& port, const std::string& id, const std::string& caption)
{
    if (format_ == Format::Json)
        return;
    const std::lock_guard<std::mutex> lock(mutex_);
    Usage::say(port + " " + id + ": " + caption);
}

void FleetReporter::detail(const std::string& port, const std::string& id, const std::string& sentence)
{
    const std::lock_guard<std::mutex> lock(mutex_);
    Usage::note(port + " " + id + ": " + sentence);
}

void FleetReporter::progress(const std::string& port, const std::string& id, std::int64_t record,
                             std::int64_t total)
{
    if (format_ != Format::Json)
        return;
    auto line = JsonLines::event("progress");
    line["port"] = port;
    line["id"] = id;
    line["record"] = record;
    line["total"] = total;
    JsonLines::write(line);
}

void FleetReporter::result(const PlcResult& result, bool explained)
{
    if (!result.saved() && !explained)
        detail(result.port, result.id, result.detail);
    if (format_ != Format::Json)
        return;
    auto line = JsonLines::event("result");
    line["port"] = result.port;
    line["id"] = result.id;
    line["status"] = result.status;
    line["outcome"] = result.outcome;
    line["records"] = result.records;
    line["total"] = result.total;
    line["sha256"] = result.sha256.empty() ? JsonLines::Object() : JsonLines::Object(result.sha256);
    line["seconds"] = rounded(result.seconds);
    line["detail"] = result.detail.empty() ? JsonLines::Object() : JsonLines::Object(result.detail);
    JsonLines::write(line);
}

void FleetReporter::finish(const std::vector<PlcResult>& results)
{
    const auto saved =
        std::count_if(results.begin(), results.end(), [](const PlcResult& r) { return r.saved(); });
    if (format_ == Format::Json) {
        auto line = JsonLines::event("summary");
        line["saved"] = saved;
        line["failed"] = static_cast<std::int64_t>(results.size()) - saved;
        JsonLines::write(line);
    }
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
