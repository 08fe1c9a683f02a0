// The PLC ID and timeout texts a user types, and the frame built from them: no text makes them fail,
// and every frame is well formed with a correct FCS.
#include "FuzzInput.h"
#include "hostlink/Frame.h"
#include "hostlink/PlcId.h"
#include "hostlink/TimeoutText.h"

using namespace vantor::hostlink;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text = vantor::fuzz::text(data, size);

    FUZZ_CHECK(TimeoutText::effectiveMs(text, 500) >= 1);
    if (const auto ms = TimeoutText::parseMs(text))
        FUZZ_CHECK(TimeoutText::effectiveMs(text, 500) == (*ms >= 1 ? *ms : 500));

    const auto id = PlcId::fromText(text);
    FUZZ_CHECK(id.ok == id.error.empty());
    const std::string frame = Frame::build(id.id, text);
    const std::string hexId = Frame::renderHex(id.id);
    FUZZ_CHECK(hexId.size() == 2 || hexId.size() == 4 || (hexId.size() == 3 && id.id > 0xFF));
    FUZZ_CHECK(frame.size() == 1 + hexId.size() + text.size() + 3);
    FUZZ_CHECK(frame.front() == '@' && frame.back() == '*');
    FUZZ_CHECK(frame.compare(1, hexId.size(), hexId) == 0);
    const std::string body = frame.substr(0, frame.size() - 3);
    FUZZ_CHECK(frame.compare(frame.size() - 3, 2, Frame::renderHex(Frame::computeFCS(body))) == 0);
    return 0;
}
