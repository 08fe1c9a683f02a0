#include "serial/PortLock.h"

#include "serial/DeviceChecks.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace vantor::serial {

namespace {

// What lies under a lock file's name, looked at without following a link, blocking on a FIFO or
// reading more than a lock holds: the directory is writable by every user.
struct Found
{
    enum class Kind { Nothing, Lock, NotALock } kind = Kind::Nothing;
    std::string what;    // NotALock: "a symbolic link", "a FIFO", ...
    long pid = 0;        // Lock: the holder; 0 when it names no process that can exist
    std::string program; // from the "PID name user" form; empty in the plain one
    std::string user;
};

std::string kindOf(mode_t mode)
{
    if (S_ISLNK(mode))
        return "a symbolic link";
    if (S_ISFIFO(mode))
        return "a FIFO";
    if (S_ISDIR(mode))
        return "a directory";
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return "a device";
    if (S_ISSOCK(mode))
        return "a socket";
    return "no regular file";
}

// "PID", "PID name user": the PID as a process can have it, else 0 (a stale lock).
void parseLock(const std::string& text, Found* found)
{
    std::size_t at = text.find_first_not_of(" \t");
    std::size_t end = at == std::string::npos ? at : text.find_first_not_of("0123456789", at);
    if (at == std::string::npos || end == at || (end == std::string::npos ? text.size() : end) - at > 10)
        return;
    const long long pid = std::stoll(text.substr(at, end - at));
    if (pid <= 0 || pid > INT_MAX)
        return;
    found->pid = static_cast<long>(pid);
    char program[64] = {};
    char user[64] = {};
    const int fields =
        end == std::string::npos ? 0 : std::sscanf(text.c_str() + end, "%63s %63s", program, user);
    found->program = fields >= 1 ? program : "";
    found->user = fields >= 2 ? user : "";
}

Found look(const std::string& path)
{
    Found found;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        if (errno != ENOENT) {
            found.kind = Found::Kind::NotALock;
            found.what = errno == ELOOP
                             ? "a symbolic link"
                             : "something this user cannot read (" + std::string(std::strerror(errno)) + ")";
        }
        return found;
    }
    struct stat st
    {
    };
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        found.kind = Found::Kind::NotALock;
        found.what = kindOf(st.st_mode);
        ::close(fd);
        return found;
    }
    char buffer[128];
    const ssize_t n = ::read(fd, buffer, sizeof buffer - 1);
    ::close(fd);
    found.kind = Found::Kind::Lock;
    parseLock(std::string(buffer, n > 0 ? static_cast<std::size_t>(n) : 0), &found);
    return found;
}

bool processAlive(long pid)
{
    // EPERM: alive, but another user's.
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

std::string realDirectory(const std::string& dir)
{
    char resolved[PATH_MAX];
    return ::realpath(dir.c_str(), resolved) ? std::string(resolved) : std::string();
}

// Writes our lock in the plain form under a temporary name nobody can guess and that cannot be
// anyone else's file (created here, never followed), then links it into place: link() fails when a
// lock exists, so two programs cannot both take it.
bool placeLock(const std::string& dir, const std::string& path)
{
    std::random_device random;
    for (int attempt = 0; attempt < 8; ++attempt) {
        char suffix[24];
        std::snprintf(suffix, sizeof suffix, "%08x%08x", random(), random());
        const std::string temporary = dir + "/.vantor-lock-" + suffix;
        const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd < 0 && errno == EEXIST)
            continue;
        if (fd < 0)
            return false;
        struct stat st
        {
        };
        char text[16];
        const int length = std::snprintf(text, sizeof text, "%10ld\n", static_cast<long>(::getpid()));
        const bool ours = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_nlink == 1 &&
                          st.st_uid == ::geteuid() && ::fchmod(fd, 0644) == 0;
        const bool written = ours && ::write(fd, text, static_cast<std::size_t>(length)) == length;
        ::close(fd);
        const bool linked = written && ::link(temporary.c_str(), path.c_str()) == 0;
        ::unlink(temporary.c_str());
        return linked;
    }
    return false;
}

// The lock's name in the SVR4 form other serial programs use: the majors of the file system and of
// the device, and its minor, three digits each. The file system is taken to be /dev's, where the
// device's own node is, so that a second node of the device elsewhere (mknod) meets the same lock.
std::optional<std::string> numberedName(const std::string& realPath)
{
    struct stat st
    {
    };
    struct stat dev
    {
    };
    if (::stat(realPath.c_str(), &st) != 0 || !S_ISCHR(st.st_mode) || ::stat("/dev", &dev) != 0)
        return std::nullopt;
    st.st_dev = dev.st_dev;
    char name[48];
    std::snprintf(name, sizeof name, "LK.%03u.%03u.%03u", major(st.st_dev), major(st.st_rdev),
                  minor(st.st_rdev));
    return std::string(name);
}

std::string notALock(const std::string& path, const std::string& what)
{
    return "the lock file " + path + " is " + what +
           ", not a lock: it was left untouched. Ask the administrator to remove it if no program uses the "
           "port.";
}

std::string inUse(const std::string& path, const Found& lock)
{
    std::string holder = lock.program.empty() ? PortLock::describeProcess(lock.pid)
                                              : lock.program + ", process " + std::to_string(lock.pid);
    if (!lock.user.empty())
        holder += " of user " + lock.user;
    return "the port is in use by " + holder + " (lock file " + path +
           "). Close that program, or choose another port.";
}

} // namespace

PortLock::PortLock(std::vector<std::string> directories) : directories_(std::move(directories)) {}

PortLock::~PortLock()
{
    release();
}

std::string PortLock::fileName(const std::string& realPath)
{
    std::string base = realPath.compare(0, 5, "/dev/") == 0 ? realPath.substr(5) : realPath;
    std::replace(base.begin(), base.end(), '/', '_');
    return "LCK.." + base;
}

std::string PortLock::describeProcess(long pid)
{
    std::string program;
    if (std::FILE* comm = std::fopen(("/proc/" + std::to_string(pid) + "/comm").c_str(), "r")) {
        char name[64] = {};
        if (std::fgets(name, sizeof name, comm))
            program = std::string(name).substr(0, std::string(name).find('\n'));
        std::fclose(comm);
    }
    return (program.empty() ? "process " : program + ", process ") + std::to_string(pid);
}

std::optional<std::string> PortLock::flockedBy(const std::string& realPath)
{
    struct stat st
    {
    };
    std::FILE* locks = std::fopen("/proc/locks", "r");
    if (::stat(realPath.c_str(), &st) != 0 || !locks) {
        if (locks)
            std::fclose(locks);
        return std::nullopt;
    }
    // "1: FLOCK  ADVISORY  WRITE 4250 00:19:3 0 EOF": the holder's PID, then the file's device (major
    // and minor in hex) and inode.
    char id[64];
    std::snprintf(id, sizeof id, "%02x:%02x:%lu", major(st.st_dev), minor(st.st_dev),
                  static_cast<unsigned long>(st.st_ino));
    std::optional<std::string> holder;
    char line[256];
    while (!holder && std::fgets(line, sizeof line, locks)) {
        char kind[16] = {}, file[64] = {};
        long pid = 0;
        if (std::sscanf(line, "%*s %15s %*s %*s %ld %63s", kind, &pid, file) == 3 &&
            std::string(kind) == "FLOCK" && std::string(file) == id && pid != static_cast<long>(::getpid()))
            holder = describeProcess(pid);
    }
    std::fclose(locks);
    return holder;
}

std::optional<std::string> PortLock::openedBy(const std::string& realPath)
{
    if (auto holder = flockedBy(realPath))
        return holder;
    DIR* proc = ::opendir("/proc");
    if (!proc)
        return std::nullopt;
    std::optional<std::string> holder;
    const long self = static_cast<long>(::getpid());
    while (const dirent* entry = ::readdir(proc)) {
        char* end = nullptr;
        const long pid = std::strtol(entry->d_name, &end, 10);
        if (pid <= 0 || *end != '\0' || pid == self)
            continue;
        const std::string fdDir = "/proc/" + std::string(entry->d_name) + "/fd";
        DIR* fds = ::opendir(fdDir.c_str()); // another user's: not readable, and then not known
        if (!fds)
            continue;
        while (const dirent* fd = ::readdir(fds)) {
            char target[PATH_MAX];
            const ssize_t n = ::readlink((fdDir + "/" + fd->d_name).c_str(), target, sizeof target - 1);
            if (n > 0 && realPath == std::string(target, static_cast<std::size_t>(n))) {
                holder = describeProcess(pid);
                break;
            }
        }
        ::closedir(fds);
        if (holder)
            break;
    }
    ::closedir(proc);
    return holder;
}

OpenResult PortLock::acquire(const std::string& realPath, const std::string& name)
{
    release();
    std::vector<std::string> names{fileName(realPath)};
    if (const auto numbered = numberedName(realPath))
        names.push_back(*numbered);
    std::vector<std::string> dirs;
    for (const std::string& dir : directories_) {
        const std::string real = realDirectory(dir);
        if (!real.empty() && std::find(dirs.begin(), dirs.end(), real) == dirs.end())
            dirs.push_back(
                real); // absent, or the same directory again (/var/lock is often a link to /run/lock)
    }
    const auto refuse = [&name](OpenError error, const std::string& detail) {
        return OpenResult{error, DeviceChecks::cannotOpen(name, detail)};
    };
    for (const std::string& dir : dirs) {
        for (const std::string& lockName : names) {
            const std::string path = dir + "/" + lockName;
            const Found found = look(path);
            if (found.kind == Found::Kind::NotALock)
                return refuse(OpenError::Other, notALock(path, found.what));
            if (found.kind == Found::Kind::Lock && found.pid > 0 && processAlive(found.pid))
                return refuse(OpenError::Busy, inUse(path, found));
            if (found.kind == Found::Kind::Lock)
                ::unlink(path.c_str()); // stale: its process is gone, or it names none
        }
    }
    const auto writable = std::find_if(
        dirs.begin(), dirs.end(), [](const std::string& dir) { return ::access(dir.c_str(), W_OK) == 0; });
    if (writable == dirs.end())
        return {};
    for (const std::string& lockName : names) {
        const std::string path = *writable + "/" + lockName;
        if (placeLock(*writable, path)) {
            held_.push_back(path);
            continue;
        }
        // Someone took it, or put something there, between our look and our link.
        const Found found = look(path);
        if (found.kind == Found::Kind::NotALock ||
            (found.pid > 0 && found.pid != static_cast<long>(::getpid()))) {
            release();
            return found.kind == Found::Kind::NotALock ? refuse(OpenError::Other, notALock(path, found.what))
                                                       : refuse(OpenError::Busy, inUse(path, found));
        }
    }
    return {};
}

void PortLock::release()
{
    for (const std::string& path : held_) {
        const Found found = look(path);
        if (found.kind == Found::Kind::Lock && found.pid == static_cast<long>(::getpid()))
            ::unlink(path.c_str());
    }
    held_.clear();
}

} // namespace vantor::serial
