// DeviceChecks on Windows: COM ports are opened by name, the port layer's own errors tell why one
// cannot be, and the driver replaces characters with parity errors itself.
#include "console/DeviceChecks.h"

namespace vantor::console {

std::optional<OpenResult> DeviceChecks::beforeOpening(const std::string&, const std::string&)
{
    return std::nullopt;
}

std::string DeviceChecks::busyAdvice(const std::string&)
{
    return "the port is in use by another program. Close it (a terminal program, another uploader), or "
           "choose another port.";
}

bool DeviceChecks::notATerminal(int)
{
    return false;
}

bool DeviceChecks::markParityErrors(qintptr)
{
    return false;
}

std::optional<PortSettings> DeviceChecks::appliedSettings(qintptr, int)
{
    return std::nullopt;
}

} // namespace vantor::console
