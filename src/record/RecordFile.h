#pragma once

#include "serial/Result.h"
#include "serial/StopToken.h"

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>

namespace vantor::record {

// An append-only file of JSON lines, one per upload, that several runs on one machine may share:
// the quality department's dated record of what went where. It may live in a folder that others can
// write, and the tool often runs as root, so a name there is not trusted to lead to a file of ours:
//
// - open() opens the file under the name itself: a symbolic link as the last component is refused
//   (one among the folders on the way is fine), so a link planted under the name can neither have a
//   line appended to its target nor create a file where it points. A missing file is created with
//   mode 0640 less the umask; a file is never truncated. Refused as well: anything but a regular file
//   (a device, FIFO or folder, a kernel's file under /proc or /sys), a file with a second name (a hard link,
//   which could be another's file), and on POSIX a file owned by another user than this process's (root's is
//   fine: an administrator's shared record) or one that anyone may write: its lines could have been forged,
//   or could be later.
// - append() writes one whole line with a single write at the end of the file, under an exclusive
//   lock on the file (flock; LockFileEx on Windows), then flushes it to the disk (fsync;
//   FlushFileBuffers), so that concurrent runs interleave whole lines only and a crash loses at most
//   the line being written. A write that went out only in part (a full disk) is cut off again, so a
//   broken line is never left behind for others to append to.
// - The lock is waited for at most lockWait (or as long as the caller says), in slices of lockSlice
//   between which a stop token is asked, since anyone who may read the file can hold a shared lock on
//   it for as long as they like. A line whose lock is not had is not written.
// - Before each line, append() checks that the name still leads to the file that was opened (device
//   and inode; the volume and file index on Windows). When the file was moved or removed (log
//   rotation), the name is opened again with the checks of open(), so that the lines that follow do
//   not go into a file nobody looks at.
// Thread-safe: the threads of one run (one per line) share one RecordFile; their lines are written one
// after another.
class RecordFile
{
public:
    static constexpr std::chrono::milliseconds lockWait{5000};
    static constexpr std::chrono::milliseconds lockSlice{50};

    // What became of one line.
    struct Appended
    {
        bool written = false;
        // Before this line the name led to another file than the one open, or to none: it was opened
        // again by the name (this line is in that file when written).
        bool reopened = false;
        // Not written because another process held the lock for all of the wait, or until the stop
        // token asked to stop.
        bool lockNotHad = false;
        // Who held the lock, "PID 4242 (flock)", where the system tells (/proc/locks); else empty.
        std::string holder;
        // Why the line was not written, in words that may follow "cannot write PATH: ".
        std::string error;
    };

    RecordFile() = default;
    ~RecordFile();
    RecordFile(const RecordFile&) = delete;
    RecordFile& operator=(const RecordFile&) = delete;

    // Fails when the file cannot be opened for appending, or is refused (see above), with words that
    // may follow "cannot write PATH: " and say what to do. Blocks only on the disk.
    serial::Result<> open(const std::string& path);
    // open() succeeded: lines go to the file under path (append() may open the name again).
    bool isOpen() const;
    const std::string& path() const { return path_; }

    // Appends line and a line feed (LF; the line must hold none). When it is not written, the file holds
    // what it held before. Blocks while another process holds the lock, at most wait (0: the lock is
    // tried once), asking stop between slices on the calling thread; once stop answers
    // true the wait ends, but a lock that is free is still taken. A stop already asked for when
    // append() is called does not shorten the wait: the line of a stopped upload still goes in. Blocks on the
    // disk for the write and the flush.
    Appended append(const std::string& line, const serial::StopToken& stop = {},
                    std::chrono::milliseconds wait = lockWait);

private:
    enum class LockTry { Had, Busy, Failed };

    // The platform's part (RecordFilePosix.cpp, RecordFileWindows.cpp), called with mutex_ held.
    serial::Result<> openLocked(const std::string& path); // sets handle_, device_ and inode_
    bool sameFileLocked() const;                          // whether path_ still leads to the file open
    serial::Result<LockTry> tryLock();
    void unlock();
    std::string lockHolder() const; // as Appended::holder
    serial::Result<> appendLocked(const std::string& bytes);
    void closeLocked();
    // Waits for the lock as append() says; false with appended's lock fields set when it was not had.
    bool waitForLock(const serial::StopToken& stop, std::chrono::milliseconds wait, Appended* appended);

    mutable std::mutex mutex_;
    std::string path_;
    std::string error_;
    std::intptr_t handle_ = -1; // a file descriptor, or a Win32 HANDLE
    // Which file handle_ is: st_dev and st_ino; the volume serial number and file index on Windows.
    std::uint64_t device_ = 0;
    std::uint64_t inode_ = 0;
    bool opened_ = false; // open() succeeded: append() may open the name again
};

} // namespace vantor::record
