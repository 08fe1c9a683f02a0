#pragma once

#include <cstdint>

namespace vantor::hostlink {

// A monotonic millisecond clock. Exchanges measure their deadlines with it, so a wall-clock change
// or a counter wrap can neither end nor prolong a wait. Tests substitute a clock they advance by hand.
class Clock
{
public:
    virtual ~Clock() = default;
    // Milliseconds since an arbitrary fixed point; never decreases.
    virtual std::int64_t nowMs() const = 0;
};

} // namespace vantor::hostlink
