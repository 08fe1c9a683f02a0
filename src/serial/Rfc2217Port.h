#pragma once

#include "serial/SocketPort.h"
#include "serial/TelnetCodec.h"

namespace vantor::serial {

// A serial server's Telnet port with the COM port control option ("rfc2217://HOST:PORT", RFC 2217):
// on opening, the option is agreed, then the baud rate, data size, parity, stop size, no flow control
// and the DTR and RTS lines are set, and the server's answers are read back as appliedSettings(), as
// a local device's are. A server that never agrees to the option is refused within
// connectTimeoutMs; one that does not confirm every setting in that time gets an opening notice.
class Rfc2217Port : public SocketPort
{
public:
    std::optional<PortSettings> appliedSettings() const override;
    bool setsLine() const override { return true; }

protected:
    // Asked of the server (SET-CONTROL) without waiting for its answer; a break is its start, a wait
    // of ms and its end. A connection that fails meanwhile is a lost port.
    Result<> changeModemLine(ModemLine line, bool on) override;
    Result<> holdBreak(int ms) override;
    std::optional<std::string> negotiate(const PortSettings& settings) override;
    std::string toWire(const std::string& data) override { return codec_.encode(data); }
    std::string fromWire(const std::string& raw) override { return codec_.decode(raw); }
    std::string replies() override { return codec_.takeReplies(); }
    std::string protocolError() const override { return codec_.protocolError(); }

private:
    // Reads and answers the server until done() or the timeout; false when the connection failed or a
    // stop was asked for.
    template <typename Done> bool awaitUntil(Done done);
    // Sends SET-CONTROL with value; the failure when the port is closed or the connection failed.
    Result<> setControl(unsigned char value, const std::string& what);

    TelnetCodec codec_;
};

} // namespace vantor::serial
