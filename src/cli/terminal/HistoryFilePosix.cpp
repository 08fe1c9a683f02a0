#include "cli/terminal/HistoryFile.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vantor::cli {

namespace {
serial::Result<> systemError(const char* what)
{
    return serial::failed(std::string(what) + ": " + std::strerror(errno));
}

// Makes each missing folder of path's parents, 0700; those there are stay as they are.
serial::Result<> makeParents(const std::string& path)
{
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
        const std::string folder = path.substr(0, slash);
        if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
            return systemError(("cannot make the folder " + folder).c_str());
    }
    return {};
}

bool fullWrite(int fd, const std::string& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}
} // namespace

std::string HistoryFile::pathFor(const std::string& portName)
{
    const char* state = std::getenv("XDG_STATE_HOME");
    const char* home = std::getenv("HOME");
    std::string folder;
    // A relative XDG_STATE_HOME is to be ignored, as the XDG rules say.
    if (state && state[0] == '/')
        folder = state;
    else if (home && home[0] == '/')
        folder = std::string(home) + "/.local/state";
    else
        return {};
    return folder + "/vantor/term-history/" + safeName(portName);
}

HistoryFile::~HistoryFile()
{
    if (fd_ >= 0)
        ::close(fd_);
}

serial::Result<> HistoryFile::checked(int fd) const
{
    struct stat info
    {
    };
    if (::fstat(fd, &info) != 0)
        return systemError("cannot look at it");
    if (!S_ISREG(info.st_mode))
        return serial::failed("it is not a regular file");
    if (info.st_nlink != 1)
        return serial::failed("it has a second name (a hard link)");
    if (info.st_uid != ::geteuid())
        return serial::failed("another user owns it");
    return {};
}

serial::Result<> HistoryFile::open(const std::string& path, std::vector<std::string>* lines)
{
    if (const auto made = makeParents(path); !made.ok())
        return made;
    // O_NOFOLLOW: a link planted under the name is refused, not followed; O_NONBLOCK: a FIFO there does
    // not hang the opening.
    const int fd =
        ::open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd < 0)
        return errno == ELOOP ? serial::failed("it is a symbolic link") : systemError("cannot open it");
    if (const auto fine = checked(fd); !fine.ok()) {
        ::close(fd);
        return fine;
    }
    std::string text;
    char buffer[65536];
    for (ssize_t n; (n = ::pread(fd, buffer, sizeof buffer, static_cast<off_t>(text.size()))) > 0;)
        text.append(buffer, static_cast<std::size_t>(n));
    std::vector<std::string> all;
    for (std::size_t start = 0, end; start < text.size(); start = end + 1) {
        end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        if (end > start)
            all.push_back(text.substr(start, end - start));
    }
    fd_ = fd;
    const std::size_t first = all.size() > maxLines ? all.size() - maxLines : 0;
    lines->assign(all.begin() + static_cast<std::ptrdiff_t>(first), all.end());
    if (all.size() >= 2 * maxLines)
        cutBack(path, *lines);
    return {};
}

void HistoryFile::cutBack(const std::string& path, const std::vector<std::string>& lines)
{
    // A new file beside it, renamed over the name: rename replaces a link, never its target.
    const std::string fresh = path + ".new";
    ::unlink(fresh.c_str());
    const int fd =
        ::open(fresh.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    std::string text;
    for (const std::string& line : lines)
        text += line + '\n';
    const bool written = fullWrite(fd, text);
    if (!written || ::rename(fresh.c_str(), path.c_str()) != 0) {
        ::close(fd);
        ::unlink(fresh.c_str());
        return;
    }
    ::close(fd_);
    fd_ = fd;
}

serial::Result<> HistoryFile::append(const std::string& line)
{
    if (fd_ < 0 || line.empty())
        return {};
    if (fullWrite(fd_, line + '\n'))
        return {};
    const auto failure = systemError("cannot write it");
    ::close(fd_);
    fd_ = -1;
    return failure;
}

} // namespace vantor::cli
