#pragma once

#include "serial/Port.h"
#include "serial/PortInfo.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vantor::serial {

// Where the name a user picks a port by becomes a port; names are parsed here and nowhere else.
//   "COM1" .. "COM999"     (any case) the system's n-th serial port: COMn on Windows, /dev/ttyS<n-1>
//                          elsewhere
//   "socket://HOST:PORT"   a serial server on the network: raw TCP; "rfc2217://HOST:PORT" with Telnet;
//                          one kind of port for each scheme of PortKind (see NetworkAddress)
//   "usb:SERIAL", "usb:VID:PID", "usb:VID:PID:SERIAL"
//                          (any case; VID and PID four hexadecimal digits) the USB serial adapter with
//                          that serial number and/or IDs, wherever the system put it: looked up in
//                          listPorts() at every resolve() and portFor(), so each opening finds it
//                          afresh; no match, or more than one, gives a port whose opening says so
//                          and lists what is plugged in
//   a registered name      (any case) the port a front end registered under it, such as "SIM"
//   anything else          a device path, opened as it is ("/dev/ttyUSB0")
// A catalog is filled first and only read afterwards, so threads may then share it.
class PortCatalog
{
public:
    // Makes the port behind a registered name. It may hand out the same port every time, so that what
    // lives behind the name (a simulated PLC's memory) outlasts a closing. Never returns null.
    using Maker = std::function<std::shared_ptr<Port>()>;
    struct Registered
    {
        std::string name;        // as the lists show it: "SIM"
        std::string description; // for people: "built-in simulated PLC"
        Maker make;
    };

    enum class Kind { Device, Network, Registered };
    struct Named
    {
        Kind kind = Kind::Device;
        std::string device;      // what Port::open() takes: "/dev/ttyS0", "COM1", "socket://...", "SIM"
        std::string displayName; // how messages name the port: "COM 1" for COM1, the name itself otherwise
    };

    // Registers a name ahead of every other meaning it could have; replaces an earlier one of that name.
    void add(std::string name, std::string description, Maker make);
    const std::vector<Registered>& registered() const { return registered_; }

    Named resolve(const std::string& name) const;
    // A closed port of the kind the name asks for; never null. A malformed network name gives a port
    // whose opening says what is wrong with it.
    std::shared_ptr<Port> portFor(const std::string& name) const;
    // Whether two names reach one port: one name in two spellings ("COM1", "com1"), COM1 and the
    // device it stands for, two paths to one device (a link, /dev/serial/by-id/...), two names of one
    // server's port (socket:// and rfc2217://, a host name and its address; names are looked up).
    bool samePort(const std::string& a, const std::string& b) const;
    // Whether the name is one of the catalog's own: a COM name, a registered name, or a well-formed
    // network address. Device paths are not judged here.
    bool isKnownName(const std::string& name) const;
    // The serial ports the system reports (see PortLister); the registered ones are in registered().
    static std::vector<PortInfo> systemPorts();
    // What listPorts() asks instead of the system, for tests; empty: the system.
    using Lister = std::function<std::vector<PortInfo>()>;
    void setLister(Lister lister) { lister_ = std::move(lister); }
    // The serial ports there are now, asked afresh on every call: systemPorts() or the lister's.
    std::vector<PortInfo> listPorts() const { return lister_ ? lister_() : systemPorts(); }

    // The usb: name that picks port out of ports, the listing it is in: usb:SERIAL when its serial
    // number is the only one of its kind there, else usb:VID:PID:SERIAL when that is, usb:VID:PID for
    // an adapter without a serial number that is the only one of its IDs; empty when none picks it
    // (no USB device, or twins).
    static std::string usbNameOf(const PortInfo& port, const std::vector<PortInfo>& ports);
    // Whether the name is a usb: name, well-formed or not.
    static bool isUsbName(const std::string& name);

    // n for "COMn" with 1 <= n <= 999, nothing for other names.
    static std::optional<int> comNumber(const std::string& name);
    // The COM name that stands for a device ("COM1" for /dev/ttyS0 here); empty when none does.
    static std::string comNameOf(const std::string& device);

private:
    const Registered* find(const std::string& name) const;
    // The ports of listPorts() that a usb: name picks, and in *wanted what it asks for, in words
    // ("serial number A1B2"); *wanted empty when the name is malformed.
    std::vector<PortInfo> usbMatches(const std::string& name, std::string* wanted) const;
    // Why a usb: name picks no port (NoSuchDevice: the adapter may be plugged in later) or several
    // (Other), as an opening says it; ok() when it picks one.
    OpenResult usbProblem(const std::string& name) const;
    static bool sameServerPort(const std::string& a, const std::string& b);

    std::vector<Registered> registered_;
    Lister lister_;
};

} // namespace vantor::serial
