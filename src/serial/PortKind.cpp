#include "serial/PortKind.h"

#include "serial/Rfc2217Port.h"
#include "serial/SocketPort.h"

#include <cctype>

namespace vantor::serial {

namespace {

template <typename Kind> std::shared_ptr<Port> makePort()
{
    return std::make_shared<Kind>();
}

bool startsWithNoCase(const std::string& text, const std::string& lowerPrefix)
{
    if (text.size() < lowerPrefix.size())
        return false;
    for (std::size_t i = 0; i < lowerPrefix.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(text[i])) != lowerPrefix[i])
            return false;
    }
    return true;
}

} // namespace

const std::vector<PortKind>& PortKind::all()
{
    static const std::vector<PortKind> kinds = {
        {"socket", "raw TCP", makePort<SocketPort>},
        {"rfc2217", "Telnet", makePort<Rfc2217Port>},
    };
    return kinds;
}

const PortKind* PortKind::of(const std::string& name)
{
    for (const PortKind& kind : all()) {
        if (startsWithNoCase(name, kind.prefix()))
            return &kind;
    }
    return nullptr;
}

std::string PortKind::listed(const std::string& separator, const std::string& lastSeparator, bool described)
{
    const std::vector<PortKind>& kinds = all();
    std::string text;
    for (std::size_t i = 0; i < kinds.size(); ++i) {
        if (i > 0)
            text += i + 1 == kinds.size() ? lastSeparator : separator;
        text += kinds[i].form();
        if (described)
            text += std::string(" (") + kinds[i].help + ")";
    }
    return text;
}

std::string PortKind::prefix() const
{
    return std::string(scheme) + "://";
}

} // namespace vantor::serial
