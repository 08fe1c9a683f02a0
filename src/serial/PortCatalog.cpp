#include "serial/PortCatalog.h"

#include "serial/DeviceChecks.h"
#include "serial/NetworkAddress.h"
#include "serial/PortKind.h"
#include "serial/PortLister.h"
#include "serial/SerialPort.h"
#include "serial/TcpConnection.h"
#include "serial/UnresolvedPort.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <iterator>

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

const char usbPrefix[] = "USB:";

// The parts of a usb: name: VID and PID (-1 when not given) and the serial number (empty when not
// given). Nothing when the name is malformed.
struct UsbWanted
{
    int vendorId = -1, productId = -1;
    std::string serial;
};

std::optional<int> hex4(const std::string& text)
{
    if (text.size() != 4 || !std::all_of(text.begin(), text.end(), [](char c) {
            return std::isxdigit(static_cast<unsigned char>(c)) != 0;
        }))
        return std::nullopt;
    return std::stoi(text, nullptr, 16);
}

std::optional<UsbWanted> parseUsb(const std::string& name)
{
    const std::string rest = name.substr(std::strlen(usbPrefix));
    UsbWanted wanted;
    const std::size_t first = rest.find(':');
    const std::size_t second = first == std::string::npos ? first : rest.find(':', first + 1);
    const auto vid = hex4(rest.substr(0, first));
    const auto pid =
        first == std::string::npos ? std::nullopt : hex4(rest.substr(first + 1, second - first - 1));
    if (vid && pid) { // VID:PID or VID:PID:SERIAL
        wanted.vendorId = *vid;
        wanted.productId = *pid;
        wanted.serial = second == std::string::npos ? std::string() : rest.substr(second + 1);
        if (second != std::string::npos && wanted.serial.empty())
            return std::nullopt;
        return wanted;
    }
    wanted.serial = rest; // a serial number may hold colons of its own
    if (wanted.serial.empty())
        return std::nullopt;
    return wanted;
}

bool picks(const UsbWanted& wanted, const PortInfo& port)
{
    if (port.vendorId < 0)
        return false;
    if (wanted.vendorId >= 0 && (port.vendorId != wanted.vendorId || port.productId != wanted.productId))
        return false;
    return wanted.serial.empty() || upper(port.serialNumber) == upper(wanted.serial);
}

// "/dev/ttyUSB0 (usb:A1B2)" for each port, joined by ", ".
std::string listing(const std::vector<PortInfo>& ports, const std::vector<PortInfo>& all)
{
    std::string out;
    for (const PortInfo& port : ports) {
        const std::string usb = PortCatalog::usbNameOf(port, all);
        out += (out.empty() ? "" : ", ") + port.device +
               (usb.empty() ? port.usbId().empty() ? "" : " (USB " + port.usbId() + ")" : " (" + usb + ")");
    }
    return out;
}

} // namespace

bool PortCatalog::isUsbName(const std::string& name)
{
    return upper(name.substr(0, std::strlen(usbPrefix))) == usbPrefix;
}

std::vector<PortInfo> PortCatalog::usbMatches(const std::string& name, std::string* wanted) const
{
    const auto asked = parseUsb(name);
    std::vector<PortInfo> found;
    wanted->clear();
    if (!asked)
        return found;
    char ids[16];
    std::snprintf(ids, sizeof ids, "%04x:%04x", static_cast<unsigned>(asked->vendorId),
                  static_cast<unsigned>(asked->productId));
    *wanted = asked->vendorId >= 0 ? std::string(ids) : std::string();
    if (!asked->serial.empty())
        *wanted += (wanted->empty() ? "" : " ") + std::string("with serial number ") + asked->serial;
    for (const PortInfo& port : listPorts()) {
        if (picks(*asked, port))
            found.push_back(port);
    }
    return found;
}

OpenResult PortCatalog::usbProblem(const std::string& name) const
{
    std::string wanted;
    const std::vector<PortInfo> found = usbMatches(name, &wanted);
    if (found.size() == 1)
        return {};
    if (wanted.empty())
        return {OpenError::NoSuchDevice,
                DeviceChecks::cannotOpen(name,
                                         "a usb: name is usb:SERIAL, usb:VID:PID or usb:VID:PID:SERIAL "
                                         "(VID and PID four hexadecimal digits each), as 'vantor ports' "
                                         "shows it.")};
    const std::vector<PortInfo> all = listPorts();
    if (found.size() > 1)
        return {OpenError::Other,
                DeviceChecks::cannotOpen(name, "more than one USB adapter " + wanted +
                                                   " is plugged in: " + listing(found, all) +
                                                   ". Name one by its device or the "
                                                   "usb: name shown.")};
    std::vector<PortInfo> usb;
    std::copy_if(all.begin(), all.end(), std::back_inserter(usb),
                 [](const PortInfo& p) { return p.vendorId >= 0; });
    const std::string others =
        usb.empty() ? ", nor any other USB serial adapter" : " (plugged in: " + listing(usb, all) + ")";
    return {OpenError::NoSuchDevice,
            DeviceChecks::cannotOpen(name, "no USB adapter " + wanted + " is plugged in" + others +
                                               ". Check the cable, and the name with 'vantor ports'.")};
}

std::string PortCatalog::usbNameOf(const PortInfo& port, const std::vector<PortInfo>& ports)
{
    if (port.vendorId < 0)
        return {};
    const auto unique = [&ports](const UsbWanted& wanted) {
        return std::count_if(ports.begin(), ports.end(),
                             [&](const PortInfo& p) { return picks(wanted, p); }) == 1;
    };
    char ids[16];
    std::snprintf(ids, sizeof ids, "%04x:%04x", static_cast<unsigned>(port.vendorId) & 0xffffu,
                  static_cast<unsigned>(port.productId) & 0xffffu);
    if (!port.serialNumber.empty() && unique({-1, -1, port.serialNumber}))
        return "usb:" + port.serialNumber;
    if (unique({port.vendorId, port.productId, port.serialNumber}))
        return "usb:" + std::string(ids) + (port.serialNumber.empty() ? "" : ":" + port.serialNumber);
    return {};
}

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
    if (isUsbName(name)) {
        std::string wanted;
        const std::vector<PortInfo> found = usbMatches(name, &wanted);
        return {Kind::Device, found.size() == 1 ? found.front().device : name, name};
    }
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
    if (isUsbName(name)) {
        if (OpenResult problem = usbProblem(name); !problem.ok())
            return std::make_shared<UnresolvedPort>(problem.error, std::move(problem.message));
    }
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
        if (named.kind == Kind::Network || isUsbName(named.device)) // a usb: name that picks no port
            return upper(named.device);
        return DeviceChecks::identity(named.device);
    };
    return identity(a) == identity(b);
}

bool PortCatalog::isKnownName(const std::string& name) const
{
    return find(name) || comNumber(name) || NetworkAddress::parse(name) ||
           (isUsbName(name) && parseUsb(name));
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
