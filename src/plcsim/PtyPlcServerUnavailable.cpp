// PtyPlcServer where the platform has no pseudo-terminals (Windows): it never starts, and callers
// fall back to plcsim::InProcessPlcLink.
#include "plcsim/PtyPlcServer.h"

namespace vantor::plcsim {

bool PtyPlcServer::available()
{
    return false;
}

PtyPlcServer::PtyPlcServer(SimulatedPlc plc) : session_(std::move(plc)) {}

PtyPlcServer::~PtyPlcServer() = default;

serial::Result<> PtyPlcServer::start()
{
    return serial::failed("this system has no pseudo-terminals");
}

void PtyPlcServer::stop() {}

serial::Result<> PtyPlcServer::linkAs(const std::string&)
{
    return serial::failed("this system has no pseudo-terminals");
}
void PtyPlcServer::removeLink() {}

void PtyPlcServer::serve() {}
bool PtyPlcServer::take(std::string*)
{
    return false;
}
void PtyPlcServer::closeLine() {}
bool PtyPlcServer::pause(int)
{
    return false;
}
void PtyPlcServer::send(const std::string&) {}
void PtyPlcServer::flood() {}
void PtyPlcServer::hangUp() {}

} // namespace vantor::plcsim
