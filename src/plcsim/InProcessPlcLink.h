#pragma once

#include "hostlink/LinkPort.h"
#include "plcsim/PlcLine.h"
#include "plcsim/PlcSession.h"
#include "plcsim/SimulatedPlc.h"

#include <chrono>
#include <deque>
#include <string>

namespace vantor::plcsim {

// A SimulatedPlc at the end of a link that lives in this process: what is written goes straight to the
// PLC, and its answers arrive when their delays have passed, as on a real line. It stands in for the
// pseudo-terminal where the platform has none, and behaves the same for every fault: split answers,
// delays, silence, a hang-up (the link is then lost for good) and a flood.
class InProcessPlcLink : public hostlink::LinkPort, private PlcLine
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

    const SimulatedPlc& plc() const { return session_.plc(); }
    bool hungUp() const { return hungUp_; }

private:
    using Clock = std::chrono::steady_clock;
    struct Pending
    {
        Clock::time_point due;
        PlcAction action;
    };

    // The PLC's actions are queued, each due when the ones before it and its delay have passed, and
    // read() delivers them then.
    bool pause(int ms) override;
    void send(const std::string& bytes) override { queue({PlcAction::Kind::Write, 0, bytes}); }
    void flood() override { queue({PlcAction::Kind::Flood, 0, {}}); }
    void hangUp() override { queue({PlcAction::Kind::HangUp, 0, {}}); }
    void queue(PlcAction action) { pending_.push_back({lastDue_, std::move(action)}); }

    PlcSession session_;
    std::deque<Pending> pending_;
    Clock::time_point lastDue_ = Clock::now();
    bool hungUp_ = false;
    bool flooding_ = false;
};

} // namespace vantor::plcsim
