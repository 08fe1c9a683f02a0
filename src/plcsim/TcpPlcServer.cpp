#include "plcsim/TcpPlcServer.h"

#include "plcsim/LineControlText.h"

#include <algorithm>
#include <chrono>

namespace vantor::plcsim {

namespace {
constexpr int sliceMs = 100; // how often a wait looks at a stop request and at clients connecting
constexpr int sendTimeoutMs = 5000;
constexpr int turnedAwayAtOnce = 64; // at most, so that clients connecting without end cannot hold it
} // namespace

TcpPlcServer::TcpPlcServer(SimulatedPlc plc) : session_(std::move(plc)) {}

TcpPlcServer::~TcpPlcServer()
{
    stop();
}

serial::Result<> TcpPlcServer::start(const std::string& host, int port)
{
    if (const auto listening = listener_.listen(host, port); !listening.ok())
        return serial::failed("cannot listen on " + host + ":" + std::to_string(port) + ": " +
                              listening.message);
    stopping_ = false;
    serving_ = true;
    thread_ = std::thread([this] { serve(); });
    return {};
}

void TcpPlcServer::stop()
{
    stopping_ = true;
    if (thread_.joinable())
        thread_.join();
    listener_.close();
    serving_ = false;
}

class TcpPlcServer::ClientLine : public PlcLine
{
public:
    ClientLine(TcpPlcServer& server, serial::TcpConnection& client,
               const std::unique_ptr<serial::TelnetCodec>& telnet)
        : server_(server), client_(client), telnet_(telnet)
    {}

    bool pause(int ms) override { return server_.pause(ms); }
    void send(const std::string& bytes) override
    {
        client_.send(telnet_ ? telnet_->encode(bytes) : bytes,
                     serial::StopToken([this] { return server_.stopHeard(); }), sendTimeoutMs);
    }
    void flood() override { server_.flooding_ = true; }
    void hangUp() override
    {
        // Not serving before the connection goes: whoever sees the hang-up must not find this
        // server still serving.
        server_.serving_ = false;
        client_.close();
    }

private:
    TcpPlcServer& server_;
    serial::TcpConnection& client_;
    const std::unique_ptr<serial::TelnetCodec>& telnet_;
};

bool TcpPlcServer::pause(int ms)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!stopHeard() && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min(ms, 10)));
    return !stopping_;
}

bool TcpPlcServer::stopHeard()
{
    serial::TcpConnection other;
    std::string peer;
    for (int i = 0; i < turnedAwayAtOnce && listener_.accept(0, &other, &peer); ++i) {
        session_.report("turned away " + peer + ": one client at a time");
        other.close();
    }
    return stopping_;
}

std::string TcpPlcServer::fromClient(const std::string& raw, serial::TcpConnection& client,
                                     std::unique_ptr<serial::TelnetCodec>& telnet, bool* first)
{
    using serial::TelnetCodec;
    if (raw.empty())
        return raw;
    if (!telnet && static_cast<unsigned char>(raw[0]) == TelnetCodec::iac && *first) {
        telnet = std::make_unique<TelnetCodec>(TelnetCodec::Role::Server);
        session_.report("telnet with the COM port option");
    }
    *first = false;
    if (!telnet)
        return raw;
    const std::string data = telnet->decode(raw);
    if (const std::string owed = telnet->takeReplies(); !owed.empty())
        client.send(owed, serial::StopToken([this] { return stopHeard(); }), sendTimeoutMs);
    for (const char value : telnet->takeControls()) {
        switch (static_cast<unsigned char>(value)) {
        case TelnetCodec::controlDtrOn:
        case TelnetCodec::controlDtrOff:
            session_.report(
                LineControlText::modemLine(serial::ModemLine::Dtr, value == TelnetCodec::controlDtrOn));
            break;
        case TelnetCodec::controlRtsOn:
        case TelnetCodec::controlRtsOff:
            session_.report(
                LineControlText::modemLine(serial::ModemLine::Rts, value == TelnetCodec::controlRtsOn));
            break;
        case TelnetCodec::controlBreakOn:
        case TelnetCodec::controlBreakOff:
            session_.report(LineControlText::breakState(value == TelnetCodec::controlBreakOn));
            break;
        default:
            break;
        }
    }
    return data;
}

void TcpPlcServer::serve()
{
    while (!stopping_) {
        serial::TcpConnection client;
        std::string peer;
        if (!listener_.accept(sliceMs, &client, &peer))
            continue;
        session_.report("connected " + peer);
        session_.startConnection();
        flooding_ = false;
        if (!serveClient(client))
            break;
        session_.report("disconnected");
    }
    serving_ = false;
}

bool TcpPlcServer::serveClient(serial::TcpConnection& client)
{
    std::unique_ptr<serial::TelnetCodec> telnet;
    bool first = true; // no byte from the client yet
    ClientLine line(*this, client, telnet);
    while (!stopHeard() && client.isOpen()) {
        if (flooding_)
            line.send(PlcLine::floodBytes());
        const int unasked = session_.msUntilUnasked();
        const serial::PortRead read = client.receive(flooding_      ? 0
                                                     : unasked >= 0 ? std::min(unasked, sliceMs)
                                                                    : sliceMs);
        if (read.lost)
            return true;
        const std::string data = fromClient(read.bytes, client, telnet, &first);
        if (!data.empty() && !session_.perform(session_.receive(data), line))
            return false;
        session_.talkUnasked(line);
    }
    return !stopping_;
}

} // namespace vantor::plcsim
