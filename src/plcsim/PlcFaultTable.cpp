#include "plcsim/PlcFaultTable.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

namespace vantor::plcsim {

namespace {
using Value = PlcFaultTable::Value;
using Row = PlcFaultTable::Row;

void talkUnasked(PlcFaults& f, int ms, const char* text, bool once)
{
    f.unaskedMs = ms;
    f.unaskedOnce = once;
    std::snprintf(f.unaskedText, sizeof f.unaskedText, "%s", text);
}

// The line ends in the order the line-end row lists them.
constexpr LineEnd lineEnds[] = {LineEnd::CR, LineEnd::CRLF, LineEnd::LF};

// Constant-initialised, so it is whole before anything that runs at start-up could read it.
const Row table[] = {
    {"silent", "silent", "", "", "Answer nothing at all.", Value::None,
     [](PlcFaults& f, int, const char*) { f.silent = true; }},
    {"no ENQ answer", "no-enq", "", "", "Do not answer the ENQ handshake.", Value::None,
     [](PlcFaults& f, int, const char*) { f.noEnqAnswer = true; }},
    {"wrong ID", "wrong-id", "", "", "Echo frames with the wrong ID (its ID plus one).", Value::None,
     [](PlcFaults& f, int, const char*) { f.wrongId = true; }},
    {"split answers", "split", "N", "", "Send each answer in pieces of N characters ...", Value::Count,
     [](PlcFaults& f, int n, const char*) { f.splitChars = n; }},
    {"pause between pieces", "split-gap", "MS", "20", "... with MS milliseconds between them (default 20).",
     Value::Count, [](PlcFaults& f, int n, const char*) { f.splitGapMs = n; }},
    {"line end", "line-end", "cr|crlf|lf", "cr", "End answers with cr, crlf or lf (default cr).",
     Value::Choice, [](PlcFaults& f, int n, const char*) { f.lineEnd = lineEnds[n]; }},
    {"late answers", "delay", "MS", "", "Start every answer MS milliseconds late.", Value::Count,
     [](PlcFaults& f, int n, const char*) { f.delayMs = n; }},
    {"falls silent", "stop-after", "N", "", "Answer N frames, then fall silent.", Value::Count,
     [](PlcFaults& f, int n, const char*) { f.stopAfterFrames = n; }},
    {"hangs up", "hang-up-after", "N", "", "Answer N frames, then close the line when the next arrives.",
     Value::Count, [](PlcFaults& f, int n, const char*) { f.hangUpAfterFrames = n; }},
    {"flood", "flood", "", "",
     "Answer the first line with an endless stream of characters without a line end.", Value::None,
     [](PlcFaults& f, int, const char*) { f.flood = true; }},
    {"line echo", "line-echo", "", "",
     "Return every byte received before answering, as an adapter with local echo does.", Value::None,
     [](PlcFaults& f, int, const char*) { f.lineEcho = true; }},
    {"loopback", "loopback", "", "",
     "Return every byte received and answer nothing, as a loopback plug does.", Value::None,
     [](PlcFaults& f, int, const char*) { f.loopback = true; }},
    {"unplugged", "loopback-after", "N", "",
     "Answer N frames, then return every byte received and answer nothing, as a line whose PLC was "
     "unplugged from an adapter that hears its own transmitter.",
     Value::Count, [](PlcFaults& f, int n, const char*) { f.loopbackAfterFrames = n; }},
    {"double answer", "double", "N", "",
     "Send the Nth answer to a frame twice, one copy right after the other.", Value::Answer,
     [](PlcFaults& f, int n, const char*) { f.doubleAnswer = n; }},
    {"busy saving", "busy-polls", "N", "0",
     "After CS, leave this many IR polls unanswered while saving (default 0).", Value::Count,
     [](PlcFaults& f, int n, const char*) { f.busyPolls = n; }},
    {"starting up", "deaf-first", "N", "",
     "Neither take nor answer the first N frames, as a PLC still starting up.", Value::Count,
     [](PlcFaults& f, int n, const char*) { f.deafFrames = n; }},
    {"wrong FCS", "wrong-fcs", "N", "",
     "Give the Nth answer to a frame a wrong FCS, as a corrupted line would.", Value::Answer,
     [](PlcFaults& f, int n, const char*) { f.wrongFcsAnswer = n; }},
    {"refusing end code", "end-code", "N[:CODE]", "",
     "Answer the Nth frame with end code CODE (two hex digits, default 13) instead of 00, as a PLC "
     "refusing it.",
     Value::AnswerAndCode,
     [](PlcFaults& f, int n, const char* code) {
         f.endCodeAnswer = n;
         f.endCode[0] = code[0];
         f.endCode[1] = code[1];
     }},
    {"talks unasked", "unasked", "MS:TEXT", "",
     "Every MS milliseconds, send TEXT and a line end without being asked, as a PLC that reports on "
     "its own.",
     Value::MsAndText, [](PlcFaults& f, int n, const char* text) { talkUnasked(f, n, text, false); }},
    {"talks unasked once", "unasked-once", "MS:TEXT", "",
     "Send TEXT and a line end once, unasked, MS milliseconds after the first line received.",
     Value::MsAndText, [](PlcFaults& f, int n, const char* text) { talkUnasked(f, n, text, true); }},
};
} // namespace

const std::vector<Row>& PlcFaultTable::rows()
{
    static const std::vector<Row> all(std::begin(table), std::end(table));
    return all;
}

std::vector<std::string> PlcFaultTable::choices(const Row& row)
{
    std::vector<std::string> words;
    const std::string list = row.valueName;
    for (std::size_t at = 0; at <= list.size();) {
        const std::size_t bar = std::min(list.find('|', at), list.size());
        words.push_back(list.substr(at, bar - at));
        at = bar + 1;
    }
    return words;
}

} // namespace vantor::plcsim
