#pragma once

#include <cstdint>
#include <mutex>
#include <string>

namespace vantor::record {

// An append-only file of JSON lines, one per upload, that several runs on one machine may share:
// the quality department's dated record of what went where.
//
// - open() creates the file when missing (mode 0644 less the umask) and never truncates it; it must
//   be a regular file (a device, FIFO or folder under the name is refused).
// - append() writes one whole line with a single write at the end of the file, under an exclusive
//   lock on the file (flock; LockFileEx on Windows), then flushes it to the disk (fsync;
//   FlushFileBuffers), so that concurrent runs interleave whole lines only and a crash loses at most
//   the line being written. A write that went out only in part (a full disk) is cut off again, so a
//   broken line is never left behind for others to append to.
// Thread-safe: the threads of one run (one per line) share one RecordFile.
class RecordFile
{
public:
    RecordFile() = default;
    ~RecordFile();
    RecordFile(const RecordFile&) = delete;
    RecordFile& operator=(const RecordFile&) = delete;

    // False with error() when the file cannot be opened for appending; blocks only on the disk.
    bool open(const std::string& path);
    bool isOpen() const;
    const std::string& path() const { return path_; }

    // Appends line and a line feed (LF; the line must hold none). False with error() when it could not
    // be written whole; the file then holds what it held before. Blocks while another process holds
    // the lock (one line's write and flush).
    bool append(const std::string& line);
    // Why the last open or append failed, in words that may follow "cannot write PATH: ".
    std::string error() const;

private:
    bool appendLocked(const std::string& bytes);

    mutable std::mutex mutex_;
    std::string path_;
    std::string error_;
    std::intptr_t handle_ = -1; // a file descriptor, or a Win32 HANDLE
};

} // namespace vantor::record
