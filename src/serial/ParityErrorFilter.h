#pragma once

#include <string>

namespace vantor::serial {

// Replaces characters received with a parity or framing error by "?".
//
// The port is switched to the kernel's marking mode (PARMRK), in which such a character arrives as
// the three bytes 0xFF 0x00 c, and a genuine 0xFF as 0xFF 0xFF. The marks may be split across reads,
// so the filter keeps the unfinished tail of one read for the next.
class ParityErrorFilter
{
public:
    std::string filter(const std::string& raw);
    void reset() { pending_.clear(); }

private:
    std::string pending_;
};

} // namespace vantor::serial
