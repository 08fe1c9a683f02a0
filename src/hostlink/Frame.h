#pragma once

#include <cstdint>
#include <string>

namespace vantor::hostlink {

// Host-link command frames: "@" + PLC ID in hex + command + FCS in hex + "*".
// The carriage return that ends a frame on the wire is added when it is sent, not here.
class Frame
{
public:
    // Upper-case hex without leading zeros, a negative value as its 16-bit two's complement (four
    // digits); a single digit is padded to two ("0A"), longer renderings are kept as they are.
    static std::string renderHex(int value);

    // XOR of the codes of every character of text (8-bit, unsigned); 0 for an empty text.
    static int computeFCS(const std::string& text);

    // Turns cmd into the complete frame for id, in place, and returns a copy of it.
    static std::string appendFCS(std::int16_t id, std::string& cmd);

    // The frame for id and command, leaving command untouched.
    static std::string build(std::int16_t id, std::string command);
};

} // namespace vantor::hostlink
