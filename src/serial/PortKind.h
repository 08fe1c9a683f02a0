#pragma once

#include <memory>
#include <string>
#include <vector>

namespace vantor::serial {

class Port;

// A kind of network port, one row of the table that everything naming the kinds reads: the parsing
// of network names (NetworkAddress), which port a name makes (PortCatalog), the message for a
// malformed name, and the front ends' help texts. A new kind of port is its Port class and one row
// in PortKind.cpp. The table is fixed at build time, so any thread may read it.
struct PortKind
{
    const char* scheme;              // lower case, what comes before "://": "socket"
    const char* help;                // what help texts say of it, in parentheses: "raw TCP"
    std::shared_ptr<Port> (*make)(); // a closed port of this kind; never null

    // Every kind, in the order help texts list them.
    static const std::vector<PortKind>& all();
    // The kind whose prefix the name starts with, in any case ("RFC2217://..."), well-formed or not;
    // null when it starts with none.
    static const PortKind* of(const std::string& name);
    // The kinds' forms for help texts, in table order: "socket://HOST:PORT", followed by " (raw TCP)"
    // when described, joined by separator but the last two by lastSeparator.
    static std::string listed(const std::string& separator, const std::string& lastSeparator, bool described);

    // "socket://": what a port name of this kind starts with, and what a completion offers.
    std::string prefix() const;
    // "socket://HOST:PORT".
    std::string form() const { return prefix() + "HOST:PORT"; }
};

} // namespace vantor::serial
