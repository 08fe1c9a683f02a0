#include "hostlink/SteadyClock.h"

#include <chrono>

namespace vantor::hostlink {

std::int64_t SteadyClock::nowMs() const
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

const SteadyClock& SteadyClock::instance()
{
    static const SteadyClock clock;
    return clock;
}

} // namespace vantor::hostlink
