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

serial::Result<> RecordFile::open(const std::string& path)
{
    const std::lock_guard<std::mutex> lock(mutex_);
    closeLocked();
    path_ = path;
    serial::Result<> opened = openLocked(path);
    opened_ = opened.ok();
    error_ = opened.message;
    return opened;
}

RecordFile::Appended RecordFile::append(const std::string& line, const serial::StopToken& stop,
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
        if (const auto reopened = openLocked(path_); !reopened.ok()) {
            appended.error =
                "it was moved or removed during the run, and opening it again failed: " + reopened.message;
            return appended;
        }
        appended.reopened = true;
    }
    if (!waitForLock(stop, wait, &appended))
        return appended;
    const serial::Result<> written = appendLocked(line + "\n");
    appended.written = written.ok();
    appended.error = written.message;
    unlock();
    return appended;
}

bool RecordFile::waitForLock(const serial::StopToken& stop, std::chrono::milliseconds wait,
                             Appended* appended)
{
    const auto deadline = std::chrono::steady_clock::now() + wait;
    // A stop asked for before the wait (Ctrl+C during the upload) must not cost the stopped upload its
    // line: only one asked for while waiting ends the wait.
    const bool stoppedBefore = stop.requested();
    for (;;) {
        const serial::Result<LockTry> got = tryLock();
        if (got.ok())
            return true;
        if (got.error == LockTry::Failed) {
            appended->error = "cannot lock it: " + got.message;
            return false;
        }
        const bool stopped = !stoppedBefore && stop.requested();
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
