#pragma once

#include "cli/PlcResult.h"

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace vantor::cli {

// What an upload to several PLCs (or any upload with --json) shows, called from every port's thread.
// Text: each caption on standard output as "PORT ID: caption", and each detail on standard error as
// "vantor: PORT ID: sentence". JSON: progress and result lines on standard output (see JsonLines),
// the details still on standard error. Either way a failure's reason is on standard error, and
// finish() ends with a summary: the JSON summary line, and the per-PLC table on standard error when
// there was more than one PLC. Lines from different threads never mix.
class FleetReporter
{
public:
    enum class Format { Text, Json };
    explicit FleetReporter(Format format) : format_(format) {}

    void caption(const std::string& port, const std::string& id, const std::string& caption);
    void detail(const std::string& port, const std::string& id, const std::string& sentence);
    // Record number record (from 1) of total went out.
    void progress(const std::string& port, const std::string& id, std::int64_t record, std::int64_t total);
    // A PLC's upload ended; explained tells whether its reason was on standard error already.
    void result(const PlcResult& result, bool explained);
    void finish(const std::vector<PlcResult>& results);

    // The table on standard error: port, ID, outcome, records sent of the total, seconds.
    static std::string table(const std::vector<PlcResult>& results);

private:
    Format format_;
    std::mutex mutex_;
};

} // namespace vantor::cli
