#pragma once

#include <optional>
#include <string>

namespace vantor::serial {

// A serial server's address as a port name: "socket://HOST:PORT" (raw TCP: the bytes as they are)
// or "rfc2217://HOST:PORT" (Telnet with the COM port control option). HOST is a name, an IPv4
// address, or an IPv6 address in brackets ("[::1]"); PORT is 1 to 65535. The scheme's case does
// not matter.
struct NetworkAddress
{
    bool rfc2217 = false;
    std::string host; // without brackets
    int port = 0;

    // Nothing when name is no well-formed network port name.
    static std::optional<NetworkAddress> parse(const std::string& name);
    // Whether name starts like one (a scheme of ours), well-formed or not.
    static bool hasScheme(const std::string& name);
    // "HOST:PORT", brackets around an IPv6 address.
    std::string hostPort() const;
};

} // namespace vantor::serial
