#pragma once

#include "cli/FleetReporter.h"
#include "cli/PlcResult.h"
#include "cli/PortOptions.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vantor::console {
class SerialConsole;
}

namespace vantor::cli {

// Uploads one program into several PLCs: on each port the IDs one after another, in the order
// given, each with the whole upload from the link test to C1; the ports side by side, one thread
// each, sharing nothing but the reporter and the program's bytes (read once, never written). A PLC
// that fails does not stop the others; a stop request (StopSignals) stops every port at its next
// safe point, and the PLCs not started then are reported as interrupted without being addressed.
// A port that cannot be opened is tried once: its further PLCs are reported unopenable (6) too.
// After a PLC that failed the port is closed, so the next one starts on a fresh opening (a serial
// server may have dropped the connection, leaving nothing but an error for the next PLC).
class FleetUpload
{
public:
    struct Plan
    {
        std::vector<PortOptions> ports;
        std::vector<std::vector<std::int16_t>> ids; // for each port, its PLCs in order
        std::string filePath;                       // names the file in captions (and is read, below)
        // The program's bytes, checked already; empty for a regular file, which each PLC's upload
        // reads again and compares with sha256, so that memory does not grow with the file.
        std::shared_ptr<const std::string> contents;
        std::string sha256;
        bool reset = false;
        int attempts = 1;           // of the link test (UploadInput::linkAttempts)
        bool verifyReplies = false; // UploadInput::verifyReplies
    };

    // A result for this PLC of the plan as it starts: port, ID, file, settings, reset, and now as its
    // time.
    static PlcResult newResult(const Plan& plan, const PortOptions& port, std::int16_t id);

    // Blocks until every port is done. The results come port by port, each port's in ID order.
    static std::vector<PlcResult> run(const Plan& plan, FleetReporter& reporter);

private:
    static void runPort(const Plan& plan, std::size_t port, FleetReporter& reporter, PlcResult* results);
    // One PLC's whole upload on the port's console.
    static PlcResult uploadTo(const Plan& plan, const PortOptions& port, std::int16_t id,
                              console::SerialConsole& console, FleetReporter& reporter);
};

} // namespace vantor::cli
