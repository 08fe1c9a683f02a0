#pragma once

#include <cstddef>
#include <string>

namespace vantor::serial {

// What one read of a port brought.
struct PortRead
{
    // One read returns at most this much, whatever the far end sends (a flood, a runaway server);
    // the rest waits for the next read. As much as the response collector holds.
    static constexpr std::size_t maxBytes = 64 * 1024;

    std::string bytes; // every character received so far, removed from the receive buffer; may be empty
    bool lost = false; // the port failed (cable pulled, device gone, hang-up); it is closed now
    // With lost: the far end turned us away instead (a serial server whose port another client has),
    // so the port was never usable; nothing sent reached a PLC.
    bool refused = false;
};

} // namespace vantor::serial
