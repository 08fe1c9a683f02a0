// Only the kernel's own terminal structures here: glibc's <termios.h> defines the same names with
// another layout.
#include "serial/LinuxCustomSpeed.h"

#include <asm/termbits.h>
#include <cerrno>
#include <sys/ioctl.h>

namespace vantor::serial {

int LinuxCustomSpeed::setRate(int fd, int rate)
{
    termios2 tio{};
    if (::ioctl(fd, TCGETS2, &tio) != 0)
        return errno;
    // BOTHER in both the output and the input field: each runs at its own speed field, not at a code.
    tio.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT));
    tio.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    tio.c_ispeed = static_cast<speed_t>(rate);
    tio.c_ospeed = static_cast<speed_t>(rate);
    return ::ioctl(fd, TCSETS2, &tio) == 0 ? 0 : errno;
}

int LinuxCustomSpeed::rate(int fd)
{
    // The kernel fills the speed fields with the rate in use whatever the code, so this reads named
    // rates too.
    termios2 tio{};
    if (::ioctl(fd, TCGETS2, &tio) != 0)
        return 0;
    return static_cast<int>(tio.c_ospeed);
}

} // namespace vantor::serial
