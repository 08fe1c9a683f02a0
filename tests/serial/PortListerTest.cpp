// The port listing from a made-up sysfs and /dev tree, laid out as the kernel lays them out.
#include "serial/PortLister.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

using vantor::serial::PortInfo;
using vantor::serial::PortLister;

namespace {

class FakeTree
{
public:
    FakeTree()
    {
        char dir[] = "/tmp/vantor-sysfs-XXXXXX";
        root_ = ::mkdtemp(dir);
    }
    ~FakeTree() { [[maybe_unused]] int ignored = std::system(("rm -rf '" + root_ + "'").c_str()); }
    const std::string& root() const { return root_; }

    void file(const std::string& path, const std::string& text)
    {
        makeParents(path);
        std::FILE* f = std::fopen((root_ + "/" + path).c_str(), "w");
        std::fputs(text.c_str(), f);
        std::fclose(f);
    }
    void dir(const std::string& path) { makeParents(path + "/x"); }
    void link(const std::string& path, const std::string& target)
    {
        makeParents(path);
        ASSERT_EQ(::symlink(target.c_str(), (root_ + "/" + path).c_str()), 0) << path;
    }

private:
    void makeParents(const std::string& path)
    {
        for (std::size_t slash = path.find('/'); slash != std::string::npos;
             slash = path.find('/', slash + 1))
            ::mkdir((root_ + "/" + path.substr(0, slash)).c_str(), 0755);
    }
    std::string root_;
};

} // namespace

TEST(PortLister, ReadsDriverUsbIdentityAndAliasesAndLeavesOutAbsentUarts)
{
    FakeTree t;
    const std::string usb = "sys/devices/pci0000:00/0000:00:14.0/usb1/1-2";
    t.file(usb + "/idVendor", "0403\n");
    t.file(usb + "/idProduct", "6001\n");
    t.file(usb + "/manufacturer", "ExampleCo\n");
    t.file(usb + "/product", "USB serial cable\n");
    t.file(usb + "/serial", "A1B2C3\n");
    t.dir("sys/bus/usb-serial/drivers/ftdi_sio");
    t.link(usb + "/1-2:1.0/ttyUSB0/driver", "../../../../../../../bus/usb-serial/drivers/ftdi_sio");
    t.link("sys/class/tty/ttyUSB0/device",
           "../../../devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0/ttyUSB0");

    const std::string acm = "sys/devices/pci0000:00/0000:00:14.0/usb1/1-3";
    t.file(acm + "/idVendor", "2341\n");
    t.file(acm + "/idProduct", "0043\n");
    t.dir("sys/bus/usb/drivers/cdc_acm");
    t.link(acm + "/1-3:1.0/driver", "../../../../../../bus/usb/drivers/cdc_acm");
    t.link("sys/class/tty/ttyACM0/device", "../../../devices/pci0000:00/0000:00:14.0/usb1/1-3/1-3:1.0");

    t.dir("sys/bus/platform/drivers/serial8250");
    t.link("sys/devices/platform/serial8250/driver", "../../../bus/platform/drivers/serial8250");
    t.link("sys/class/tty/ttyS0/device", "../../../devices/platform/serial8250");
    t.file("sys/class/tty/ttyS0/type", "4\n");
    t.link("sys/class/tty/ttyS1/device", "../../../devices/platform/serial8250");
    t.file("sys/class/tty/ttyS1/type", "0\n"); // probed, not there
    t.file("sys/class/tty/tty0/dev", "4:0\n"); // a virtual terminal: no device

    for (const char* node : {"ttyUSB0", "ttyACM0", "ttyS0", "ttyS1", "tty0"})
        t.file(std::string("dev/") + node, "");
    t.link("dev/serial/by-id/usb-ExampleCo_USB_serial_cable_A1B2C3-if00-port0", "../../ttyUSB0");

    const auto ports = PortLister(t.root() + "/sys", t.root() + "/dev").ports();
    const std::string dev = t.root() + "/dev/";
    ASSERT_EQ(ports.size(), 3u);
    const struct
    {
        std::string device, driver, usbId, manufacturer, description, serial;
        std::size_t aliases;
    } want[] = {
        {dev + "ttyACM0", "cdc_acm", "2341:0043", "", "", "", 0},
        {dev + "ttyS0", "serial8250", "", "", "", "", 0},
        {dev + "ttyUSB0", "ftdi_sio", "0403:6001", "ExampleCo", "USB serial cable", "A1B2C3", 1},
    };
    for (std::size_t i = 0; i < ports.size(); ++i) {
        SCOPED_TRACE(want[i].device);
        const PortInfo& p = ports[i];
        EXPECT_EQ(p.device, want[i].device);
        EXPECT_EQ(p.driver, want[i].driver);
        EXPECT_EQ(p.usbId(), want[i].usbId);
        EXPECT_EQ(p.manufacturer, want[i].manufacturer);
        EXPECT_EQ(p.description, want[i].description);
        EXPECT_EQ(p.serialNumber, want[i].serial);
        EXPECT_EQ(p.aliases.size(), want[i].aliases);
    }
    EXPECT_EQ(ports[2].aliases[0], dev + "serial/by-id/usb-ExampleCo_USB_serial_cable_A1B2C3-if00-port0");
    EXPECT_TRUE(PortLister(t.root() + "/nowhere", t.root() + "/dev").ports().empty()) << "no sysfs, no ports";
}
