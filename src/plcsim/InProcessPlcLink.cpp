#include "plcsim/InProcessPlcLink.h"

#include <thread>

namespace vantor::plcsim {

namespace {
constexpr std::size_t floodChunk = 4096;
}

InProcessPlcLink::InProcessPlcLink(SimulatedPlc plc) : plc_(std::move(plc)) {}

bool InProcessPlcLink::write(const std::string& bytes)
{
    if (hungUp_)
        return false;
    // Each answer starts after the ones before it are out, as the PLC writes them one after another.
    for (PlcAction& action : plc_.receive(bytes)) {
        const auto start = std::max(lastDue_, Clock::now());
        lastDue_ = start + std::chrono::milliseconds(action.delayMs);
        pending_.push_back({lastDue_, std::move(action)});
    }
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
            got.bytes.append(floodChunk, 'A');
        if (!got.bytes.empty() || now >= deadline)
            return got;
        const auto next = pending_.empty() ? deadline : std::min(deadline, pending_.front().due);
        std::this_thread::sleep_until(next);
    }
}

} // namespace vantor::plcsim
