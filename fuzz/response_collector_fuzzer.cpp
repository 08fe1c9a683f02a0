// Response collection over arbitrary sequences of reads (0x00 separates one read from the next):
// what it holds stays within its bound, and every response is text that arrived, never more.
#include "FuzzInput.h"
#include "hostlink/ResponseCollector.h"

using vantor::hostlink::ResponseCollector;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto reads = vantor::fuzz::pieces(data, size, '\0');
    std::string arrived;
    std::size_t answered = 0;
    ResponseCollector collector;
    for (const auto& chunk : reads) {
        arrived += chunk;
        if (const auto response = collector.feed(chunk)) {
            FUZZ_CHECK(response->size() <= ResponseCollector::maxResponseBytes);
            FUZZ_CHECK(arrived.find(*response) != std::string::npos);
            answered += response->size() + 1; // at least its line end
            FUZZ_CHECK(answered <= arrived.size());
            FUZZ_CHECK(collector.pending().empty());
        }
        FUZZ_CHECK(collector.pending().size() <= ResponseCollector::maxResponseBytes);
    }
    return 0;
}
