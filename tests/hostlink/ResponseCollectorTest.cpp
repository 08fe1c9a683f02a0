#include "hostlink/ResponseCollector.h"

#include <gtest/gtest.h>

#include <vector>

using vantor::hostlink::ResponseCollector;

namespace {
// Feeds chunks in order; returns every response completed, and what is left pending.
std::vector<std::string> collect(const std::vector<std::string>& chunks, std::string* pending = nullptr)
{
    ResponseCollector collector;
    std::vector<std::string> responses;
    for (const auto& chunk : chunks) {
        if (auto r = collector.feed(chunk))
            responses.push_back(*r);
    }
    if (pending)
        *pending = collector.pending();
    return responses;
}
} // namespace

TEST(ResponseCollector, EndsResponsesAsTheLinkDoes)
{
    using Chunks = std::vector<std::string>;
    using Lines = std::vector<std::string>;
    struct Case
    {
        const char* name;
        Chunks chunks;
        Lines responses;
        const char* pending;
    };
    const Case cases[] = {
        {"CR", {"@01C230\r"}, {"@01C230"}, ""},
        {"CR LF in one read", {"@01C230\r\n"}, {"@01C230"}, ""},
        {"three pieces", {"@01", "C2", "30\r"}, {"@01C230"}, ""},
        {"leftover LF dropped", {"\n@01C230\r"}, {"@01C230"}, ""},
        {"leftover LF alone", {"\n", "@01C230\r"}, {"@01C230"}, ""},
        {"CR then LF in the next response", {"A\r", "\nB\r"}, {"A", "B"}, ""},
        {"bare LF keeps the character before it", {"AB\n"}, {"AB"}, ""},
        {"bare LF arriving on its own", {"AB", "\n"}, {"AB"}, ""},
        {"CR split from its LF", {"AB\r", "\n"}, {"AB"}, ""},
        {"a single LF", {"\n\n"}, {""}, ""},
        {"a lone CR is an empty line", {"\r"}, {""}, ""},
        {"inner CR belongs to the response", {"A\rB\r"}, {"A\rB"}, ""},
        {"CR followed by more text keeps collecting", {"A\rB"}, {}, "A\rB"},
        {"no line end yet", {"@01C2"}, {}, "@01C2"},
        {"empty reads change nothing", {"", "A", "", "\r"}, {"A"}, ""},
        {"8-bit characters pass", {"\xE9\xFF\r"}, {"\xE9\xFF"}, ""},
        {"a flood is not held", {std::string(ResponseCollector::maxResponseBytes, 'A'), "A"}, {}, ""},
        {"nor is its end a response", {std::string(ResponseCollector::maxResponseBytes, 'A'), "A\r"}, {}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string pending;
        EXPECT_EQ(collect(c.chunks, &pending), c.responses);
        EXPECT_EQ(pending, c.pending);
    }
}
