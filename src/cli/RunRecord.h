#pragma once

#include "cli/PlcResult.h"
#include "record/RecordFile.h"

#include <atomic>
#include <string>

namespace vantor::cli {

// The record file of one run (--record FILE, or VANTOR_RECORD): each PLC's result line is appended
// as soon as that PLC's upload ends, failures included. A file that cannot be written mid-run (a full
// disk, a file made read-only) is said once on standard error; the uploads go on to their end, and
// the run ends with RecordNotWritten where it would have been a success. Thread-safe.
class RunRecord
{
public:
    // path empty: no record is kept. False with a message for a file that cannot be appended to.
    bool open(const std::string& path, std::string* error);
    bool isOpen() const { return file_.isOpen(); }

    void add(const PlcResult& result);
    // The run's exit status: status, or RecordNotWritten when status is a success whose record is
    // incomplete.
    int finalStatus(int status) const;

private:
    record::RecordFile file_;
    std::atomic<bool> failed_{false};
};

} // namespace vantor::cli
