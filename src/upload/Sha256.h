#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace vantor::upload {

// SHA-256 (FIPS 180-4) of a byte stream fed in pieces of any size. The program file's digest is
// reported so that a line's log can be matched with `sha256sum` of the file that was uploaded.
class Sha256
{
public:
    Sha256() { reset(); }
    void reset();
    void update(const char* bytes, std::size_t size);
    // The digest of everything fed since the last reset, as 64 lower-case hex digits, as sha256sum
    // prints it. Ends the stream: call reset() before feeding more.
    std::string hexDigest();

    static std::string of(const std::string& bytes);

private:
    void compress(const std::uint8_t* block);

    std::array<std::uint32_t, 8> state_{};
    std::array<std::uint8_t, 64> pending_{};
    std::size_t pendingSize_ = 0;
    std::uint64_t totalBytes_ = 0;
};

} // namespace vantor::upload
