#include "plcsim/TcpPlcServer.h"

#include "hostlink/ControlText.h"

#include <algorithm>
#include <chrono>

namespace vantor::plcsim {

using hostlink::ControlText;

namespace {
constexpr int sliceMs = 100; // how often a wait looks at a stop request and at clients connecting
constexpr int sendTimeoutMs = 5000;
constexpr int turnedAwayAtOnce = 64; // at most, so that clients connecting without end cannot hold it
} // namespace

TcpPlcServer::TcpPlcServer(SimulatedPlc plc) : plc_(std::move(plc)) {}

TcpPlcServer::~TcpPlcServer()
{
    stop();
}

TcpPlcServer::Started TcpPlcServer::start(const std::string& host, int port)
{
    if (const auto listening = listener_.listen(host, port); !listening.ok())
        return {"cannot listen on " + host + ":" + std::to_string(port) + ": " + listening.error};
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

SimulatedPlc TcpPlcServer::snapshot() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return plc_;
}

void TcpPlcServer::report(const std::string& event) const
{
    if (monitor_)
        monitor_(event);
}

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
        report("turned away " + peer + ": one client at a time");
        other.close();
    }
    return stopping_;
}

void TcpPlcServer::serve()
{
    while (!stopping_) {
        serial::TcpConnection client;
        std::string peer;
        if (!listener_.accept(sliceMs, &client, &peer))
            continue;
        report("connected " + peer);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            plc_.startConnection();
        }
        flooding_ = false;
        if (!serveClient(client))
            break;
        report("disconnected");
    }
    serving_ = false;
}

bool TcpPlcServer::serveClient(serial::TcpConnection& client)
{
    const auto stop = [this] { return stopHeard(); };
    while (!stopHeard() && client.isOpen()) {
        if (flooding_) {
            static const std::string garbage(4096, 'A');
            client.send(garbage, stop, sendTimeoutMs);
        }
        const serial::PortRead read = client.receive(flooding_ ? 0 : sliceMs);
        if (read.lost)
            return true;
        if (read.bytes.empty())
            continue;
        std::vector<PlcAction> actions;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            const int enqBefore = plc_.enqCount();
            std::vector<std::string> lines;
            actions = plc_.receive(read.bytes, [&](const std::string& line) {
                if (monitor_)
                    lines.push_back(line);
            });
            for (int i = enqBefore; i < plc_.enqCount(); ++i)
                report("received <ENQ>");
            for (const std::string& line : lines)
                report("received " + ControlText::escape(line));
        }
        if (!perform(actions, client))
            return false;
    }
    return !stopping_;
}

bool TcpPlcServer::perform(const std::vector<PlcAction>& actions, serial::TcpConnection& client)
{
    const auto stop = [this] { return stopHeard(); };
    for (const PlcAction& action : actions) {
        if (!pause(action.delayMs))
            return false;
        if (action.kind == PlcAction::Kind::Flood) {
            report("flooding");
            flooding_ = true;
        } else if (action.kind == PlcAction::Kind::HangUp) {
            report("hung up");
            // Not serving before the connection goes: whoever sees the hang-up must not find this
            // server still serving.
            serving_ = false;
            client.close();
            return false;
        } else {
            report("sent " + ControlText::escape(action.bytes));
            client.send(action.bytes, stop, sendTimeoutMs);
        }
    }
    return true;
}

} // namespace vantor::plcsim
