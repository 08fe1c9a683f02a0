#pragma once

#include "serial/OpenResult.h"
#include "serial/PortRead.h"
#include "serial/PortSettings.h"
#include "serial/Result.h"
#include "serial/StopToken.h"

#include <optional>
#include <string>

namespace vantor::serial {

// The modem lines a user may set by hand on an open port.
enum class ModemLine { Dtr, Rts };

// A line to a PLC as the console drives it: a serial device here (SerialPort), a serial server on
// the network (SocketPort for raw TCP, Rfc2217Port for Telnet with the COM port control option), or
// whatever a front end registers with the PortCatalog. PortCatalog turns names into ports.
// Not thread-safe: one thread drives a port.
class Port
{
public:
    virtual ~Port() = default;

    // device: the device path or network address; displayName names the port in messages. Closes
    // the port first if it is open. Never waits for a busy device; a network port waits at most
    // connectTimeoutMs to connect and as long again for its server's answers, and gives up at once
    // when stop says so, asking it at least every 100 ms. What the driver or the server held from
    // before the opening (a late answer to an earlier run) is dropped: a device's input is flushed,
    // and a network port waits a further 50 ms for what its server hands over on connecting (but the
    // server's own words). Bytes still on their way then (in an adapter, on the network) arrive
    // afterwards. stop is kept for the waits of write() until the next opening.
    OpenResult open(const std::string& device, const std::string& displayName, const PortSettings& settings,
                    StopToken stop = {})
    {
        stop_ = std::move(stop);
        return openDevice(device, displayName, settings);
    }
    virtual void close() = 0;
    virtual bool isOpen() const = 0;

    // Sends everything, waiting up to 5 s for room. False when the port failed (it is closed then,
    // with lostMessage() saying why), is closed, or a stop request ended the wait (closed then too,
    // with no lostMessage()).
    virtual bool write(const std::string& bytes) = 0;
    // Returns at once with whatever has been received when something is waiting; otherwise waits
    // up to waitMs milliseconds (0: not at all) for the first bytes. A signal may end the wait early
    // with an empty result. lost is set, and the port closed, when it failed or hung up.
    virtual PortRead read(int waitMs) = 0;

    // Sets a modem line of the open port on or off, at once, until the next call or the closing (the
    // next opening sets it as its settings ask). Sending a break holds the line in the break state for
    // durationMs (0: defaultBreakMs; more than maxBreakMs is refused) and blocks that long. On failure
    // the message is words that follow "NAME: " and end with a period ("a raw TCP port cannot set DTR:
    // ..."): a closed port, a kind of port or device that has no such control, or a line that failed
    // (the port is lost then, with lostMessage() saying why). A kind of port that does not override
    // these has no controls.
    Result<> setModemLine(ModemLine line, bool on);
    Result<> sendBreak(int durationMs);
    static constexpr int defaultBreakMs = 250;
    static constexpr int maxBreakMs = 10000;
    // "DTR", "RTS".
    static const char* lineName(ModemLine line);

    // What the open port actually runs at, as it reports it; nothing when it cannot tell.
    virtual std::optional<PortSettings> appliedSettings() const = 0;
    // Something the user should know about the port just opened, as a sentence ("a raw TCP port
    // cannot apply 9600,E,7,1 ..."); empty when there is nothing to say.
    virtual std::string openingNotice() const { return {}; }
    // Whether opening sets the line to the settings asked for; a raw TCP port runs at whatever its
    // server is set to, and its openingNotice() says so when other settings were asked for.
    virtual bool setsLine() const { return true; }
    // Why the port was lost, as a sentence; empty until it happens.
    const std::string& lostMessage() const { return lostMessage_; }
    // The sentence for a lost port, the one wording every kind of port and its callers use:
    // "Lost the connection to NAME: WHAT. ADVICE", or without ": WHAT" when what is empty.
    static std::string lostText(const std::string& displayName, const std::string& what,
                                const std::string& advice);

    static constexpr int connectTimeoutMs = 5000;

protected:
    // What open() does, each kind of port its own way.
    virtual OpenResult openDevice(const std::string& device, const std::string& displayName,
                                  const PortSettings& settings) = 0;
    // What setModemLine() and sendBreak() do, each kind of port its own way, called only while the
    // port is open; ms from 1 to maxBreakMs. The default: this kind of port has no such control.
    virtual Result<> changeModemLine(ModemLine line, bool on);
    virtual Result<> holdBreak(int ms);
    // The token of the latest open().
    const StopToken& stopToken() const { return stop_; }
    bool stopRequested() const { return stop_.requested(); }

    std::string lostMessage_;

private:
    StopToken stop_;
};

} // namespace vantor::serial
