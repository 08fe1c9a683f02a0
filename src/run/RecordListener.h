#pragma once

#include "record/RecordFile.h"

#include <string>

namespace vantor::run {

// How a front end hears of the record file while a run appends to it (RunRecord). Calls come one at
// a time, from the thread whose result is being appended, with RunRecord's own lock held, and
// waitingForLock() with the record file's too: neither may call back into the RunRecord or its
// RecordFile, which would wait for itself.
class RecordListener
{
public:
    virtual ~RecordListener() = default;
    // Asked once before the record's lock is first tried (a stop asked for by then does not cut the
    // wait short: the line of a stopped upload still goes in), then between slices of a wait for the
    // lock while another process holds it; true there gives the wait up (the line is then not written).
    virtual bool waitingForLock() = 0;
    // What came of appending line (one result, as JSON) to the file under path. firstFailure: this is
    // the first line of the run that was not written.
    virtual void appended(const record::RecordFile::Appended& what, const std::string& path,
                          const std::string& line, bool firstFailure) = 0;
};

} // namespace vantor::run
