#pragma once

#include "record/RecordFile.h"

#include <string>

namespace vantor::run {

// How a front end hears of the record file while a run appends to it (RunRecord). Calls come one at
// a time, from the thread whose result is being appended.
class RecordListener
{
public:
    virtual ~RecordListener() = default;
    // Asked between slices of a wait for the record's lock, which another process holds; true gives
    // the wait up (the line is then not written). Not asked when the lock is had at once.
    virtual bool waitingForLock() = 0;
    // What came of appending line (one result, as JSON) to the file under path. firstFailure: this is
    // the first line of the run that was not written.
    virtual void appended(const record::RecordFile::Appended& what, const std::string& path,
                          const std::string& line, bool firstFailure) = 0;
};

} // namespace vantor::run
