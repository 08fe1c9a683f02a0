#include "hostlink/ControlText.h"

namespace vantor::hostlink {

std::string ControlText::escapeControls(const std::string& bytes)
{
    std::string out;
    out.reserve(bytes.size());
    for (char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        out += u < 0x20 || u == 0x7F ? escape(std::string(1, c)) : std::string(1, c);
    }
    return out;
}

std::string ControlText::escape(const std::string& bytes)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size());
    for (char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '<')
            out += "<<";
        else if (u >= 0x20 && u < 0x7F)
            out += c;
        else if (c == '\x05')
            out += "<ENQ>";
        else if (c == '\r')
            out += "<CR>";
        else if (c == '\n')
            out += "<LF>";
        else
            out += std::string("<x") + digits[u >> 4] + digits[u & 0xF] + ">";
    }
    return out;
}

} // namespace vantor::hostlink
