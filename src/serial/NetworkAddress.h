#pragma once

#include <optional>
#include <string>

namespace vantor::serial {

// A serial server's address as a port name: "SCHEME://HOST:PORT", SCHEME one of the kinds of
// PortKind ("socket" for raw TCP: the bytes as they are; "rfc2217" for Telnet with the COM port
// control option). HOST is a name, an IPv4 address, or an IPv6 address in brackets ("[::1]"); PORT
// is 1 to 65535. The scheme's case does not matter.
struct NetworkAddress
{
    std::string scheme; // lower case, as PortKind spells it: "socket"
    // Whether scheme is "rfc2217"; kept for the callers that read it, scheme says the same.
    bool rfc2217 = false;
    std::string host; // without brackets
    int port = 0;

    // Nothing when name is no well-formed network port name.
    static std::optional<NetworkAddress> parse(const std::string& name);
    // Whether name starts like one (a scheme of ours), well-formed or not.
    static bool hasScheme(const std::string& name);
    // "HOST:PORT", brackets around an IPv6 address.
    std::string hostPort() const;

private:
    // Fills host and port from "HOST:PORT"; false when it is not that.
    bool takeHostPort(const std::string& text);
};

} // namespace vantor::serial
