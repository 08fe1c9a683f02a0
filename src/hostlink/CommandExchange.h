#pragma once

#include "hostlink/Clock.h"
#include "hostlink/LinkPort.h"
#include "hostlink/ResponseCollector.h"

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
    ExchangeStatus status = ExchangeStatus::NoResponse;
    std::string response; // empty unless status is Response

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
// start of this exchange's response.
class CommandExchange
{
public:
    static constexpr int enqFallbackMs = 1000;
    static constexpr int responseFallbackMs = 500;
    static constexpr char enq = '\x05';

    CommandExchange(LinkPort& port, const Clock& clock);

    void setTimeoutText(const std::string& text) { timeoutText_ = text; }
    const std::string& timeoutText() const { return timeoutText_; }

    // Sees every byte written and read, in order; for diagnostics only.
    using TraceSink = std::function<void(TraceDirection, const std::string&)>;
    void setTraceSink(TraceSink sink) { trace_ = std::move(sink); }

    // Asked during every wait, at least every stopCheckSliceMs; true ends the wait as Interrupted.
    // Empty (the default) for none.
    static constexpr int stopCheckSliceMs = 100;
    void setStopCheck(std::function<bool()> check) { stopCheck_ = std::move(check); }

    ExchangeResult sendCommand(const std::string& cmd);

    // The response of the most recent exchange; empty when it got none.
    const std::string& lastResponse() const { return lastResponse_; }

private:
    bool write(const std::string& bytes);
    PortRead read(std::int64_t waitMs);
    bool stopRequested() const { return stopCheck_ && stopCheck_(); }
    ExchangeStatus waitForEnq();
    ExchangeStatus readResponse();
    ExchangeResult finish(ExchangeStatus status);

    LinkPort& port_;
    const Clock& clock_;
    std::string timeoutText_ = "500 ";
    std::string lastResponse_;
    ResponseCollector rxBuffer_;
    TraceSink trace_;
    std::function<bool()> stopCheck_;
};

} // namespace vantor::hostlink
