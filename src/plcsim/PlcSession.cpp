#include "plcsim/PlcSession.h"

#include "hostlink/ControlText.h"

namespace vantor::plcsim {

using hostlink::ControlText;

std::vector<PlcAction> PlcSession::receive(const std::string& bytes)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const int enqBefore = plc_.enqCount();
    std::vector<std::string> lines;
    std::vector<PlcAction> actions = plc_.receive(bytes, [&](const std::string& line) {
        if (monitor_)
            lines.push_back(line);
    });
    for (int i = enqBefore; i < plc_.enqCount(); ++i)
        report("received <ENQ>");
    for (const std::string& line : lines)
        report("received " + ControlText::escape(line));
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
}

SimulatedPlc PlcSession::snapshot() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return plc_;
}

} // namespace vantor::plcsim
