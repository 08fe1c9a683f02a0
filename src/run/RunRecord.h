#pragma once

#include "record/RecordFile.h"
#include "record/UploadRecord.h"
#include "run/RecordListener.h"

#include <atomic>
#include <mutex>
#include <optional>
#include <string>

namespace vantor::run {

// The record file of a run (--record FILE, the desktop program's --record, or VANTOR_RECORD): each
// PLC's result line is appended as soon as that PLC's upload ends, failures included. What the file
// does (a full disk, a lock another process keeps past RecordFile::lockWait, a name that now leads to
// a refused file, a file moved away and opened again by its name) goes to the listener, which tells
// the user: a line that is not written is never lost silently. A stop the listener asks for during a
// wait for the lock gives that wait up; one made before the append does not (RecordFile::append).
// Thread-safe: the lines of a run share one RunRecord.
class RunRecord
{
public:
    // How long a result waits for a lock another process holds.
    enum class Waits {
        // lockWait; after a result whose lock was not had, one lockSlice, until the lock is had again:
        // a holder that never lets go costs a run of many PLCs one wait, not one per PLC.
        OncePerRun,
        // lockWait every time: each upload of the desktop program is a run of its own.
        EachTime,
    };
    explicit RunRecord(RecordListener& listener, Waits waits = Waits::OncePerRun)
        : listener_(listener), waits_(waits)
    {}

    // The record file a run uses: option when given (set, even empty: '' keeps none), else the
    // environment's VANTOR_RECORD; empty for none.
    static std::string chosenPath(const std::optional<std::string>& option);

    // path empty: no record is kept. Fails with a sentence for a file that cannot be appended to, or
    // that RecordFile refuses (a link, another user's file, one anyone may write).
    serial::Result<> open(const std::string& path);
    bool isOpen() const { return file_.isOpen(); }
    const std::string& path() const { return file_.path(); }

    // Blocks on the record's lock (see Waits), then on the disk. Nothing when no file is open.
    void add(const record::UploadRecord& result);
    // The run's exit status: status, or RecordNotWritten when status is a success whose record is
    // incomplete.
    int finalStatus(int status) const;

private:
    RecordListener& listener_;
    const Waits waits_;
    record::RecordFile file_;
    std::atomic<bool> failed_{false};
    std::atomic<bool> lockKept_{false}; // the last result's lock was not had
    std::mutex saying_;                 // the listener hears of one line at a time
};

} // namespace vantor::run
