#pragma once

#include "console/OpenResult.h"
#include "console/PortSettings.h"

#include <QtGlobal>
#include <optional>
#include <string>

namespace vantor::console {

// What the serial port layer asks of the platform beyond Qt SerialPort: telling apart why a device
// cannot be opened, who holds a busy one, and how the device really runs. POSIX systems answer from
// the file system and termios; elsewhere the answers are the port layer's own.
class DeviceChecks
{
public:
    // "Cannot open NAME: DETAIL".
    static std::string cannotOpen(const std::string& name, const std::string& detail)
    {
        return "Cannot open " + name + ": " + detail;
    }

    // Before opening devicePath (named name in messages): why it cannot be a usable serial port
    // (missing, not a character device, no permission, with advice), or nothing when it may be tried.
    static std::optional<OpenResult> beforeOpening(const std::string& devicePath, const std::string& name);

    // What to say of a port another program holds: who, when the lock file tells, or how to find out.
    static std::string busyAdvice(const std::string& devicePath);

    // Whether the system error left by a failed opening says the device is no terminal at all.
    static bool notATerminal(int systemError);

    // Has the device mark characters received with a parity error (see ParityErrorFilter); false where
    // the platform cannot, and nothing needs filtering then.
    static bool markParityErrors(qintptr handle);

    // The settings the open device applies, read back from it; nothing where that cannot be told.
    // fallbackBaud stands in for a rate the platform reports in a form not known here.
    static std::optional<PortSettings> appliedSettings(qintptr handle, int fallbackBaud);
};

} // namespace vantor::console
