#include "hostlink/CommandExchange.h"
#include "support/FakeLink.h"

#include <gtest/gtest.h>

using vantor::hostlink::CommandExchange;
using vantor::hostlink::ExchangeStatus;
using vantor::test::FakeClock;
using vantor::test::FakeLink;

namespace {
struct Bench
{
    FakeClock clock;
    FakeLink link{clock};
    CommandExchange exchange{link, clock};
};
} // namespace

TEST(CommandExchange, ReturnsTheLineThatAnswersAFrame)
{
    Bench b;
    b.link.onWrite = [&](const std::string& w) {
        if (w == "@01C230*\r") {
            b.link.arrive("@01", 5);
            b.link.arrive("C2", 10);
            b.link.arrive("30\r\n", 20);
        }
    };
    const auto result = b.exchange.sendCommand("@01C230*");
    EXPECT_EQ(result.status, ExchangeStatus::Response);
    EXPECT_EQ(result.response, "@01C230");
    EXPECT_EQ(b.exchange.lastResponse(), "@01C230");
    EXPECT_EQ(b.link.written, (std::vector<std::string>{"@01C230*\r"})) << "frames need no ENQ";
    EXPECT_EQ(b.link.openCalls, 1);
}

TEST(CommandExchange, HandshakesWithEnqOnlyForUnaddressedCommands)
{
    struct Case
    {
        const char* cmd;
        bool enq;
    };
    for (const Case c :
         {Case{"RS", true}, Case{"", true}, Case{"@01C230*", false}, Case{":X", false}, Case{" @01", true}}) {
        SCOPED_TRACE(std::string("command '") + c.cmd + "'");
        Bench b;
        b.link.onWrite = [&](const std::string& w) {
            if (w == "\x05")
                b.link.arrive("\x05", 3);
            else
                b.link.arrive("OK\r", 3);
        };
        const auto result = b.exchange.sendCommand(c.cmd);
        EXPECT_EQ(result.response, "OK");
        std::vector<std::string> expected{std::string(c.cmd) + "\r"};
        if (c.enq)
            expected.insert(expected.begin(), "\x05");
        EXPECT_EQ(b.link.written, expected);
    }
}

TEST(CommandExchange, WithoutEnqAnswerTheCommandIsNeverSent)
{
    struct Case
    {
        const char* name;
        const char* answer;
    };
    for (const Case c : {Case{"silence", nullptr}, Case{"ENQ with other characters", "\x05x"},
                         Case{"something else", "?"}}) {
        SCOPED_TRACE(c.name);
        Bench b;
        b.link.onWrite = [&](const std::string&) {
            if (c.answer)
                b.link.arrive(c.answer, 10);
        };
        const auto start = b.clock.now;
        const auto result = b.exchange.sendCommand("RS");
        EXPECT_EQ(result.status, ExchangeStatus::NoEnqAnswer);
        EXPECT_TRUE(result.response.empty());
        EXPECT_EQ(b.link.written, std::vector<std::string>{"\x05"});
        EXPECT_EQ(b.clock.now - start, 500) << "the default text '500 ' sets the ENQ wait";
    }
}

TEST(CommandExchange, WaitsTheTimeoutOrItsFallback)
{
    struct Case
    {
        const char* timeout;
        const char* cmd;
        std::int64_t waitedMs;
    };
    const Case cases[] = {
        {"500 ", "@01C230*", 500},  {"0", "@01C230*", 500}, {"0", "RS", 1000},
        {"500.5", "@01C230*", 500}, {"", "@01C230*", 500},  {"x", "RS", 1000},
        {"-3", "RS", 1000},         {"1", "@01C230*", 1},   {"99999999999", "@01C230*", 500},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.timeout) + " / " + c.cmd);
        Bench b;
        b.exchange.setTimeoutText(c.timeout);
        const auto start = b.clock.now;
        const auto result = b.exchange.sendCommand(c.cmd);
        EXPECT_FALSE(result.hasResponse());
        EXPECT_EQ(b.clock.now - start, c.waitedMs);
        EXPECT_LE(b.link.reads, 2) << "a silent PLC is waited for by blocking, not by polling";
    }
}

TEST(CommandExchange, AnAnswerAtTheDeadlineCountsOneAfterItDoesNot)
{
    for (int at : {499, 500, 501}) {
        Bench b;
        b.link.onWrite = [&](const std::string&) { b.link.arrive("@01C230\r", at); };
        EXPECT_EQ(b.exchange.sendCommand("@01C230*").hasResponse(), at <= 500) << at;
    }
}

TEST(CommandExchange, UnterminatedTextIsDiscardedAfterTheTimeout)
{
    Bench b;
    b.link.onWrite = [&](const std::string&) { b.link.arrive("@01C2", 10); };
    EXPECT_EQ(b.exchange.sendCommand("@01C230*").status, ExchangeStatus::NoResponse);
    b.link.onWrite = [&](const std::string&) { b.link.arrive("@01CS\r", 10); };
    EXPECT_EQ(b.exchange.sendCommand("@01CS51*").response, "@01CS") << "nothing of the first is left over";
}

TEST(CommandExchange, ALateAnswerStartsTheNextResponse)
{
    Bench b;
    b.link.onWrite = [&](const std::string& w) {
        if (w == "@01C230*\r")
            b.link.arrive("@01C230\r\n", 700);
    };
    EXPECT_FALSE(b.exchange.sendCommand("@01C230*").hasResponse());
    b.clock.now += 300; // the late answer is waiting in the port by now
    EXPECT_EQ(b.exchange.sendCommand("@01CS51*").response, "@01C230");
    EXPECT_EQ(b.exchange.lastResponse(), "@01C230");
}

TEST(CommandExchange, NothingIsWrittenWhenThePortCannotOpen)
{
    Bench b;
    b.link.canOpen = false;
    const auto result = b.exchange.sendCommand("@01C230*");
    EXPECT_EQ(result.status, ExchangeStatus::PortNotOpen);
    EXPECT_TRUE(result.portFailed());
    EXPECT_TRUE(b.link.written.empty());
}

TEST(CommandExchange, ALostPortEndsTheWaitAtOnce)
{
    Bench b;
    b.link.loseAfter(20);
    const auto start = b.clock.now;
    const auto result = b.exchange.sendCommand("@01C230*");
    EXPECT_EQ(result.status, ExchangeStatus::PortLost);
    EXPECT_EQ(b.clock.now - start, 20);
    EXPECT_TRUE(b.exchange.lastResponse().empty());
}

TEST(CommandExchange, TracesBothDirectionsInOrder)
{
    Bench b;
    std::string trace;
    b.exchange.setTraceSink([&](vantor::hostlink::TraceDirection d, const std::string& bytes) {
        trace += (d == vantor::hostlink::TraceDirection::Sent ? ">" : "<") + bytes;
    });
    b.link.onWrite = [&](const std::string& w) { b.link.arrive(w == "\x05" ? "\x05" : "ok\r", 1); };
    b.exchange.sendCommand("RS");
    EXPECT_EQ(trace, ">\x05<\x05>RS\r<ok\r");
}

TEST(CommandExchange, OnALineThatEchoesTheCommandsCopyIsDropped)
{
    struct Case
    {
        const char* name;
        std::vector<std::string> chunks; // arriving 1 ms apart
        bool lineEchoes;
        std::string response;
    };
    const std::string frame = "@01C230*";
    const Case cases[] = {
        {"copy, then the answer", {frame + "\r", "@01C20030*\r"}, true, "@01C20030*"},
        {"both in one read", {frame + "\r@01C20030*\r\n"}, true, "@01C20030*"},
        {"both in pieces", {frame.substr(0, 3), frame.substr(3) + "\r@01", "C20030*\r"}, true, "@01C20030*"},
        {"only the copy", {frame + "\r"}, true, ""},
        {"an answer without a copy", {"@01C20030*\r"}, true, "@01C20030*"},
        {"a copy where the line does not echo", {frame + "\r", "@01C20030*\r"}, false, frame},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bench b;
        b.exchange.setLineEchoes(c.lineEchoes);
        b.link.onWrite = [&](const std::string&) {
            for (std::size_t i = 0; i < c.chunks.size(); ++i)
                b.link.arrive(c.chunks[i], static_cast<std::int64_t>(i) + 1);
        };
        EXPECT_EQ(b.exchange.sendCommand(frame).response, c.response);
    }
}

TEST(CommandExchange, TellsSilenceFromTextWithoutALineEnd)
{
    struct Case
    {
        std::string arriving;
        std::uint64_t strayBytes;
        std::string strayStart;
    };
    const std::string flood(300, 'A');
    for (const Case& c : {Case{"", 0, ""}, Case{"@01C2", 5, "@01C2"}, Case{flood, 300, flood.substr(0, 200)},
                          Case{"\r", 0, ""}}) {
        SCOPED_TRACE(c.arriving.size());
        Bench b;
        b.link.onWrite = [&](const std::string&) { b.link.arrive(c.arriving, 3); };
        const auto result = b.exchange.sendCommand("@01C230*");
        EXPECT_EQ(result.status, ExchangeStatus::NoResponse);
        EXPECT_EQ(result.strayBytes, c.strayBytes);
        EXPECT_EQ(result.strayStart, c.strayStart);
    }
}

TEST(CommandExchange, AStopRequestEndsALongWaitWithinASlice)
{
    Bench b;
    const auto start = b.clock.now;
    CommandExchange exchange{b.link, b.clock,
                             vantor::serial::StopToken([&] { return b.clock.now - start >= 250; })};
    exchange.setTimeoutText("5000");
    EXPECT_EQ(exchange.sendCommand("@01C230*").status, ExchangeStatus::Interrupted);
    EXPECT_LE(b.clock.now - start, 250 + CommandExchange::stopCheckSliceMs);
}
