#pragma once

#include <cstdint>
#include <string>

namespace vantor::cli {

// How one PLC's upload in a run ended, for the --json result line and the table on standard error.
struct PlcResult
{
    std::string port;
    std::string id;           // as the frames carry it: "01", "1F", "0100"
    int status = 0;           // the exit status an upload of this PLC alone would have had
    std::string outcome;      // the same in one word (UploadCommand::outcomeName)
    std::int64_t records = 0; // records sent and echoed
    std::int64_t total = 0;   // records in the file; 0 when it was not read to the end
    std::string sha256;       // of the file as sent; empty when it was not read to the end
    double seconds = 0;       // this PLC's upload, from the link test to its end
    std::string detail;       // why it failed, in words; empty when the program was saved

    bool saved() const { return status == 0; }
};

} // namespace vantor::cli
