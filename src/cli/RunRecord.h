#pragma once

#include "cli/PlcResult.h"
#include "record/RecordFile.h"

#include <atomic>
#include <mutex>
#include <string>

namespace vantor::cli {

// The record file of one run (--record FILE, or VANTOR_RECORD): each PLC's result line is appended
// as soon as that PLC's upload ends, failures included. A file that cannot be written mid-run (a full
// disk, a lock another process keeps past RecordFile::lockWait, a name that leads to a refused file
// once the record was moved) is said once on
// standard error, and each line it misses follows there as it is, so that none is lost; the uploads go
// on to their end, and the run ends with RecordNotWritten where it would have been a success. A
// record moved or removed mid-run is opened again by its name, which is said too. A stop request
// (StopSignals) made during a wait for the lock ends it; one made before does not (see
// RecordFile::append). Thread-safe.
class RunRecord
{
public:
    // path empty: no record is kept. False with a message for a file that cannot be appended to, or
    // that RecordFile refuses (a link, another user's file, one anyone may write).
    bool open(const std::string& path, std::string* error);
    bool isOpen() const { return file_.isOpen(); }

    // Blocks on the record's lock, at most RecordFile::lockWait; after a result whose lock was not
    // had, one RecordFile::lockSlice, until the lock is had again.
    void add(const PlcResult& result);
    // The run's exit status: status, or RecordNotWritten when status is a success whose record is
    // incomplete.
    int finalStatus(int status) const;

private:
    record::RecordFile file_;
    std::atomic<bool> failed_{false};
    std::atomic<bool> lockKept_{false}; // the last result's lock was not had
    std::mutex saying_;                 // a failure's sentence and the line after it stay together
};

} // namespace vantor::cli
