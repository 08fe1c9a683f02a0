#include "console/PortName.h"

#include <cctype>

namespace vantor::console {

namespace {
std::string upper(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}
} // namespace

bool PortName::isSimulated(const std::string& name)
{
    return upper(name) == simulated;
}

std::optional<int> PortName::comNumber(const std::string& name)
{
    const std::string u = upper(name);
    if (u.size() < 4 || u.size() > 6 || u.compare(0, 3, "COM") != 0 || u[3] == '0')
        return std::nullopt;
    int n = 0;
    for (std::size_t i = 3; i < u.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(u[i])))
            return std::nullopt;
        n = n * 10 + (u[i] - '0');
    }
    return n;
}

std::string PortName::devicePath(const std::string& name)
{
    if (isSimulated(name))
        return {};
    if (const auto n = comNumber(name)) {
#ifdef _WIN32
        return "COM" + std::to_string(*n);
#else
        return "/dev/ttyS" + std::to_string(*n - 1);
#endif
    }
    return name;
}

std::string PortName::displayName(const std::string& name)
{
    if (const auto n = comNumber(name))
        return "COM " + std::to_string(*n);
    if (isSimulated(name))
        return simulated;
    return name;
}

} // namespace vantor::console
