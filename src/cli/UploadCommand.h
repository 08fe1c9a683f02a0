#pragma once

#include "cli/FleetUpload.h"
#include "cli/PlcResult.h"
#include "cli/PortOptions.h"
#include "cli/RunRecord.h"
#include "upload/UploadOutcome.h"

#include <cstdint>

#include <string>
#include <utility>
#include <vector>

namespace vantor::cli {

// vantor upload [port options] [--id ID[,ID|LOW-HIGH...]] [--reset] [--json] FILE: the main panel's
// upload without a window. Standard output gets the captions the panel would show, the final one
// last; with several PLCs (FleetUpload) each caption is named by port and ID, and with --json
// standard output gets JSON Lines instead.
class UploadCommand
{
public:
    static int run(const std::vector<std::string>& arguments);
    static int exitStatusFor(upload::UploadOutcome outcome);
    // The outcome in one lower-case word for --json ("saved", "no-link-response", ...).
    static std::string outcomeName(upload::UploadOutcome outcome);

private:
    // The lines and their PLCs, and the attempts, from the command line.
    static bool readPlan(const CommandLine& parser, const PortOptions& port, FleetUpload::Plan* plan,
                         std::string* error);
    // One PLC, text output: the panel's captions, and a progress bar on a terminal.
    static int uploadOne(const FleetUpload::Plan& plan, RunRecord& record, std::vector<PlcResult>* results);
    // Several PLCs, or --json.
    static int uploadMany(FleetUpload::Plan& plan, bool json, RunRecord& record,
                          std::vector<PlcResult>* results);
    // Each port with the --id text it gets: a single --id applies to every --port; with several, each
    // --id applies to the --port values given before it since the previous --id. No value is left
    // over: a --port without an --id after it, or an --id without a --port before it, is an error.
    static bool pairPortsWithIds(const CommandLine& parser, const std::string& defaultPort,
                                 std::vector<std::pair<std::string, std::string>>* lines, std::string* error);
};

} // namespace vantor::cli
