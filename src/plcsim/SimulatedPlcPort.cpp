#include "plcsim/SimulatedPlcPort.h"

#include "plcsim/InProcessPlcLink.h"
#include "plcsim/LineControlText.h"
#include "plcsim/PtyPlcServer.h"

namespace vantor::plcsim {

SimulatedPlcPort::SimulatedPlcPort(bool inProcess) : inProcess_(inProcess) {}

SimulatedPlcPort::~SimulatedPlcPort()
{
    line_.close();
    if (server_)
        server_->stop();
}

bool SimulatedPlcPort::available()
{
    return PtyPlcServer::available();
}

void SimulatedPlcPort::setFaults(const PlcFaults& faults, std::int16_t id)
{
    faults_ = faults;
    id_ = id;
}

std::optional<SimulatedPlc> SimulatedPlcPort::plc() const
{
    if (inProcess_ && link_)
        return link_->plc();
    if (!inProcess_ && server_)
        return server_->snapshot();
    return std::nullopt;
}

serial::OpenResult SimulatedPlcPort::openDevice(const std::string&, const std::string& displayName,
                                                const serial::PortSettings& settings)
{
    close();
    displayName_ = displayName;
    if (inProcess_) {
        if (!link_ || link_->hungUp())
            link_ = std::make_unique<InProcessPlcLink>(SimulatedPlc(id_, faults_));
        link_->dropArrived();
        linkOpen_ = true;
        return {};
    }
    if (!server_ || !server_->isServing()) {
        if (server_)
            server_->stop();
        server_ = std::make_unique<PtyPlcServer>(SimulatedPlc(id_, faults_));
        if (const auto started = server_->start(); !started.ok()) {
            server_.reset();
            return {serial::OpenError::Other, "Cannot start the simulated PLC: " + started.message};
        }
    }
    return line_.open(server_->devicePath(), displayName, settings);
}

void SimulatedPlcPort::close()
{
    linkOpen_ = false;
    line_.close();
}

bool SimulatedPlcPort::isOpen() const
{
    return inProcess_ ? linkOpen_ : line_.isOpen();
}

bool SimulatedPlcPort::write(const std::string& bytes)
{
    if (!inProcess_) {
        if (line_.write(bytes))
            return true;
        lostMessage_ = line_.lostMessage();
        return false;
    }
    if (linkOpen_ && link_->write(bytes))
        return true;
    hungUp();
    return false;
}

serial::PortRead SimulatedPlcPort::read(int waitMs)
{
    if (!inProcess_) {
        serial::PortRead got = line_.read(waitMs);
        if (got.lost)
            lostMessage_ = line_.lostMessage();
        return got;
    }
    serial::PortRead got = linkOpen_ ? link_->read(waitMs) : serial::PortRead{{}, true};
    if (got.lost)
        hungUp();
    return got;
}

void SimulatedPlcPort::hungUp()
{
    linkOpen_ = false;
    lostMessage_ =
        lostText(displayName_, "the simulated PLC hung up", "Open the port again for a fresh one.");
}

serial::Result<> SimulatedPlcPort::changeModemLine(serial::ModemLine line, bool on)
{
    controls_.push_back(LineControlText::modemLine(line, on));
    return {};
}

serial::Result<> SimulatedPlcPort::holdBreak(int ms)
{
    controls_.push_back(LineControlText::breakOf(ms));
    return {};
}

std::optional<serial::PortSettings> SimulatedPlcPort::appliedSettings() const
{
    if (inProcess_)
        return std::nullopt;
    return line_.appliedSettings();
}

} // namespace vantor::plcsim
