#include "serial/NetworkAddress.h"

#include "serial/PortKind.h"

#include <cctype>

namespace vantor::serial {

namespace {

// Whether a host name or address could be one: nothing that would end or change a URL's host.
bool isHostText(const std::string& host)
{
    if (host.empty())
        return false;
    for (const char c : host) {
        if (std::isspace(static_cast<unsigned char>(c)) || std::iscntrl(static_cast<unsigned char>(c)) ||
            c == '/' || c == '@' || c == '?' || c == '#')
            return false;
    }
    return true;
}

// 1 to 65535 written in decimal digits; nothing otherwise.
std::optional<int> portNumber(const std::string& text)
{
    if (text.empty() || text.size() > 5)
        return std::nullopt;
    for (const char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c)))
            return std::nullopt;
    }
    const int port = std::stoi(text);
    if (port < 1 || port > 65535)
        return std::nullopt;
    return port;
}

} // namespace

bool NetworkAddress::hasScheme(const std::string& name)
{
    return PortKind::of(name) != nullptr;
}

std::optional<NetworkAddress> NetworkAddress::parse(const std::string& name)
{
    const PortKind* kind = PortKind::of(name);
    if (!kind)
        return std::nullopt;
    NetworkAddress address;
    address.scheme = kind->scheme;
    address.rfc2217 = address.scheme == "rfc2217";
    if (!address.takeHostPort(name.substr(kind->prefix().size())))
        return std::nullopt;
    return address;
}

bool NetworkAddress::takeHostPort(const std::string& text)
{
    std::size_t colon;
    if (!text.empty() && text.front() == '[') {
        const std::size_t close = text.find(']');
        if (close == std::string::npos || close + 1 >= text.size() || text[close + 1] != ':')
            return false;
        host = text.substr(1, close - 1);
        colon = close + 1;
    } else {
        colon = text.rfind(':');
        if (colon == std::string::npos)
            return false;
        host = text.substr(0, colon);
        if (host.find(':') != std::string::npos)
            return false; // an IPv6 address needs its brackets
    }
    const auto number = portNumber(text.substr(colon + 1));
    if (!isHostText(host) || !number)
        return false;
    port = *number;
    return true;
}

std::string NetworkAddress::hostPort() const
{
    const bool v6 = host.find(':') != std::string::npos;
    return (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

} // namespace vantor::serial
