#include "serial/PortLock.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace vantor::serial {

namespace {

struct LockContent
{
    long pid = 0;        // 0: none readable
    std::string program; // from the "PID name user" form; empty in the plain one
    std::string user;
};

LockContent readLock(const std::string& path)
{
    LockContent content;
    std::FILE* file = std::fopen(path.c_str(), "r");
    if (!file)
        return content;
    char buffer[128] = {};
    const std::size_t n = std::fread(buffer, 1, sizeof buffer - 1, file);
    std::fclose(file);
    char program[64] = {};
    char user[64] = {};
    long pid = 0;
    const int fields = std::sscanf(std::string(buffer, n).c_str(), "%ld %63s %63s", &pid, program, user);
    if (fields >= 1 && pid > 0) {
        content.pid = pid;
        content.program = fields >= 2 ? program : "";
        content.user = fields >= 3 ? user : "";
    }
    return content;
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

// Writes our lock in the plain form under a temporary name, then links it into place: link() fails
// when a lock exists, so two programs cannot both take it.
bool placeLock(const std::string& path)
{
    const std::string temporary = path + ".vantor" + std::to_string(::getpid());
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    char text[16];
    const int length = std::snprintf(text, sizeof text, "%10ld\n", static_cast<long>(::getpid()));
    const bool written = ::write(fd, text, static_cast<std::size_t>(length)) == length;
    ::close(fd);
    const bool linked = written && ::link(temporary.c_str(), path.c_str()) == 0;
    ::unlink(temporary.c_str());
    return linked;
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

std::optional<std::string> PortLock::acquire(const std::string& realPath)
{
    release();
    const std::string name = fileName(realPath);
    std::vector<std::string> seen;
    std::string writable;
    for (const std::string& dir : directories_) {
        const std::string real = realDirectory(dir);
        if (real.empty() || std::find(seen.begin(), seen.end(), real) != seen.end())
            continue; // absent, or the same directory again (/var/lock is often a link to /run/lock)
        seen.push_back(real);
        const std::string path = real + "/" + name;
        struct stat st
        {
        };
        if (::lstat(path.c_str(), &st) == 0) {
            const LockContent lock = readLock(path);
            if (lock.pid > 0 && processAlive(lock.pid)) {
                std::string holder = lock.program.empty()
                                         ? describeProcess(lock.pid)
                                         : lock.program + ", process " + std::to_string(lock.pid);
                if (!lock.user.empty())
                    holder += " of user " + lock.user;
                return "the port is in use by " + holder + " (lock file " + path + ")";
            }
            ::unlink(path.c_str()); // stale: its process is gone, or it names none
        }
        if (writable.empty() && ::access(real.c_str(), W_OK) == 0)
            writable = path;
    }
    if (writable.empty())
        return std::nullopt;
    if (!placeLock(writable)) {
        // Someone took it between our look and our link.
        const LockContent lock = readLock(writable);
        if (lock.pid > 0 && lock.pid != static_cast<long>(::getpid()))
            return "the port is in use by " + describeProcess(lock.pid) + " (lock file " + writable + ")";
        return std::nullopt;
    }
    held_ = writable;
    return std::nullopt;
}

void PortLock::release()
{
    if (held_.empty())
        return;
    if (readLock(held_).pid == static_cast<long>(::getpid()))
        ::unlink(held_.c_str());
    held_.clear();
}

} // namespace vantor::serial
