#include "cli/output/EachReporter.h"

#include "cli/output/JsonLines.h"
#include "cli/output/Usage.h"
#include "cli/terminal/Terminal.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace vantor::cli {

EachReporter::EachReporter(FleetReporter::Format format, int intervalMs)
    : fleet_(format), format_(format), intervalMs_(intervalMs), bell_(Terminal::isTerminal(stderr))
{}

std::unique_ptr<run::PlcListener> EachReporter::plc(const std::string& port, const std::string& id)
{
    return fleet_.plc(port, id);
}

void EachReporter::say(const std::string& port, const std::string& text, const char* what,
                       nlohmann::ordered_json fields)
{
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        Usage::note(port + ": " + text);
    }
    if (format_ != FleetReporter::Format::Json)
        return;
    auto line = JsonLines::event("each");
    line["what"] = what;
    line["port"] = port;
    line["time"] = PlcResult::utcTime(std::chrono::system_clock::now());
    for (const auto& [key, value] : fields.items())
        line[key] = value;
    JsonLines::write(line);
}

void EachReporter::waitingForPort(const std::string& port, const std::string& problem)
{
    say(port, "waiting for the port: " + problem, "waiting-for-port", {{"detail", problem}});
}

void EachReporter::waitingForPlc(const std::string& port)
{
    say(port, "waiting for a PLC (the link test every " + std::to_string(intervalMs_) + " ms)",
        "waiting-for-plc");
}

void EachReporter::arrived(const std::string& port, const std::vector<std::string>& ids)
{
    std::string list;
    for (const std::string& id : ids)
        list += (list.empty() ? "" : ",") + id;
    say(port, "a PLC answered: uploading to ID" + std::string(ids.size() > 1 ? "s " : " ") + list, "arrived",
        {{"ids", ids}});
}

void EachReporter::counted(int count, const PlcResult& result)
{
    const std::string words = "PLC " + std::to_string(count) +
                              " of this run: " + (result.saved() ? "saved" : "FAILED, " + result.outcome) +
                              " (" + result.port + " ID " + result.id + ")";
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (bell_)
            std::fputc('\a', stderr);
        Usage::line(stderr, words);
    }
    if (format_ != FleetReporter::Format::Json)
        return;
    auto line = JsonLines::event("each");
    line["what"] = "counted";
    line["port"] = result.port;
    line["time"] = PlcResult::utcTime(std::chrono::system_clock::now());
    line["id"] = result.id;
    line["count"] = count;
    line["outcome"] = result.outcome;
    JsonLines::write(line);
}

void EachReporter::stillConnected(const std::string& port, int seconds)
{
    say(port, "still connected " + std::to_string(seconds) + " s after its upload: unplug it for the next",
        "still-connected");
}

void EachReporter::gone(const std::string& port, bool portGone)
{
    say(port, portGone ? "the port went away" : "the PLC stopped answering: waiting for the next", "gone",
        {{"detail", portGone ? "port gone" : "stopped answering"}});
}

void EachReporter::finish(const std::vector<PlcResult>& results)
{
    fleet_.finish(results);
    const auto saved =
        std::count_if(results.begin(), results.end(), [](const PlcResult& r) { return r.saved(); });
    const auto failed = static_cast<std::ptrdiff_t>(results.size()) - saved;
    const std::lock_guard<std::mutex> lock(mutex_);
    if (results.empty())
        Usage::note("this run: no PLC was connected, nothing was uploaded");
    else
        Usage::note("this run: saved " + std::to_string(saved) + ", failed " + std::to_string(failed));
}

} // namespace vantor::cli
