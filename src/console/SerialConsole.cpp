#include "console/SerialConsole.h"

#include "console/PortName.h"
#include "hostlink/SteadyClock.h"
#include "plcsim/PtyPlcServer.h"

namespace vantor::console {

SerialConsole::SerialConsole() : exchange_(*this, hostlink::SteadyClock::instance())
{
    exchange_.setTimeoutText(PortSettings::defaultTimeoutText);
}

SerialConsole::~SerialConsole()
{
    link_.close();
    if (simulator_)
        simulator_->stop();
}

void SerialConsole::setSimulatorFaults(const plcsim::PlcFaults& faults, std::int16_t id)
{
    simFaults_ = faults;
    simId_ = id;
}

std::string SerialConsole::resolveDevice()
{
    if (!PortName::isSimulated(portName_))
        return PortName::devicePath(portName_);
    // A simulator that hung up is gone for good, like an unplugged adapter; a fresh one stands in
    // for the device coming back.
    if (!simulator_ || !simulator_->isServing()) {
        if (simulator_)
            simulator_->stop();
        simulator_ = std::make_unique<plcsim::PtyPlcServer>(plcsim::SimulatedPlc(simId_, simFaults_));
        std::string error;
        if (!simulator_->start(&error)) {
            simulator_.reset();
            lastOpen_ = {OpenError::Other, "Cannot start the simulated PLC: " + error};
            return {};
        }
    }
    return simulator_->devicePath();
}

bool SerialConsole::openPort()
{
    if (link_.isOpen())
        return true;
    lastOpen_ = {};
    const std::string device = resolveDevice();
    if (device.empty()) {
        reportProblem(lastOpen_.message);
        return false;
    }
    lastOpen_ = link_.open(device, PortName::displayName(portName_), settings_);
    if (!lastOpen_.ok()) {
        reportProblem(lastOpen_.message);
        return false;
    }
    openName_ = portName_;
    if (logSink_)
        logSink_(PortName::displayName(portName_) + ": Open at " + settings_.settingsText());
    // Pseudo-terminals and some USB adapters accept settings they cannot apply, without a word.
    if (const auto applied = link_.appliedSettings(); applied && !(*applied == settings_)) {
        const std::string warning = PortName::displayName(portName_) + ": the device ignored " +
                                    settings_.differencesFrom(*applied) + ": it runs " +
                                    applied->shortText() + ".";
        if (warningSink_)
            warningSink_(warning);
        else if (logSink_)
            logSink_(warning);
    }
    if (stateSink_)
        stateSink_(true);
    return true;
}

void SerialConsole::closePort()
{
    if (!link_.isOpen())
        return;
    link_.close();
    if (stateSink_)
        stateSink_(false);
}

bool SerialConsole::isOpen() const
{
    return link_.isOpen();
}

void SerialConsole::reportProblem(const std::string& message)
{
    lastProblem_ = message;
    if (errorSink_)
        errorSink_(message);
}

void SerialConsole::portLost()
{
    reportProblem(link_.lostMessage());
    if (stateSink_)
        stateSink_(false);
}

bool SerialConsole::write(const std::string& bytes)
{
    if (link_.write(bytes))
        return true;
    portLost();
    return false;
}

hostlink::PortRead SerialConsole::read(int waitMs)
{
    hostlink::PortRead got = link_.read(waitMs);
    if (got.lost)
        portLost();
    return got;
}

} // namespace vantor::console
