#pragma once

#include "upload/UploadOutcome.h"

#include <cstdint>
#include <string>

namespace vantor::upload {

// What reading a program file through once found: whether an upload of it may start, and how many
// records it would send.
struct FileCheck
{
    UploadOutcome outcome = UploadOutcome::Completed; // Completed: the upload may start
    std::string caption;                              // otherwise why not, as the status label says it
    std::string detail;                               // more about it for a log; may be empty
    std::int64_t records = 0;
    std::string sha256;   // of the whole file, as sha256sum prints it; empty when it was not read to the end
    bool regular = false; // a regular file: each upload reads it again (and compares the SHA-256)

    bool ok() const { return outcome == UploadOutcome::Completed; }
};

} // namespace vantor::upload
