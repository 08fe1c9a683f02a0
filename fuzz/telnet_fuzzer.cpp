// The Telnet decoder of RFC 2217 ports: whatever a server sends, cut into reads anywhere (0x01 in the
// input marks a cut), the data is the same as from one read and never longer than the input, and
// any data we encode decodes back to itself.
#include "FuzzInput.h"
#include "serial/TelnetCodec.h"

using vantor::serial::TelnetCodec;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto reads = vantor::fuzz::pieces(data, size, '\x01');
    std::string whole;
    for (const auto& r : reads)
        whole += r;
    TelnetCodec once;
    once.opening();
    const std::string expected = once.decode(whole);
    FUZZ_CHECK(expected.size() <= whole.size());

    TelnetCodec split;
    split.opening();
    std::string got;
    for (const auto& r : reads)
        got += split.decode(r);
    FUZZ_CHECK(got == expected);
    FUZZ_CHECK(split.takeReplies() == once.takeReplies());

    TelnetCodec fresh;
    FUZZ_CHECK(fresh.decode(fresh.encode(whole)) == whole);
    return 0;
}
