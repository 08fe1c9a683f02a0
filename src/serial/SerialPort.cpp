// What SerialPort does the same way on every platform.
#include "serial/SerialPort.h"

#include "serial/DeviceChecks.h"

namespace vantor::serial {

OpenResult SerialPort::startOpening(const std::string& devicePath, const std::string& displayName,
                                    std::string* name)
{
    close();
    displayName_ = displayName;
    lostMessage_.clear();
    *name = displayName == devicePath ? devicePath : displayName + " (" + devicePath + ")";
    return DeviceChecks::beforeOpening(devicePath, *name);
}

bool SerialPort::isOpen() const
{
    return device_ != nullptr;
}

void SerialPort::lose(const std::string& what)
{
    lostMessage_ = lostText(displayName_, what, "Check the cable and the adapter, then open the port again.");
    close();
}

} // namespace vantor::serial
