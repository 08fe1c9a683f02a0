#pragma once

#include <string>

namespace vantor::upload {

// What one reply of an upload says about the frame it answers; a pure function of the two.
//
// The default check is the echo: the reply begins with "@" + the PLC ID as the frame renders it + the
// two-character command code. A reply that is the frame itself, byte for byte, is the line's own copy
// (a loopback plug, a PLC unplugged from an adapter that hears its own transmitter): no PLC's answer,
// whatever its first characters say; but for a frame that is itself what a PLC answers to it (a record
// whose payload is "00"), which one reply cannot tell apart.
//
// The full check (opt-in, for PLCs that answer "@" + ID + code + end code + FCS + "*") also asks that
// the reply end with "*", that the two hexadecimal digits before it be the FCS of everything before
// them, and that the two characters after the code be "00".
class ReplyCheck
{
public:
    enum class Verdict {
        Echo,      // accepted
        NotEcho,   // empty, or not "@" + ID + code
        OwnCopy,   // the frame that was sent, come back unchanged
        Malformed, // full check: too short for an end code and an FCS, or no "*" at the end
        WrongFcs,  // full check: the FCS does not match the text (the line corrupted it)
        Refused,   // full check: an end code other than "00" (the PLC refused the command)
    };

    // idHex: the ID as the frame renders it ("01", "FFFE"); code: the two-character command code.
    static Verdict judge(const std::string& reply, const std::string& frame, const std::string& idHex,
                         const std::string& code, bool fullCheck);

    static bool isEcho(const std::string& reply, const std::string& idHex, const std::string& code);

    // For a reply the full check looked at: the two characters after the code, the FCS it carries
    // and the FCS its text gives (two upper-case hexadecimal digits each); empty where it has none.
    static std::string endCode(const std::string& reply, const std::string& idHex);
    static std::string carriedFcs(const std::string& reply);
    static std::string expectedFcs(const std::string& reply);
};

} // namespace vantor::upload
