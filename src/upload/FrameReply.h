#pragma once

#include "hostlink/CommandExchange.h"
#include "upload/ReplyCheck.h"

#include <cstdint>
#include <string>

namespace vantor::upload {

// What one step of an upload found on the line: a frame sent and the reply it got, or a look at what
// the line held before the next frame. Plain data: the upload makes one per step and hands it to the
// pure functions that judge and describe it (ReplyCheck, ReplyText), so no step reads another's
// results from anywhere but the value it was given.
struct FrameReply
{
    enum class Step {
        Echoed,
        NotEchoed, // no reply, or one that is no echo
        OwnCopy,   // the frame itself came back, and nothing else
        BadReply,  // an echo that the full reply check refused
        Quiet,     // a look: the line held nothing beyond the previous answer (it is in step)
        OutOfStep, // a look: the line held bytes beyond the previous answer; nothing was sent
        PortFailed,
        BadPlcId,    // the PLC ID text is no ID; nothing was sent
        Interrupted, // a stop request, before the frame or during its wait
    };

    Step step = Step::NotEchoed;
    hostlink::ExchangeStatus status = hostlink::ExchangeStatus::NoResponse;
    std::string frame; // as sent, without the CR that ends it on the wire; empty when nothing was
    std::string idHex; // the PLC ID as the frame renders it ("01", "FFFE")
    std::string code;  // the two-character command code
    // The reply's first line (what followed an inner CR in it went back to the line); for a look,
    // every byte the line held.
    std::string reply;
    ReplyCheck::Verdict verdict = ReplyCheck::Verdict::NotEcho; // NotEcho unless a reply was judged
    // With no line end: how many bytes came and the first of them (see hostlink::ExchangeResult).
    std::uint64_t strayBytes = 0;
    std::string strayStart;
    int waitMs = 0; // how long the reply was waited for at most (ms)
    // When a reply came: how long after its frame was written (see hostlink::ExchangeResult).
    std::int64_t sinceFrameMs = 0;

    bool echoed() const { return step == Step::Echoed; }
};

} // namespace vantor::upload
