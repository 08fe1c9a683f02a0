#pragma once

#include "console/SerialConsole.h"
#include "console/TermEvent.h"
#include "hostlink/Clock.h"
#include "hostlink/SteadyClock.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace vantor::console {

// The core of an interactive line terminal over one SerialConsole: each typed line goes out through
// the console's exchange (the ENQ handshake where it asks for one), framed for a PLC ID when framing
// is on; what arrives between commands is collected before each command is sent and between them, and
// handed back as Unasked, never as the next reply. A port that goes away is said once and opened again,
// every reopenIntervalMs, until it is back. Prints nothing: every call returns what happened as events.
//
// It takes over the console's log, error and warning sinks for as long as it lives. One thread: the
// console's.
class TermSession
{
public:
    // How often a lost port is tried again.
    static constexpr int reopenIntervalMs = 500;
    // How long a line without its line end may stay unchanged before it is shown as it is.
    static constexpr int partialLineQuietMs = 200;

    explicit TermSession(SerialConsole& console,
                         const hostlink::Clock& clock = hostlink::SteadyClock::instance());
    ~TermSession();
    TermSession(const TermSession&) = delete;
    TermSession& operator=(const TermSession&) = delete;

    // The first opening: Opened and Warning events, or Problem; true when the port is open.
    bool open(std::vector<TermEvent>* events);

    // Typed lines are framed for id from now on; nothing: sent as typed (the default).
    void setFramingId(std::optional<std::int16_t> id) { framingId_ = id; }
    std::optional<std::int16_t> framingId() const { return framingId_; }

    // Sends one typed line and waits for its reply (at most the console's timeout, plus the ENQ wait):
    // Unasked first for whatever was waiting, then Sent and Reply, NoReply or Interrupted; NotSent
    // while the port is away or for a frame that cannot be built; Lost when the port failed.
    std::vector<TermEvent> send(const std::string& typed);

    // What arrived meanwhile, waiting up to waitMs for the first bytes (0: not at all): Unasked for
    // each whole line, and for an unfinished one once it has been quiet for partialLineQuietMs. While
    // the port is away, tries to open it again when reopenIntervalMs have passed (Back and Opened), and
    // returns at once otherwise.
    std::vector<TermEvent> poll(int waitMs);

    // DTR or RTS of the open port set by hand (kept for its next opening), or a break of
    // serial::Port::defaultBreakMs (blocking that long): Control saying what was done, or Problem saying
    // why not; Lost when the port failed meanwhile. NotSent while the port is away.
    std::vector<TermEvent> setModemLine(serial::ModemLine line, bool on);
    std::vector<TermEvent> sendBreak();

    // The port went away and has not come back yet.
    bool waitingForPort() const { return waiting_; }

private:
    void attachSinks();
    void unasked(const std::string& bytes, std::vector<TermEvent>* events) const;
    void portLost(std::vector<TermEvent>* events);
    void tryReopen(std::vector<TermEvent>* events);
    void collect(int waitMs, std::vector<TermEvent>* events);
    void takeAllHeld(std::vector<TermEvent>* events);
    std::vector<TermEvent> control(const std::function<serial::Result<>()>& act, const std::string& done);

    SerialConsole& console_;
    const hostlink::Clock& clock_;
    std::optional<std::int16_t> framingId_;
    std::vector<TermEvent>* pending_ = nullptr; // where the console's sinks put their lines meanwhile
    bool quietProblems_ = false;                // reopening: the same failure every try is not news
    bool waiting_ = false;
    std::int64_t nextReopenMs_ = 0;
    std::string partial_; // an unfinished unasked line as last seen
    std::int64_t partialSinceMs_ = 0;
};

} // namespace vantor::console
