#include "console/SerialConsole.h"

#include "hostlink/SteadyClock.h"

namespace vantor::console {

SerialConsole::SerialConsole(serial::PortCatalog catalog, serial::StopToken stop)
    : catalog_(std::move(catalog)), exchange_(*this, hostlink::SteadyClock::instance(), std::move(stop))
{
    exchange_.setTimeoutText(serial::PortSettings::defaultTimeoutText);
}

SerialConsole::~SerialConsole()
{
    if (port_)
        port_->close();
}

bool SerialConsole::openPort()
{
    if (isOpen())
        return true;
    const serial::PortCatalog::Named named = catalog_.resolve(portName_);
    port_ = catalog_.portFor(portName_);
    if (named.kind == serial::PortCatalog::Kind::Network && connectingSink_)
        connectingSink_(named.displayName);
    lastOpen_ = port_->open(named.device, named.displayName, settings_, exchange_.stopToken());
    if (!lastOpen_.ok()) {
        reportProblem(lastOpen_.message);
        return false;
    }
    // The port layer dropped what the line held from before this opening; so does the exchange.
    exchange_.portOpened();
    openName_ = portName_;
    openDisplayName_ = named.displayName;
    const std::string notice = port_->openingNotice();
    if (!port_->setsLine() && !notice.empty()) { // said once: what runs is not what was asked for
        if (logSink_)
            logSink_(named.displayName + ": Open; " + notice);
        if (stateSink_)
            stateSink_(true);
        return true;
    }
    if (logSink_)
        logSink_(named.displayName + ": Open at " + settings_.settingsText());
    // Pseudo-terminals, some USB adapters and serial servers accept settings they cannot apply,
    // without a word.
    if (const auto applied = port_->appliedSettings(); applied && !(*applied == settings_))
        warn(named.displayName + ": the device ignored " + settings_.differencesFrom(*applied) +
             ": it runs " + applied->shortText() + ".");
    if (!notice.empty())
        warn(notice);
    if (stateSink_)
        stateSink_(true);
    return true;
}

void SerialConsole::choosePort(const std::string& name)
{
    portName_ = name;
    if (!isOpen() || name == openName_)
        return;
    const std::string closed = openDisplayName_;
    closePort();
    if (logSink_)
        logSink_(closed + ": Closed; " + catalog_.resolve(name).displayName +
                 " is opened by the next exchange or Open Port");
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
    port_->close();
    if (stateSink_)
        stateSink_(false);
}

bool SerialConsole::isOpen() const
{
    return port_ && port_->isOpen();
}

void SerialConsole::reportProblem(const std::string& message)
{
    lastProblem_ = message;
    if (errorSink_)
        errorSink_(message);
}

void SerialConsole::portLost()
{
    reportProblem(port_ && !port_->lostMessage().empty()
                      ? port_->lostMessage()
                      : serial::Port::lostText(openDisplayName_, "", "Open the port again."));
    if (stateSink_)
        stateSink_(false);
}

serial::Result<> SerialConsole::setModemLine(serial::ModemLine line, bool on)
{
    if (!isOpen())
        return serial::failed(catalog_.resolve(portName_).displayName + " is not open: open it to set " +
                              serial::Port::lineName(line) + ".");
    serial::Result<> result = controlled(port_->setModemLine(line, on));
    if (result.ok())
        (line == serial::ModemLine::Dtr ? settings_.dtr : settings_.rts) = on;
    return result;
}

serial::Result<> SerialConsole::sendBreak(int durationMs)
{
    if (!isOpen())
        return serial::failed(catalog_.resolve(portName_).displayName +
                              " is not open: open it to send a break.");
    return controlled(port_->sendBreak(durationMs));
}

serial::Result<> SerialConsole::controlled(serial::Result<> result)
{
    if (result.ok())
        return result;
    if (!port_->isOpen()) { // the line failed on the way
        portLost();
        return serial::failed(lastProblem_);
    }
    return serial::failed(openDisplayName_ + ": " + result.message);
}

bool SerialConsole::write(const std::string& bytes)
{
    if (port_ && port_->write(bytes))
        return true;
    if (port_ && port_->lostMessage().empty() && exchange_.stopRequested()) {
        if (stateSink_) // the sending was stopped on request; nothing was lost
            stateSink_(false);
        return false;
    }
    portLost();
    return false;
}

serial::PortRead SerialConsole::read(int waitMs)
{
    serial::PortRead got = port_ ? port_->read(waitMs) : serial::PortRead{{}, true};
    if (got.lost)
        portLost();
    return got;
}

} // namespace vantor::console
