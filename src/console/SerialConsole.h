#pragma once

#include "hostlink/CommandExchange.h"
#include "hostlink/LinkPort.h"
#include "serial/OpenResult.h"
#include "serial/Port.h"
#include "serial/PortCatalog.h"
#include "serial/PortSettings.h"

#include <functional>
#include <memory>
#include <string>

namespace vantor::console {

// The serial console without its window: the one port, its settings, the timeout text and the
// command exchange, with the Open Port and Close Port actions. The console window and the
// command-line tool both drive this; what the user sees goes out through the sinks. The port name
// means what the catalog makes of it; the front ends register their own names (the simulated PLC).
class SerialConsole : public hostlink::LinkPort
{
public:
    // stop: the front end's stop token, asked by the exchange's waits and by every port this console
    // opens (see hostlink::CommandExchange::stopToken); the default never stops.
    explicit SerialConsole(serial::PortCatalog catalog = {}, serial::StopToken stop = {});
    ~SerialConsole() override;

    // Names registered here count from the next opening on.
    serial::PortCatalog& catalog() { return catalog_; }
    const serial::PortCatalog& catalog() const { return catalog_; }

    // Take effect at the next opening; an open port stays as it is.
    void setPortName(const std::string& name) { portName_ = name; }
    // Chooses the port the next opening uses, as setPortName() does; when another port is open, it is
    // closed first and the log says so, so that the port shown is always the port used. Not to be
    // called during an exchange.
    void choosePort(const std::string& name);
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
    // Called with the port's display name just before a network port is opened, which can take up to
    // serial::Port::connectTimeoutMs; the stop token is asked meanwhile.
    void setConnectingSink(std::function<void(const std::string&)> sink)
    {
        connectingSink_ = std::move(sink);
    }

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

    // The open port's modem lines and break, as serial::Port::setModemLine() and sendBreak() do them;
    // sendBreak() blocks for the break's duration. A line set here is also kept in settings(), so
    // that the next opening (after the port was lost, say) sets it the same way. On failure the
    // message is a full sentence naming the port: the port is closed (nothing is opened for this), or
    // its kind cannot, or it failed (lost then, reported as a lost port is). Not during an exchange.
    serial::Result<> setModemLine(serial::ModemLine line, bool on);
    serial::Result<> sendBreak(int durationMs);

    // One exchange (see hostlink::CommandExchange), opening the port first when it is closed.
    hostlink::ExchangeResult sendCommand(const std::string& cmd) { return exchange_.sendCommand(cmd); }
    hostlink::CommandExchange& exchange() { return exchange_; }

    // hostlink::LinkPort
    bool ensureOpen() override { return openPort(); }
    bool write(const std::string& bytes) override;
    serial::PortRead read(int waitMs) override;

private:
    void portLost();
    // What a port control came to, as setModemLine() and sendBreak() say it.
    serial::Result<> controlled(serial::Result<> result);
    void reportProblem(const std::string& message);
    void warn(const std::string& warning);

    serial::PortCatalog catalog_;
    std::string portName_ = "COM1";
    std::string openName_;
    std::string openDisplayName_;
    serial::PortSettings settings_;
    std::shared_ptr<serial::Port> port_; // the one the open (or last) port name asked for
    hostlink::CommandExchange exchange_;
    serial::OpenResult lastOpen_;
    std::string lastProblem_;
    std::function<void(const std::string&)> logSink_;
    std::function<void(const std::string&)> errorSink_;
    std::function<void(const std::string&)> warningSink_;
    std::function<void(bool)> stateSink_;
    std::function<void(const std::string&)> connectingSink_;
};

} // namespace vantor::console
