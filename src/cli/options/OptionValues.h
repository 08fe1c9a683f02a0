#pragma once

#include "serial/Result.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vantor::cli {

// The strict checks of option values the commands share: a typo on a shared line must be an error,
// not a silent fallback. Pure functions; nothing is printed. A failure's message is the whole sentence
// for the user, naming the option; the out parameter is left as it was, or partly filled, then.
class OptionValues
{
public:
    // A PLC ID on the command line: 1 to 4 hexadecimal digits, blanks around them allowed. Unlike the
    // panel's box, nothing else is taken: on a shared line a typo must not address another PLC.
    static serial::Result<> strictId(const std::string& text, std::int16_t* id);
    // PLC IDs on one line: items separated by commas, each an ID as strictId takes it or a range
    // LOW-HIGH of them, in the order given ("01,02,05-0A"). An empty item, a range from high to low
    // and an ID named twice (in any spelling or range) are errors.
    static serial::Result<> strictIdList(const std::string& text, std::vector<std::int16_t>* ids);
    // A timeout as the console's box reads one (blanks around, a fraction rounded, 0 for the
    // fallbacks), but text that is no number at all is an error rather than a silent fallback.
    static serial::Result<> strictTimeout(const std::string& text);

    // A whole decimal number from 0 to INT_MAX, exactly as typed (a sign allowed, no blanks, nothing
    // after it); nothing for anything else.
    static std::optional<int> wholeNumber(const std::string& text);
    static std::string lower(std::string text);
};

} // namespace vantor::cli
