#pragma once

#include <string>

namespace vantor::serial {

enum class OpenError {
    None,
    NoSuchDevice,     // nothing at that path: wrong name, or the adapter is unplugged
    PermissionDenied, // the user may not open the device
    Busy,             // another program has it open or holds its lock
    NotSerialDevice,  // the path exists but is no serial port
    SettingsRejected, // the device refused the baud rate, parity, data or stop bits
    Other,
};

struct OpenResult
{
    OpenError error = OpenError::None;
    std::string message; // a full sentence naming the port; empty on success
    bool ok() const { return error == OpenError::None; }
};

} // namespace vantor::serial
