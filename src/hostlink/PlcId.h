#pragma once

#include <cstdint>
#include <string>

namespace vantor::hostlink {

struct PlcIdResult
{
    bool ok = false;
    std::int16_t id = 0;
    std::string error; // set when ok is false: a sentence the caller can show as it stands
};

// Conversion of a PLC ID text into the ID a frame carries.
//
// An ID is 1 to 4 hexadecimal digits (either case); up to four digits give their 16-bit two's
// complement value (8000-FFFF are negative). Anything else (no digit, a character that is no
// hexadecimal digit, more than four digits) is refused with a sentence naming the text and the rule,
// so that a typo (the letter O for a zero) never addresses another PLC on a shared line.
class PlcId
{
public:
    static constexpr int maxDigits = 4;

    // The main panel's box: blanks, tabs and line feeds anywhere in the text are removed first, so
    // "1 2" gives 12 and " 1" gives 1; what remains must be an ID.
    static PlcIdResult fromText(const std::string& text);

    // The digits alone, nothing removed: the command line's --id (after trimming blanks around it).
    static PlcIdResult fromDigits(const std::string& digits);
};

} // namespace vantor::hostlink
