#include "console/SerialLink.h"

#include <QSerialPort>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <grp.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace vantor::console {

namespace {

constexpr int writeTimeoutMs = 5000;
const char* const disconnected = "the device was disconnected or the line hung up";

QSerialPort::Parity toQt(char parity)
{
    switch (parity) {
    case 'E':
        return QSerialPort::EvenParity;
    case 'O':
        return QSerialPort::OddParity;
    default:
        return QSerialPort::NoParity;
    }
}

std::string groupOf(const struct stat& st)
{
    if (const group* g = ::getgrgid(st.st_gid))
        return g->gr_name;
    return std::to_string(st.st_gid);
}

// Advice for a device the user may not open: a group to join only when that group may read and write
// it (and is not root, which nobody should join for this); otherwise who can grant access.
std::string permissionAdvice(const std::string& devicePath, const struct stat& st)
{
    const bool groupMayUse = (st.st_mode & S_IRGRP) && (st.st_mode & S_IWGRP);
    if (groupMayUse && st.st_gid != 0) {
        const std::string group = groupOf(st);
        return "permission denied. Add your user to the group '" + group +
               "' that owns the device (sudo usermod -aG " + group + " $USER), then log out and in again.";
    }
    return "permission denied, and no group may use it. Ask the administrator for access, for example a udev "
           "rule "
           "that gives your user or the dialout group read and write on " +
           devicePath + ".";
}

// Who holds a busy port, from its UUCP-style lock file when there is one.
std::string busyAdvice(const std::string& devicePath)
{
    // The port layer names its lock after the device below /dev, with '/' as '_': LCK..ttyUSB0, LCK..pts_3.
    std::string base = devicePath.compare(0, 5, "/dev/") == 0 ? devicePath.substr(5) : devicePath;
    std::replace(base.begin(), base.end(), '/', '_');
    for (const char* dir : {"/run/lock/", "/var/lock/"}) {
        std::FILE* lock = std::fopen((std::string(dir) + "LCK.." + base).c_str(), "r");
        if (!lock)
            continue;
        long pid = 0;
        const bool read = std::fscanf(lock, "%ld", &pid) == 1;
        std::fclose(lock);
        if (!read || pid <= 0)
            break;
        std::string program;
        if (std::FILE* comm = std::fopen(("/proc/" + std::to_string(pid) + "/comm").c_str(), "r")) {
            char name[64] = {};
            if (std::fgets(name, sizeof name, comm))
                program = std::string(name).substr(0, std::string(name).find('\n'));
            std::fclose(comm);
        }
        return "the port is in use by " + (program.empty() ? "process" : program + ", process") + " " +
               std::to_string(pid) + ". Close that program, or choose another port.";
    }
    return "the port is in use by another program. Find it with 'fuser -v " + devicePath +
           "', close it, or choose another port.";
}

OpenResult failure(OpenError error, const std::string& name, const std::string& detail)
{
    return {error, "Cannot open " + name + ": " + detail};
}

} // namespace

SerialLink::SerialLink() : port_(std::make_unique<QSerialPort>()) {}

SerialLink::~SerialLink() = default;

OpenResult SerialLink::open(const std::string& devicePath, const std::string& displayName,
                            const PortSettings& settings)
{
    close();
    displayName_ = displayName;
    lostMessage_.clear();
    const std::string name = displayName == devicePath ? devicePath : displayName + " (" + devicePath + ")";

    // Classify what the port layer would only call "not found" or "permission": the file system tells
    // the causes apart, and a user needs to know which one to fix.
    struct stat st
    {
    };
    if (::stat(devicePath.c_str(), &st) != 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return failure(OpenError::NoSuchDevice, name,
                           "no such device. Check the port name, and that the adapter is plugged in.");
        return failure(OpenError::Other, name, std::strerror(errno));
    }
    if (!S_ISCHR(st.st_mode))
        return failure(OpenError::NotSerialDevice, name, "this is not a serial device.");
    if (::access(devicePath.c_str(), R_OK | W_OK) != 0 && errno == EACCES)
        return failure(OpenError::PermissionDenied, name, permissionAdvice(devicePath, st));

    port_->setPortName(QString::fromStdString(devicePath));
    port_->setBaudRate(settings.baudRate);
    port_->setDataBits(settings.dataBits == 7 ? QSerialPort::Data7 : QSerialPort::Data8);
    port_->setParity(toQt(settings.parity));
    port_->setStopBits(settings.stopBits == 2 ? QSerialPort::TwoStop : QSerialPort::OneStop);
    port_->setFlowControl(QSerialPort::NoFlowControl);
    errno = 0;
    if (!port_->open(QIODevice::ReadWrite)) {
        const int systemError = errno;
        const auto error = port_->error();
        const std::string detail = port_->errorString().toStdString();
        port_->close();
        port_->clearError();
        switch (error) {
        case QSerialPort::DeviceNotFoundError:
            return failure(OpenError::NoSuchDevice, name,
                           "no such device. Check the port name, and that the adapter is plugged in.");
        case QSerialPort::PermissionError:
        case QSerialPort::OpenError:
            return failure(OpenError::Busy, name, busyAdvice(devicePath));
        default:
            // A character device that refuses terminal requests (ENOTTY) is no serial port at all.
            if (systemError == ENOTTY)
                return failure(OpenError::NotSerialDevice, name, "this is not a serial device.");
            if (error == QSerialPort::UnsupportedOperationError)
                return failure(OpenError::SettingsRejected, name,
                               "the device does not accept " + settings.settingsText() + " (" + detail +
                                   ").");
            return failure(OpenError::Other, name, detail + ".");
        }
    }
    port_->setDataTerminalReady(true);
    port_->setRequestToSend(true);
    port_->clearError(); // pseudo-terminals have no modem lines; that is no reason to fail
    markParityErrors_ = settings.parity != 'N';
    parityFilter_.reset();
    if (markParityErrors_)
        enableParityMarking();
    return {};
}

std::optional<PortSettings> SerialLink::appliedSettings() const
{
    termios tio{};
    const int fd = port_->isOpen() ? static_cast<int>(port_->handle()) : -1;
    if (fd < 0 || ::tcgetattr(fd, &tio) != 0)
        return std::nullopt;
    PortSettings applied;
    static const struct
    {
        speed_t code;
        int rate;
    } speeds[] = {{B1200, 1200},   {B2400, 2400},   {B4800, 4800},   {B9600, 9600},
                  {B19200, 19200}, {B38400, 38400}, {B57600, 57600}, {B115200, 115200}};
    applied.baudRate = 0;
    for (const auto& s : speeds) {
        if (::cfgetospeed(&tio) == s.code)
            applied.baudRate = s.rate;
    }
    if (applied.baudRate == 0)
        applied.baudRate = port_->baudRate(); // a rate the table does not know: trust the port layer
    applied.dataBits = (tio.c_cflag & CSIZE) == CS7 ? 7 : (tio.c_cflag & CSIZE) == CS8 ? 8 : 0;
    applied.parity = !(tio.c_cflag & PARENB) ? 'N' : (tio.c_cflag & PARODD) ? 'O' : 'E';
    applied.stopBits = (tio.c_cflag & CSTOPB) ? 2 : 1;
    return applied;
}

void SerialLink::enableParityMarking()
{
    termios tio{};
    const int fd = static_cast<int>(port_->handle());
    if (fd < 0 || ::tcgetattr(fd, &tio) != 0)
        return;
    tio.c_iflag |= INPCK | PARMRK;
    tio.c_iflag &= ~static_cast<tcflag_t>(IGNPAR | ISTRIP);
    ::tcsetattr(fd, TCSANOW, &tio);
}

void SerialLink::close()
{
    if (port_->isOpen())
        port_->close();
    port_->clearError();
}

bool SerialLink::isOpen() const
{
    return port_->isOpen();
}

void SerialLink::lose(const std::string& what)
{
    lostMessage_ = "Lost the connection to " + displayName_ + ": " + what +
                   ". Check the cable and the adapter, then open the port again.";
    close();
}

bool SerialLink::write(const std::string& bytes)
{
    if (!port_->isOpen())
        return false;
    if (bytes.empty())
        return true;
    if (port_->write(bytes.data(), static_cast<qint64>(bytes.size())) != static_cast<qint64>(bytes.size())) {
        lose(disconnected);
        return false;
    }
    while (port_->bytesToWrite() > 0) {
        if (!port_->waitForBytesWritten(writeTimeoutMs)) {
            lose(port_->error() == QSerialPort::TimeoutError ? "the data could not be sent within 5 s"
                                                             : disconnected);
            return false;
        }
    }
    return true;
}

hostlink::PortRead SerialLink::read(int waitMs)
{
    hostlink::PortRead result;
    if (!port_->isOpen()) {
        result.lost = true;
        return result;
    }
    // Without an event loop the port only reads the device inside waitForReadyRead, so even a read
    // that must not block asks it, with a zero wait.
    if (port_->bytesAvailable() == 0) {
        if (!port_->waitForReadyRead(std::max(0, waitMs))) {
            if (port_->error() != QSerialPort::TimeoutError && port_->error() != QSerialPort::NoError) {
                lose(disconnected);
                result.lost = true;
                return result;
            }
            port_->clearError();
        }
    }
    const QByteArray data = port_->readAll();
    if (port_->error() == QSerialPort::ResourceError || !port_->isOpen()) {
        lose(disconnected);
        result.lost = true;
        return result;
    }
    result.bytes.assign(data.constData(), static_cast<std::size_t>(data.size()));
    if (markParityErrors_)
        result.bytes = parityFilter_.filter(result.bytes);
    return result;
}

} // namespace vantor::console
