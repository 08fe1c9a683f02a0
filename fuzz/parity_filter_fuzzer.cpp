// The parity-error filter: however the marked stream is cut into reads (0x01 in the input marks a
// cut), the output is the same as for one read, and never longer than the input.
#include "FuzzInput.h"
#include "serial/ParityErrorFilter.h"

using vantor::serial::ParityErrorFilter;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto reads = vantor::fuzz::pieces(data, size, '\x01');
    std::string whole;
    for (const auto& r : reads)
        whole += r;
    ParityErrorFilter once;
    const std::string expected = once.filter(whole);
    FUZZ_CHECK(expected.size() <= whole.size());

    ParityErrorFilter split;
    std::string got;
    for (const auto& r : reads)
        got += split.filter(r);
    FUZZ_CHECK(got == expected);
    return 0;
}
