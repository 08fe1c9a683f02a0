#include "console/TermSession.h"

#include "console/FramedCommand.h"

namespace vantor::console {

using Kind = TermEvent::Kind;

TermSession::TermSession(SerialConsole& console, const hostlink::Clock& clock)
    : console_(console), clock_(clock)
{
    attachSinks();
}

TermSession::~TermSession()
{
    console_.setLogSink({});
    console_.setErrorSink({});
    console_.setWarningSink({});
}

void TermSession::attachSinks()
{
    console_.setLogSink([this](const std::string& line) {
        if (pending_)
            pending_->push_back({Kind::Opened, line});
    });
    console_.setWarningSink([this](const std::string& line) {
        if (pending_)
            pending_->push_back({Kind::Warning, line});
    });
    console_.setErrorSink([this](const std::string& line) {
        if (pending_ && !quietProblems_)
            pending_->push_back({Kind::Problem, line});
    });
}

bool TermSession::open(std::vector<TermEvent>* events)
{
    pending_ = events;
    const bool opened = console_.openPort();
    pending_ = nullptr;
    return opened;
}

std::vector<TermEvent> TermSession::send(const std::string& typed)
{
    std::vector<TermEvent> events;
    pending_ = &events;
    std::string wire = typed;
    if (waiting_)
        tryReopen(&events);
    if (waiting_) {
        events.push_back({Kind::NotSent, "not sent: waiting for " + console_.portName() + " to come back"});
    } else if (const auto framed =
                   framingId_ ? FramedCommand::build(*framingId_, typed, &wire) : serial::Result<>{};
               !framed.ok()) {
        events.push_back({Kind::NotSent, "not sent: " + framed.message});
    } else {
        takeAllHeld(&events);
        if (!waiting_) {
            events.push_back({Kind::Sent, wire});
            const hostlink::ExchangeResult result = console_.sendCommand(wire);
            if (result.hasResponse())
                events.push_back({Kind::Reply, result.response});
            else if (result.status == hostlink::ExchangeStatus::Interrupted)
                events.push_back({Kind::Interrupted, {}});
            else if (result.portFailed())
                portLost(&events);
            else
                events.push_back({Kind::NoReply, {}});
        }
    }
    pending_ = nullptr;
    return events;
}

std::vector<TermEvent> TermSession::poll(int waitMs)
{
    std::vector<TermEvent> events;
    pending_ = &events;
    if (waiting_)
        tryReopen(&events);
    else
        collect(waitMs, &events);
    pending_ = nullptr;
    return events;
}

std::vector<TermEvent> TermSession::setModemLine(serial::ModemLine line, bool on)
{
    return control([this, line, on] { return console_.setModemLine(line, on); },
                   std::string(serial::Port::lineName(line)) + (on ? " on" : " off"));
}

std::vector<TermEvent> TermSession::sendBreak()
{
    return control([this] { return console_.sendBreak(0); }, "break sent");
}

std::vector<TermEvent> TermSession::control(const std::function<serial::Result<>()>& act,
                                            const std::string& done)
{
    std::vector<TermEvent> events;
    pending_ = &events;
    if (waiting_) {
        events.push_back({Kind::NotSent, "not done: waiting for " + console_.portName() + " to come back"});
    } else if (const serial::Result<> result = act(); result.ok()) {
        events.push_back({Kind::Control, done});
    } else if (!console_.isOpen()) {
        portLost(&events);
    } else {
        events.push_back({Kind::Problem, result.message});
    }
    pending_ = nullptr;
    return events;
}

void TermSession::collect(int waitMs, std::vector<TermEvent>* events)
{
    hostlink::CommandExchange& exchange = console_.exchange();
    const hostlink::CommandExchange::HeldOver held = exchange.heldOver(waitMs);
    if (held.lost)
        return portLost(events);
    const std::int64_t now = clock_.nowMs();
    const std::size_t lineEnd = held.bytes.find_last_of("\r\n");
    if (lineEnd == std::string::npos) {
        // An unfinished line is shown once it stops growing: a PLC's prompt has no line end.
        if (held.bytes != partial_) {
            partial_ = held.bytes;
            partialSinceMs_ = now;
        } else if (!partial_.empty() && now - partialSinceMs_ >= partialLineQuietMs) {
            takeAllHeld(events);
        }
        return;
    }
    unasked(held.bytes.substr(0, lineEnd + 1), events);
    exchange.takeHeldOver();
    partial_ = held.bytes.substr(lineEnd + 1);
    partialSinceMs_ = now;
    exchange.holdBack(partial_);
}

void TermSession::takeAllHeld(std::vector<TermEvent>* events)
{
    const hostlink::CommandExchange::HeldOver held = console_.exchange().heldOver(0);
    if (held.lost)
        return portLost(events);
    unasked(held.bytes, events);
    console_.exchange().takeHeldOver();
    partial_.clear();
}

void TermSession::unasked(const std::string& bytes, std::vector<TermEvent>* events) const
{
    std::size_t start = 0;
    while (start < bytes.size()) {
        std::size_t end = bytes.find_first_of("\r\n", start);
        if (end == std::string::npos)
            end = bytes.size();
        // The empty pieces are the LF of a CR LF, or blank lines: nothing to show.
        if (end > start)
            events->push_back({Kind::Unasked, bytes.substr(start, end - start)});
        start = end + 1;
    }
}

void TermSession::portLost(std::vector<TermEvent>* events)
{
    // The console said it as an error already: that sentence is the news, said once.
    if (!events->empty() && events->back().kind == Kind::Problem)
        events->back().kind = Kind::Lost;
    else
        events->push_back({Kind::Lost, console_.lastPortProblem().empty()
                                           ? "Lost the connection to " + console_.portName() + "."
                                           : console_.lastPortProblem()});
    console_.closePort();
    waiting_ = true;
    partial_.clear();
    nextReopenMs_ = clock_.nowMs() + reopenIntervalMs;
}

void TermSession::tryReopen(std::vector<TermEvent>* events)
{
    if (clock_.nowMs() < nextReopenMs_)
        return;
    const std::size_t before = events->size();
    quietProblems_ = true;
    const bool opened = console_.openPort();
    quietProblems_ = false;
    if (!opened) {
        nextReopenMs_ = clock_.nowMs() + reopenIntervalMs;
        return;
    }
    waiting_ = false;
    events->insert(events->begin() + static_cast<std::ptrdiff_t>(before), {Kind::Back, console_.portName()});
}

} // namespace vantor::console
