#include "hostlink/PlcId.h"

#include <cctype>

namespace vantor::hostlink {

PlcIdResult PlcId::fromText(const std::string& text)
{
    std::string compact;
    for (char c : text) {
        if (c != ' ' && c != '\t' && c != '\n')
            compact += c;
    }

    std::uint32_t value = 0;
    int digits = 0;
    for (char c : compact) {
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            break;
        if (++digits > maxDigits) {
            return {false, 0,
                    "The PLC ID \"" + text +
                        "\" has more than four hexadecimal digits. Enter the PLC's ID "
                        "as 00 to FF."};
        }
        const int nibble = std::isdigit(static_cast<unsigned char>(c))
                               ? c - '0'
                               : std::toupper(static_cast<unsigned char>(c)) - 'A' + 10;
        value = (value << 4) | static_cast<std::uint32_t>(nibble);
    }
    // Two's complement of the 16-bit value, without relying on implementation-defined narrowing.
    const int id = value >= 0x8000u ? static_cast<int>(value) - 0x10000 : static_cast<int>(value);
    return {true, static_cast<std::int16_t>(id), {}};
}

} // namespace vantor::hostlink
