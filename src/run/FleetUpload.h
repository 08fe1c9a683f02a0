#pragma once

#include "record/UploadRecord.h"
#include "run/LinesListener.h"
#include "run/RunRecord.h"
#include "serial/PortCatalog.h"
#include "serial/PortSettings.h"
#include "serial/StopToken.h"
#include "upload/UploadOutcome.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vantor::console {
class SerialConsole;
}

namespace vantor::run {

// Uploads one program into one or several PLCs: on each line (port) the IDs one after another, in
// the order given, each with the whole upload from the link test to C1; the lines side by side, one
// thread each, sharing nothing but the listener, the record and the program's bytes (read and
// checked once, before anything is sent; never written). A PLC that fails does not stop the others;
// a stop request stops every line at its next safe point, and the PLCs not started then are reported
// as interrupted without being addressed. A port that cannot be opened is tried once: its further
// PLCs are reported unopenable too. After a PLC that failed the port is closed, so the next one
// starts on a fresh opening (a serial server may have dropped the connection, leaving nothing but an
// error for the next PLC).
class FleetUpload
{
public:
    // One port and its PLCs.
    struct Line
    {
        std::string port;
        serial::PortSettings settings;
        std::string timeoutText; // as the console's box takes it
        std::vector<std::int16_t> ids;
    };
    struct Plan
    {
        std::vector<Line> lines;
        std::string filePath;
        bool reset = false;
        int attempts = 1;           // of the link test (UploadInput::linkAttempts)
        bool verifyReplies = false; // UploadInput::verifyReplies
        bool linkOnly = false;      // UploadInput::linkOnly: a dry run, only the link test on each PLC
        // The run's profile and tags, copied into every record newRecord makes.
        record::RecordStamp stamp;
        // Makes the catalog of each line's console (the front end's own names, such as SIM).
        std::function<serial::PortCatalog()> catalog;
        // The front end's own set-up of a line's console, after its port, settings and timeout
        // (a trace, say); may be empty.
        std::function<void(console::SerialConsole&, std::size_t line)> setUp;
        // Asked before every step and during every wait, from every line's thread; the default never
        // stops.
        serial::StopToken stop;
    };
    struct Ended
    {
        // Line by line, each line's in ID order.
        std::vector<record::UploadRecord> results;
        // Set when the file was refused before anything was sent: why.
        std::optional<upload::UploadOutcome> fileRefused;
    };

    // Blocks until every line is done. record may be null.
    static Ended run(const Plan& plan, LinesListener& listener, RunRecord* record);
    // The record of one PLC's upload as it starts (PlcUpload::newRecord with the plan's file and stamp
    // and the line's settings); every way of running a plan starts its records here.
    static record::UploadRecord newRecord(const Plan& plan, const Line& line, std::int16_t id);
    // Sets up the console of the plan's line l as every way of running a plan does: its port,
    // settings and timeout, the front end's set-up, the log and warnings to listener. Port failures are
    // not passed on: each run says them in its own words (captions, waiting for the port).
    static void setUpConsole(const Plan& plan, std::size_t l, LinesListener& listener,
                             console::SerialConsole& console);

private:
    static void runLine(const Plan& plan, std::size_t line,
                        const std::shared_ptr<const std::string>& contents, const std::string& sha256,
                        LinesListener& listener, RunRecord* record, record::UploadRecord* results);
    static std::vector<record::UploadRecord> refuse(const Plan& plan, const upload::FileCheck& check,
                                                    LinesListener& listener, RunRecord* record);
};

} // namespace vantor::run
