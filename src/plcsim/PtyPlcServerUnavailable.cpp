// PtyPlcServer where the platform has no pseudo-terminals (Windows): it never starts, and callers
// fall back to plcsim::InProcessPlcLink.
#include "plcsim/PtyPlcServer.h"

namespace vantor::plcsim {

bool PtyPlcServer::available()
{
    return false;
}

PtyPlcServer::PtyPlcServer(SimulatedPlc plc) : plc_(std::move(plc)) {}

PtyPlcServer::~PtyPlcServer() = default;

PtyPlcServer::Started PtyPlcServer::start()
{
    return {"this system has no pseudo-terminals"};
}

void PtyPlcServer::stop() {}

SimulatedPlc PtyPlcServer::snapshot() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return plc_;
}

void PtyPlcServer::serve() {}
bool PtyPlcServer::pause(int)
{
    return false;
}
void PtyPlcServer::closeLine() {}
void PtyPlcServer::report(const std::string&) const {}

} // namespace vantor::plcsim
