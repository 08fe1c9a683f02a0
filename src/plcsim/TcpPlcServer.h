#pragma once

#include "plcsim/PlcSession.h"
#include "plcsim/SimulatedPlc.h"
#include "serial/Result.h"
#include "serial/TcpListener.h"
#include "serial/TelnetCodec.h"

#include <atomic>
#include <memory>
#include <string>
#include <thread>

namespace vantor::plcsim {

// Plays a SimulatedPlc to TCP clients on a thread of its own, the way a serial server in raw mode
// passes a PLC's line through: a client opens socket://HOST:PORT and talks to the PLC. Unlike
// PtyPlcServer it needs no pseudo-terminal, so it works on Windows too.
// - One client at a time: another that connects meanwhile is turned away (its connection closed at
//   once, within about 100 ms, whatever the first client does: even while it reads none of the
//   answers), as a serial server's port is taken while someone uses it.
// - The PLCs' programs outlive a connection; a line a client left unfinished does not.
// - The hang-up fault closes the connection and stops the server, as it removes the pty's device.
// - A client whose first byte is a Telnet command (IAC, which no PLC line starts with) is served as
//   a serial server's Telnet port with the COM port control option (rfc2217://): its line settings
//   are confirmed as asked, and its DTR, RTS and break changes are told to the monitor ("DTR off",
//   "break on"), as LineControlText words them.
class TcpPlcServer
{
public:
    explicit TcpPlcServer(SimulatedPlc plc = SimulatedPlc());
    ~TcpPlcServer();
    TcpPlcServer(const TcpPlcServer&) = delete;
    TcpPlcServer& operator=(const TcpPlcServer&) = delete;

    // Receives one line per event: "connected HOST:PORT", "turned away HOST:PORT", "disconnected",
    // "telnet with the COM port option", the modem line changes, and those PlcSession tells. Called on the
    // server's thread; set it before start().
    using Monitor = PlcSession::Monitor;
    void setMonitor(Monitor monitor) { session_.setMonitor(std::move(monitor)); }

    // Listens on host and port (0: one the system picks; address() tells which) and starts serving.
    // When it cannot, why, as words that may follow "cannot start: ".
    serial::Result<> start(const std::string& host, int port);
    // Stops serving, closing the connection and the listening socket; safe to call twice. Blocks for
    // at most about 100 ms, or a send to a client that reads nothing (5 s).
    void stop();

    // "HOST:PORT" as a client names it: socket:// + address() is the port to open.
    const std::string& address() const { return listener_.address(); }
    // False once stopped or hung up.
    bool isServing() const { return serving_; }

    // A copy of the PLC's state, taken under the server's lock.
    SimulatedPlc snapshot() const { return session_.snapshot(); }

private:
    void serve();
    // A client's connection as the PLC's line.
    class ClientLine;

    // One client, until it leaves, the server stops or the line hangs up (false then).
    bool serveClient(serial::TcpConnection& client);
    // The data in what a client sent; a Telnet client's commands are answered and told (telnet is
    // made on the connection's first bytes, *first, when they are Telnet's).
    std::string fromClient(const std::string& raw, serial::TcpConnection& client,
                           std::unique_ptr<serial::TelnetCodec>& telnet, bool* first);
    bool pause(int ms); // false when asked to stop meanwhile
    // Whether a stop was asked for; turns away whoever connects meanwhile. Every wait while a client
    // is served asks it at least every 100 ms.
    bool stopHeard();

    PlcSession session_;
    serial::TcpListener listener_;
    std::thread thread_;
    std::atomic<bool> serving_{false};
    std::atomic<bool> stopping_{false};
    bool flooding_ = false;
};

} // namespace vantor::plcsim
