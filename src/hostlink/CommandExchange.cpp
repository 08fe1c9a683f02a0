#include "hostlink/CommandExchange.h"

#include "hostlink/TimeoutText.h"

#include <algorithm>

namespace vantor::hostlink {

CommandExchange::CommandExchange(LinkPort& port, const Clock& clock, serial::StopToken stop)
    : port_(port), clock_(clock), stop_(std::move(stop))
{}

ExchangeResult CommandExchange::sendCommand(const std::string& cmd)
{
    lastResponse_.clear();
    written_ = cmd;
    ownEchoSeen_ = false;
    responseWaitMs_ = 0;
    // An opening that a stop request cut short (a network port still connecting) is a stop.
    if (!port_.ensureOpen())
        return finish(stopRequested() ? ExchangeStatus::Interrupted : ExchangeStatus::PortNotOpen);

    if (cmd.empty() || (cmd.front() != '@' && cmd.front() != ':')) {
        if (!write(std::string(1, enq)))
            return finish(stopRequested() ? ExchangeStatus::Interrupted : ExchangeStatus::PortLost);
        const ExchangeStatus handshake = waitForEnq();
        if (handshake != ExchangeStatus::Response)
            return finish(handshake);
    }
    // A send that a stop request cut short is a stop, not a lost port.
    if (!write(cmd + '\r'))
        return finish(stopRequested() ? ExchangeStatus::Interrupted : ExchangeStatus::PortLost);
    commandWrittenMs_ = clock_.nowMs();
    return finish(readResponse());
}

ExchangeResult CommandExchange::readFollowing()
{
    lastResponse_.clear();
    written_.clear();
    responseWaitMs_ = 0;
    return finish(readResponse());
}

ExchangeResult CommandExchange::finish(ExchangeStatus status)
{
    if (status != ExchangeStatus::Response)
        lastResponse_.clear();
    ExchangeResult result{status, lastResponse_};
    result.responseWaitMs = responseWaitMs_;
    if (status == ExchangeStatus::Response)
        result.sinceCommandMs = clock_.nowMs() - commandWrittenMs_;
    if (status == ExchangeStatus::NoResponse) {
        result.strayBytes = strayBytes_;
        result.strayStart = strayStart_;
    }
    return result;
}

bool CommandExchange::dropOwnEcho(std::string& line)
{
    if (!lineEchoes_ || ownEchoSeen_ || written_.empty() || line.compare(0, written_.size(), written_) != 0)
        return false;
    if (line.size() == written_.size()) {
        ownEchoSeen_ = true;
        return true;
    }
    // The echo and the answer came in one read: the inner CR (and an LF after it) separates them.
    if (line[written_.size()] != '\r')
        return false;
    ownEchoSeen_ = true;
    std::size_t answer = written_.size() + 1;
    if (answer < line.size() && line[answer] == '\n')
        ++answer;
    line.erase(0, answer);
    return false;
}

bool CommandExchange::write(const std::string& bytes)
{
    if (trace_)
        trace_(TraceDirection::Sent, bytes);
    return port_.write(bytes);
}

serial::PortRead CommandExchange::read(std::int64_t waitMs)
{
    if (stop_.mayStop())
        waitMs = std::min<std::int64_t>(waitMs, stopCheckSliceMs);
    serial::PortRead got = port_.read(static_cast<int>(std::max<std::int64_t>(0, waitMs)));
    if (trace_ && !got.bytes.empty())
        trace_(TraceDirection::Received, got.bytes);
    return got;
}

ExchangeStatus CommandExchange::waitForEnq()
{
    const std::int64_t deadline = clock_.nowMs() + TimeoutText::effectiveMs(timeoutText_, enqFallbackMs);
    for (;;) {
        const serial::PortRead got = read(deadline - clock_.nowMs());
        if (got.lost)
            return got.refused ? ExchangeStatus::PortNotOpen : ExchangeStatus::PortLost;
        // Only a lone ENQ answers the handshake; anything else read meanwhile is dropped.
        if (got.bytes.size() == 1 && got.bytes.front() == enq)
            return ExchangeStatus::Response;
        if (stopRequested())
            return ExchangeStatus::Interrupted;
        if (clock_.nowMs() >= deadline)
            return ExchangeStatus::NoEnqAnswer;
    }
}

CommandExchange::HeldOver CommandExchange::heldOver(int waitMs)
{
    const serial::PortRead got = read(held_.empty() ? waitMs : 0);
    if (got.lost) {
        held_.clear();
        return {{}, true};
    }
    held_ += got.bytes;
    if (!held_.empty() && held_.front() == '\n')
        held_.erase(0, 1);
    return {held_, false};
}

ExchangeStatus CommandExchange::readResponse()
{
    responseWaitMs_ = TimeoutText::effectiveMs(timeoutText_, responseFallbackMs);
    const std::int64_t deadline = clock_.nowMs() + responseWaitMs_;
    strayBytes_ = 0;
    strayStart_.clear();
    // What a caller looked at before this exchange comes first, as it would from the port.
    serial::PortRead held;
    held.bytes.swap(held_);
    for (;;) {
        serial::PortRead got;
        if (!held.bytes.empty())
            got.bytes.swap(held.bytes);
        else
            got = read(deadline - clock_.nowMs());
        if (got.lost) {
            rxBuffer_.reset();
            return got.refused ? ExchangeStatus::PortNotOpen : ExchangeStatus::PortLost;
        }
        strayBytes_ += got.bytes.size();
        if (strayStart_.size() < ExchangeResult::strayShownBytes)
            strayStart_.append(got.bytes, 0, ExchangeResult::strayShownBytes - strayStart_.size());
        if (auto line = rxBuffer_.feed(got.bytes)) {
            strayBytes_ = 0;
            strayStart_.clear();
            if (dropOwnEcho(*line))
                continue;
            lastResponse_ = std::move(*line);
            return lastResponse_.empty() ? ExchangeStatus::NoResponse : ExchangeStatus::Response;
        }
        if (stopRequested()) {
            rxBuffer_.reset();
            return ExchangeStatus::Interrupted;
        }
        if (rxBuffer_.overflowed() || clock_.nowMs() >= deadline) {
            rxBuffer_.reset();
            return ExchangeStatus::NoResponse;
        }
    }
}

} // namespace vantor::hostlink
