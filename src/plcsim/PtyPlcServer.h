#pragma once

#include "plcsim/PlcLine.h"
#include "plcsim/PlcSession.h"
#include "plcsim/SimulatedPlc.h"
#include "serial/Result.h"

#include <atomic>
#include <string>
#include <thread>

namespace vantor::plcsim {

// Plays a SimulatedPlc on the master side of a pseudo-terminal, on a thread of its own, so that the
// real serial port layer can open the slave device (devicePath()) and talk to it like a PLC.
// The slave is kept open by the server too, so a client may close and reopen it freely; a hang-up
// fault closes both sides, and the device path then disappears.
class PtyPlcServer : private PlcLine
{
public:
    explicit PtyPlcServer(SimulatedPlc plc = SimulatedPlc());
    ~PtyPlcServer() override;
    PtyPlcServer(const PtyPlcServer&) = delete;
    PtyPlcServer& operator=(const PtyPlcServer&) = delete;

    // Receives one line per event, as PlcSession tells them. Called on the server's thread; set it
    // before start().
    using Monitor = PlcSession::Monitor;
    void setMonitor(Monitor monitor) { session_.setMonitor(std::move(monitor)); }

    // Whether this platform has pseudo-terminals at all; where it has none, start() always fails.
    static bool available();

    // Opens the pseudo-terminal and starts serving. When it cannot, why, as words that may follow
    // "cannot start: ".
    serial::Result<> start();
    // Stops serving and closes the pseudo-terminal; safe to call twice.
    void stop();

    const std::string& devicePath() const { return path_; }
    // After start(): makes path a symbolic link to devicePath(), a name that stays the same while the
    // device comes and goes between runs; stop() and a hang-up remove it (when it still points to this
    // device). A link left by an earlier server whose device is gone is replaced; anything else at
    // path (a file, a directory, a link to elsewhere or to a device that is there) is refused, as
    // words that may follow "cannot make the link PATH: ". Called right after start(), before a
    // client talks to the PLC.
    serial::Result<> linkAs(const std::string& path);
    // False once stopped or hung up.
    bool isServing() const { return serving_; }

    // A copy of the PLC's state, taken under the server's lock.
    SimulatedPlc snapshot() const { return session_.snapshot(); }

private:
    void serve();
    // What the host wrote, read from the master side: empty when there was nothing to read; false
    // when serving must end (asked to stop, or the pseudo-terminal failed).
    bool take(std::string* bytes);
    void closeLine();
    // Removes the link linkAs() made, if it still points to this device.
    void removeLink();

    // The master side as the PLC's line.
    bool pause(int ms) override;
    void send(const std::string& bytes) override;
    void flood() override;
    void hangUp() override;

    PlcSession session_;
    std::string path_;
    std::string link_; // what linkAs() made; empty when none
    int master_ = -1;
    int slave_ = -1;
    int wake_[2] = {-1, -1};
    std::thread thread_;
    std::atomic<bool> serving_{false};
    bool flooding_ = false;
};

} // namespace vantor::plcsim
