#include "serial/PortCatalog.h"

#include "serial/DeviceChecks.h"
#include "serial/NetworkAddress.h"
#include "serial/PortKind.h"
#include "serial/PortLister.h"
#include "serial/SerialPort.h"
#include "serial/TcpConnection.h"

#include <algorithm>

#include <cctype>

namespace vantor::serial {

namespace {

std::string upper(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

std::string comDevice(int n)
{
#ifdef _WIN32
    return "COM" + std::to_string(n);
#else
    return "/dev/ttyS" + std::to_string(n - 1);
#endif
}

} // namespace

void PortCatalog::add(std::string name, std::string description, Maker make)
{
    for (Registered& entry : registered_) {
        if (upper(entry.name) == upper(name)) {
            entry = {std::move(name), std::move(description), std::move(make)};
            return;
        }
    }
    registered_.push_back({std::move(name), std::move(description), std::move(make)});
}

const PortCatalog::Registered* PortCatalog::find(const std::string& name) const
{
    for (const Registered& entry : registered_) {
        if (upper(entry.name) == upper(name))
            return &entry;
    }
    return nullptr;
}

PortCatalog::Named PortCatalog::resolve(const std::string& name) const
{
    if (const Registered* entry = find(name))
        return {Kind::Registered, entry->name, entry->name};
    if (NetworkAddress::hasScheme(name))
        return {Kind::Network, name, name};
    if (const auto n = comNumber(name))
        return {Kind::Device, comDevice(*n), "COM " + std::to_string(*n)};
    return {Kind::Device, name, name};
}

std::shared_ptr<Port> PortCatalog::portFor(const std::string& name) const
{
    if (const Registered* entry = find(name))
        return entry->make();
    if (const PortKind* kind = PortKind::of(name))
        return kind->make(); // a malformed name is refused by its opening
    return std::make_shared<SerialPort>();
}

bool PortCatalog::sameServerPort(const std::string& a, const std::string& b)
{
    const auto first = NetworkAddress::parse(a);
    const auto second = NetworkAddress::parse(b);
    if (!first || !second)
        return upper(a) == upper(b);
    if (first->port != second->port)
        return false;
    if (upper(first->host) == upper(second->host))
        return true;
    // Two names of one host ("localhost" and 127.0.0.1): any address in common.
    const auto theirs = TcpConnection::addressesOf(second->host);
    for (const std::string& address : TcpConnection::addressesOf(first->host)) {
        if (std::find(theirs.begin(), theirs.end(), address) != theirs.end())
            return true;
    }
    return false;
}

bool PortCatalog::samePort(const std::string& a, const std::string& b) const
{
    if (resolve(a).kind == Kind::Network && resolve(b).kind == Kind::Network)
        return sameServerPort(a, b);
    const auto identity = [this](const std::string& name) {
        const Named named = resolve(name);
        if (named.kind == Kind::Registered)
            return "registered:" + upper(named.device);
        if (named.kind == Kind::Network)
            return upper(named.device);
        return DeviceChecks::identity(named.device);
    };
    return identity(a) == identity(b);
}

bool PortCatalog::isKnownName(const std::string& name) const
{
    return find(name) || comNumber(name) || NetworkAddress::parse(name);
}

std::vector<PortInfo> PortCatalog::systemPorts()
{
    return PortLister().ports();
}

std::optional<int> PortCatalog::comNumber(const std::string& name)
{
    const std::string u = upper(name);
    if (u.size() < 4 || u.size() > 6 || u.compare(0, 3, "COM") != 0 || u[3] == '0')
        return std::nullopt;
    int n = 0;
    for (std::size_t i = 3; i < u.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(u[i])))
            return std::nullopt;
        n = n * 10 + (u[i] - '0');
    }
    return n;
}

std::string PortCatalog::comNameOf(const std::string& device)
{
    for (int n = 1; n <= 256; ++n) {
        if (comDevice(n) == device)
            return "COM" + std::to_string(n);
    }
    return {};
}

} // namespace vantor::serial
