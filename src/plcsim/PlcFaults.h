#pragma once

#include <string>

namespace vantor::plcsim {

enum class LineEnd { CR, CRLF, LF };

// How the simulated PLC misbehaves. The defaults give a well-behaved PLC. Each fault is offered to
// users by its row of PlcFaultTable: a new member here needs its row there, and its case in the
// simulator's tests.
struct PlcFaults
{
    bool silent = false;      // answers nothing at all, not even ENQ
    bool noEnqAnswer = false; // ignores the ENQ handshake, answers frames
    bool wrongId = false;     // echoes frames with its ID plus one
    int splitChars = 0;       // > 0: each answer goes out in writes of this many characters ...
    int splitGapMs = 0;       // ... with this pause between them
    LineEnd lineEnd = LineEnd::CR;
    int delayMs = 0;              // every answer starts this late
    int stopAfterFrames = -1;     // >= 0: answers this many frames, then stays silent
    int hangUpAfterFrames = -1;   // >= 0: answers this many frames, closes the line when the next arrives
    int busyPolls = 0;            // after "CS", this many "IR" polls go unanswered while it saves
    int deafFrames = 0;           // the first this many frames are neither taken nor answered (starting up)
    bool flood = false;           // answers the first line with an endless stream of characters, no CR
    bool lineEcho = false;        // the line returns every byte sent before the PLC's answer (RS-485 echo)
    bool loopback = false;        // the line returns every byte sent, and nothing answers (a loopback plug)
    int loopbackAfterFrames = -1; // >= 0: after this many frames the line turns loopback (the PLC unplugged)
    // Answers are counted from 1, over every frame this PLC answers (the link test's included).
    int wrongFcsAnswer = 0; // > 0: that answer carries a wrong FCS, as a corrupted line would deliver
    int endCodeAnswer = 0;  // > 0: that answer carries endCode instead of "00": the PLC refuses it
    // Two hexadecimal digits. Plain characters, not a std::string, so the faults stay a trivial
    // aggregate (GCC warns about a string member of one copied into tables of them).
    char endCode[3] = "13";
    int doubleAnswer = 0; // > 0: that answer goes out twice, one copy right after the other
    // > 0 with unaskedText: the PLC sends unaskedText and its line end without being asked, every
    // unaskedMs from the start of the line (each TCP connection), or once unaskedMs after the first
    // line or ENQ it receives there when unaskedOnce.
    int unaskedMs = 0;
    bool unaskedOnce = false;
    static constexpr int maxUnaskedText = 80;
    char unaskedText[maxUnaskedText + 1] = "";
};

} // namespace vantor::plcsim
