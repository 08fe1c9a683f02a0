#pragma once

// Exchanges with the simulated PLC that every link to it must carry alike: the pseudo-terminal through
// the real serial port layer, and the in-process link where there is no pseudo-terminal.
#include "hostlink/CommandExchange.h"
#include "plcsim/PlcFaults.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

namespace vantor::test {

struct ExchangeStep
{
    std::string command;
    hostlink::ExchangeStatus status;
    std::string response; // when status is Response
    const char* timeoutText = "500";
};

struct ExchangeCase
{
    const char* name;
    plcsim::PlcFaults faults;
    std::vector<ExchangeStep> steps;
    int enqAnswers; // ENQs the PLC saw
};

inline plcsim::PlcFaults faultsWith(void (*change)(plcsim::PlcFaults&))
{
    plcsim::PlcFaults f;
    change(f);
    return f;
}

inline std::vector<ExchangeCase> exchangeCases()
{
    using hostlink::ExchangeStatus;
    const ExchangeStep c2{"@01C230*", ExchangeStatus::Response, "@01C20030*"};
    const ExchangeStep rs{"RS", ExchangeStatus::Response, "RS"}; // through the ENQ handshake
    // Two rounds: the second reads any LF left over from the first.
    const std::vector<ExchangeStep> rounds{c2, rs, c2, rs};
    return {
        {"CR", {}, rounds, 2},
        {"CR LF", faultsWith([](plcsim::PlcFaults& f) { f.lineEnd = plcsim::LineEnd::CRLF; }), rounds, 2},
        {"bare LF", faultsWith([](plcsim::PlcFaults& f) { f.lineEnd = plcsim::LineEnd::LF; }), rounds, 2},
        {"split with gaps", faultsWith([](plcsim::PlcFaults& f) {
             f.splitChars = 3;
             f.splitGapMs = 15;
         }),
         rounds, 2},
        {"split LF end", faultsWith([](plcsim::PlcFaults& f) {
             f.splitChars = 10;
             f.splitGapMs = 15;
             f.lineEnd = plcsim::LineEnd::LF;
         }),
         rounds, 2},
        {"late within the timeout", faultsWith([](plcsim::PlcFaults& f) { f.delayMs = 150; }), rounds, 2},
        {"too late: read by the next exchange",
         faultsWith([](plcsim::PlcFaults& f) { f.delayMs = 300; }),
         {{"@01C230*", ExchangeStatus::NoResponse, "", "100"},
          {"@01CS51*", ExchangeStatus::Response, "@01C20030*", "1000"}},
         0},
        {"no ENQ answer",
         faultsWith([](plcsim::PlcFaults& f) { f.noEnqAnswer = true; }),
         {{"RS", ExchangeStatus::NoEnqAnswer, "", "100"}, c2},
         1},
        {"another ID answers",
         faultsWith([](plcsim::PlcFaults& f) { f.wrongId = true; }),
         {{"@01C230*", ExchangeStatus::Response, "@02C20033*"}},
         0},
        {"a flood is no answer",
         faultsWith([](plcsim::PlcFaults& f) { f.flood = true; }),
         {{"@01C230*", ExchangeStatus::NoResponse, "", "3000"}},
         0},
        {"a hang-up ends the wait",
         faultsWith([](plcsim::PlcFaults& f) { f.hangUpAfterFrames = 1; }),
         {c2, {"@01C230*", ExchangeStatus::PortLost, "", "3000"}},
         0},
    };
}

// Runs the steps of c through exchange(timeoutText, command), checking each result and that no wait
// outlasts its cause.
template <typename Exchange> void runSteps(const ExchangeCase& c, Exchange exchange)
{
    for (const ExchangeStep& step : c.steps) {
        SCOPED_TRACE(step.command);
        const auto start = std::chrono::steady_clock::now();
        const hostlink::ExchangeResult result = exchange(step.timeoutText, step.command);
        EXPECT_EQ(result.status, step.status);
        EXPECT_EQ(result.response, step.response);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    }
}

} // namespace vantor::test
