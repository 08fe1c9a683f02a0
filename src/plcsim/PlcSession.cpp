#include "plcsim/PlcSession.h"

#include "hostlink/ControlText.h"

namespace vantor::plcsim {

using hostlink::ControlText;

std::vector<PlcAction> PlcSession::receive(const std::string& bytes)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const int enqBefore = plc_.enqCount();
    std::vector<std::string> lines;
    bool heard = false;
    std::vector<PlcAction> actions = plc_.receive(bytes, [&](const std::string& line) {
        heard = true;
        if (monitor_)
            lines.push_back(line);
    });
    for (int i = enqBefore; i < plc_.enqCount(); ++i)
        report("received <ENQ>");
    for (const std::string& line : lines)
        report("received " + ControlText::escape(line));
    const PlcFaults& faults = plc_.faults();
    heard = heard || plc_.enqCount() > enqBefore;
    if (heard && faults.unaskedOnce && !spokenOnce_ && !unaskedDue_)
        unaskedDue_ = Clock::now() + std::chrono::milliseconds(faults.unaskedMs);
    return actions;
}

bool PlcSession::perform(const std::vector<PlcAction>& actions, PlcLine& line)
{
    for (const PlcAction& action : actions) {
        if (!line.pause(action.delayMs))
            return false;
        if (action.kind == PlcAction::Kind::Flood) {
            report("flooding");
            line.flood();
        } else if (action.kind == PlcAction::Kind::HangUp) {
            report("hung up");
            line.hangUp();
            return false;
        } else {
            report("sent " + ControlText::escape(action.bytes));
            line.send(action.bytes);
        }
    }
    return true;
}

void PlcSession::startConnection()
{
    std::lock_guard<std::mutex> lock(mutex_);
    plc_.startConnection();
    const PlcFaults& faults = plc_.faults();
    spokenOnce_ = false;
    unaskedDue_.reset();
    if (faults.unaskedMs > 0 && !faults.unaskedOnce)
        unaskedDue_ = Clock::now() + std::chrono::milliseconds(faults.unaskedMs);
}

int PlcSession::msUntilUnasked() const
{
    if (!unaskedDue_)
        return -1;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(*unaskedDue_ - Clock::now());
    return left.count() <= 0 ? 0 : static_cast<int>(left.count()) + 1;
}

void PlcSession::talkUnasked(PlcLine& line)
{
    if (!unaskedDue_ || Clock::now() < *unaskedDue_)
        return;
    std::string words;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        words = plc_.unaskedWords();
        const PlcFaults& faults = plc_.faults();
        spokenOnce_ = faults.unaskedOnce;
        if (faults.unaskedOnce)
            unaskedDue_.reset();
        else
            unaskedDue_ = std::max(*unaskedDue_ + std::chrono::milliseconds(faults.unaskedMs), Clock::now());
    }
    if (words.empty())
        return;
    report("sent unasked " + ControlText::escape(words));
    line.send(words);
}

SimulatedPlc PlcSession::snapshot() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return plc_;
}

} // namespace vantor::plcsim
