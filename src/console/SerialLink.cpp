#include "console/SerialLink.h"

#include <QSerialPort>

#include <algorithm>
#include <cerrno>
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
    if (::access(devicePath.c_str(), R_OK | W_OK) != 0 && errno == EACCES) {
        const std::string group = groupOf(st);
        return failure(OpenError::PermissionDenied, name,
                       "permission denied. Add your user to the group '" + group +
                           "' that owns the device (sudo usermod -aG " + group +
                           " $USER), then log out and in again.");
    }

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
            return failure(OpenError::Busy, name,
                           "the port is busy or locked by another program (" + detail +
                               "). Close the other program, or choose another port.");
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
