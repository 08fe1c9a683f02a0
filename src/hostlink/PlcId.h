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

// Conversion of the PLC ID box's text into the ID a frame carries.
class PlcId
{
public:
    // Blanks, tabs and line feeds are removed anywhere in the text; then hex digits (either case) are
    // read from the start up to the first other character. No digit at all gives 0. Up to four
    // digits give their 16-bit two's complement value (8000-FFFF are negative). More than four
    // digits cannot be represented in a frame and are refused with an error.
    static PlcIdResult fromText(const std::string& text);

    static constexpr int maxDigits = 4;
};

} // namespace vantor::hostlink
