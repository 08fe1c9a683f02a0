#pragma once

namespace vantor::serial {

// Rates termios has no name for (14400, 250000), set and read back on Linux through the kernel's
// termios2 and BOTHER. Kept apart because <asm/termbits.h> cannot share a translation unit with
// <termios.h>. Linux only; calls on one descriptor come from the thread that drives it.
class LinuxCustomSpeed
{
public:
    // The rates set this way, in bits per second: the bounds take every rate a real UART or USB
    // adapter makes, and keep out typing slips such as 96000000.
    static constexpr int lowestRate = 50;
    static constexpr int highestRate = 4000000;

    // Sets fd's input and output rate to rate bits per second, leaving every other setting as it is.
    // Returns 0 when the driver took it (it may round it: rate() says what it made), else the errno
    // (EINVAL: a rate the driver cannot make; ENOTTY: not a terminal).
    static int setRate(int fd, int rate);

    // The output rate fd runs at, in bits per second, named rates included; 0 when it cannot tell.
    static int rate(int fd);
};

} // namespace vantor::serial
