#pragma once

#include "hostlink/Clock.h"
#include "hostlink/LinkPort.h"
#include "hostlink/ResponseCollector.h"
#include "serial/StopToken.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace vantor::hostlink {

enum class ExchangeStatus {
    Response,    // a line came back (it may still be empty: a bare line end)
    NoResponse,  // nothing ended a line within the timeout; what was collected is discarded
    NoEnqAnswer, // the ENQ handshake got no lone ENQ back; the command was not sent
    PortNotOpen, // the port could not be opened; nothing was sent
    PortLost,    // the port failed during the exchange and is closed now
    Interrupted, // the stop check asked to stop during a wait; the command may have gone out
};

struct ExchangeResult
{
    ExchangeResult() = default;
    ExchangeResult(ExchangeStatus s, std::string r) : status(s), response(std::move(r)) {}

    ExchangeStatus status = ExchangeStatus::NoResponse;
    std::string response; // empty unless status is Response
    // With NoResponse: how many bytes came back without ending a line (a device flooding the line, a
    // wrong baud rate or parity), and the first of them (at most strayShownBytes); 0 for silence.
    std::uint64_t strayBytes = 0;
    std::string strayStart;
    static constexpr std::size_t strayShownBytes = 200;
    // How long the response was waited for at most (ms, from the timeout text at the wait's start);
    // 0 when no response wait began (the port failed first, or the ENQ handshake got no answer).
    int responseWaitMs = 0;
    // With Response: how long after the command was written the line ended (ms); for readFollowing(),
    // after the last command sendCommand() wrote. 0 otherwise.
    std::int64_t sinceCommandMs = 0;

    // What callers that only know "a response or none" look at.
    bool hasResponse() const { return !response.empty(); }
    bool portFailed() const
    {
        return status == ExchangeStatus::PortNotOpen || status == ExchangeStatus::PortLost;
    }
};

enum class TraceDirection { Sent, Received };

// One command out, one response line back, over a LinkPort.
//
// Commands that begin with neither "@" nor ":" (an empty one too) are preceded by the ENQ handshake.
// Each wait takes its length from the timeout text at its start (see TimeoutText): 1000 ms when
// that gives less than 1 for the ENQ wait, 500 ms for the response. Waits block on the port until a
// deadline of the monotonic clock, so a silent PLC costs no CPU. A response that grows beyond
// ResponseCollector::maxResponseBytes without a line end is garbage: the wait ends as NoResponse. Nothing is
// flushed before a command is written: characters left over from an earlier exchange are read first, as the
// start of this exchange's response (heldOver() lets a caller look at them first).
class CommandExchange
{
public:
    static constexpr int enqFallbackMs = 1000;
    static constexpr int responseFallbackMs = 500;
    static constexpr char enq = '\x05';

    // stop: see stopToken(); the default never stops.
    CommandExchange(LinkPort& port, const Clock& clock, serial::StopToken stop = {});

    void setTimeoutText(const std::string& text) { timeoutText_ = text; }
    const std::string& timeoutText() const { return timeoutText_; }

    // Sees every byte written and read, in order; for diagnostics only.
    using TraceSink = std::function<void(TraceDirection, const std::string&)>;
    void setTraceSink(TraceSink sink) { trace_ = std::move(sink); }

    // The stop token given at construction is asked during every wait, at least every
    // stopCheckSliceMs; true ends the wait as Interrupted.
    static constexpr int stopCheckSliceMs = 100;
    const serial::StopToken& stopToken() const { return stop_; }
    bool stopRequested() const { return stop_.requested(); }

    ExchangeResult sendCommand(const std::string& cmd);

    // Waits for one more response without writing anything, with the response timeout: a second
    // line after the first (the PLC's answer behind a line's own echo of the command).
    ExchangeResult readFollowing();

    // A line that echoes locally (an RS-485 adapter with echo, a loopback plug) returns every command
    // as it was written before the PLC's answer. While set, that copy of the command just written
    // (the line equal to it, or its first part up to a CR) is dropped before the response is taken.
    // Off by default; the owner of a session that found such a line turns it on and off again.
    void setLineEchoes(bool echoes) { lineEchoes_ = echoes; }
    bool lineEchoes() const { return lineEchoes_; }

    // What arrived after the previous exchange ended and is still unread (lost: the port failed
    // meanwhile and is closed). Reads what is there now, waiting up to waitMs for the first bytes when
    // nothing is (0: not at all). An LF that starts it (the tail of a CR LF split across reads) is
    // dropped. Nothing else is discarded: the bytes are held, and the next exchange reads them first,
    // as the start of its response, unless takeHeldOver() takes them. Bytes that arrive after this
    // call are not seen by it: a caller that looks before each command tells a line that is out of
    // step only once the extra bytes are in.
    struct HeldOver
    {
        std::string bytes;
        bool lost = false;
    };
    HeldOver heldOver(int waitMs = 0);
    // Puts bytes back in front of what is held: a part of a response that its caller takes for a
    // later line (what followed an inner CR).
    void holdBack(const std::string& bytes) { held_.insert(0, bytes); }
    // Takes the held bytes as the answer they were (a late one), so that the next exchange starts afresh.
    void takeHeldOver() { held_.clear(); }
    // The port was opened afresh: whatever was held came from before the opening and goes with it.
    void portOpened()
    {
        held_.clear();
        rxBuffer_.reset();
    }

    // The response of the most recent exchange; empty when it got none.
    const std::string& lastResponse() const { return lastResponse_; }

private:
    bool write(const std::string& bytes);
    serial::PortRead read(std::int64_t waitMs);
    ExchangeStatus waitForEnq();
    ExchangeStatus readResponse();
    // Drops this exchange's own command from line when the line echoes; true when line was only that.
    bool dropOwnEcho(std::string& line);
    ExchangeResult finish(ExchangeStatus status);

    LinkPort& port_;
    const Clock& clock_;
    std::string timeoutText_ = "500 ";
    std::string lastResponse_;
    ResponseCollector rxBuffer_;
    TraceSink trace_;
    serial::StopToken stop_;
    bool lineEchoes_ = false;
    std::string written_; // the command of this exchange, for dropping its echo
    std::string held_;    // read by heldOver(), not yet taken by an exchange
    bool ownEchoSeen_ = false;
    std::uint64_t strayBytes_ = 0;
    std::string strayStart_;
    int responseWaitMs_ = 0;
    std::int64_t commandWrittenMs_ = 0; // the clock when the last command went out
};

} // namespace vantor::hostlink
