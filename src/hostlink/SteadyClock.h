#pragma once

#include "hostlink/Clock.h"

namespace vantor::hostlink {

// The real clock: std::chrono::steady_clock in milliseconds.
class SteadyClock : public Clock
{
public:
    std::int64_t nowMs() const override;
    static const SteadyClock& instance();
};

} // namespace vantor::hostlink
