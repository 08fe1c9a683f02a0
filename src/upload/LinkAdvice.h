#pragma once

#include "upload/UploadReporter.h"

#include <cstdint>
#include <string>

namespace vantor::upload {

// What to try next when the link test failed, in words that are the same for every front end but for
// the names of its settings, which words gives (UploadReporter::remedy). Pure functions.
class LinkAdvice
{
public:
    // The usual causes in the order a technician checks them (port, baud rate and settings, cable, PLC
    // ID, the PLC's mode), then the next steps: a scan, and after silence also more attempts than
    // attempts (while below maxAttempts) and a longer timeout than timeoutMs (ms); a PLC that answered
    // something is neither starting up nor slow.
    static std::string causes(const UploadReporter& words, int timeoutMs, int attempts, int maxAttempts,
                              bool silence);

    // An echo came delayMs after the command, past the timeoutMs it was waited for: the PLC is there
    // and answers late, and a timeout that would have taken it is suggested.
    static std::string lateAnswer(const UploadReporter& words, std::int64_t delayMs, int timeoutMs);

    // A PLC answered as another ID: the port, the settings and the cable work, so only the ID is left,
    // and a scan (in words' name for it) finds the IDs that answer.
    static std::string otherPlc(const UploadReporter& words);

    // A timeout with room for an answer delayMs late, in whole quarter seconds (730 -> 1000).
    static int timeoutFor(std::int64_t delayMs);
};

} // namespace vantor::upload
