#pragma once

#include "hostlink/Clock.h"
#include "hostlink/LinkPort.h"

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace vantor::test {

// A clock the tests move by hand.
class FakeClock : public hostlink::Clock
{
public:
    std::int64_t nowMs() const override { return now; }
    std::int64_t now = 1'000'000;
};

// A port whose far end is a script: characters arrive at given fake times, and onWrite may schedule
// answers to what was written. A read that finds nothing waiting advances the clock to the next
// arrival within its wait, or by the whole wait, as a blocking read would.
class FakeLink : public hostlink::LinkPort
{
public:
    explicit FakeLink(FakeClock& clock) : clock_(clock) {}

    void arrive(const std::string& bytes, std::int64_t afterMs = 0)
    {
        arrivals_.emplace(clock_.now + afterMs, bytes);
    }
    void loseAfter(std::int64_t afterMs) { lostAt_ = clock_.now + afterMs; }

    bool ensureOpen() override
    {
        ++openCalls;
        return canOpen;
    }
    bool write(const std::string& bytes) override
    {
        written.push_back(bytes);
        if (onWrite)
            onWrite(bytes);
        return true;
    }
    serial::PortRead read(int waitMs) override
    {
        ++reads;
        serial::PortRead got;
        auto first = arrivals_.begin();
        const std::int64_t horizon = clock_.now + waitMs;
        if (lostAt_ >= 0 && lostAt_ <= horizon && (first == arrivals_.end() || first->first > lostAt_)) {
            clock_.now = std::max(clock_.now, lostAt_);
            got.lost = true;
            return got;
        }
        if (first == arrivals_.end() || first->first > horizon) {
            clock_.now = horizon;
            return got;
        }
        clock_.now = std::max(clock_.now, first->first);
        while (!arrivals_.empty() && arrivals_.begin()->first <= clock_.now) {
            got.bytes += arrivals_.begin()->second;
            arrivals_.erase(arrivals_.begin());
        }
        return got;
    }

    bool canOpen = true;
    int openCalls = 0;
    int reads = 0;
    std::vector<std::string> written;
    std::function<void(const std::string&)> onWrite;

private:
    FakeClock& clock_;
    std::multimap<std::int64_t, std::string> arrivals_;
    std::int64_t lostAt_ = -1;
};

} // namespace vantor::test
