#pragma once

#include "plcsim/SimulatedPlc.h"

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace vantor::plcsim {

// Plays a SimulatedPlc on the master side of a pseudo-terminal, on a thread of its own, so that the
// real serial port layer can open the slave device (devicePath()) and talk to it like a PLC.
// The slave is kept open by the server too, so a client may close and reopen it freely; a hang-up
// fault closes both sides, and the device path then disappears.
class PtyPlcServer
{
public:
    explicit PtyPlcServer(SimulatedPlc plc = SimulatedPlc());
    ~PtyPlcServer();
    PtyPlcServer(const PtyPlcServer&) = delete;
    PtyPlcServer& operator=(const PtyPlcServer&) = delete;

    // Receives one line per event: "received <escaped line>", "sent <escaped bytes>", "hung up".
    // Called on the server's thread; set it before start().
    using Monitor = std::function<void(const std::string& event)>;
    void setMonitor(Monitor monitor) { monitor_ = std::move(monitor); }

    // Whether this platform has pseudo-terminals at all; where it has none, start() always fails.
    static bool available();

    struct Started
    {
        std::string error; // why not, as words that may follow "cannot start: "; empty when serving
        bool ok() const { return error.empty(); }
    };
    // Opens the pseudo-terminal and starts serving.
    Started start();
    // Stops serving and closes the pseudo-terminal; safe to call twice.
    void stop();

    const std::string& devicePath() const { return path_; }
    // False once stopped or hung up.
    bool isServing() const { return serving_; }

    // A copy of the PLC's state, taken under the server's lock.
    SimulatedPlc snapshot() const;

private:
    void serve();
    bool pause(int ms); // false when asked to stop meanwhile
    void closeLine();
    void report(const std::string& event) const;

    SimulatedPlc plc_;
    mutable std::mutex mutex_;
    Monitor monitor_;
    std::string path_;
    int master_ = -1;
    int slave_ = -1;
    int wake_[2] = {-1, -1};
    std::thread thread_;
    std::atomic<bool> serving_{false};
    bool flooding_ = false;
};

} // namespace vantor::plcsim
