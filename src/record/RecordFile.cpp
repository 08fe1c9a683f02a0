// What RecordFile does the same on every platform: the order of the checks before a line, and the
// bounded wait for the lock.
#include "record/RecordFile.h"

#include <cstdio>
#include <thread>

namespace vantor::record {

namespace {
std::string secondsText(std::chrono::milliseconds span)
{
    char text[32];
    std::snprintf(text, sizeof text, "%g", static_cast<double>(span.count()) / 1000.0);
    return text;
}
} // namespace

RecordFile::~RecordFile()
{
    closeLocked();
}

bool RecordFile::isOpen() const
{
    const std::lock_guard<std::mutex> lock(mutex_);
    return opened_;
}

std::string RecordFile::error() const
{
    const std::lock_guard<std::mutex> lock(mutex_);
    return error_;
}

bool RecordFile::open(const std::string& path)
{
    const std::lock_guard<std::mutex> lock(mutex_);
    closeLocked();
    path_ = path;
    opened_ = openLocked(path, &error_);
    return opened_;
}

RecordFile::Appended RecordFile::append(const std::string& line, const std::function<bool()>& stop,
                                        std::chrono::milliseconds wait)
{
    const std::lock_guard<std::mutex> lock(mutex_);
    Appended appended;
    if (!opened_) {
        appended.error = error_.empty() ? "the record file is not open" : error_;
        return appended;
    }
    if (handle_ == -1 || !sameFileLocked()) {
        // Moved or removed (log rotation): the lines from here on go where the name now leads, never
        // into a file that only this run still holds.
        closeLocked();
        std::string why;
        if (!openLocked(path_, &why)) {
            appended.error = "it was moved or removed during the run, and opening it again failed: " + why;
            return appended;
        }
        appended.reopened = true;
    }
    if (!waitForLock(stop, wait, &appended))
        return appended;
    appended.written = appendLocked(line + "\n", &appended.error);
    unlock();
    return appended;
}

bool RecordFile::waitForLock(const std::function<bool()>& stop, std::chrono::milliseconds wait,
                             Appended* appended)
{
    const auto deadline = std::chrono::steady_clock::now() + wait;
    // A stop asked for before the wait (Ctrl+C during the upload) must not cost the stopped upload its
    // line: only one asked for while waiting ends the wait.
    const bool stoppedBefore = stop && stop();
    for (;;) {
        std::string error;
        const LockTry got = tryLock(&error);
        if (got == LockTry::Had)
            return true;
        if (got == LockTry::Failed) {
            appended->error = "cannot lock it: " + error;
            return false;
        }
        const bool stopped = !stoppedBefore && stop && stop();
        const auto now = std::chrono::steady_clock::now();
        if (stopped || now >= deadline) {
            appended->lockNotHad = true;
            appended->holder = lockHolder();
            const std::string who =
                appended->holder.empty() ? "another process" : "another process, " + appended->holder + ",";
            appended->error = stopped ? who + " holds a lock on it, and the wait for it was stopped"
                                      : who + " has held a lock on it for " + secondsText(wait) + " s";
            return false;
        }
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(lockSlice, deadline - now));
    }
}

} // namespace vantor::record
