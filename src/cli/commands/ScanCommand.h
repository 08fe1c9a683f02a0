#pragma once

#include "cli/options/CommandSpec.h"
#include "cli/options/PortOptions.h"
#include "run/LineScan.h"
#include "serial/Result.h"

#include <optional>
#include <string>
#include <vector>

namespace vantor::cli {

// vantor scan [--port PORT...] [--baud LIST] [--id LIST] [--json]: which PLCs answer, where. Every
// line (each --port, or every port the system lists) is scanned by run::LineScan on a thread of its own,
// so the scan takes the time of the slowest line. Standard output gets a table (or with --json a
// "found" line per reply as it comes, then a "summary"); exit 0 when a PLC answered, 7 when none did.
// A stop request ends it at once with what was found so far.
class ScanCommand
{
public:
    static CommandSpec spec();
    static int run(const std::vector<std::string>& arguments);

    // The replies as a table: port, baud, ID asked, reply (what answered, and the line as it came).
    static std::string table(const std::vector<run::ScanReply>& replies);

private:
    // What the command line asks for: each line to scan (its port and settings), the rates and IDs.
    struct Plan
    {
        std::vector<PortOptions> lines;
        std::vector<int> bauds;
        std::vector<std::int16_t> ids;
        bool json = false;
    };
    // Reads the command line into plan; an exit status when the command is done already (help
    // shown, a usage error said, or no port to scan).
    static std::optional<int> readPlan(const std::vector<std::string>& arguments, Plan* plan);
    // The --port values, else VANTOR_PORT, else every port the system lists (said on standard
    // error); an exit status when there is none, or when two name the same port.
    static std::optional<int> linesToScan(const CommandLine& parser, std::vector<std::string>* names);
    // The note, before anything is sent, of what is scanned and how long it takes at most.
    static void sayWhatIsScanned(const Plan& plan);
    static int scan(const Plan& plan);
    // The table or the summary line, and the exit status.
    static int report(const std::vector<std::vector<run::ScanReply>>& perLine, bool json);
    // Baud rates separated by commas, each a positive whole number, none twice; a failure's message
    // is the sentence for the user.
    static serial::Result<> readBauds(const std::string& text, std::vector<int>* bauds);
};

} // namespace vantor::cli
