#pragma once

#include "record/RecordStamp.h"
#include "serial/PortSettings.h"
#include "upload/UploadOutcome.h"

#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdint>
#include <string>

namespace vantor::record {

// How one PLC's upload ended, with what a dated record needs to stand on its own: when, which
// file, which settings, which tool, on which machine as which user, and what for (the stamp). Both front ends
// fill one per upload; toJson() is the "result" line of the --json output and of the record file (schema in
// docs/vantor-json.schema.json).
struct UploadRecord
{
    std::string time;    // when this PLC's upload began: UTC, RFC 3339 with milliseconds
    std::string port;    // as given
    std::string id;      // as the frames carry it: "01", "1F", "0100"
    int status = 0;      // the exit status an upload of this PLC alone would have had
    std::string outcome; // the same in one word (outcomeWord)
    upload::UploadOutcome ending = upload::UploadOutcome::Completed; // what status and outcome say
    std::int64_t records = 0;                                        // records sent and echoed
    std::int64_t total = 0;   // records in the file; 0 when it was not read to the end
    std::string sha256;       // of the file as sent; empty when it was not read to the end
    double seconds = 0;       // this PLC's upload, from the link test to its end
    std::string detail;       // why it failed, in words; empty when the program was saved
    std::string file;         // the path as given
    std::string absolutePath; // file made absolute against the working folder (links not followed)
    serial::PortSettings settings;
    int timeoutMs = 0; // the response timeout in effect
    bool reset = false;
    std::string host;  // MachineIdentity::hostName()
    std::string user;  // MachineIdentity::userName()
    RecordStamp stamp; // the run's profile and tags

    bool saved() const { return status == 0; }
    // Whether this upload used the line at all (lineUsed of its ending).
    bool usedTheLine() const { return lineUsed(ending); }
    // Sets status and outcome from the upload's outcome (Interrupted: StoppedByUser, whatever stopped
    // it; the process's own exit status after a signal is another matter).
    void setOutcome(upload::UploadOutcome result);

    // {"schema":1,"event":"result",...}, the fields in a fixed order; profile null when none, tags an
    // object (empty when none).
    nlohmann::ordered_json toJson() const;

    // when in UTC, RFC 3339 with milliseconds: "2026-12-07T20:31:05.042Z".
    static std::string utcTime(std::chrono::system_clock::time_point when);
    // The exit status for an outcome, its word ("saved", "no-link-response", ...) and whether the
    // line was used at all (else nothing was sent and there are no records to speak of).
    static int statusOf(upload::UploadOutcome result);
    static std::string outcomeWord(upload::UploadOutcome result);
    static bool lineUsed(upload::UploadOutcome result);
    // A failure's detail from the upload's last caption and the details said after it: "No response
    // from PLC (link test: nothing answered ...)".
    static std::string reasonOf(const std::string& lastCaption, const std::string& details);
    // The tool's version, which the records and the summary carry.
    static const char* version();
};

} // namespace vantor::record
