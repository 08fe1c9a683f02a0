// PortLister on Linux and other systems with sysfs: everything comes from <sysRoot>/class/tty and
// the by-id links; where there is no sysfs the list is empty.
#include "serial/PortLister.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace vantor::serial {

namespace {

std::vector<std::string> entries(const std::string& dir)
{
    std::vector<std::string> names;
    if (DIR* d = ::opendir(dir.c_str())) {
        while (const dirent* e = ::readdir(d)) {
            const std::string name = e->d_name;
            if (name != "." && name != "..")
                names.push_back(name);
        }
        ::closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string realPath(const std::string& path)
{
    char resolved[PATH_MAX];
    return ::realpath(path.c_str(), resolved) ? std::string(resolved) : std::string();
}

// The first line of a sysfs attribute, or empty.
std::string attribute(const std::string& path)
{
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    while (!line.empty() && (line.back() == '\n' || line.back() == ' '))
        line.pop_back();
    return line;
}

std::string baseName(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

int hex(const std::string& text)
{
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 16);
    return text.empty() || *end != '\0' || value < 0 || value > 0xFFFF ? -1 : static_cast<int>(value);
}

// The USB identity of the nearest USB device above a tty's device directory, if any.
void readUsbIdentity(std::string dir, const std::string& stopAt, PortInfo& info)
{
    while (dir.size() > stopAt.size() && dir.compare(0, stopAt.size(), stopAt) == 0) {
        if (::access((dir + "/idVendor").c_str(), R_OK) == 0) {
            info.vendorId = hex(attribute(dir + "/idVendor"));
            info.productId = hex(attribute(dir + "/idProduct"));
            info.manufacturer = attribute(dir + "/manufacturer");
            info.description = attribute(dir + "/product");
            info.serialNumber = attribute(dir + "/serial");
            return;
        }
        dir = dir.substr(0, dir.rfind('/'));
    }
}

} // namespace

bool PortLister::exists(const std::string& device)
{
    struct stat st
    {
    };
    return ::stat(device.c_str(), &st) == 0;
}

std::vector<PortInfo> PortLister::ports() const
{
    std::vector<PortInfo> ports;
    const std::string classDir = sysRoot_ + "/class/tty";
    const std::string sysReal = realPath(sysRoot_);
    const std::string byIdDir = devRoot_ + "/serial/by-id";
    for (const std::string& name : entries(classDir)) {
        const std::string entry = classDir + "/" + name;
        const std::string device = realPath(entry + "/device");
        if (device.empty())
            continue; // a virtual terminal, a pseudo-terminal: no hardware behind it
        // A UART the kernel looked for and did not find reports type 0 (unknown); the many ttyS
        // entries of a PC without serial ports are such.
        const std::string type = attribute(entry + "/type");
        if (!type.empty() && type == "0")
            continue;
        PortInfo info;
        info.device = devRoot_ + "/" + name;
        info.driver = baseName(realPath(device + "/driver"));
        readUsbIdentity(device, sysReal, info);
        const std::string deviceReal = realPath(info.device);
        for (const std::string& alias : entries(byIdDir)) {
            const std::string target = realPath(byIdDir + "/" + alias);
            if (!target.empty() && target == deviceReal)
                info.aliases.push_back(byIdDir + "/" + alias);
        }
        ports.push_back(std::move(info));
    }
    return ports;
}

} // namespace vantor::serial
