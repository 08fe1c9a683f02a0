#pragma once

#include <optional>
#include <string>

namespace vantor::hostlink {

// The timeout box's text, read at the start of every wait.
class TimeoutText
{
public:
    // A decimal number of milliseconds with optional sign and fraction, blanks and tabs around it
    // ignored; a fraction is rounded to the nearest whole number, an exact half to the even one
    // ("500.5" -> 500, "1.5" -> 2). Returns nothing for a text that is not such a number (empty,
    // letters, "1e3", "5 0") or whose value does not fit an int: the caller then treats it like a
    // value below 1 and uses its fallback.
    static std::optional<int> parseMs(const std::string& text);

    // The wait to use: the parsed value when it is at least 1, otherwise fallbackMs.
    static int effectiveMs(const std::string& text, int fallbackMs);
};

} // namespace vantor::hostlink
