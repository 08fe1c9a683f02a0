// SerialPort on POSIX systems: termios for the line, poll() for the waits, the lock files, flock()
// and TIOCEXCL for exclusive use.
#include "serial/SerialPort.h"

#include "serial/DeviceChecks.h"
#include "serial/ParityErrorFilter.h"
#include "serial/PortLock.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <iterator>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#if defined(__linux__)
#include "serial/LinuxCustomSpeed.h"

#include <linux/serial.h>
#endif

namespace vantor::serial {

namespace {

constexpr int writeTimeoutMs = 5000;
const char* const disconnected = "the device was disconnected or the line hung up";

struct Speed
{
    speed_t code;
    int rate;
};

const Speed speeds[] = {
    {B50, 50},         {B75, 75},         {B110, 110},       {B134, 134},     {B150, 150},
    {B200, 200},       {B300, 300},       {B600, 600},       {B1200, 1200},   {B1800, 1800},
    {B2400, 2400},     {B4800, 4800},     {B9600, 9600},     {B19200, 19200}, {B38400, 38400},
    {B57600, 57600},   {B115200, 115200}, {B230400, 230400},
#ifdef B460800
    {B460800, 460800}, {B921600, 921600},
#endif
};

std::optional<speed_t> speedCode(int rate)
{
    for (const Speed& s : speeds) {
        if (s.rate == rate)
            return s.code;
    }
    return std::nullopt;
}

int speedRate(speed_t code)
{
    for (const Speed& s : speeds) {
        if (s.code == code)
            return s.rate;
    }
    return 0;
}

// Whether rate is set through termios2 rather than a termios speed code: Linux sets any rate so,
// other systems only the named ones.
bool customRate(int rate)
{
#if defined(__linux__)
    return !speedCode(rate) && rate >= LinuxCustomSpeed::lowestRate && rate <= LinuxCustomSpeed::highestRate;
#else
    (void)rate;
    return false;
#endif
}

OpenResult failure(OpenError error, const std::string& name, const std::string& detail)
{
    return {error, DeviceChecks::cannotOpen(name, detail)};
}

std::string busy(const std::string& who)
{
    return who + ". Close that program, or choose another port.";
}

// A device another program has open exclusively (flock, TIOCEXCL), named by the process that has it
// open where this user may see it.
OpenResult busyDevice(const std::string& name, const std::string& realPath, const std::string& devicePath)
{
    if (const auto holder = PortLock::openedBy(realPath))
        return failure(OpenError::Busy, name, busy("the port is in use by " + *holder));
    return failure(OpenError::Busy, name,
                   "the port is in use by another program. Find it with 'fuser -v " + devicePath +
                       "', close it, or choose another port.");
}

// Raw 8-bit line with the asked parameters and no flow control. A rate termios has no code for is
// left as the device had it, for setLine() to set afterwards.
void makeTermios(termios& tio, const PortSettings& settings)
{
    ::cfmakeraw(&tio);
    if (const auto code = speedCode(settings.baudRate)) {
        ::cfsetispeed(&tio, *code);
        ::cfsetospeed(&tio, *code);
    }
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
    tio.c_cflag |= settings.dataBits == 7 ? CS7 : CS8;
    if (settings.parity != 'N')
        tio.c_cflag |= PARENB | (settings.parity == 'O' ? PARODD : 0);
    if (settings.stopBits == 2)
        tio.c_cflag |= CSTOPB;
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | IGNPAR | ISTRIP | INPCK | PARMRK);
    // With parity on, a character that arrives damaged is marked (0xFF 0x00 c) for ParityErrorFilter.
    if (settings.parity != 'N')
        tio.c_iflag |= INPCK | PARMRK;
    // VMIN 1 on a non-blocking descriptor: an empty buffer reads as EAGAIN, so that a read of 0 bytes
    // can only mean the line hung up (with VMIN 0 it would mean both).
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
}

void setModemLine(int fd, int line, bool on)
{
    // Pseudo-terminals have no modem lines; that is no reason to fail.
    ::ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &line);
}

// Why open() refused the device (error: its errno); realPath is the device's, devicePath as asked.
OpenResult refusal(int error, const std::string& name, const std::string& realPath,
                   const std::string& devicePath)
{
    if (error == ENOENT || error == ENXIO || error == ENODEV)
        return failure(OpenError::NoSuchDevice, name,
                       "no such device. Check the port name, and that the adapter is plugged in.");
    if (error == EBUSY) // TIOCEXCL by another program
        return busyDevice(name, realPath, devicePath);
    if (error == EACCES || error == EPERM)
        return failure(OpenError::PermissionDenied, name, "permission denied.");
    return failure(OpenError::Other, name, std::string(std::strerror(error)) + ".");
}

// The device refused settings (error: the errno of the call that did); closes fd.
OpenResult rejected(int fd, const std::string& name, const PortSettings& settings, int error)
{
    ::close(fd);
    return failure(OpenError::SettingsRejected, name,
                   "the device does not accept " + settings.settingsText() + " (" + std::strerror(error) +
                       ").");
}

// Keeps the device's terminal settings in original and applies the asked ones; when either fails,
// fd is closed and the result says why.
OpenResult setLine(int fd, const std::string& name, const PortSettings& settings, termios& original)
{
    if (::tcgetattr(fd, &original) != 0) {
        const int error = errno;
        ::close(fd);
        if (error == ENOTTY || error == EINVAL)
            return failure(OpenError::NotSerialDevice, name, "this is not a serial device.");
        return failure(OpenError::Other, name, std::string(std::strerror(error)) + ".");
    }
    termios tio = original;
    makeTermios(tio, settings);
    if (::tcsetattr(fd, TCSANOW, &tio) != 0)
        return rejected(fd, name, settings, errno);
#if defined(__linux__)
    if (customRate(settings.baudRate)) {
        if (const int error = LinuxCustomSpeed::setRate(fd, settings.baudRate); error != 0) {
            ::tcsetattr(fd, TCSANOW, &original); // the rest was applied: leave the device as it was
            return rejected(fd, name, settings, error);
        }
    }
#endif
    return {};
}

// Makes the line this program's alone (TIOCEXCL), empty of what came before, with DTR and RTS as
// settings ask.
void takeLine(int fd, const PortSettings& settings)
{
    ::ioctl(fd, TIOCEXCL);
    // Bytes the driver took in before this opening (a PLC's late answer to an earlier run) would be
    // read as the first answer of this one.
    ::tcflush(fd, TCIFLUSH);
    setModemLine(fd, TIOCM_DTR, settings.dtr);
    setModemLine(fd, TIOCM_RTS, settings.rts);
}

// Whether the driver's low-latency mode was switched on here (and is to be switched off on close).
bool switchOnLowLatency(int fd)
{
#if defined(__linux__) && defined(ASYNC_LOW_LATENCY)
    // USB adapters hold received bytes back for up to 16 ms unless told otherwise; each exchange would
    // pay that. Drivers without the setting (and pseudo-terminals) refuse the request: nothing to do.
    serial_struct serialInfo{};
    if (::ioctl(fd, TIOCGSERIAL, &serialInfo) == 0 && !(serialInfo.flags & ASYNC_LOW_LATENCY)) {
        serialInfo.flags |= ASYNC_LOW_LATENCY;
        return ::ioctl(fd, TIOCSSERIAL, &serialInfo) == 0;
    }
#else
    (void)fd;
#endif
    return false;
}

} // namespace

struct SerialPort::Device
{
    int fd = -1;
    termios original{};
    bool restoreLowLatency = false;
    bool markParityErrors = false;
    ParityErrorFilter parityFilter;
    PortLock lock;
};

SerialPort::SerialPort() = default;

SerialPort::~SerialPort()
{
    close();
}

OpenResult SerialPort::openDevice(const std::string& devicePath, const std::string& displayName,
                                  const PortSettings& settings)
{
    std::string name;
    if (auto refused = startOpening(devicePath, displayName, &name); !refused.ok())
        return refused;
    if (!canSetBaudRate(settings.baudRate))
        return failure(OpenError::SettingsRejected, name,
                       "the device does not accept " + settings.settingsText() +
                           " (a baud rate this system cannot set: it takes " + settableBaudRates() + ").");

    // Aliases (/dev/serial/by-id/..., a symlink of one's own) lock the device they point to.
    const std::string real = DeviceChecks::identity(devicePath);
    auto device = std::make_unique<Device>();
    if (const OpenResult locked = device->lock.acquire(real, name); !locked.ok())
        return locked;

    device->fd = ::open(real.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (device->fd < 0)
        return refusal(errno, name, real, devicePath);
    const int fd = device->fd;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
        ::close(fd);
        return busyDevice(name, real, devicePath);
    }
    if (const OpenResult set = setLine(fd, name, settings, device->original); !set.ok())
        return set;
    takeLine(fd, settings);
    device->restoreLowLatency = switchOnLowLatency(fd);
    device->markParityErrors = settings.parity != 'N';
    device_ = std::move(device);
    return {};
}

void SerialPort::close()
{
    if (!device_)
        return;
    const int fd = device_->fd;
#if defined(__linux__) && defined(ASYNC_LOW_LATENCY)
    serial_struct serialInfo{};
    if (device_->restoreLowLatency && ::ioctl(fd, TIOCGSERIAL, &serialInfo) == 0) {
        serialInfo.flags &= ~ASYNC_LOW_LATENCY;
        ::ioctl(fd, TIOCSSERIAL, &serialInfo);
    }
#endif
    ::tcsetattr(fd, TCSANOW, &device_->original);
    ::ioctl(fd, TIOCNXCL);
    ::close(fd); // also releases the flock
    device_->lock.release();
    device_.reset();
}

bool SerialPort::write(const std::string& bytes)
{
    if (!device_)
        return false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(writeTimeoutMs);
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(device_->fd, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            lose(disconnected);
            return false;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd p{device_->fd, POLLOUT, 0};
        if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) == 0) {
            lose("the data could not be sent within 5 s");
            return false;
        }
        if (p.revents & (POLLHUP | POLLERR | POLLNVAL)) {
            lose(disconnected);
            return false;
        }
    }
    return true;
}

PortRead SerialPort::read(int waitMs)
{
    PortRead result;
    if (!device_) {
        result.lost = true;
        return result;
    }
    for (int attempt = 0; attempt < 2; ++attempt) {
        char buffer[4096];
        while (result.bytes.size() < PortRead::maxBytes) {
            const ssize_t n = ::read(device_->fd, buffer,
                                     std::min(sizeof buffer, PortRead::maxBytes - result.bytes.size()));
            if (n > 0) {
                result.bytes.append(buffer, static_cast<std::size_t>(n));
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) {
                // End of file on a terminal, or EIO: the other end hung up or the device went away.
                if (result.bytes.empty()) {
                    lose(disconnected);
                    result.lost = true;
                    return result;
                }
            }
            break;
        }
        if (!result.bytes.empty() || attempt == 1 || waitMs <= 0)
            break;
        pollfd p{device_->fd, POLLIN, 0};
        if (::poll(&p, 1, waitMs) <= 0)
            break; // the wait ran out, or a signal ended it
        if ((p.revents & (POLLERR | POLLNVAL)) || ((p.revents & POLLHUP) && !(p.revents & POLLIN))) {
            lose(disconnected);
            result.lost = true;
            return result;
        }
    }
    if (device_->markParityErrors)
        result.bytes = device_->parityFilter.filter(result.bytes);
    return result;
}

Result<> SerialPort::changeModemLine(ModemLine line, bool on)
{
    int bit = line == ModemLine::Dtr ? TIOCM_DTR : TIOCM_RTS;
    if (::ioctl(device_->fd, on ? TIOCMBIS : TIOCMBIC, &bit) == 0)
        return {};
    return controlFailed(std::string("set ") + lineName(line), errno);
}

Result<> SerialPort::holdBreak(int ms)
{
    const int fd = device_->fd;
#if defined(TIOCSBRK) && defined(TIOCCBRK)
    // tcsendbreak() takes no duration in ms (Linux counts tenths of a second, others ignore it).
    if (::ioctl(fd, TIOCSBRK) != 0)
        return controlFailed("send a break", errno);
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    if (::ioctl(fd, TIOCCBRK) != 0)
        return controlFailed("end the break", errno);
#else
    (void)ms; // the system's own duration, 0.25 to 0.5 s
    if (::tcsendbreak(fd, 0) != 0)
        return controlFailed("send a break", errno);
#endif
    return {};
}

Result<> SerialPort::controlFailed(const std::string& what, int error)
{
    if (error == ENOTTY || error == EINVAL)
        return failed("this device has no modem lines (a pseudo-terminal has none): cannot " + what + ".");
    if (error == EIO || error == ENXIO || error == ENODEV) {
        lose(disconnected);
        return failed("cannot " + what + ": " + disconnected + ".");
    }
    return failed("cannot " + what + ": " + std::strerror(error) + ".");
}

bool SerialPort::canSetBaudRate(int rate)
{
    return speedCode(rate).has_value() || customRate(rate);
}

std::string SerialPort::settableBaudRates()
{
#if defined(__linux__)
    return "any whole number of bits per second from " + std::to_string(LinuxCustomSpeed::lowestRate) +
           " to " + std::to_string(LinuxCustomSpeed::highestRate) +
           " the port's driver supports, such as 9600 or 14400";
#else
    std::string out;
    const std::size_t count = std::size(speeds);
    for (std::size_t i = 0; i < count; ++i)
        out += (i == 0 ? "" : i + 1 == count ? " or " : ", ") + std::to_string(speeds[i].rate);
    return out;
#endif
}

std::optional<PortSettings> SerialPort::appliedSettings() const
{
    termios tio{};
    if (!device_ || ::tcgetattr(device_->fd, &tio) != 0)
        return std::nullopt;
    PortSettings applied;
#if defined(__linux__)
    // glibc reads a rate set through termios2 as no rate at all; the kernel tells the one in use.
    applied.baudRate = LinuxCustomSpeed::rate(device_->fd);
    if (applied.baudRate == 0)
        applied.baudRate = speedRate(::cfgetospeed(&tio));
#else
    applied.baudRate = speedRate(::cfgetospeed(&tio));
#endif
    applied.dataBits = (tio.c_cflag & CSIZE) == CS7 ? 7 : (tio.c_cflag & CSIZE) == CS8 ? 8 : 0;
    applied.parity = !(tio.c_cflag & PARENB) ? 'N' : (tio.c_cflag & PARODD) ? 'O' : 'E';
    applied.stopBits = (tio.c_cflag & CSTOPB) ? 2 : 1;
    return applied;
}

} // namespace vantor::serial
