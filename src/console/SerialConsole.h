#pragma once

#include "hostlink/CommandExchange.h"
#include "hostlink/LinkPort.h"
#include "plcsim/PlcFaults.h"
#include "plcsim/SimulatedPlc.h"
#include "serial/OpenResult.h"
#include "serial/Port.h"
#include "serial/PortSettings.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace vantor::plcsim {
class InProcessPlcLink;
class PtyPlcServer;
} // namespace vantor::plcsim

namespace vantor::console {

// The serial console without its window: the one port, its settings, the timeout text and the
// command exchange, with the Open Port and Close Port actions. The console window and the
// command-line tool both drive this; what the user sees goes out through the sinks.
//
// The port named "SIM" is a simulated PLC started on a pseudo-terminal inside this process on first
// opening and talked to through the same serial port layer as real hardware. Where the platform has no
// pseudo-terminals, SIM is an in-process link straight to the simulated PLC instead.
class SerialConsole : public hostlink::LinkPort
{
public:
    SerialConsole();
    ~SerialConsole() override;

    // Take effect at the next opening; an open port stays as it is.
    void setPortName(const std::string& name) { portName_ = name; }
    const std::string& portName() const { return portName_; }
    void setSettings(const serial::PortSettings& settings) { settings_ = settings; }
    const serial::PortSettings& settings() const { return settings_; }

    // Read at the start of every wait.
    void setTimeoutText(const std::string& text) { exchange_.setTimeoutText(text); }
    const std::string& timeoutText() const { return exchange_.timeoutText(); }

    // Response log entries ("COM 1: Open at 38400,N,8,1"), one line each without a line end.
    void setLogSink(std::function<void(const std::string&)> sink) { logSink_ = std::move(sink); }
    // Port failures: could not open, lost. A full sentence naming the port.
    void setErrorSink(std::function<void(const std::string&)> sink) { errorSink_ = std::move(sink); }
    // Warnings about the open port: settings the device did not take. Without a sink they go to the log.
    void setWarningSink(std::function<void(const std::string&)> sink) { warningSink_ = std::move(sink); }
    // Called with the new state whenever the port opens or closes, a lost port included.
    void setStateSink(std::function<void(bool open)> sink) { stateSink_ = std::move(sink); }

    // The Open Port action: opens with the current settings and logs the opening line, only when the
    // port is closed. Returns whether the port is open afterwards.
    bool openPort();
    // The Close Port action; nothing happens when already closed. Nothing is logged.
    void closePort();
    bool isOpen() const;
    // The name the open port was opened under ("COM1", "SIM"); empty while closed. It differs from
    // portName() when the choice changed while the port was open.
    std::string openPortName() const { return isOpen() ? openName_ : std::string(); }
    // The result of the last opening attempt.
    const serial::OpenResult& lastOpenResult() const { return lastOpen_; }
    // The sentence of the most recent port failure, an opening or a lost port; empty if none yet.
    const std::string& lastPortProblem() const { return lastProblem_; }

    // One exchange (see hostlink::CommandExchange), opening the port first when it is closed.
    hostlink::ExchangeResult sendCommand(const std::string& cmd) { return exchange_.sendCommand(cmd); }
    hostlink::CommandExchange& exchange() { return exchange_; }

    // The simulated PLC behind "SIM": its faults and ID apply to the next one started. The running
    // one, if any, is reachable for inspection.
    void setSimulatorFaults(const plcsim::PlcFaults& faults, std::int16_t id = 1);
    // SIM over the in-process link even where pseudo-terminals exist, as other platforms have it.
    // Takes effect at the next opening.
    void setSimulatorInProcess(bool inProcess) { simInProcess_ = inProcess; }
    // Null where SIM runs in-process.
    plcsim::PtyPlcServer* simulator() { return simulator_.get(); }
    // A copy of the simulated PLC behind SIM as it is now (what it received, what it saved), on a
    // pseudo-terminal or in-process alike; nothing before SIM was first opened.
    std::optional<plcsim::SimulatedPlc> simulatedPlc() const;

    // hostlink::LinkPort
    bool ensureOpen() override { return openPort(); }
    bool write(const std::string& bytes) override;
    hostlink::PortRead read(int waitMs) override;

private:
    std::string resolveDevice();
    bool openInProcess();
    void portLost();
    void reportProblem(const std::string& message);
    void warn(const std::string& warning);

    std::string portName_ = "COM1";
    std::string openName_;
    serial::PortSettings settings_;
    std::unique_ptr<serial::Port> link_; // the kind the open (or last) port name asked for
    hostlink::CommandExchange exchange_;
    serial::OpenResult lastOpen_;
    std::string lastProblem_;
    std::unique_ptr<plcsim::PtyPlcServer> simulator_;
    std::unique_ptr<plcsim::InProcessPlcLink> inProcess_; // SIM without a pseudo-terminal
    bool inProcessOpen_ = false;
    bool simInProcess_ = false;
    plcsim::PlcFaults simFaults_;
    std::int16_t simId_ = 1;
    std::function<void(const std::string&)> logSink_;
    std::function<void(const std::string&)> errorSink_;
    std::function<void(const std::string&)> warningSink_;
    std::function<void(bool)> stateSink_;
};

} // namespace vantor::console
