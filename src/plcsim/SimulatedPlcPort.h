#pragma once

#include "plcsim/PlcFaults.h"
#include "plcsim/SimulatedPlc.h"
#include "serial/Port.h"
#include "serial/SerialPort.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vantor::plcsim {

class InProcessPlcLink;
class PtyPlcServer;

// A simulated PLC as a port: a PtyPlcServer started on first opening and talked to through the real
// serial port layer, or, where the platform has no pseudo-terminals, an InProcessPlcLink. Closing
// leaves the PLC running with what it holds; a PLC that hung up is gone for good, like an unplugged
// adapter, and the next opening starts a fresh one with the faults and ID set then. Front ends register
// one with the PortCatalog (as "SIM"). Not thread-safe: one thread drives a port.
class SimulatedPlcPort : public serial::Port
{
public:
    explicit SimulatedPlcPort(bool inProcess = !available());
    ~SimulatedPlcPort() override;
    SimulatedPlcPort(const SimulatedPlcPort&) = delete;
    SimulatedPlcPort& operator=(const SimulatedPlcPort&) = delete;

    // The name and description the front ends register it under.
    static constexpr const char* name = "SIM";
    static constexpr const char* description = "built-in simulated PLC";

    // Whether pseudo-terminals carry the simulated PLC here.
    static bool available();

    // The faults and ID of the next PLC started; the running one keeps its own.
    void setFaults(const PlcFaults& faults, std::int16_t id = 1);
    // A copy of the running (or last) PLC as it is now: what it received, what it saved; nothing
    // before the first opening.
    std::optional<SimulatedPlc> plc() const;
    // The modem line changes and breaks asked of this port since it was made, in order, as the
    // simulator's verbose output says them ("DTR off", "RTS on", "break 250 ms"). They reach no PLC.
    const std::vector<std::string>& controls() const { return controls_; }
    // The pseudo-terminal server; null in-process or before the first opening.
    PtyPlcServer* server() { return server_.get(); }

    void close() override;
    bool isOpen() const override;
    bool write(const std::string& bytes) override;
    serial::PortRead read(int waitMs) override;
    std::optional<serial::PortSettings> appliedSettings() const override;

protected:
    // Recorded in controls(), and taken.
    serial::Result<> changeModemLine(serial::ModemLine line, bool on) override;
    serial::Result<> holdBreak(int ms) override;
    // device is not used: the simulator supplies its own.
    serial::OpenResult openDevice(const std::string& device, const std::string& displayName,
                                  const serial::PortSettings& settings) override;

private:
    void hungUp();

    bool inProcess_;
    PlcFaults faults_;
    std::int16_t id_ = 1;
    std::string displayName_;
    std::unique_ptr<PtyPlcServer> server_;
    serial::SerialPort line_; // the pseudo-terminal's slave side
    std::unique_ptr<InProcessPlcLink> link_;
    bool linkOpen_ = false;
    std::vector<std::string> controls_;
};

} // namespace vantor::plcsim
