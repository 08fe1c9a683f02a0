#pragma once

#include "plcsim/PlcLine.h"
#include "plcsim/SimulatedPlc.h"

#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace vantor::plcsim {

// A SimulatedPlc as every transport plays it: the bytes the host wrote go in, what the PLC does about
// them is carried out on a PlcLine, and each event is told to a monitor. The servers and the
// in-process link differ only in their PlcLine.
// receive() and perform() are called on the one thread that serves the line; snapshot() from any.
class PlcSession
{
public:
    // Receives one line per event: "received <ENQ>", "received <escaped line>", "sent <escaped
    // bytes>", "flooding", "hung up"; the servers add their own. Called on the serving thread.
    using Monitor = std::function<void(const std::string& event)>;

    explicit PlcSession(SimulatedPlc plc) : plc_(std::move(plc)) { startConnection(); }

    // Set it before serving starts.
    void setMonitor(Monitor monitor) { monitor_ = std::move(monitor); }
    void report(const std::string& event) const
    {
        if (monitor_)
            monitor_(event);
    }

    // Takes the bytes the host wrote, under the lock; returns what the PLC does about them.
    std::vector<PlcAction> receive(const std::string& bytes);
    // Carries out actions on line in order, each after its delay; false once the line hung up or a
    // pause ended in a stop (what was left is dropped then).
    bool perform(const std::vector<PlcAction>& actions, PlcLine& line);
    // A new client on the line: see SimulatedPlc::startConnection(). Also starts the unasked talk's
    // clock afresh (the first is due PlcFaults::unaskedMs from now, or after the first line received).
    void startConnection();

    // For a PLC that talks unasked (PlcFaults::unaskedMs): how long until it next does, in ms (0:
    // now), -1 when it will not unless something arrives. A server waits no longer than this.
    int msUntilUnasked() const;
    // Sends the unasked words on line when they are due, reporting "sent unasked <escaped>", and
    // schedules the next. Called on the serving thread.
    void talkUnasked(PlcLine& line);

    // A copy of the PLC's state, taken under the lock.
    SimulatedPlc snapshot() const;
    // The PLC itself, without the lock: for an owner that serves on its own thread.
    const SimulatedPlc& plc() const { return plc_; }

private:
    using Clock = std::chrono::steady_clock;

    SimulatedPlc plc_;
    // When the unasked words are next due; none while not scheduled (a talk once, before the first
    // line, or after it).
    std::optional<Clock::time_point> unaskedDue_;
    bool spokenOnce_ = false;
    mutable std::mutex mutex_;
    Monitor monitor_;
};

} // namespace vantor::plcsim
