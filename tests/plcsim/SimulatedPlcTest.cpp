#include "plcsim/SimulatedPlc.h"
#include "hostlink/Frame.h"
#include "hostlink/SteadyClock.h"
#include "plcsim/InProcessPlcLink.h"
#include "plcsim/PtyPlcServer.h"
#include "plcsim/SimulatedPlcPort.h"
#include "plcsim/TcpPlcServer.h"
#include "serial/SocketPort.h"
#include "support/ExchangeCases.h"
#if !defined(_WIN32)
#include "support/ChildProcess.h"
#endif

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <optional>

using namespace vantor::plcsim;
using vantor::hostlink::Frame;

namespace {
std::string written(const std::vector<PlcAction>& actions)
{
    std::string all;
    for (const auto& a : actions)
        all += a.kind == PlcAction::Kind::HangUp ? std::string("<hang-up>") : a.bytes;
    return all;
}
std::string frame(const char* command, std::int16_t id = 1)
{
    return Frame::build(id, command) + "\r";
}

// The most memory this process held at once since the last call, in MiB; nothing where the system
// does not tell, or under AddressSanitizer, whose own bookkeeping grows with every allocation.
std::optional<double> peakMiBSinceLastCall()
{
#if defined(_WIN32)
    return std::nullopt;
#else
    std::optional<double> peak;
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmHWM:", 0) == 0)
            peak = std::stod(line.substr(6)) / 1024;
    }
    std::ofstream("/proc/self/clear_refs") << "5"; // the peak starts again from what is held now
    return vantor::test::ChildProcess::memoryIsTheProgramsOwn ? peak : std::nullopt;
#endif
}

// The answer to frame (through its CR), or what came before nothing more did within a second.
std::string answerOver(vantor::serial::Port& port, const std::string& frame)
{
    std::string got;
    if (!port.write(frame))
        return "<lost>";
    while (got.empty() || got.back() != '\r') {
        const auto read = port.read(1000);
        if (read.bytes.empty())
            break;
        got += read.bytes;
    }
    return got;
}
} // namespace

TEST(SimulatedPlc, AnswersWhatTheUploaderReliesOn)
{
    SimulatedPlc plc;
    EXPECT_EQ(written(plc.receive("\x05")), "\x05");
    EXPECT_EQ(written(plc.receive(frame("C2"))), Frame::build(1, "C200") + "\r");
    EXPECT_EQ(written(plc.receive(frame("Wm0010FF"))).substr(0, 5), "@01Wm");
    EXPECT_EQ(written(plc.receive(frame("C2", 2))), "") << "another PLC's frame";
    std::string badFcs = frame("CZ");
    badFcs[badFcs.size() - 3] ^= 1;
    EXPECT_EQ(written(plc.receive(badFcs)), "") << "a frame with a wrong FCS";
    EXPECT_EQ(written(plc.receive("RS\r")), "RS\r");
    EXPECT_EQ(plc.records(), std::vector<std::string>{"Wm0010FF"});
    EXPECT_EQ(plc.frames().size(), 5u);
}

TEST(SimulatedPlc, StaysBusyForSomePollsAfterSaving)
{
    PlcFaults faults;
    faults.busyPolls = 2;
    SimulatedPlc plc(1, faults);
    plc.receive(frame("C2") + frame("CT") + frame("CS"));
    EXPECT_EQ(plc.savedProgram(), std::vector<std::string>{"CT"});
    EXPECT_EQ(written(plc.receive(frame("IR"))), "");
    EXPECT_EQ(written(plc.receive(frame("IR"))), "");
    EXPECT_EQ(written(plc.receive(frame("IR"))).substr(0, 5), "@01IR");
}

TEST(SimulatedPlc, InjectsFaults)
{
    struct Case
    {
        const char* name;
        PlcFaults faults;
        std::string input;
        std::string output;
    };
    auto with = [](auto change) {
        PlcFaults f;
        change(f);
        return f;
    };
    const std::string c2 = frame("C2");
    const std::string echo = Frame::build(1, "C200");
    const Case cases[] = {
        {"silent", with([](PlcFaults& f) { f.silent = true; }), "\x05" + c2, ""},
        // Neither ENQ nor a typed line is an answer to a frame, so the second C2 gets answer 2.
        {"a wrong FCS on answer 2", with([](PlcFaults& f) { f.wrongFcsAnswer = 2; }),
         "\x05RS\r" + c2 + c2 + c2, "\x05RS\r@01C20030*\r@01C20031*\r@01C20030*\r"},
        {"end code 13 on answer 1", with([](PlcFaults& f) { f.endCodeAnswer = 1; }), c2 + c2,
         Frame::build(1, "C213") + "\r" + echo + "\r"},
        {"no ENQ answer", with([](PlcFaults& f) { f.noEnqAnswer = true; }), "\x05" + c2, echo + "\r"},
        {"wrong ID", with([](PlcFaults& f) { f.wrongId = true; }), c2, Frame::build(2, "C200") + "\r"},
        {"CR LF", with([](PlcFaults& f) { f.lineEnd = LineEnd::CRLF; }), c2, echo + "\r\n"},
        {"bare LF", with([](PlcFaults& f) { f.lineEnd = LineEnd::LF; }), c2, echo + "\n"},
        {"stop after one", with([](PlcFaults& f) { f.stopAfterFrames = 1; }), c2 + c2, echo + "\r"},
        {"hang up after one", with([](PlcFaults& f) { f.hangUpAfterFrames = 1; }), c2 + c2 + c2,
         echo + "\r<hang-up>"},
        {"line echo", with([](PlcFaults& f) { f.lineEcho = true; }), c2, c2 + echo + "\r"},
        {"loopback", with([](PlcFaults& f) { f.loopback = true; }), "\x05" + c2, "\x05" + c2},
        {"loopback after one", with([](PlcFaults& f) { f.loopbackAfterFrames = 1; }), c2 + c2 + c2,
         echo + "\r" + c2 + c2},
        {"answer 2 twice", with([](PlcFaults& f) { f.doubleAnswer = 2; }), c2 + c2 + c2,
         echo + "\r" + echo + "\r" + echo + "\r" + echo + "\r"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SimulatedPlc plc(1, c.faults);
        EXPECT_EQ(written(plc.receive(c.input)), c.output);
    }
}

TEST(SimulatedPlc, HoldsBoundedStateWhateverItIsSent)
{
    SimulatedPlc plc;
    plc.receive(frame("C2"));
    std::string program;
    for (std::size_t i = 0; i < SimulatedPlc::programCapacity; ++i)
        program += frame("CT");
    plc.receive(program);
    EXPECT_EQ(written(plc.receive(frame("CT"))), Frame::build(1, SimulatedPlc::memoryFullCode) + "\r")
        << "a record beyond the capacity is refused with no echo";
    plc.receive(frame("CS"));
    EXPECT_TRUE(plc.savedProgram().empty()) << "an overfull program is not saved";
    EXPECT_EQ(plc.frameCount(), static_cast<std::int64_t>(SimulatedPlc::programCapacity) + 3);
    EXPECT_EQ(plc.frames().size(), SimulatedPlc::recentLines);

    plc.receive(std::string(SimulatedPlc::maxLineBytes + 10, 'A') + frame("C2").substr(0, 3));
    EXPECT_EQ(written(plc.receive(frame("C2"))), "") << "an overrun line is dropped unanswered";
    EXPECT_EQ(written(plc.receive(frame("C2"))), Frame::build(1, "C200") + "\r");

    // 120 MB of records over each way to the PLC: it holds little, and still knows the whole program.
    // Where the peak is not measured (under AddressSanitizer, which runs this ten times slower) a few
    // MB, more than the PLC keeps, check the rest.
    const std::string payload(120 * 1024, 'A');
    for (const char* via : {"in-process", "pseudo-terminal", "TCP"}) {
        SCOPED_TRACE(via);
        const bool pty = via == std::string("pseudo-terminal");
        const bool tcp = via == std::string("TCP");
        if (pty && !PtyPlcServer::available())
            continue;
        const int records = peakMiBSinceLastCall() ? 1000 : 60;
        SimulatedPlcPort sim(!pty);
        TcpPlcServer server;
        vantor::serial::SocketPort socket;
        vantor::serial::Port& port = tcp ? static_cast<vantor::serial::Port&>(socket) : sim;
        ASSERT_TRUE(!tcp || server.start("127.0.0.1", 0).ok());
        ASSERT_EQ(port.open(tcp ? "socket://" + server.address() : "", via, {}).message, "");
        ASSERT_EQ(answerOver(port, frame("C2")), Frame::build(1, "C200") + "\r");
        RecordWindow sent; // counts and digests, keeps nothing
        for (int i = 0; i < records; ++i) {
            std::string command = "Wm" + std::to_string(100000 + i) + payload;
            ASSERT_EQ(answerOver(port, Frame::build(1, command) + "\r"), Frame::build(1, "Wm00") + "\r") << i;
            sent.add(std::move(command));
        }
        ASSERT_EQ(answerOver(port, frame("CS")), Frame::build(1, "CS00") + "\r");
        const SimulatedPlc got = tcp ? server.snapshot() : *sim.plc();
        EXPECT_EQ(got.saved().count(), records);
        EXPECT_EQ(got.saved().digest(), sent.digest());
        EXPECT_EQ(got.savedProgram().back(), "Wm" + std::to_string(100000 + records - 1) + payload);
        EXPECT_LT(got.savedProgram().size(), static_cast<std::size_t>(records)) << "only the last are kept";
        if (const auto peak = peakMiBSinceLastCall()) {
            EXPECT_LT(*peak, 64);
        }
    }
}

TEST(SimulatedPlc, SplitsAndDelaysAnswers)
{
    PlcFaults faults;
    faults.splitChars = 4;
    faults.splitGapMs = 7;
    faults.delayMs = 30;
    SimulatedPlc plc(1, faults);
    const auto actions = plc.receive(frame("C2"));
    ASSERT_EQ(actions.size(), 3u); // "@01C20030*\r" is 11 characters
    EXPECT_EQ(actions[0].delayMs, 30);
    EXPECT_EQ(actions[1].delayMs, 7);
    EXPECT_EQ(written(actions), Frame::build(1, "C200") + "\r");
}

// The link that carries SIM where there is no pseudo-terminal: the same cases as the serial port layer.
TEST(InProcessPlcLink, ExchangesAsEveryLinkToThePlcMust)
{
    for (const vantor::test::ExchangeCase& c : vantor::test::exchangeCases()) {
        SCOPED_TRACE(c.name);
        InProcessPlcLink link(SimulatedPlc(1, c.faults));
        vantor::hostlink::CommandExchange exchange(link, vantor::hostlink::SteadyClock::instance());
        vantor::test::runSteps(c, [&exchange](const char* timeout, const std::string& command) {
            exchange.setTimeoutText(timeout);
            return exchange.sendCommand(command);
        });
        EXPECT_EQ(link.plc().enqCount(), c.enqAnswers);
    }
}
