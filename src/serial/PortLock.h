#pragma once

#include <optional>
#include <string>
#include <vector>

namespace vantor::serial {

// The lock file that tells other serial programs a device is in use (POSIX only): "LCK.." and the
// device's path below /dev with '/' as '_' (LCK..ttyUSB0, LCK..pts_3), in /run/lock or /var/lock.
//
// A lock names its holder by process ID, either alone ("%10d\n", as the file system hierarchy
// standard has it) or followed by the program's and the user's names ("PID name user"). A lock whose
// process is alive, under any name, holds the device; only a lock whose process is gone (or that
// names none) is stale and removed. Ours is written in the plain form, created whole under another
// name and linked into place, so no reader sees half a lock.
//
// Where no lock directory may be written, the device is used without a lock file; flock() and
// TIOCEXCL on the open device still keep well-behaved programs apart.
class PortLock
{
public:
    // directories: where lock files are looked for, the first writable one taking ours.
    explicit PortLock(std::vector<std::string> directories = {"/run/lock", "/var/lock"});
    ~PortLock();
    PortLock(const PortLock&) = delete;
    PortLock& operator=(const PortLock&) = delete;

    // Takes the lock for the device whose real (symlink-free) path is realPath. Returns nothing when
    // this process holds it now, or the reason it cannot: "the port is in use by minicom, process 812."
    std::optional<std::string> acquire(const std::string& realPath);
    // Removes our lock file, if it is still ours. Nothing happens when none is held.
    void release();

    // "LCK..ttyUSB0" for /dev/ttyUSB0.
    static std::string fileName(const std::string& realPath);
    // Who holds a device: the process with a flock() on it (/proc/locks), else one that has it open
    // (/proc/*/fd): "minicom, process 812", or nothing when that cannot be seen. This process is left
    // out.
    static std::optional<std::string> openedBy(const std::string& realPath);
    static std::optional<std::string> flockedBy(const std::string& realPath);
    // "minicom, process 812" for a live process, from /proc; "process 812" when its name is hidden.
    static std::string describeProcess(long pid);

private:
    std::vector<std::string> directories_;
    std::string held_; // the path of our lock file; empty when none
};

} // namespace vantor::serial
