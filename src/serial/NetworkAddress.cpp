#include "serial/NetworkAddress.h"

#include <cctype>

namespace vantor::serial {

namespace {

const char* const schemes[] = {"socket://", "rfc2217://"};

bool startsWithNoCase(const std::string& text, const std::string& prefix)
{
    if (text.size() < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i])
            return false;
    }
    return true;
}

} // namespace

bool NetworkAddress::hasScheme(const std::string& name)
{
    for (const char* scheme : schemes) {
        if (startsWithNoCase(name, scheme))
            return true;
    }
    return false;
}

std::optional<NetworkAddress> NetworkAddress::parse(const std::string& name)
{
    NetworkAddress address;
    std::string rest;
    if (startsWithNoCase(name, schemes[0])) {
        rest = name.substr(9);
    } else if (startsWithNoCase(name, schemes[1])) {
        address.rfc2217 = true;
        rest = name.substr(10);
    } else {
        return std::nullopt;
    }
    std::size_t colon;
    if (!rest.empty() && rest.front() == '[') {
        const std::size_t close = rest.find(']');
        if (close == std::string::npos || close + 1 >= rest.size() || rest[close + 1] != ':')
            return std::nullopt;
        address.host = rest.substr(1, close - 1);
        colon = close + 1;
    } else {
        colon = rest.rfind(':');
        if (colon == std::string::npos)
            return std::nullopt;
        address.host = rest.substr(0, colon);
        if (address.host.find(':') != std::string::npos)
            return std::nullopt; // an IPv6 address needs its brackets
    }
    if (address.host.empty())
        return std::nullopt;
    for (const char c : address.host) {
        if (std::isspace(static_cast<unsigned char>(c)) || std::iscntrl(static_cast<unsigned char>(c)) ||
            c == '/' || c == '@' || c == '?' || c == '#')
            return std::nullopt;
    }
    const std::string portText = rest.substr(colon + 1);
    if (portText.empty() || portText.size() > 5)
        return std::nullopt;
    for (const char c : portText) {
        if (!std::isdigit(static_cast<unsigned char>(c)))
            return std::nullopt;
    }
    address.port = std::stoi(portText);
    if (address.port < 1 || address.port > 65535)
        return std::nullopt;
    return address;
}

std::string NetworkAddress::hostPort() const
{
    const bool v6 = host.find(':') != std::string::npos;
    return (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

} // namespace vantor::serial
