// DeviceChecks on POSIX systems: the file system and sysfs tell why a device cannot be opened.
#include "serial/DeviceChecks.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <grp.h>
#if defined(__linux__)
#include <sys/sysmacros.h>
#endif
#include <sys/stat.h>
#include <unistd.h>

namespace vantor::serial {

namespace {

std::string groupOf(const struct stat& st)
{
    if (const group* g = ::getgrgid(st.st_gid))
        return g->gr_name;
    return std::to_string(st.st_gid);
}

// Advice for a device the user may not open: a group to join only when that group may read and write
// it (and is not root, which nobody should join for this); otherwise who can grant access.
std::string permissionAdvice(const std::string& devicePath, const struct stat& st)
{
    const bool groupMayUse = (st.st_mode & S_IRGRP) && (st.st_mode & S_IWGRP);
    if (groupMayUse && st.st_gid != 0) {
        const std::string group = groupOf(st);
        return "permission denied. Add your user to the group '" + group +
               "' that owns the device (sudo usermod -aG " + group + " $USER), then log out and in again.";
    }
    return "permission denied, and no group may use it. Ask the administrator for access, for example a udev "
           "rule "
           "that gives your user or the dialout group read and write on " +
           devicePath + ".";
}

OpenResult refuse(OpenError error, const std::string& name, const std::string& detail)
{
    return {error, DeviceChecks::cannotOpen(name, detail)};
}

// Whether the kernel files the character device under a class other than tty (/dev/null, /dev/random
// are "mem"). Found without opening the device, which would pulse the modem lines of a real port.
// Devices sysfs does not list (pseudo-terminals) and systems without sysfs are given the benefit of
// the doubt; the port layer refuses them later if they take no terminal settings.
bool kernelSaysNotATerminal(const struct stat& st)
{
    const std::string link = "/sys/dev/char/" + std::to_string(major(st.st_rdev)) + ":" +
                             std::to_string(minor(st.st_rdev)) + "/subsystem";
    char target[PATH_MAX];
    const ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
    if (n <= 0)
        return false;
    const std::string subsystem(target, static_cast<std::size_t>(n));
    const std::size_t slash = subsystem.rfind('/');
    return subsystem.substr(slash == std::string::npos ? 0 : slash + 1) != "tty";
}

} // namespace

std::string DeviceChecks::identity(const std::string& devicePath)
{
    std::error_code error;
    const auto real = std::filesystem::weakly_canonical(devicePath, error);
    return error ? devicePath : real.string();
}

OpenResult DeviceChecks::beforeOpening(const std::string& devicePath, const std::string& name)
{
    // Classify what the port layer would only call "not found" or "permission": the file system tells
    // the causes apart, and a user needs to know which one to fix.
    struct stat st
    {
    };
    if (::stat(devicePath.c_str(), &st) != 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return refuse(OpenError::NoSuchDevice, name,
                          "no such device. Check the port name, and that the adapter is plugged in.");
        return refuse(OpenError::Other, name, std::strerror(errno));
    }
    if (!S_ISCHR(st.st_mode) || kernelSaysNotATerminal(st))
        return refuse(OpenError::NotSerialDevice, name, "this is not a serial device.");
    if (::access(devicePath.c_str(), R_OK | W_OK) != 0 && errno == EACCES)
        return refuse(OpenError::PermissionDenied, name, permissionAdvice(devicePath, st));

    return {};
}

} // namespace vantor::serial
