#pragma once

#include "upload/FrameReply.h"

#include <cstddef>
#include <string>

namespace vantor::upload {

// What an upload's diagnostics say about a reply, in words; pure functions of what they are given.
// Every byte is shown escaped, so a line that sends control characters cannot drive a terminal.
class ReplyText
{
public:
    // At most this much of a reply goes into a sentence; the rest is counted.
    static constexpr std::size_t maxShown = 200;

    // The reply escaped, and cut short with a count of the rest when longer than maxShown.
    static std::string shown(const std::string& reply);

    // What came back instead of the echo of reply.frame, for a step that did not echo: silence (how
    // long was waited: reply.waitMs), bytes without a line end, another PLC's ID, the line's own copy,
    // the full check's reason, or else the reply itself as "not its echo".
    static std::string problem(const FrameReply& reply);

    // Why the bytes a look found before the next frame stop the upload: the line is out of step.
    static std::string outOfStep(const std::string& heldBytes);

    // For a reply "@" + an ID + the frame's code: the ID, when it is not the frame's; else empty.
    static std::string otherPlcId(const FrameReply& reply);
};

} // namespace vantor::upload
