#include "hostlink/Frame.h"

namespace vantor::hostlink {

std::string Frame::renderHex(int value)
{
    static const char digits[] = "0123456789ABCDEF";
    auto v = static_cast<std::uint32_t>(value);
    if (value < 0)
        v &= 0xFFFFu;
    std::string text;
    do {
        text.insert(text.begin(), digits[v & 0xFu]);
        v >>= 4;
    } while (v != 0);
    if (text.size() == 1)
        text.insert(text.begin(), '0');
    return text;
}

int Frame::computeFCS(const std::string& text)
{
    int fcs = 0;
    for (char c : text)
        fcs ^= static_cast<unsigned char>(c);
    return fcs;
}

std::string Frame::appendFCS(std::int16_t id, std::string& cmd)
{
    const std::string hex = renderHex(id);
    std::string frame;
    frame.reserve(1 + hex.size() + cmd.size() + 3);
    frame += '@';
    frame += hex;
    frame += cmd;
    frame += renderHex(computeFCS(frame));
    frame += '*';
    cmd = frame;
    return frame;
}

std::string Frame::build(std::int16_t id, std::string command)
{
    return appendFCS(id, command);
}

} // namespace vantor::hostlink
