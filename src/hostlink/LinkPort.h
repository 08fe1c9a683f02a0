#pragma once

#include "serial/PortRead.h"

#include <string>

namespace vantor::hostlink {

// The serial line as the command exchange sees it. Bytes are 8-bit characters passed unchanged.
class LinkPort
{
public:
    virtual ~LinkPort() = default;

    // The Open Port action: opens the port with its current settings if it is closed and leaves an
    // open port alone. Returns true when the port is open afterwards; on false nothing may be written.
    virtual bool ensureOpen() = 0;

    // Sends all of bytes before returning. Returns false when the port failed; it is then closed.
    virtual bool write(const std::string& bytes) = 0;

    // Returns at once with whatever has been received when something is waiting. Otherwise blocks
    // until characters arrive or waitMs milliseconds pass (0: do not block), whichever comes first,
    // and returns what arrived: an empty result with lost == false means the wait ran out.
    virtual serial::PortRead read(int waitMs) = 0;
};

} // namespace vantor::hostlink
