#pragma once

#include "cli/output/PlcResult.h"
#include "cli/terminal/StatusBoard.h"
#include "run/FleetUpload.h"
#include "run/LinesListener.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace vantor::cli {

// What an upload to several PLCs (or any upload with --json) shows, called from every port's thread.
// Text: each caption on standard output as "PORT ID: caption", and each detail on standard error as
// "vantor: PORT ID: sentence". JSON: progress and result lines on standard output (see JsonLines),
// the details still on standard error. Either way a failure's reason is on standard error, and
// finish() ends with a summary: the JSON summary line, and the per-PLC table on standard error when
// there was more than one PLC. Lines from different threads never mix.
// On a terminal that moves the cursor, text output shows a StatusBoard on standard error instead: a
// line per port (its PLC, record N of M, outcome so far), with the details above it; captions then
// go to standard output only when that is not the terminal too.
class FleetReporter : public run::LinesListener
{
public:
    enum class Format { Text, Json };
    explicit FleetReporter(Format format) : format_(format) {}

    // Text output on a terminal: the board for these lines and their PLCs; nothing elsewhere.
    void showBoard(const std::vector<run::FleetUpload::Line>& lines);

    // A PlcReporter for the PLC.
    std::unique_ptr<run::PlcListener> plc(const std::string& port, const std::string& id) override;
    // "vantor: <caption>: <detail>" on standard error, once for all the PLCs.
    void fileRefused(const upload::FileCheck& check) override;

    void caption(const std::string& port, const std::string& id, const std::string& caption);
    // A line of the port's console (its opening, a warning) for standard error.
    void log(const std::string& line, bool warning) override;
    void detail(const std::string& port, const std::string& id, const std::string& sentence);
    // Record number record (from 1) of total went out.
    void progress(const std::string& port, const std::string& id, std::int64_t record, std::int64_t total);
    // A PLC's upload ended: its reason on standard error, unless explained says it was there already.
    void ended(const PlcResult& result, bool explained);
    // The PLC's result went to the record file (or there is none): the board's line and the JSON
    // result line follow, so that a script that sees the line finds the record written.
    void recorded(const PlcResult& result);
    void finish(const std::vector<PlcResult>& results);

    // The table on standard error: port, ID, outcome, records sent of the total, seconds.
    static std::string table(const std::vector<PlcResult>& results);

private:
    // One line of the board: its PLCs and how far it has come.
    struct LineState
    {
        std::size_t index = 0;
        std::string port;
        std::size_t plcs = 0, started = 0, saved = 0, failed = 0, answered = 0; // answered: dry run
        std::string id, state;
        std::int64_t record = 0, total = 0;
    };
    // Redraws the port's line; under mutex_.
    void show(LineState& line);
    LineState* lineOf(const std::string& port);
    void noteLine(const std::string& text);

    std::unique_ptr<StatusBoard> board_;
    bool captionsToScreen_ = true;
    std::map<std::string, LineState> lines_;
    Format format_;
    std::mutex mutex_;
};

} // namespace vantor::cli
