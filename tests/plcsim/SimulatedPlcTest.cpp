#include "plcsim/SimulatedPlc.h"
#include "hostlink/Frame.h"
#include "hostlink/SteadyClock.h"
#include "plcsim/InProcessPlcLink.h"
#include "support/ExchangeCases.h"

#include <gtest/gtest.h>

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
        {"no ENQ answer", with([](PlcFaults& f) { f.noEnqAnswer = true; }), "\x05" + c2, echo + "\r"},
        {"wrong ID", with([](PlcFaults& f) { f.wrongId = true; }), c2, Frame::build(2, "C200") + "\r"},
        {"CR LF", with([](PlcFaults& f) { f.lineEnd = LineEnd::CRLF; }), c2, echo + "\r\n"},
        {"bare LF", with([](PlcFaults& f) { f.lineEnd = LineEnd::LF; }), c2, echo + "\n"},
        {"stop after one", with([](PlcFaults& f) { f.stopAfterFrames = 1; }), c2 + c2, echo + "\r"},
        {"hang up after one", with([](PlcFaults& f) { f.hangUpAfterFrames = 1; }), c2 + c2 + c2,
         echo + "\r<hang-up>"},
        {"line echo", with([](PlcFaults& f) { f.lineEcho = true; }), c2, c2 + echo + "\r"},
        {"loopback", with([](PlcFaults& f) { f.loopback = true; }), "\x05" + c2, "\x05" + c2},
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
