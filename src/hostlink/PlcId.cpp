#include "hostlink/PlcId.h"

#include "hostlink/ControlText.h"

#include <cctype>

namespace vantor::hostlink {

namespace {

// digits must be an ID; shown is the text the user gave, for the sentence that refuses it.
PlcIdResult parse(const std::string& digits, const std::string& shown)
{
    if (digits.empty())
        return {false, 0, "No PLC ID given: enter the PLC's ID as 1 to 4 hexadecimal digits, such as 01."};
    // Built only for a refusal: every frame of an upload reads the ID again.
    const auto named = [&shown] {
        return "The PLC ID \"" +
               ControlText::escapeControls(shown.size() > 40 ? shown.substr(0, 40) + "..." : shown) + "\" ";
    };
    std::uint32_t value = 0;
    for (char c : digits) {
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return {false, 0,
                    named() +
                        "is not hexadecimal: enter the PLC's ID as 1 to 4 of the digits 0-9 and A-F, such "
                        "as 01 or 1F."};
        const int nibble = std::isdigit(static_cast<unsigned char>(c))
                               ? c - '0'
                               : std::toupper(static_cast<unsigned char>(c)) - 'A' + 10;
        value = ((value << 4) | static_cast<std::uint32_t>(nibble)) & 0xFFFFu;
    }
    if (digits.size() > static_cast<std::size_t>(PlcId::maxDigits))
        return {false, 0, named() + "has more than four hexadecimal digits. Enter the PLC's ID as 00 to FF."};
    // Two's complement of the 16-bit value, without relying on implementation-defined narrowing.
    const int id = value >= 0x8000u ? static_cast<int>(value) - 0x10000 : static_cast<int>(value);
    return {true, static_cast<std::int16_t>(id), {}};
}

} // namespace

PlcIdResult PlcId::fromText(const std::string& text)
{
    std::string compact;
    for (char c : text) {
        if (c != ' ' && c != '\t' && c != '\n')
            compact += c;
    }
    return parse(compact, text);
}

PlcIdResult PlcId::fromDigits(const std::string& digits)
{
    return parse(digits, digits);
}

} // namespace vantor::hostlink
