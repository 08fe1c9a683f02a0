#include "plcsim/InProcessPlcLink.h"

#include <thread>

namespace vantor::plcsim {

InProcessPlcLink::InProcessPlcLink(SimulatedPlc plc) : session_(std::move(plc)) {}

bool InProcessPlcLink::write(const std::string& bytes)
{
    if (hungUp_)
        return false;
    session_.perform(session_.receive(bytes), *this);
    return true;
}

bool InProcessPlcLink::pause(int ms)
{
    // Each answer starts after the ones before it are out, as the PLC writes them one after another.
    lastDue_ = std::max(lastDue_, Clock::now()) + std::chrono::milliseconds(ms);
    return true;
}

void InProcessPlcLink::dropArrived()
{
    const auto now = Clock::now();
    while (!pending_.empty() && pending_.front().due <= now &&
           pending_.front().action.kind == PlcAction::Kind::Write)
        pending_.pop_front();
}

serial::PortRead InProcessPlcLink::read(int waitMs)
{
    serial::PortRead got;
    if (hungUp_) {
        got.lost = true;
        return got;
    }
    const auto deadline = Clock::now() + std::chrono::milliseconds(waitMs);
    for (;;) {
        session_.talkUnasked(*this);
        const auto now = Clock::now();
        while (!pending_.empty() && pending_.front().due <= now) {
            PlcAction action = std::move(pending_.front().action);
            pending_.pop_front();
            if (action.kind == PlcAction::Kind::HangUp) {
                hungUp_ = true;
                pending_.clear();
                got.bytes.clear();
                got.lost = true;
                return got;
            }
            if (action.kind == PlcAction::Kind::Flood)
                flooding_ = true;
            else
                got.bytes += action.bytes;
        }
        if (flooding_)
            got.bytes += floodBytes();
        if (!got.bytes.empty() || now >= deadline)
            return got;
        auto next = pending_.empty() ? deadline : std::min(deadline, pending_.front().due);
        if (const int unasked = session_.msUntilUnasked(); unasked >= 0)
            next = std::min(next, now + std::chrono::milliseconds(unasked));
        std::this_thread::sleep_until(next);
    }
}

} // namespace vantor::plcsim
