#pragma once

#include "serial/NetworkAddress.h"
#include "serial/Port.h"
#include "serial/TcpConnection.h"

#include <string>

namespace vantor::serial {

// A serial server's raw TCP port ("socket://HOST:PORT"): the bytes go through as they are, and the
// line settings are the server's own; asking for others gets an opening notice, once. The server
// closing the connection, or the connection failing, is a lost port. Rfc2217Port builds on it.
class SocketPort : public Port
{
public:
    void close() override;
    bool isOpen() const override { return connection_.isOpen(); }
    bool write(const std::string& bytes) override;
    PortRead read(int waitMs) override;
    std::optional<PortSettings> appliedSettings() const override { return std::nullopt; }
    std::string openingNotice() const override { return notice_; }
    bool setsLine() const override { return false; }

protected:
    // A raw TCP port has no control of the server's line: both refuse, saying so.
    Result<> changeModemLine(ModemLine line, bool on) override;
    Result<> holdBreak(int ms) override;
    OpenResult openDevice(const std::string& device, const std::string& displayName,
                          const PortSettings& settings) override;
    // After connecting: agree on what the server must know. Nothing when the port is ready, or why
    // it is not, as words that follow "Cannot open NAME: ".
    virtual std::optional<std::string> negotiate(const PortSettings& settings);
    // The bytes as they go on the wire, and as they come off it.
    virtual std::string toWire(const std::string& data) { return data; }
    virtual std::string fromWire(const std::string& raw) { return raw; }
    // What the protocol owes the server after a read; empty for none.
    virtual std::string replies() { return {}; }
    // Why the server's bytes cannot be decoded any further, as words that follow "the server at
    // HOST:PORT "; empty while they can.
    virtual std::string protocolError() const { return {}; }
    // Waits up to waitMs for whatever arrives, decoded, the data kept for the first read(); false
    // when the connection failed or the server broke the protocol (the connection is closed then).
    bool await(int waitMs);
    // Closes the port as lost, lostMessage() saying what happened.
    void lose(const std::string& what);
    // The first line of what the server sent while opening, printable; empty when nothing.
    std::string serverSaid() const;
    // The sentence for a server that turned us away, saying what it said.
    std::string turnedAway(const std::string& said) const;

    TcpConnection connection_;
    NetworkAddress address_;
    std::string notice_;

private:
    // Connects to address_, waiting up to connectTimeoutMs; what open() says when it cannot.
    OpenResult connectToServer();
    // Once connected: negotiate(), then drops what the server kept from before; what open() says
    // when either fails (the port is closed then).
    OpenResult startTalking(const PortSettings& settings);
    // Whether the first bytes from the server are its words and it then hangs up: how a serial server
    // whose port another client has turns us away. Waits a moment only for text that no PLC sends.
    bool turnsUsAway(const std::string& first);
    // Whether bytes could be a server's words rather than a PLC's: one short printable line.
    static bool mayBeServerWords(const std::string& first);
    // After opening: waits a moment for what the server kept from before this connection and drops
    // it. False when the server closed the connection or broke the protocol meanwhile.
    bool dropWhatCameBefore();

    std::string displayName_;
    std::string pending_;       // data that arrived while opening
    bool heardFromPlc_ = false; // some data has been passed up since the opening
};

} // namespace vantor::serial
