#pragma once

#include <string>

namespace vantor::serial {

// What one read of a port brought.
struct PortRead
{
    std::string bytes; // every character received so far, removed from the receive buffer; may be empty
    bool lost = false; // the port failed (cable pulled, device gone, hang-up); it is closed now
};

} // namespace vantor::serial
