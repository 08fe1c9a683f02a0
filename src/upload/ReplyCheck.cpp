#include "upload/ReplyCheck.h"

#include "hostlink/Frame.h"

#include <cctype>

namespace vantor::upload {

namespace {

constexpr std::size_t fcsAndEnd = 3; // two FCS digits and "*"

std::string upper(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

} // namespace

bool ReplyCheck::isEcho(const std::string& reply, const std::string& idHex, const std::string& code)
{
    const std::string expected = "@" + idHex + code;
    return reply.compare(0, expected.size(), expected) == 0;
}

std::string ReplyCheck::endCode(const std::string& reply, const std::string& idHex)
{
    const std::size_t at = 1 + idHex.size() + 2;
    return reply.size() >= at + 2 + fcsAndEnd ? reply.substr(at, 2) : std::string();
}

std::string ReplyCheck::carriedFcs(const std::string& reply)
{
    return reply.size() >= fcsAndEnd ? upper(reply.substr(reply.size() - fcsAndEnd, 2)) : std::string();
}

std::string ReplyCheck::expectedFcs(const std::string& reply)
{
    if (reply.size() < fcsAndEnd)
        return {};
    const std::string fcs =
        hostlink::Frame::renderHex(hostlink::Frame::computeFCS(reply.substr(0, reply.size() - fcsAndEnd)));
    return fcs.size() == 2 ? fcs : std::string();
}

ReplyCheck::Verdict ReplyCheck::judge(const std::string& reply, const std::string& frame,
                                      const std::string& idHex, const std::string& code, bool fullCheck)
{
    // A record whose payload is "00" makes a frame that is also, byte for byte, the answer a PLC gives
    // to it ("@" + ID + code + "00" + FCS + "*"): such a reply is taken for the answer it may be.
    const bool frameIsAnAnswer =
        frame.size() == 1 + idHex.size() + 2 + 2 + fcsAndEnd && endCode(frame, idHex) == "00";
    if (!frame.empty() && reply == frame && !frameIsAnAnswer)
        return Verdict::OwnCopy;
    if (!isEcho(reply, idHex, code))
        return Verdict::NotEcho;
    if (!fullCheck)
        return Verdict::Echo;
    if (endCode(reply, idHex).empty() || reply.back() != '*')
        return Verdict::Malformed;
    if (carriedFcs(reply) != expectedFcs(reply))
        return Verdict::WrongFcs;
    return endCode(reply, idHex) == "00" ? Verdict::Echo : Verdict::Refused;
}

} // namespace vantor::upload
