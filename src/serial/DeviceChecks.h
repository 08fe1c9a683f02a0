#pragma once

#include "serial/OpenResult.h"
#include "serial/PortSettings.h"

#include <string>

namespace vantor::serial {

// Why a device cannot be a usable serial port, told before it is opened: opening a real port pulses
// its modem lines, and the causes (a wrong name, no permission, not a serial device) need different
// fixes. POSIX systems answer from the file system and sysfs; Windows only learns at the opening.
class DeviceChecks
{
public:
    // "Cannot open NAME: DETAIL".
    static std::string cannotOpen(const std::string& name, const std::string& detail)
    {
        return "Cannot open " + name + ": " + detail;
    }

    // Before opening devicePath (named name in messages): why it cannot be a usable serial port
    // (missing, not a character device, no permission, with advice); ok() when it may be tried.
    static OpenResult beforeOpening(const std::string& devicePath, const std::string& name);

    // What makes two device names one device, for the locks and for telling that two names reach one
    // port: POSIX the real path, links resolved as far as the path exists; Windows
    // the name in capitals, as the system compares it.
    static std::string identity(const std::string& devicePath);
};

} // namespace vantor::serial
