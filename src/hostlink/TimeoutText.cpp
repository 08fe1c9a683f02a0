#include "hostlink/TimeoutText.h"

#include <climits>
#include <cstdint>

namespace vantor::hostlink {

namespace {
bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}
bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}
} // namespace

std::optional<int> TimeoutText::parseMs(const std::string& text)
{
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && isBlank(text[begin]))
        ++begin;
    while (end > begin && isBlank(text[end - 1]))
        --end;

    std::size_t i = begin;
    bool negative = false;
    if (i < end && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';

    // Exact decimal rounding on the text itself: no floating point, so 500.5 cannot become 501.
    std::int64_t whole = 0;
    bool anyDigit = false;
    for (; i < end && isDigit(text[i]); ++i) {
        anyDigit = true;
        whole = whole * 10 + (text[i] - '0');
        if (whole > INT_MAX)
            return std::nullopt;
    }
    bool roundUp = false;
    if (i < end && text[i] == '.') {
        ++i;
        const std::size_t fractionStart = i;
        while (i < end && isDigit(text[i]))
            ++i;
        if (i > fractionStart) {
            anyDigit = true;
            const char first = text[fractionStart];
            bool restNonZero = false;
            for (std::size_t k = fractionStart + 1; k < i; ++k)
                restNonZero = restNonZero || text[k] != '0';
            if (first > '5' || (first == '5' && restNonZero))
                roundUp = true;
            else if (first == '5')
                roundUp = (whole % 2) != 0;
        }
    }
    if (!anyDigit || i != end)
        return std::nullopt;
    if (roundUp && ++whole > INT_MAX)
        return std::nullopt;
    return static_cast<int>(negative ? -whole : whole);
}

int TimeoutText::effectiveMs(const std::string& text, int fallbackMs)
{
    const auto ms = parseMs(text);
    return ms && *ms >= 1 ? *ms : fallbackMs;
}

} // namespace vantor::hostlink
