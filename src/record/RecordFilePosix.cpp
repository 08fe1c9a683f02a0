// RecordFile over POSIX files: O_APPEND for the single write at the end, flock for whole lines
// among processes, fsync for the disk.
#include "record/RecordFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vantor::record {

RecordFile::~RecordFile()
{
    if (handle_ >= 0)
        ::close(static_cast<int>(handle_));
}

bool RecordFile::isOpen() const
{
    const std::lock_guard<std::mutex> lock(mutex_);
    return handle_ >= 0;
}

std::string RecordFile::error() const
{
    const std::lock_guard<std::mutex> lock(mutex_);
    return error_;
}

bool RecordFile::open(const std::string& path)
{
    const std::lock_guard<std::mutex> lock(mutex_);
    path_ = path;
    struct stat existing
    {
    };
    if (::stat(path.c_str(), &existing) == 0 && !S_ISREG(existing.st_mode)) {
        error_ = "it is not a regular file";
        return false;
    }
    // Non-blocking, so that a FIFO under the name cannot hold the run before anything is sent.
    const int fd =
        ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0644);
    if (fd < 0) {
        error_ = std::strerror(errno);
        return false;
    }
    struct stat info
    {
    };
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        error_ = "it is not a regular file";
        return false;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    handle_ = fd;
    return true;
}

bool RecordFile::append(const std::string& line)
{
    const std::lock_guard<std::mutex> lock(mutex_);
    if (handle_ < 0) {
        error_ = error_.empty() ? "the record file is not open" : error_;
        return false;
    }
    const int fd = static_cast<int>(handle_);
    while (::flock(fd, LOCK_EX) != 0) {
        if (errno != EINTR) {
            error_ = std::string("cannot lock it: ") + std::strerror(errno);
            return false;
        }
    }
    const bool written = appendLocked(line + "\n");
    ::flock(fd, LOCK_UN);
    return written;
}

bool RecordFile::appendLocked(const std::string& bytes)
{
    const int fd = static_cast<int>(handle_);
    struct stat before
    {
    };
    if (::fstat(fd, &before) != 0) {
        error_ = std::strerror(errno);
        return false;
    }
    ssize_t n;
    do
        n = ::write(fd, bytes.data(), bytes.size());
    while (n < 0 && errno == EINTR);
    if (n != static_cast<ssize_t>(bytes.size())) {
        error_ = n < 0 ? std::strerror(errno) : "the disk took only part of a line (is it full?)";
        // Whatever part of the line went out is taken back: the next line, ours or another run's,
        // must not be glued to half of this one.
        if (n > 0) {
            [[maybe_unused]] const int cut = ::ftruncate(fd, before.st_size);
        }
        return false;
    }
    if (::fsync(fd) != 0) {
        error_ = std::string("cannot flush it to the disk: ") + std::strerror(errno);
        return false;
    }
    return true;
}

} // namespace vantor::record
