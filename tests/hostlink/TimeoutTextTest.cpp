#include "hostlink/TimeoutText.h"

#include <gtest/gtest.h>

using vantor::hostlink::TimeoutText;

TEST(TimeoutText, ParsesAndRoundsHalfToEven)
{
    struct Case
    {
        const char* text;
        std::optional<int> ms;
    };
    const Case cases[] = {
        {"500 ", 500},
        {" 250\t", 250},
        {"500.5", 500},
        {"501.5", 502},
        {"0.5", 0},
        {"1.5", 2},
        {"2.5", 2},
        {"2.51", 3},
        {"2.49", 2},
        {"2.500001", 3},
        {"-7", -7},
        {"+9", 9},
        {".6", 1},
        {"7.", 7},
        {"0", 0},
        {"2147483647", 2147483647},
        // Not a number, or too large to hold: no valid timeout.
        {"", std::nullopt},
        {"   ", std::nullopt},
        {"abc", std::nullopt},
        {"5 0", std::nullopt},
        {"1e3", std::nullopt},
        {".", std::nullopt},
        {"-", std::nullopt},
        {"12ms", std::nullopt},
        {"2147483648", std::nullopt},
        {"2147483647.5", std::nullopt},
        {"99999999999999999999999999", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("text '") + c.text + "'");
        EXPECT_EQ(TimeoutText::parseMs(c.text), c.ms);
    }
}

TEST(TimeoutText, FallsBackBelowOneOrWhenNotANumber)
{
    EXPECT_EQ(TimeoutText::effectiveMs("500 ", 1000), 500);
    EXPECT_EQ(TimeoutText::effectiveMs("0", 1000), 1000);
    EXPECT_EQ(TimeoutText::effectiveMs("0.4", 500), 500);
    EXPECT_EQ(TimeoutText::effectiveMs("-20", 500), 500);
    EXPECT_EQ(TimeoutText::effectiveMs("fast", 500), 500);
    EXPECT_EQ(TimeoutText::effectiveMs("1e99", 1000), 1000);
}
