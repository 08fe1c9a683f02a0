#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vantor::fuzz {

// The fuzzer's bytes as text.
inline std::string text(const std::uint8_t* data, std::size_t size)
{
    return std::string(reinterpret_cast<const char*>(data), size);
}

// Splits the bytes into pieces at every separator byte, so one input can stand for a sequence of
// reads or of arguments.
inline std::vector<std::string> pieces(const std::uint8_t* data, std::size_t size, char separator)
{
    std::vector<std::string> out(1);
    for (std::size_t i = 0; i < size; ++i) {
        if (static_cast<char>(data[i]) == separator)
            out.emplace_back();
        else
            out.back() += static_cast<char>(data[i]);
    }
    return out;
}

// Stops the run with a finding: libFuzzer reports the abort and keeps the input.
#define FUZZ_CHECK(condition)                                                                                \
    do {                                                                                                     \
        if (!(condition))                                                                                    \
            __builtin_trap();                                                                                \
    } while (0)

} // namespace vantor::fuzz
