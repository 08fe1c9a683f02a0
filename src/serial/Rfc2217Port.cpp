#include "serial/Rfc2217Port.h"

#include <chrono>
#include <thread>

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
    for (const unsigned char control :
         {TelnetCodec::controlNoFlow, settings.dtr ? TelnetCodec::controlDtrOn : TelnetCodec::controlDtrOff,
          settings.rts ? TelnetCodec::controlRtsOn : TelnetCodec::controlRtsOff})
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

Result<> Rfc2217Port::setControl(unsigned char value, const std::string& what)
{
    const std::string request =
        TelnetCodec::comPortCommand(TelnetCodec::setControl, std::string(1, static_cast<char>(value)));
    const TcpConnection::Sent sent = connection_.send(request, stopToken());
    if (sent == TcpConnection::Sent::All)
        return {};
    if (sent == TcpConnection::Sent::Stopped)
        return failed("stopped on request before the server took the request to " + what + ".");
    lose("the connection failed while sending");
    return failed("cannot " + what + ": the connection to the serial server failed.");
}

Result<> Rfc2217Port::changeModemLine(ModemLine line, bool on)
{
    const bool dtr = line == ModemLine::Dtr;
    return setControl(dtr ? (on ? TelnetCodec::controlDtrOn : TelnetCodec::controlDtrOff)
                          : (on ? TelnetCodec::controlRtsOn : TelnetCodec::controlRtsOff),
                      std::string("set ") + lineName(line));
}

Result<> Rfc2217Port::holdBreak(int ms)
{
    if (Result<> started = setControl(TelnetCodec::controlBreakOn, "send a break"); !started.ok())
        return started;
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    return setControl(TelnetCodec::controlBreakOff, "end the break");
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
