#pragma once

#include "serial/Result.h"

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

// How an opening went; the message is a full sentence naming the port.
using OpenResult = Result<OpenError>;

} // namespace vantor::serial
