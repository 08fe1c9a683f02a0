#include "upload/ReplyText.h"

#include "hostlink/ControlText.h"

namespace vantor::upload {

using hostlink::ControlText;

std::string ReplyText::shown(const std::string& reply)
{
    if (reply.size() <= maxShown)
        return ControlText::escape(reply);
    return ControlText::escape(reply.substr(0, maxShown)) + "... " + std::to_string(reply.size() - maxShown) +
           " more bytes";
}

std::string ReplyText::otherPlcId(const FrameReply& reply)
{
    // "@", another ID, the same code: a PLC with another ID answered; on a shared line that is no echo.
    // The code's letters may be hex digits too ("C2"), so try each length an ID can have.
    const std::string& text = reply.reply;
    for (const std::size_t digits : {std::size_t{2}, std::size_t{3}, std::size_t{4}}) {
        if (text.size() < 1 + digits + 2 || text[0] != '@' ||
            text.find_first_not_of("0123456789ABCDEF", 1) < 1 + digits ||
            text.compare(1 + digits, 2, reply.code) != 0)
            continue;
        if (std::string id = text.substr(1, digits); id != reply.idHex)
            return id;
    }
    return {};
}

std::string ReplyText::problem(const FrameReply& reply)
{
    const std::string& text = reply.reply;
    const std::string frame = ControlText::escape(reply.frame);
    switch (reply.verdict) {
    case ReplyCheck::Verdict::OwnCopy:
        return "the line returned " + frame + " as sent and no PLC answered it";
    case ReplyCheck::Verdict::Malformed:
        return "the answer \"" + shown(text) + "\" does not end with an end code, an FCS and \"*\" to check";
    case ReplyCheck::Verdict::WrongFcs:
        return "the answer \"" + shown(text) + "\" carries the FCS " + ReplyCheck::carriedFcs(text) +
               " where its text gives " + ReplyCheck::expectedFcs(text) +
               ": the line corrupted it (noise, a loose cable, or a baud rate or parity that does not "
               "match the PLC's)";
    case ReplyCheck::Verdict::Refused:
        return "the PLC refused " + frame + " with the end code " +
               ControlText::escape(ReplyCheck::endCode(text, reply.idHex)) + " (\"" + shown(text) + "\")";
    default:
        break;
    }
    if (text.empty() && reply.strayBytes > 0)
        return std::to_string(reply.strayBytes) +
               " bytes came back without a line end (CR or CR LF) instead of " + "an answer to " + frame +
               ", starting \"" + ControlText::escape(reply.strayStart) + "\"" +
               (reply.strayBytes > reply.strayStart.size()
                    ? "... " + std::to_string(reply.strayBytes - reply.strayStart.size()) + " more bytes"
                    : std::string()) +
               ": check that the baud rate and parity match the PLC's";
    if (text.empty())
        return "nothing answered " + frame + " within " + std::to_string(reply.waitMs) + " ms";
    if (const std::string other = otherPlcId(reply); !other.empty())
        return "a PLC answered as ID " + other + " (" + shown(text) + "), not as " + reply.idHex +
               ": check the PLC ID";
    return "the reply to " + frame + " was not its echo: \"" + shown(text) + "\"";
}

std::string ReplyText::outOfStep(const std::string& heldBytes)
{
    return "the line held " + std::to_string(heldBytes.size()) +
           " bytes that came after the answer to the previous frame (\"" + shown(heldBytes) +
           "\"): it is out of step with the PLC (an answer doubled, or one that came late), and the next "
           "frame would take them for its answer";
}

} // namespace vantor::upload
