#include "plcsim/PtyPlcServer.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#if defined(VANTOR_PTY_H)
#include <pty.h>
#elif defined(VANTOR_UTIL_H)
#include <util.h>
#endif
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace vantor::plcsim {

bool PtyPlcServer::available()
{
    return true;
}

PtyPlcServer::PtyPlcServer(SimulatedPlc plc) : session_(std::move(plc)) {}

PtyPlcServer::~PtyPlcServer()
{
    stop();
}

serial::Result<> PtyPlcServer::start()
{
    char name[256] = {};
    if (::openpty(&master_, &slave_, name, nullptr, nullptr) != 0)
        return serial::failed(std::string("cannot open a pseudo-terminal: ") + std::strerror(errno));
    // Raw on both sides: no echo of the host's bytes, no CR to LF translation.
    termios tio{};
    if (::tcgetattr(slave_, &tio) == 0) {
        ::cfmakeraw(&tio);
        ::tcsetattr(slave_, TCSANOW, &tio);
    }
    if (::tcgetattr(master_, &tio) == 0) {
        ::cfmakeraw(&tio);
        ::tcsetattr(master_, TCSANOW, &tio);
    }
    ::fcntl(master_, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave_, F_SETFD, FD_CLOEXEC);
    if (::pipe(wake_) != 0 || ::fcntl(wake_[0], F_SETFD, FD_CLOEXEC) != 0 ||
        ::fcntl(wake_[1], F_SETFD, FD_CLOEXEC) != 0) {
        const int error = errno;
        closeLine();
        return serial::failed(std::string("cannot create a pipe: ") + std::strerror(error));
    }
    path_ = name;
    session_.startConnection(); // the unasked talk counts from here
    serving_ = true;
    thread_ = std::thread([this] { serve(); });
    return {};
}

void PtyPlcServer::stop()
{
    if (thread_.joinable()) {
        const char byte = 'q';
        [[maybe_unused]] auto written = ::write(wake_[1], &byte, 1);
        thread_.join();
    }
    closeLine();
    for (int& fd : wake_) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
    serving_ = false;
}

namespace {

// Where the link at path points; empty when path is no symbolic link.
std::string linkTarget(const std::string& path)
{
    char target[4096];
    const ssize_t n = ::readlink(path.c_str(), target, sizeof target - 1);
    return n > 0 ? std::string(target, static_cast<std::size_t>(n)) : std::string();
}

} // namespace

serial::Result<> PtyPlcServer::linkAs(const std::string& path)
{
    if (path_.empty())
        return serial::failed("the simulated PLC is not started");
    if (::symlink(path_.c_str(), path.c_str()) != 0) {
        if (errno != EEXIST)
            return serial::failed(std::strerror(errno));
        // A link an earlier server made to a pseudo-terminal that is gone (a run that was killed).
        const std::string old = linkTarget(path);
        struct stat there
        {
        };
        const bool stale = old.compare(0, 5, "/dev/") == 0 && ::stat(old.c_str(), &there) != 0;
        if (!stale)
            return serial::failed(
                old.empty() ? "something that is not a link is there; it is left as it is"
                            : "it is a link to " + old +
                                  ", a device that is there (another simulator's?); it is left as it is");
        if (::unlink(path.c_str()) != 0 || ::symlink(path_.c_str(), path.c_str()) != 0)
            return serial::failed(std::strerror(errno));
    }
    link_ = path;
    return {};
}

void PtyPlcServer::removeLink()
{
    if (!link_.empty() && linkTarget(link_) == path_)
        ::unlink(link_.c_str());
    link_.clear();
}

void PtyPlcServer::closeLine()
{
    removeLink();
    if (master_ >= 0)
        ::close(master_);
    if (slave_ >= 0)
        ::close(slave_);
    master_ = slave_ = -1;
}

bool PtyPlcServer::pause(int ms)
{
    if (ms <= 0)
        return true;
    pollfd wake{wake_[0], POLLIN, 0};
    return ::poll(&wake, 1, ms) == 0;
}

void PtyPlcServer::send(const std::string& bytes)
{
    std::size_t at = 0;
    while (at < bytes.size()) {
        const ssize_t w = ::write(master_, bytes.data() + at, bytes.size() - at);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            break;
        at += static_cast<std::size_t>(w);
    }
}

void PtyPlcServer::flood()
{
    // Never block on a full line: the host may stop reading at any time.
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    flooding_ = true;
}

void PtyPlcServer::hangUp()
{
    // Not serving before the line goes: whoever sees the hang-up must not find this server still
    // serving a device that no longer exists.
    serving_ = false;
    closeLine();
}

void PtyPlcServer::serve()
{
    std::string bytes;
    while (take(&bytes)) {
        if (!bytes.empty() && !session_.perform(session_.receive(bytes), *this))
            break;
        session_.talkUnasked(*this);
    }
    serving_ = false;
}

bool PtyPlcServer::take(std::string* bytes)
{
    bytes->clear();
    pollfd fds[2] = {{master_, static_cast<short>(flooding_ ? POLLIN | POLLOUT : POLLIN), 0},
                     {wake_[0], POLLIN, 0}};
    if (::poll(fds, 2, session_.msUntilUnasked()) < 0)
        return errno == EINTR;
    if (fds[1].revents != 0)
        return false;
    if (flooding_ && (fds[0].revents & POLLOUT)) {
        const std::string& garbage = floodBytes();
        [[maybe_unused]] auto written = ::write(master_, garbage.data(), garbage.size());
    }
    if (!(fds[0].revents & (POLLIN | POLLHUP | POLLERR)))
        return true;
    char buffer[4096];
    const ssize_t n = ::read(master_, buffer, sizeof buffer);
    if (n < 0 && (errno == EINTR || errno == EAGAIN))
        return true;
    // EIO while no client has the slave open is not an error of ours; wait for the next one.
    if (n <= 0)
        return pause(5);
    bytes->assign(buffer, static_cast<std::size_t>(n));
    return true;
}

} // namespace vantor::plcsim
