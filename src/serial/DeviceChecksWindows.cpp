// DeviceChecks on Windows: COM ports are opened by name, and the opening itself tells why one cannot be.
#include "serial/DeviceChecks.h"

#include <cctype>

namespace vantor::serial {

OpenResult DeviceChecks::beforeOpening(const std::string&, const std::string&)
{
    return {};
}

std::string DeviceChecks::identity(const std::string& devicePath)
{
    std::string name = devicePath;
    for (char& c : name)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return name;
}

} // namespace vantor::serial
