// ProgramFile on POSIX systems: opened non-blocking, then inspected with fstat().
#include "upload/ProgramFile.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vantor::upload {

namespace {
constexpr int pollSliceMs = 100; // how often a wait for input asks the stop token
}

FileProblem ProgramFile::open(const std::string& path, serial::StopToken stop)
{
    close();
    stop_ = std::move(stop);
    reason_.clear();
    if (namesNoFile(path))
        return FileProblem::NoneChosen;
    // O_NONBLOCK: a FIFO without a writer, or a device that waits for carrier, must not hold the open.
    fd_ = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd_ < 0) {
        const int error = errno;
        if (error == ENOENT || error == ENOTDIR)
            return fail(FileProblem::NotFound, 0);
        if (error == EACCES || error == EPERM)
            return fail(FileProblem::NotPermitted, 0);
        if (error == EISDIR)
            return fail(FileProblem::IsFolder, 0);
        return fail(FileProblem::NotReadable, error);
    }
    struct stat st
    {
    };
    if (::fstat(fd_, &st) != 0)
        return fail(FileProblem::NotReadable, errno);
    if (S_ISDIR(st.st_mode))
        return fail(FileProblem::IsFolder, 0);
    if (S_ISREG(st.st_mode)) {
        regular_ = true;
        const int flags = ::fcntl(fd_, F_GETFL);
        if (flags < 0 || ::fcntl(fd_, F_SETFL, flags & ~O_NONBLOCK) != 0)
            return fail(FileProblem::NotReadable, errno);
        return FileProblem::None;
    }
    return slurp();
}

FileProblem ProgramFile::slurp()
{
    using Clock = std::chrono::steady_clock;
    auto lastData = Clock::now();
    bool endConfirmed = false;
    char chunk[65536];
    for (;;) {
        if (stop_.requested())
            return fail(FileProblem::Interrupted, 0);
        const ssize_t n = ::read(fd_, chunk, sizeof chunk);
        if (n > 0) {
            if (!keep(chunk, static_cast<std::size_t>(n)))
                return fail(FileProblem::TooLarge, 0);
            lastData = Clock::now();
            endConfirmed = false;
            continue;
        }
        if (n == 0) {
            // A FIFO that no writer has opened yet also reads as its end, but does not poll ready; give
            // a writer the same time to turn up as a silent one gets to speak.
            if (!memory_.empty() || endConfirmed)
                break;
            pollfd p{fd_, POLLIN, 0};
            const int ready = ::poll(&p, 1, pollSliceMs);
            endConfirmed = ready > 0;
            if (ready == 0 && Clock::now() - lastData >= std::chrono::milliseconds(stallMs))
                return fail(FileProblem::Stalled, 0);
            continue;
        }
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK)
            return fail(FileProblem::NotReadable, errno);
        if (Clock::now() - lastData >= std::chrono::milliseconds(stallMs))
            return fail(FileProblem::Stalled, 0);
        pollfd p{fd_, POLLIN, 0};
        ::poll(&p, 1, pollSliceMs);
    }
    ::close(fd_);
    fd_ = -1;
    memoryAt_ = 0;
    return FileProblem::None;
}

void ProgramFile::closeHandle()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

std::int64_t ProgramFile::readHandle(char* buffer, std::size_t size)
{
    for (;;) {
        const ssize_t n = ::read(fd_, buffer, size);
        if (n >= 0)
            return n;
        // A stop signal breaks off a read that would never return (the stop signals do not restart
        // system calls); any other interruption is retried.
        if (errno == EINTR && stop_.requested())
            return readInterrupted;
        if (errno == EINTR)
            continue;
        reason_ = std::strerror(errno);
        return -1;
    }
}

bool ProgramFile::seekToStart()
{
    if (::lseek(fd_, 0, SEEK_SET) == 0)
        return true;
    reason_ = std::strerror(errno);
    return false;
}

} // namespace vantor::upload
