#include "console/SerialConsole.h"

#include "console/PortName.h"
#include "hostlink/SteadyClock.h"
#include "plcsim/InProcessPlcLink.h"
#include "plcsim/PtyPlcServer.h"

namespace vantor::console {

SerialConsole::SerialConsole()
    : exchange_(*this, hostlink::SteadyClock::instance()), simInProcess_(!plcsim::PtyPlcServer::available())
{
    exchange_.setTimeoutText(serial::PortSettings::defaultTimeoutText);
}

SerialConsole::~SerialConsole()
{
    if (link_)
        link_->close();
    if (simulator_)
        simulator_->stop();
}

void SerialConsole::setSimulatorFaults(const plcsim::PlcFaults& faults, std::int16_t id)
{
    simFaults_ = faults;
    simId_ = id;
}

std::optional<plcsim::SimulatedPlc> SerialConsole::simulatedPlc() const
{
    if (simInProcess_ && inProcess_)
        return inProcess_->plc();
    if (!simInProcess_ && simulator_)
        return simulator_->snapshot();
    return std::nullopt;
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
            lastOpen_ = {serial::OpenError::Other, "Cannot start the simulated PLC: " + error};
            return {};
        }
    }
    return simulator_->devicePath();
}

bool SerialConsole::openInProcess()
{
    // A simulated PLC that hung up is gone for good; a fresh one stands in for it.
    if (!inProcess_ || inProcess_->hungUp())
        inProcess_ = std::make_unique<plcsim::InProcessPlcLink>(plcsim::SimulatedPlc(simId_, simFaults_));
    inProcessOpen_ = true;
    openName_ = portName_;
    if (logSink_)
        logSink_(PortName::displayName(portName_) + ": Open at " + settings_.settingsText());
    if (stateSink_)
        stateSink_(true);
    return true;
}

bool SerialConsole::openPort()
{
    if (isOpen())
        return true;
    lastOpen_ = {};
    if (PortName::isSimulated(portName_) && simInProcess_)
        return openInProcess();
    const std::string device = resolveDevice();
    if (device.empty()) {
        reportProblem(lastOpen_.message);
        return false;
    }
    link_ = serial::Port::forName(device);
    link_->setStopCheck([this] { return exchange_.stopRequested(); });
    lastOpen_ = link_->open(device, PortName::displayName(portName_), settings_);
    if (!lastOpen_.ok()) {
        reportProblem(lastOpen_.message);
        return false;
    }
    openName_ = portName_;
    if (logSink_)
        logSink_(PortName::displayName(portName_) + ": Open at " + settings_.settingsText());
    // Pseudo-terminals, some USB adapters and serial servers accept settings they cannot apply,
    // without a word.
    if (const auto applied = link_->appliedSettings(); applied && !(*applied == settings_))
        warn(PortName::displayName(portName_) + ": the device ignored " +
             settings_.differencesFrom(*applied) + ": it runs " + applied->shortText() + ".");
    if (const std::string notice = link_->openingNotice(); !notice.empty())
        warn(notice);
    if (stateSink_)
        stateSink_(true);
    return true;
}

void SerialConsole::warn(const std::string& warning)
{
    if (warningSink_)
        warningSink_(warning);
    else if (logSink_)
        logSink_(warning);
}

void SerialConsole::closePort()
{
    if (!isOpen())
        return;
    inProcessOpen_ = false;
    if (link_)
        link_->close();
    if (stateSink_)
        stateSink_(false);
}

bool SerialConsole::isOpen() const
{
    return (link_ && link_->isOpen()) || inProcessOpen_;
}

void SerialConsole::reportProblem(const std::string& message)
{
    lastProblem_ = message;
    if (errorSink_)
        errorSink_(message);
}

void SerialConsole::portLost()
{
    if (inProcessOpen_) {
        inProcessOpen_ = false;
        reportProblem("Lost the connection to " + PortName::displayName(openName_) +
                      ": the simulated PLC hung up. Open the port again for a fresh one.");
    } else {
        reportProblem(link_->lostMessage());
    }
    if (stateSink_)
        stateSink_(false);
}

bool SerialConsole::write(const std::string& bytes)
{
    if (inProcessOpen_ ? inProcess_->write(bytes) : (link_ && link_->write(bytes)))
        return true;
    portLost();
    return false;
}

hostlink::PortRead SerialConsole::read(int waitMs)
{
    hostlink::PortRead got = inProcessOpen_ ? inProcess_->read(waitMs)
                             : link_        ? link_->read(waitMs)
                                            : hostlink::PortRead{{}, true};
    if (got.lost)
        portLost();
    return got;
}

} // namespace vantor::console
