#pragma once

#include "cli/output/FleetReporter.h"
#include "cli/output/PlcResult.h"
#include "run/EachListener.h"

#include <mutex>
#include <string>
#include <vector>

namespace vantor::cli {

// What `upload --each` shows: each PLC's upload as FleetReporter shows one of several (captions named
// by port and ID, --json result lines), and the loop's events on standard error, "vantor: PORT: ..."
// (what it waits for, an arrival, a departure). Each PLC's end is said loudly: the terminal's bell
// when standard error is one, and "PLC 3 of this run: saved (PORT ID 01)". With --json the loop's
// events are "each" lines on standard output too. Called from every line's thread; lines never mix.
class EachReporter : public run::EachListener
{
public:
    // intervalMs: how often a waiting line asks, for the words that say so.
    EachReporter(FleetReporter::Format format, int intervalMs);

    std::unique_ptr<run::PlcListener> plc(const std::string& port, const std::string& id) override;
    void log(const std::string& line, bool warning) override { fleet_.log(line, warning); }
    void fileRefused(const upload::FileCheck& check) override { fleet_.fileRefused(check); }

    void waitingForPort(const std::string& port, const std::string& problem) override;
    void waitingForPlc(const std::string& port) override;
    void arrived(const std::string& port, const std::vector<std::string>& ids) override;
    void counted(int count, const PlcResult& result) override;
    void stillConnected(const std::string& port, int seconds) override;
    void gone(const std::string& port, bool portGone) override;

    // The end of the run: the JSON summary and the table of FleetReporter::finish, then "this run:
    // saved N, failed M", or that no PLC came.
    void finish(const std::vector<PlcResult>& results);

private:
    // "vantor: PORT: text" on standard error, and with --json an "each" line of what with its fields.
    void say(const std::string& port, const std::string& text, const char* what,
             nlohmann::ordered_json fields = nlohmann::ordered_json::object());

    FleetReporter fleet_;
    FleetReporter::Format format_;
    int intervalMs_;
    bool bell_;
    std::mutex mutex_;
};

} // namespace vantor::cli
