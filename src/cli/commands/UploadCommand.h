#pragma once

#include "cli/options/PortOptions.h"
#include "cli/options/Profile.h"
#include "cli/output/PlcResult.h"
#include "run/FleetUpload.h"
#include "run/RunRecord.h"
#include "serial/Result.h"
#include "upload/UploadOutcome.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vantor::cli {

// vantor upload [port options] [--id ID[,ID|LOW-HIGH...]] [--reset] [--json] FILE: the main panel's
// upload without a window. Standard output gets the captions the panel would show, the final one
// last; with several PLCs (run::FleetUpload) each caption is named by port and ID, and with --json
// standard output gets JSON Lines instead.
class UploadCommand
{
public:
    static CommandSpec spec();
    static int run(const std::vector<std::string>& arguments);
    static int exitStatusFor(upload::UploadOutcome outcome);
    // The outcome in one lower-case word for --json ("saved", "no-link-response", ...).
    static std::string outcomeName(upload::UploadOutcome outcome);

private:
    // What the command line asks for: the port settings, the lines and their PLCs, and where the
    // record goes (nothing: as VANTOR_RECORD says).
    struct Request
    {
        PortOptions port;
        run::FleetUpload::Plan plan;
        bool json = false;
        std::optional<std::string> recordPath;
        Profile::Applied profile;
        // --each: the production line's loop, with how often a waiting line asks (ms) and how long a
        // PLC may stay connected after its upload before it is told to be unplugged (ms).
        bool each = false;
        int intervalMs = 500;
        int unplugLimitMs = 60000;
    };
    // Reads the command line into request; an exit status when the command is done already (help
    // shown, or a usage error said).
    static std::optional<int> readRequest(const std::vector<std::string>& arguments, Request* request);
    // The lines and their PLCs, and the attempts, from the command line; a failure's message is the
    // sentence for the user, naming the option.
    static serial::Result<> readPlan(const CommandLine& parser, const PortOptions& port,
                                     run::FleetUpload::Plan* plan);
    // Runs the plan: one PLC as text gets the panel's captions, and a progress bar on a terminal;
    // several PLCs, or --json, get captions named by port and ID (FleetReporter).
    static int upload(const run::FleetUpload::Plan& plan, const PortOptions& port, bool json,
                      run::RunRecord& record, std::vector<PlcResult>* results);
    // --each's options into request, checked; a failure's message names the option.
    static serial::Result<> readEach(const CommandLine& parser, Request* request);
    // Runs the loop of --each until Ctrl+C: exit status 0 when every PLC of the run was saved (a run
    // of none included), SomePlcsFailed when one was not, as the closing summary says.
    static int uploadEach(const Request& request, run::RunRecord& record);
    // The exit status of a plan's run by its results: one PLC's own; several: Success when all were
    // saved (LinkAnswered for a dry run when all answered), else SomePlcsFailed.
    static int statusOf(const run::FleetUpload::Plan& plan, const std::vector<PlcResult>& results);
    // The note on standard error that says what goes where, before anything is sent.
    static void sayWhatGoesWhere(const run::FleetUpload::Plan& plan, const PortOptions& port, bool one);
    // Each port with the --id text it gets: a single --id applies to every --port; with several, each
    // --id applies to the --port values given before it since the previous --id. No value is left
    // over: a --port without an --id after it, or an --id without a --port before it, is an error.
    static serial::Result<> pairPortsWithIds(const CommandLine& parser, const std::string& defaultPort,
                                             std::vector<std::pair<std::string, std::string>>* lines);
};

} // namespace vantor::cli
