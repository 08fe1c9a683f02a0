#pragma once

#include "hostlink/LinkPort.h"
#include "plcsim/SimulatedPlc.h"

#include <chrono>
#include <deque>
#include <string>

namespace vantor::plcsim {

// A SimulatedPlc at the end of a link that lives in this process: what is written goes straight to the
// PLC, and its answers arrive when their delays have passed, as on a real line. It stands in for the
// pseudo-terminal where the platform has none, and behaves the same for every fault: split answers,
// delays, silence, a hang-up (the link is then lost for good) and a flood.
class InProcessPlcLink : public hostlink::LinkPort
{
public:
    explicit InProcessPlcLink(SimulatedPlc plc = SimulatedPlc());

    bool ensureOpen() override { return !hungUp_; }
    bool write(const std::string& bytes) override;
    serial::PortRead read(int waitMs) override;

    // The port was opened afresh: answers that have arrived by now waited in a closed port and are gone,
    // as a driver's input is flushed at an opening. A hang-up that is due stays, and so does what is
    // still on its way.
    void dropArrived();

    const SimulatedPlc& plc() const { return plc_; }
    bool hungUp() const { return hungUp_; }

private:
    using Clock = std::chrono::steady_clock;
    struct Pending
    {
        Clock::time_point due;
        PlcAction action;
    };

    SimulatedPlc plc_;
    std::deque<Pending> pending_;
    Clock::time_point lastDue_ = Clock::now();
    bool hungUp_ = false;
    bool flooding_ = false;
};

} // namespace vantor::plcsim
