// Network ports against a real serial server: ser2net in front of the simulated PLC's pseudo-terminal,
// through its raw TCP and its Telnet (RFC 2217) accepter.
#include "console/SerialConsole.h"
#include "console/StopSignals.h"
#include "plcsim/PtyPlcServer.h"
#include "plcsim/TcpPlcServer.h"
#include "serial/NetworkAddress.h"
#include "support/ChildProcess.h"
#include "support/ExchangeCases.h"
#include "support/Ser2net.h"
#include "support/TempFile.h"

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <netinet/in.h>
#include <optional>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

using namespace vantor;
using console::SerialConsole;
using test::Ser2net;

namespace {

// ser2net is part of what CI installs; elsewhere its absence skips these tests, saying so.
#define NEEDS_SER2NET()                                                                                      \
    if (!Ser2net::available())                                                                               \
    GTEST_SKIP() << "ser2net is not installed (apt-get install ser2net); the network port tests need a "     \
                    "real serial server"

double secondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::string program(int records)
{
    std::string text = "Vantor Compiled Code\r\n";
    for (int i = 0; i < records; ++i)
        text += "03:" + std::to_string(100000 + i) + "\r\n";
    return text;
}

// A hostile or broken serial server on a loopback port, serving one connection on its own thread.
class RogueServer
{
public:
    enum class Kind {
        Flood,         // sends without end, as fast as it can
        EndlessSub,    // opens a Telnet subnegotiation and never ends it
        AgreedThenSub, // agrees to the COM port option, then the same
        ReadsNothing,  // takes the connection and never reads from it
    };
    explicit RogueServer(Kind kind) : kind_(kind)
    {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        if (kind == Kind::ReadsNothing) { // a small window, so that a sender soon has to wait
            const int small = 4096;
            ::setsockopt(listener_, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
        }
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof a;
        ::bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(listener_, 1);
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &length);
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] { serve(); });
    }
    ~RogueServer()
    {
        stop_ = true;
        ::shutdown(listener_, SHUT_RDWR);
        thread_.join();
        ::close(listener_);
    }
    int port() const { return port_; }

private:
    void serve()
    {
        const int s = ::accept(listener_, nullptr, nullptr);
        if (s < 0)
            return;
        const std::string iac = "\xff";
        std::string start;
        if (kind_ == Kind::EndlessSub)
            start = iac + "\xfa\x2c";
        if (kind_ == Kind::AgreedThenSub)
            start = iac + "\xfd\x2c" + iac + "\xfb\x00" + iac + "\xfd\x00" + iac + "\xfa\x2c";
        ::send(s, start.data(), start.size(), MSG_NOSIGNAL);
        const std::string chunk(65536, kind_ == Kind::Flood ? 'A' : 'x');
        while (!stop_) {
            if (kind_ == Kind::ReadsNothing || ::send(s, chunk.data(), chunk.size(), MSG_NOSIGNAL) < 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        ::close(s);
    }

    Kind kind_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

} // namespace

TEST(NetworkAddress, TakesHostsOfEveryKindAndRefusesTheRest)
{
    const struct
    {
        const char* name;
        bool ok, rfc2217;
        const char* host;
        int port;
    } rows[] = {
        {"socket://127.0.0.1:2000", true, false, "127.0.0.1", 2000},
        {"RFC2217://plc-server.local:4001", true, true, "plc-server.local", 4001},
        {"socket://[::1]:65535", true, false, "::1", 65535},
        {"socket://::1:2000", false, false, "", 0}, // IPv6 needs brackets
        {"socket://host", false, false, "", 0},
        {"socket://:2000", false, false, "", 0},
        {"socket://host:0", false, false, "", 0},
        {"socket://host:65536", false, false, "", 0},
        {"socket://host:20x0", false, false, "", 0},
        {"socket://ho st:2000", false, false, "", 0},
        {"socket://host/x:2000", false, false, "", 0},
        {"telnet://host:23", false, false, "", 0},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        const auto address = serial::NetworkAddress::parse(r.name);
        ASSERT_EQ(address.has_value(), r.ok);
        if (r.ok) {
            EXPECT_EQ(address->rfc2217, r.rfc2217);
            EXPECT_EQ(address->host, r.host);
            EXPECT_EQ(address->port, r.port);
        }
    }
}

TEST(NetworkPorts, ExchangeAsEveryLinkToThePlcMust)
{
    NEEDS_SER2NET();
    for (const test::ExchangeCase& c : test::exchangeCases()) {
        for (const std::string via : {"raw TCP", "RFC 2217", "plc-sim --listen"}) {
            SCOPED_TRACE(std::string(c.name) + ", " + via);
            // Through ser2net to the pseudo-terminal, or the simulated PLC's own TCP server.
            plcsim::PtyPlcServer pty(plcsim::SimulatedPlc(1, c.faults));
            plcsim::TcpPlcServer tcp(plcsim::SimulatedPlc(1, c.faults));
            const bool direct = via == "plc-sim --listen";
            ASSERT_TRUE(direct ? tcp.start("127.0.0.1", 0).ok() : pty.start().ok());
            Ser2net server;
            ASSERT_TRUE(direct || server.start(pty.devicePath()));
            const std::string url = direct              ? "socket://" + tcp.address()
                                    : via == "RFC 2217" ? server.rfc2217()
                                                        : server.raw();
            const auto plc = [&] { return direct ? tcp.snapshot() : pty.snapshot(); };
            SerialConsole console;
            std::vector<std::string> log, errors;
            console.setLogSink([&log](const std::string& s) { log.push_back(s); });
            console.setErrorSink([&errors](const std::string& s) { errors.push_back(s); });
            console.setPortName(url);
            test::runSteps(c, [&console](const char* timeout, const std::string& command) {
                console.setTimeoutText(timeout);
                return console.sendCommand(command);
            });
            ASSERT_FALSE(log.empty()) << (errors.empty() ? "" : errors[0]);
            EXPECT_EQ(log[0], url + ": Open at 38400,N,8,1");
            EXPECT_EQ(plc().enqCount(), c.enqAnswers);
            if (c.faults.hangUpAfterFrames >= 0) {
                ASSERT_EQ(errors.size(), 1u);
                EXPECT_NE(errors[0].find("Lost the connection to " + url), std::string::npos) << errors[0];
            }
        }
    }
}

TEST(NetworkPorts, Rfc2217SetsTheLineOnTheDeviceItself)
{
    NEEDS_SER2NET();
    plcsim::PtyPlcServer plc;
    ASSERT_TRUE(plc.start().ok());
    Ser2net server;
    ASSERT_TRUE(server.start(plc.devicePath()));
    SerialConsole console;
    std::vector<std::string> log;
    console.setLogSink([&log](const std::string& s) { log.push_back(s); });
    console.setPortName(server.rfc2217());
    serial::PortSettings settings;
    settings.baudRate = 9600;
    settings.stopBits = 2;
    console.setSettings(settings);
    ASSERT_EQ(console.sendCommand("@01C230*").response, "@01C20030*");
    EXPECT_EQ(log, std::vector<std::string>{server.rfc2217() + ": Open at 9600,N,8,2"})
        << "the server confirmed every setting";

    const int fd = ::open(plc.devicePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    termios tio{};
    ASSERT_EQ(::tcgetattr(fd, &tio), 0);
    ::close(fd);
    EXPECT_EQ(::cfgetospeed(&tio), static_cast<speed_t>(B9600)) << "the rate asked for reached the device";
    EXPECT_TRUE(tio.c_cflag & CSTOPB);
}

// What the tool says and returns when the server or the network fails, through either kind of port.
TEST(NetworkPorts, FaultsEndInTheRightStatusAndNeverInASave)
{
    NEEDS_SER2NET();
    const test::TempFile big(program(3000));
    // A listener with a full backlog: connecting to it hangs, as to a host that drops the packets.
    const int hanging = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(hanging, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(hanging, 0), 0);
    ::getsockname(hanging, reinterpret_cast<sockaddr*>(&address), &length);
    const std::string hangingPort = std::to_string(ntohs(address.sin_port));
    std::vector<int> fillers;
    for (int i = 0; i < 4; ++i) {
        fillers.push_back(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0));
        ::connect(fillers.back(), reinterpret_cast<sockaddr*>(&address), sizeof address);
    }

    enum class Then { Nothing, KillServer, Interrupt };
    using Rogue = RogueServer::Kind;
    const struct
    {
        const char* name;
        std::string port; // "raw", "rfc2217", "rfc2217-on-raw", "held-raw" stand for the server's ports
        plcsim::PlcFaults faults;
        Then then;
        int status;
        std::string says;
        double maxSeconds;
        std::optional<Rogue> rogue = {}; // instead of ser2net: "socket" or "rfc2217" to a rogue server
        double maxMiB = 0;               // when not 0, the tool's peak memory
    } rows[] = {
        {"connection refused",
         "socket://127.0.0.1:" + std::to_string(Ser2net::freePort()),
         {},
         Then::Nothing,
         6,
         "connection refused",
         2},
        {"a name that does not resolve",
         "rfc2217://no-such-host.invalid:4001",
         {},
         Then::Nothing,
         6,
         "does not resolve",
         10},
        {"raw: the server dies mid-upload", "raw",
         test::faultsWith([](plcsim::PlcFaults& f) { f.delayMs = 1; }), Then::KillServer, 10,
         "Lost the connection to socket://", 10},
        {"RFC 2217: the server dies mid-upload", "rfc2217",
         test::faultsWith([](plcsim::PlcFaults& f) { f.delayMs = 1; }), Then::KillServer, 10,
         "Lost the connection to rfc2217://", 10},
        {"another client has the port",
         "held-raw",
         {},
         Then::Nothing,
         6,
         "saying \"Port already in use\"",
         3},
        {"a silent PLC behind the server", "rfc2217",
         test::faultsWith([](plcsim::PlcFaults& f) { f.silent = true; }), Then::Nothing, 7,
         "link test: nothing answered @01C230*", 5},
        {"a connection that hangs",
         "socket://127.0.0.1:" + hangingPort,
         {},
         Then::Nothing,
         6,
         "no connection within 5 s",
         7},
        {"Ctrl+C while it hangs",
         "socket://127.0.0.1:" + hangingPort,
         {},
         Then::Interrupt,
         130,
         "Upload interrupted",
         3},
        {"Ctrl+C while a raw port leaves RFC 2217 unanswered",
         "rfc2217-on-raw",
         {},
         Then::Interrupt,
         130,
         "Upload interrupted",
         3},
        // Memory and time stay bounded whatever a server sends, and a stop is heard while sending.
        {"a server that floods", "socket", {}, Then::Nothing, 7, "link test", 5, Rogue::Flood, 40},
        {"a subnegotiation without end",
         "rfc2217",
         {},
         Then::Nothing,
         6,
         "longer than 1024 bytes",
         7,
         Rogue::EndlessSub,
         40},
        {"a subnegotiation without end after COM-PORT was agreed",
         "rfc2217",
         {},
         Then::Nothing,
         6,
         "longer than 1024 bytes",
         7,
         Rogue::AgreedThenSub,
         40},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        plcsim::PtyPlcServer plc(plcsim::SimulatedPlc(1, r.faults));
        ASSERT_TRUE(plc.start().ok());
        Ser2net server;
        ASSERT_TRUE(server.start(plc.devicePath()));
        std::string port = r.port == "raw" ? server.raw() : r.port == "rfc2217" ? server.rfc2217() : r.port;
        if (r.port == "rfc2217-on-raw")
            port = "rfc2217" + server.raw().substr(6);
        std::optional<RogueServer> rogue;
        if (r.rogue) {
            rogue.emplace(*r.rogue);
            port = r.port + "://127.0.0.1:" + std::to_string(rogue->port());
        }
        test::ChildProcess holder;
        if (r.port == "held-raw") {
            port = server.raw();
            ASSERT_TRUE(holder.start(VANTOR_TOOL, {"send", "--port", port, "--timeout", "2000", "@01ZZ*"}));
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
        }
        test::ChildProcess tool;
        const auto started = std::chrono::steady_clock::now();
        ASSERT_TRUE(tool.start(VANTOR_TOOL, {"upload", "--port", port, big.path()}));
        tool.closeStdin();
        if (r.then == Then::KillServer) {
            while (plc.snapshot().records().size() < 200 && secondsSince(started) < r.maxSeconds &&
                   !tool.waitFinished(0))
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            ASSERT_GE(plc.snapshot().records().size(), 200u) << tool.err();
            server.kill();
        } else if (r.then == Then::Interrupt) {
            std::this_thread::sleep_for(std::chrono::milliseconds(700));
            ::kill(tool.pid(), SIGINT);
        }
        ASSERT_TRUE(tool.waitFinished(20000));
        EXPECT_EQ(tool.exitCode(), r.status) << tool.err();
        EXPECT_NE(tool.err().find(r.says), std::string::npos) << tool.err();
        EXPECT_LT(secondsSince(started), r.maxSeconds);
        EXPECT_EQ(plc.snapshot().saveCount(), 0) << "never a save after a failure";
        if (r.maxMiB > 0 && test::ChildProcess::memoryIsTheProgramsOwn) {
            EXPECT_LT(tool.peakMiB(), r.maxMiB);
        }
    }
    for (const int s : fillers)
        ::close(s);
    ::close(hanging);
}

// plc-sim --listen serves one client at a time: another is turned away at once, even while the first
// reads none of its answers and the server waits for room to send them.
TEST(NetworkPorts, PlcSimTurnsASecondClientAwayWhileTheFirstIsStuck)
{
    plcsim::TcpPlcServer plc;
    ASSERT_TRUE(plc.start("127.0.0.1", 0).ok());
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port =
        htons(static_cast<std::uint16_t>(std::stoi(plc.address().substr(plc.address().rfind(':') + 1))));
    const auto connectClient = [&address] {
        const int s = ::socket(AF_INET, SOCK_STREAM, 0);
        const int small = 4096; // so that the answers soon have no room
        ::setsockopt(s, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
        EXPECT_EQ(::connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        return s;
    };
    // Typed lines come back whole: sent without reading, until nothing more goes for half a second.
    const int first = connectClient();
    ::fcntl(first, F_SETFL, O_NONBLOCK);
    const std::string line = std::string(65536, 'x') + "\r";
    const auto begun = std::chrono::steady_clock::now();
    auto progressed = begun;
    while (secondsSince(progressed) < 0.5 && secondsSince(begun) < 10) {
        if (::send(first, line.data(), line.size(), MSG_NOSIGNAL) > 0)
            progressed = std::chrono::steady_clock::now();
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    const int second = connectClient();
    const auto started = std::chrono::steady_clock::now();
    pollfd closed{second, POLLIN, 0};
    char byte = 0;
    const bool ended = ::poll(&closed, 1, 3000) == 1 && ::recv(second, &byte, 1, MSG_DONTWAIT) <= 0;
    EXPECT_TRUE(ended) << "served instead of turned away";
    EXPECT_LT(secondsSince(started), 1);
    ::close(second);
    ::close(first);
}

// Ctrl+C while a server takes nothing and the sending waits for room: a stop, not a lost port.
TEST(NetworkPorts, AStopDuringABlockedSendIsAStop)
{
    RogueServer deaf(RogueServer::Kind::ReadsNothing);
    SerialConsole console({}, serial::StopToken([] { return console::StopSignals::requested(); }));
    std::vector<std::string> errors;
    console.setErrorSink([&errors](const std::string& s) { errors.push_back(s); });
    console.setPortName("socket://127.0.0.1:" + std::to_string(deaf.port()));
    console::StopSignals::install();
    ASSERT_TRUE(console.openPort());
    std::thread interrupt([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        ::kill(::getpid(), SIGINT);
    });
    const auto started = std::chrono::steady_clock::now();
    const auto result = console.sendCommand("@" + std::string(16u << 20, 'R'));
    interrupt.join();
    EXPECT_EQ(result.status, hostlink::ExchangeStatus::Interrupted);
    EXPECT_TRUE(errors.empty()) << errors.front();
    EXPECT_LT(secondsSince(started), 2);
}
