// DeviceChecks on Windows: COM ports are opened by name, and the opening itself tells why one cannot be.
#include "serial/DeviceChecks.h"

namespace vantor::serial {

std::optional<OpenResult> DeviceChecks::beforeOpening(const std::string&, const std::string&)
{
    return std::nullopt;
}

} // namespace vantor::serial
