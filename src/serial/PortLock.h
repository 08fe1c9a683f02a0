#pragma once

#include "serial/OpenResult.h"

#include <optional>
#include <string>
#include <vector>

namespace vantor::serial {

// The lock files that tell other serial programs a device is in use (POSIX only), in /run/lock or
// /var/lock, under two names: "LCK.." and the device's path below /dev with '/' as '_' (LCK..ttyUSB0,
// LCK..pts_3), and the SVR4 form "LK.<major of the file system>.<major>.<minor>" (three digits each),
// which every name of one device node meets.
//
// A lock names its holder by process ID, either alone ("%10d\n", as the file system hierarchy
// standard has it) or followed by the program's and the user's names ("PID name user"). A lock whose
// process is alive, under any name, holds the device; only a lock whose process is gone, or that
// names none a process can have (0, negative, beyond the PID range), is stale and removed. Ours is
// written in the plain form, created whole under an unguessable name and linked into place, so no
// reader sees half a lock.
//
// The directory is writable by every user, so nothing in it is trusted: lock files are read without
// following a link or blocking, a few bytes at most, and anything under a lock's name that is no
// regular file (a link, a FIFO, a directory) refuses the port and is left where it is.
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

    // Takes the locks for the device whose real (symlink-free) path is realPath, named name in
    // messages. ok() when this process holds them now, or when no lock directory may be written;
    // otherwise why not: Busy for a live holder ("the port is in use by minicom, process 812 ..."),
    // Other for something under a lock's name that is no lock.
    OpenResult acquire(const std::string& realPath, const std::string& name);
    // Removes our lock files, if they are still ours. Nothing happens when none is held.
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
    std::vector<std::string> held_; // the paths of our lock files
};

} // namespace vantor::serial
