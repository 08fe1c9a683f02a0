// RecordFile over POSIX files: O_NOFOLLOW so that a link planted under the name is never followed,
// O_APPEND for the single write at the end, flock for whole lines among processes, fsync for the disk.
#include "record/RecordFile.h"

#include "record/MachineIdentity.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#if defined(__linux__)
#include <sys/vfs.h>
#endif

namespace vantor::record {

namespace {

constexpr int openFlags = O_WRONLY | O_APPEND | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW |
                          O_NONBLOCK; // a FIFO under the name cannot hold the run before anything is sent

std::string userName(uid_t uid)
{
    const std::string name = MachineIdentity::accountName(uid);
    return name.empty() ? "with ID " + std::to_string(uid) : name;
}

std::string linkRefusal(const std::string& path)
{
    char target[PATH_MAX];
    const ssize_t n = ::readlink(path.c_str(), target, sizeof target - 1);
    const std::string to = n > 0 ? " to " + std::string(target, static_cast<std::size_t>(n)) : std::string();
    return "it is a symbolic link" + to +
           ", which is not followed: anyone who can write its folder could point it at another file; name "
           "the record file itself";
}

// Why a file opened as the record is refused; empty when it is not.
std::string refusal(const struct stat& info, const std::string& path)
{
    if (!S_ISREG(info.st_mode))
        return "it is not a regular file";
    if (info.st_nlink > 1)
        return "it has another name too (a hard link), so it may be someone else's file under a name of "
               "yours; use a record file with one name";
    // Root's files are an administrator's shared record; anyone else's could hold lines forged in our
    // name, and ours would vouch for them.
    if (info.st_uid != ::geteuid() && info.st_uid != 0)
        return "it is owned by user " + userName(info.st_uid) + ", not by " + userName(::geteuid()) +
               ", so lines in it may have been written in your name; use a record file of your own or fix "
               "its owner";
    if (info.st_mode & S_IWOTH) {
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(info.st_mode & 07777));
        return std::string("anyone may write to it (mode ") + mode +
               "), so any line in it could be forged; remove that permission (chmod o-w " + path +
               ") or use another record file";
    }
    return {};
}

// Whether fd is a file of a kernel's file system (/proc, /sys and their kin): such files pass for
// regular ones, but writing one changes the system (a line into /proc/sys/kernel/hostname renames
// the machine) and keeps nothing.
bool kernelFile(int fd)
{
#if defined(__linux__)
    struct statfs fs
    {
    };
    if (::fstatfs(fd, &fs) != 0)
        return false;
    // proc, sysfs, debugfs, tracefs, securityfs, cgroup, cgroup2, bpf, configfs, efivarfs, pstore
    constexpr unsigned long kinds[] = {0x9fa0,     0x62656572, 0x64626720, 0x74726163, 0x73636673, 0x27e0eb,
                                       0x63677270, 0xcafe4a11, 0x62656570, 0xde5e81e4, 0x6165676c};
    for (const unsigned long kind : kinds) {
        if (static_cast<unsigned long>(fs.f_type) == kind)
            return true;
    }
#else
    (void)fd;
#endif
    return false;
}

} // namespace

void RecordFile::closeLocked()
{
    if (handle_ != -1)
        ::close(static_cast<int>(handle_));
    handle_ = -1;
}

serial::Result<> RecordFile::openLocked(const std::string& path)
{
    struct stat named
    {
    };
    if (::lstat(path.c_str(), &named) == 0 && !S_ISREG(named.st_mode)) {
        return serial::failed(S_ISLNK(named.st_mode) ? linkRefusal(path) : "it is not a regular file");
    }
    // An existing file is opened as it is; a missing one is created, never through a link (O_EXCL fails
    // on one). Another run may create it in between: then it is opened as existing.
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 3; ++attempt) {
        fd = ::open(path.c_str(), openFlags);
        if (fd < 0 && errno == ENOENT)
            fd = ::open(path.c_str(), openFlags | O_CREAT | O_EXCL, 0640);
        if (fd < 0 && errno != EEXIST && errno != ENOENT)
            break;
    }
    if (fd < 0) {
        return serial::failed(errno == ELOOP ? linkRefusal(path) : std::strerror(errno));
    }
    struct stat info
    {
    };
    std::string refused = ::fstat(fd, &info) != 0 ? std::strerror(errno) : refusal(info, path);
    if (refused.empty() && kernelFile(fd))
        refused =
            "it is a kernel file (as under /proc or /sys), not a file on a disk; name a record file of yours";
    if (!refused.empty()) {
        ::close(fd);
        return serial::failed(refused);
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    handle_ = fd;
    device_ = static_cast<std::uint64_t>(info.st_dev);
    inode_ = static_cast<std::uint64_t>(info.st_ino);
    return {};
}

bool RecordFile::sameFileLocked() const
{
    struct stat named
    {
    };
    return ::lstat(path_.c_str(), &named) == 0 && static_cast<std::uint64_t>(named.st_dev) == device_ &&
           static_cast<std::uint64_t>(named.st_ino) == inode_;
}

serial::Result<RecordFile::LockTry> RecordFile::tryLock()
{
    for (;;) {
        if (::flock(static_cast<int>(handle_), LOCK_EX | LOCK_NB) == 0)
            return {};
        if (errno == EWOULDBLOCK)
            return {LockTry::Busy, {}};
        if (errno != EINTR) {
            return {LockTry::Failed, std::strerror(errno)};
        }
    }
}

void RecordFile::unlock()
{
    ::flock(static_cast<int>(handle_), LOCK_UN);
}

std::string RecordFile::lockHolder() const
{
    // /proc/locks names each lock's holder and its file as "MAJOR:MINOR:INODE", the numbers of the
    // device in hexadecimal; "->" marks a request that waits. A holder in another PID namespace shows
    // as 0 or -1 (an open file description's lock has none).
    struct stat info
    {
    };
    if (::fstat(static_cast<int>(handle_), &info) != 0)
        return {};
    char file[64];
    std::snprintf(file, sizeof file, "%02x:%02x:%llu", static_cast<unsigned>(major(info.st_dev)),
                  static_cast<unsigned>(minor(info.st_dev)), static_cast<unsigned long long>(info.st_ino));
    std::ifstream locks("/proc/locks");
    for (std::string line; std::getline(locks, line);) {
        std::istringstream fields(line);
        std::string number, kind, mode, access, pid, where;
        fields >> number >> kind;
        if (kind == "->")
            continue;
        fields >> mode >> access >> pid >> where;
        if (where != file || pid.empty() || pid == "0" || pid[0] == '-' || pid == std::to_string(::getpid()))
            continue;
        std::string command;
        std::ifstream comm("/proc/" + pid + "/comm");
        std::getline(comm, command);
        return "PID " + pid + (command.empty() ? "" : " (" + command + ")");
    }
    return {};
}

serial::Result<> RecordFile::appendLocked(const std::string& bytes)
{
    const int fd = static_cast<int>(handle_);
    struct stat before
    {
    };
    if (::fstat(fd, &before) != 0) {
        return serial::failed(std::strerror(errno));
    }
    ssize_t n;
    do
        n = ::write(fd, bytes.data(), bytes.size());
    while (n < 0 && errno == EINTR);
    if (n != static_cast<ssize_t>(bytes.size())) {
        const std::string why =
            n < 0 ? std::strerror(errno) : "the disk took only part of a line (is it full?)";
        // Whatever part of the line went out is taken back: the next line, ours or another run's,
        // must not be glued to half of this one.
        if (n > 0) {
            [[maybe_unused]] const int cut = ::ftruncate(fd, before.st_size);
        }
        return serial::failed(why);
    }
    if (::fsync(fd) != 0) {
        const std::string why = std::string("cannot flush it to the disk: ") + std::strerror(errno);
        // The line is said as not written, so it must not stay in the file either.
        [[maybe_unused]] const int cut = ::ftruncate(fd, before.st_size);
        return serial::failed(why);
    }
    return {};
}

} // namespace vantor::record
