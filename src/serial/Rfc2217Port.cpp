#include "serial/Rfc2217Port.h"

#include <chrono>

namespace vantor::serial {

namespace {

constexpr int sliceMs = 100;

// RFC 2217's values for the settings, and back.
unsigned char parityCode(char parity)
{
    return parity == 'O' ? 2 : parity == 'E' ? 3 : 1;
}

char parityLetter(unsigned char code)
{
    return code == 1 ? 'N' : code == 2 ? 'O' : code == 3 ? 'E' : '?';
}

} // namespace

template <typename Done> bool Rfc2217Port::awaitUntil(Done done)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(connectTimeoutMs);
    while (!done()) {
        if (stopRequested() || std::chrono::steady_clock::now() >= deadline)
            return false;
        if (!await(sliceMs))
            return false;
    }
    return true;
}

std::optional<std::string> Rfc2217Port::negotiate(const PortSettings& settings)
{
    codec_ = TelnetCodec();
    const std::string where = "the server at " + address_.hostPort();
    if (connection_.send(codec_.opening()) != TcpConnection::Sent::All)
        return where + " closed the connection at once.";
    if (!awaitUntil([this] { return codec_.comPortAgreed() || codec_.comPortRefused(); }) ||
        !codec_.comPortAgreed())
        return !protocolError().empty() ? where + " " + protocolError() + "."
               : stopRequested()        ? std::string("stopped on request.")
                                        : where + " did not agree to RFC 2217 (the COM port option) within " +
                                       std::to_string(connectTimeoutMs / 1000) +
                                       " s. Is it a telnet(rfc2217) port? A raw TCP port is socket://" +
                                       address_.hostPort() + ".";

    std::string requests = TelnetCodec::comPortCommand(
        TelnetCodec::setBaudRate, TelnetCodec::baudValue(static_cast<std::uint32_t>(settings.baudRate)));
    requests += TelnetCodec::comPortCommand(TelnetCodec::setDataSize,
                                            std::string(1, static_cast<char>(settings.dataBits)));
    requests += TelnetCodec::comPortCommand(TelnetCodec::setParity,
                                            std::string(1, static_cast<char>(parityCode(settings.parity))));
    requests += TelnetCodec::comPortCommand(TelnetCodec::setStopSize,
                                            std::string(1, static_cast<char>(settings.stopBits)));
    // 1: no flow control; 8/9 DTR on/off; 11/12 RTS on/off.
    for (const int control : {1, settings.dtr ? 8 : 9, settings.rts ? 11 : 12})
        requests +=
            TelnetCodec::comPortCommand(TelnetCodec::setControl, std::string(1, static_cast<char>(control)));
    if (connection_.send(requests) != TcpConnection::Sent::All)
        return where + " closed the connection while the settings were sent.";
    const bool confirmed = awaitUntil(
        [this] { return codec_.baudRate() && codec_.dataSize() && codec_.parity() && codec_.stopSize(); });
    if (!protocolError().empty())
        return where + " " + protocolError() + ".";
    if (!connection_.isOpen())
        return where + " closed the connection while the settings were sent.";
    if (stopRequested())
        return std::string("stopped on request.");
    if (!confirmed)
        notice_ = address_.hostPort() + " did not confirm the line settings within " +
                  std::to_string(connectTimeoutMs / 1000) + " s; they may not be applied.";
    return std::nullopt;
}

std::optional<PortSettings> Rfc2217Port::appliedSettings() const
{
    if (!isOpen() || !codec_.baudRate() || !codec_.dataSize() || !codec_.parity() || !codec_.stopSize())
        return std::nullopt;
    PortSettings applied;
    applied.baudRate = static_cast<int>(*codec_.baudRate());
    applied.dataBits = *codec_.dataSize();
    applied.parity = parityLetter(*codec_.parity());
    applied.stopBits = *codec_.stopSize() == 2 ? 2 : *codec_.stopSize() == 1 ? 1 : 0;
    return applied;
}

} // namespace vantor::serial
