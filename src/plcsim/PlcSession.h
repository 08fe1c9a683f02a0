#pragma once

#include "plcsim/PlcLine.h"
#include "plcsim/SimulatedPlc.h"

#include <functional>
#include <mutex>
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

    explicit PlcSession(SimulatedPlc plc) : plc_(std::move(plc)) {}

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
    // A new client on the line: see SimulatedPlc::startConnection().
    void startConnection();

    // A copy of the PLC's state, taken under the lock.
    SimulatedPlc snapshot() const;
    // The PLC itself, without the lock: for an owner that serves on its own thread.
    const SimulatedPlc& plc() const { return plc_; }

private:
    SimulatedPlc plc_;
    mutable std::mutex mutex_;
    Monitor monitor_;
};

} // namespace vantor::plcsim
