#pragma once

#include <optional>
#include <string>

namespace vantor::console {

// The names a user picks a port by, and the device each one stands for.
//   "COM1" .. "COMn"  (any case) the platform's n-th serial port: /dev/ttyS<n-1> on Linux
//   "SIM"             the built-in simulated PLC on a pseudo-terminal
//   anything else     a device path, opened as it is ("/dev/ttyUSB0")
class PortName
{
public:
    static constexpr const char* simulated = "SIM";

    static bool isSimulated(const std::string& name);
    // n for "COMn" with n >= 1, nothing for other names.
    static std::optional<int> comNumber(const std::string& name);
    // The device to open; for SIM, empty (the simulator supplies it).
    static std::string devicePath(const std::string& name);
    // How the port is named to the user: "COM 1" for COM1, the name itself otherwise.
    static std::string displayName(const std::string& name);
};

} // namespace vantor::console
