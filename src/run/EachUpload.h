#pragma once

#include "record/UploadRecord.h"
#include "run/EachListener.h"
#include "run/FleetUpload.h"
#include "run/RunRecord.h"
#include "upload/UploadOutcome.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace vantor::console {
class SerialConsole;
}

namespace vantor::run {

// A production line's loop: the same program into one PLC after another as they are connected, on
// each line (port) of the plan side by side, one thread each, until the plan's stop token asks.
// On a line: wait for the port (it counts as there when it opens, so a device, a USB adapter by its
// name, and a serial server are all tried the same way), then ask the link test at every interval
// until a PLC answers, then upload to every ID of the line in turn (one arrival is one cabinet: all
// its PLCs on one bus), each with the whole upload (PlcUpload::run, records as FleetUpload makes
// them), then ask the link test at every interval until none of the IDs has answered for goneMs (or
// the port went away) before waiting for the next, so that a PLC left connected is never uploaded
// twice. A PLC that still answers stillConnectedMs after its upload is said once.
// The file is read and checked once before anything is sent, as FleetUpload does; each upload reads a
// regular file again and refuses it when its bytes changed. The plan's dry run is not for this loop.
class EachUpload
{
public:
    struct Plan
    {
        FleetUpload::Plan upload;     // the lines, their IDs, the file; its linkOnly is ignored
        int intervalMs = 500;         // between two link tests while waiting; at least 1
        int stillConnectedMs = 60000; // after an upload, before "still connected" is said
        int goneMs = 2000;            // of silence from every ID before the PLC counts as gone
    };
    struct Ended
    {
        // Every PLC of the run, in the order their uploads ended.
        std::vector<record::UploadRecord> results;
        // Set when the file was refused before anything was sent: why (no PLC was addressed).
        std::optional<upload::UploadOutcome> fileRefused;
    };

    // Blocks until the plan's stop token asks (Ctrl+C): every line ends at its next safe point, an
    // upload under way as an interrupted one. record may be null.
    static Ended run(const Plan& plan, EachListener& listener, RunRecord* record);

private:
    // What a link test round over a line's IDs found.
    enum class Heard { Answer, Silence, PortFailed, Stopped };
    // What the lines share: the results so far and the run's count.
    struct Shared
    {
        std::mutex mutex;
        std::vector<record::UploadRecord> results;
        int count = 0;
    };
    // One line's loop and what it works with, on that line's thread.
    struct LineRun
    {
        const Plan& plan;
        const FleetUpload::Line& line;
        console::SerialConsole& console;
        EachListener& listener;
        RunRecord* record;
        Shared& shared;
        std::shared_ptr<const std::string> contents; // the program, when it cannot be read again
        std::string sha256;                          // else the check's, for each upload to compare
    };

    static void runLine(LineRun& run);
    // Opens the port, trying again at every interval; false when stopped first.
    static bool waitForPort(LineRun& run);
    // Asks the link test round after round until a PLC answers, the port fails or a stop.
    static Heard waitForAnswer(LineRun& run);
    // Every ID of the line's link test in turn, until one answers.
    static Heard askRound(LineRun& run);
    static Heard linkTest(console::SerialConsole& console, std::int16_t id);
    // The uploads to every ID of the line, each counted.
    static void uploadAll(LineRun& run);
    // Until no ID has answered for goneMs (two rounds at least) or the port went away.
    static void waitUntilGone(LineRun& run);
};

} // namespace vantor::run
