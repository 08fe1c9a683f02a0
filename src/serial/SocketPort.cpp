#include "serial/SocketPort.h"

#include "serial/DeviceChecks.h"

#include <chrono>

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
    const auto connected = connection_.connect(address_.host, address_.port, connectTimeoutMs,
                                               [this] { return stopRequested(); });
    if (!connected.ok()) {
        const std::string& why = connected.why;
        const OpenError error = connected.failure == TcpConnection::Failure::NoSuchHost
                                    ? OpenError::NoSuchDevice
                                    : OpenError::Other;
        const bool ended = !why.empty() && (why.back() == '.' || why.back() == '?');
        return {error, DeviceChecks::cannotOpen(displayName, "cannot connect to " + address_.hostPort() +
                                                                 ": " + why + (ended ? "" : "."))};
    }
    if (const auto refused = negotiate(settings)) {
        const bool closed = !connection_.isOpen();
        const std::string said = serverSaid();
        close();
        // A server whose port another client has turns the next one away with a line of text.
        if (closed && !said.empty())
            return {OpenError::Busy,
                    DeviceChecks::cannotOpen(displayName, "the server at " + address_.hostPort() +
                                                              " closed the connection, saying \"" + said +
                                                              "\". Another client may have "
                                                              "the port; try again later.")};
        return {OpenError::Other, DeviceChecks::cannotOpen(displayName, *refused)};
    }
    return {};
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

std::optional<std::string> SocketPort::negotiate(const PortSettings& settings)
{
    // A server that turns us away does so at once: a moment's wait tells that from a line that is
    // merely quiet. What arrives meanwhile is the line's and is kept for the first read.
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(closeWaitMs);
    for (auto now = until - std::chrono::milliseconds(closeWaitMs); now < until;
         now = std::chrono::steady_clock::now()) {
        if (!await(
                static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(until - now).count()) +
                1))
            return "the server at " + address_.hostPort() + " closed the connection at once.";
    }
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
    const PortRead got = connection_.receive(waitMs);
    if (got.lost)
        return false;
    pending_ += fromWire(got.bytes);
    const std::string owed = replies();
    return owed.empty() || connection_.send(owed);
}

PortRead SocketPort::read(int waitMs)
{
    PortRead result;
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
