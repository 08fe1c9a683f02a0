#include "serial/SocketPort.h"

#include "serial/DeviceChecks.h"

namespace vantor::serial {

OpenResult SocketPort::open(const std::string& device, const std::string& displayName,
                            const PortSettings& settings)
{
    close();
    displayName_ = displayName;
    lostMessage_.clear();
    notice_.clear();
    const auto address = NetworkAddress::parse(device);
    if (!address)
        return {OpenError::NoSuchDevice,
                DeviceChecks::cannotOpen(displayName,
                                         "this is no network port name. Write socket://HOST:PORT or "
                                         "rfc2217://HOST:PORT, an IPv6 address in brackets.")};
    address_ = *address;
    std::string why;
    const auto failure = connection_.connect(
        address_.host, address_.port, connectTimeoutMs, [this] { return stopRequested(); }, &why);
    if (failure != TcpConnection::Failure::None) {
        const OpenError error =
            failure == TcpConnection::Failure::NoSuchHost ? OpenError::NoSuchDevice : OpenError::Other;
        const bool ended = !why.empty() && (why.back() == '.' || why.back() == '?');
        return {error, DeviceChecks::cannotOpen(displayName, "cannot connect to " + address_.hostPort() +
                                                                 ": " + why + (ended ? "" : "."))};
    }
    if (const auto refused = negotiate(settings)) {
        close();
        return {OpenError::Other, DeviceChecks::cannotOpen(displayName, *refused)};
    }
    return {};
}

std::optional<std::string> SocketPort::negotiate(const PortSettings& settings)
{
    const PortSettings defaults;
    if (!(settings == defaults) || !settings.dtr || !settings.rts)
        notice_ = displayName_ + ": a raw TCP port cannot apply " + settings.settingsText() +
                  (settings.dtr && settings.rts ? "" : " or the modem lines") +
                  "; the serial server's own settings hold. Use rfc2217:// to set them from here.";
    return std::nullopt;
}

void SocketPort::close()
{
    connection_.close();
    pending_.clear();
}

void SocketPort::lose(const std::string& what)
{
    lostMessage_ = "Lost the connection to " + displayName_ + ": " + what +
                   ". Check the serial server and the network, then open the port again.";
    close();
}

bool SocketPort::write(const std::string& bytes)
{
    if (!connection_.isOpen())
        return false;
    if (connection_.send(toWire(bytes)))
        return true;
    lose("the connection failed while sending");
    return false;
}

bool SocketPort::await(int waitMs)
{
    const hostlink::PortRead got = connection_.receive(waitMs);
    if (got.lost)
        return false;
    pending_ += fromWire(got.bytes);
    const std::string owed = replies();
    return owed.empty() || connection_.send(owed);
}

hostlink::PortRead SocketPort::read(int waitMs)
{
    hostlink::PortRead result;
    if (!connection_.isOpen()) {
        result.lost = true;
        return result;
    }
    if (pending_.empty() && !await(waitMs)) {
        lose("the serial server closed the connection");
        result.lost = true;
        return result;
    }
    result.bytes.swap(pending_);
    return result;
}

} // namespace vantor::serial
