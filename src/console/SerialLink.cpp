#include "console/SerialLink.h"

#include <QSerialPort>

#include "console/DeviceChecks.h"

#include <algorithm>
#include <cerrno>

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

OpenResult failure(OpenError error, const std::string& name, const std::string& detail)
{
    return {error, DeviceChecks::cannotOpen(name, detail)};
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

    if (auto refused = DeviceChecks::beforeOpening(devicePath, name))
        return *refused;

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
            return failure(OpenError::Busy, name, DeviceChecks::busyAdvice(devicePath));
        default:
            // A character device that refuses terminal requests (ENOTTY) is no serial port at all.
            if (DeviceChecks::notATerminal(systemError))
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
        markParityErrors_ = DeviceChecks::markParityErrors(port_->handle());
    return {};
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

std::optional<PortSettings> SerialLink::appliedSettings() const
{
    if (!port_->isOpen())
        return std::nullopt;
    return DeviceChecks::appliedSettings(port_->handle(), port_->baudRate());
}

} // namespace vantor::console
