#include "serial/SocketPort.h"

#include "serial/DeviceChecks.h"
#include "serial/PortKind.h"

#include <chrono>

namespace vantor::serial {

OpenResult SocketPort::openDevice(const std::string& device, const std::string& displayName,
                                  const PortSettings& settings)
{
    close();
    displayName_ = displayName;
    lostMessage_.clear();
    notice_.clear();
    const auto address = NetworkAddress::parse(device);
    if (!address)
        return {OpenError::NoSuchDevice,
                DeviceChecks::cannotOpen(displayName, "this is no network port name. Write " +
                                                          PortKind::listed(", ", " or ", false) +
                                                          ", an IPv6 address in brackets.")};
    address_ = *address;
    OpenResult result = connectToServer();
    if (result.ok())
        result = startTalking(settings);
    return result;
}

OpenResult SocketPort::connectToServer()
{
    const auto connected = connection_.connect(address_.host, address_.port, connectTimeoutMs, stopToken());
    if (connected.ok())
        return {};
    const std::string& why = connected.message;
    const OpenError error =
        connected.error == TcpConnection::Failure::NoSuchHost ? OpenError::NoSuchDevice : OpenError::Other;
    const bool ended = !why.empty() && (why.back() == '.' || why.back() == '?');
    return {error, DeviceChecks::cannotOpen(displayName_, "cannot connect to " + address_.hostPort() + ": " +
                                                              why + (ended ? "" : "."))};
}

OpenResult SocketPort::startTalking(const PortSettings& settings)
{
    if (const auto refused = negotiate(settings)) {
        const bool closed = !connection_.isOpen();
        const std::string said = serverSaid();
        close();
        // A server whose port another client has turns the next one away with a line of text.
        if (closed && !said.empty() && protocolError().empty())
            return {OpenError::Busy, turnedAway(said)};
        return {OpenError::Other, DeviceChecks::cannotOpen(displayName_, *refused)};
    }
    if (!dropWhatCameBefore()) {
        const std::string broken = protocolError();
        close();
        return {OpenError::Other,
                DeviceChecks::cannotOpen(displayName_, "the server at " + address_.hostPort() +
                                                           (broken.empty() ? " closed the connection at once."
                                                                           : " " + broken + "."))};
    }
    return {};
}

bool SocketPort::dropWhatCameBefore()
{
    // A server that kept bytes hands them over as soon as it accepts; a moment covers the round trip.
    constexpr int settleMs = 50;
    if (!await(settleMs))
        return false;
    // A fresh connection has nothing to read unless the server kept it from before (a PLC's late
    // answer to an earlier client): no answer to anything this client sends. A server's own words
    // stay: the first read tells whether they turn us away.
    if (!pending_.empty() && !mayBeServerWords(pending_))
        pending_.clear();
    return true;
}

bool SocketPort::mayBeServerWords(const std::string& first)
{
    // A PLC's frames start with '@' or ':', and a server's words are one short line of text.
    constexpr std::size_t longestWords = 120;
    if (first.size() > longestWords || first.find_first_of("@:") != std::string::npos ||
        first.find('\n') == std::string::npos)
        return false;
    for (const char c : first) {
        if ((static_cast<unsigned char>(c) < 0x20 && c != '\r' && c != '\n') ||
            static_cast<unsigned char>(c) >= 0x7F)
            return false;
    }
    return true;
}

std::string SocketPort::serverSaid() const
{
    std::string text;
    for (const char c : pending_.substr(0, 120)) {
        if (c == '\r' || c == '\n')
            break;
        text += static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F ? '?' : c;
    }
    return text;
}

std::string SocketPort::turnedAway(const std::string& said) const
{
    return DeviceChecks::cannotOpen(
        displayName_, "the server at " + address_.hostPort() + " closed the connection, saying \"" + said +
                          "\". Another client may have the port; try again later.");
}

std::optional<std::string> SocketPort::negotiate(const PortSettings& settings)
{
    // No wait for a server that turns us away: it is told by its first words (turnsUsAway()).
    const PortSettings defaults;
    if (!(settings == defaults) || !settings.dtr || !settings.rts)
        notice_ = "a raw TCP port cannot apply " + settings.settingsText() +
                  (settings.dtr && settings.rts ? "" : " or the modem lines") +
                  ": the serial server's own settings hold. Use rfc2217:// to set them from here.";
    return std::nullopt;
}

void SocketPort::close()
{
    connection_.close();
    pending_.clear();
    heardFromPlc_ = false;
}

bool SocketPort::turnsUsAway(const std::string& first)
{
    constexpr int hangUpWaitMs = 200;
    if (!mayBeServerWords(first))
        return false;
    pending_.clear();
    const bool open = await(hangUpWaitMs);
    if (open || !protocolError().empty()) {
        pending_ = first + pending_; // no hang-up: only bytes on the line after all
        return false;
    }
    pending_ = first;
    return true;
}

void SocketPort::lose(const std::string& what)
{
    lostMessage_ =
        lostText(displayName_, what, "Check the serial server and the network, then open the port again.");
    close();
}

Result<> SocketPort::changeModemLine(ModemLine line, bool)
{
    return failed(std::string("a raw TCP port cannot set ") + lineName(line) +
                  ": the serial server's own settings hold. Use rfc2217:// to control the modem lines "
                  "from here.");
}

Result<> SocketPort::holdBreak(int)
{
    return failed("a raw TCP port cannot send a break: it carries bytes only. Use rfc2217:// to send one "
                  "from here.");
}

bool SocketPort::write(const std::string& bytes)
{
    if (!connection_.isOpen())
        return false;
    switch (connection_.send(toWire(bytes), stopToken())) {
    case TcpConnection::Sent::All:
        return true;
    case TcpConnection::Sent::Stopped: // asked to stop while the server took nothing: no loss
        close();
        lostMessage_.clear();
        return false;
    case TcpConnection::Sent::Failed:
        break;
    }
    lose("the connection failed while sending");
    return false;
}

bool SocketPort::await(int waitMs)
{
    const PortRead got = connection_.receive(waitMs);
    if (got.lost)
        return false;
    pending_ += fromWire(got.bytes);
    if (!protocolError().empty()) {
        connection_.close();
        return false;
    }
    const std::string owed = replies();
    return owed.empty() || connection_.send(owed) == TcpConnection::Sent::All;
}

PortRead SocketPort::read(int waitMs)
{
    PortRead result;
    if (!connection_.isOpen()) {
        result.lost = true;
        return result;
    }
    if (pending_.empty() && !await(waitMs)) {
        const std::string broken = protocolError();
        lose(broken.empty() ? "the serial server closed the connection"
                            : "the server at " + address_.hostPort() + " " + broken);
        result.lost = true;
        return result;
    }
    if (!heardFromPlc_ && !pending_.empty()) {
        const std::string first = std::move(pending_);
        pending_.clear();
        if (turnsUsAway(first)) {
            const std::string said = serverSaid();
            close();
            lostMessage_ = turnedAway(said);
            result.lost = result.refused = true;
            return result;
        }
        if (pending_.empty())
            pending_ = first;
        heardFromPlc_ = true;
    }
    result.bytes.swap(pending_);
    return result;
}

} // namespace vantor::serial
