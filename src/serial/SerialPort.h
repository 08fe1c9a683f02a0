#pragma once

#include "serial/Port.h"

#include <memory>
#include <optional>
#include <string>

namespace vantor::serial {

// One serial device, opened for this program alone, with no flow control. POSIX systems drive it
// through termios and poll(), Windows through a plain (not overlapped) handle; nothing else is needed.
//
// Opening respects every lock other programs use: on POSIX the lock files in /run/lock (or
// /var/lock), both the "PID" and the "PID name user" form, named after the device's real path so that
// aliases lock the same device; flock() on the open device; and TIOCEXCL. Windows opens the port
// exclusively, and our programs also claim it by name (a mutex), since not every COM port refuses a
// second opening. A busy port is refused at once, naming the holder where the system tells.
//
// The settings are applied, then read back (appliedSettings()); characters received with a parity
// or framing error arrive as "?"; DTR and RTS are set as the settings ask. On Linux a USB adapter's
// low-latency mode is switched on while the port is open and restored on close, where the driver has
// one. Closing restores the terminal settings the device had, releases every lock and removes the
// lock file.
//
// Any read or write failure (an unplugged adapter, a hang-up) closes the port and is reported as
// lost; the next open() starts afresh. Not thread-safe: one thread drives a port.
class SerialPort : public Port
{
public:
    SerialPort();
    ~SerialPort() override;
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    void close() override;
    bool isOpen() const override;

    bool write(const std::string& bytes) override;
    PortRead read(int waitMs) override;

    // What the open device actually runs at, read back from it; nothing when it cannot tell.
    std::optional<PortSettings> appliedSettings() const override;

    // Whether open() can ask a device for rate bits per second. Linux: any rate from 50 to 4000000,
    // the ones termios names through their codes and the others through termios2; the driver may round
    // a rate (appliedSettings() tells the one in use) or refuse it when the port opens, naming the
    // settings. Other POSIX systems: only the rates termios names (50 to 921600). Windows: any positive
    // rate, which the driver may still refuse when the port opens (SetCommState), naming the settings.
    static bool canSetBaudRate(int rate);
    // The rates canSetBaudRate() takes, in words that follow "it takes": "any whole number of bits
    // per second from 50 to 4000000 ...", or "50, 75, ... or 921600" where only named rates are set.
    static std::string settableBaudRates();

protected:
    // A device without modem lines (a pseudo-terminal) refuses to set one, saying so; its break is
    // taken and does nothing. A device that fails meanwhile is lost.
    Result<> changeModemLine(ModemLine line, bool on) override;
    Result<> holdBreak(int ms) override;
    // devicePath: "/dev/ttyUSB0", or "COM3" on Windows. displayName names the port in messages
    // ("COM 1"). Closes the port first if it is open. Never waits for a busy port.
    OpenResult openDevice(const std::string& devicePath, const std::string& displayName,
                          const PortSettings& settings) override;

private:
    struct Device; // the platform's handle and what to restore on close
    // Closes, names the port for messages ("COM 1 (COM1)") in *name, and refuses what cannot be a
    // serial port before anything is opened (ok() when it may be tried).
    OpenResult startOpening(const std::string& devicePath, const std::string& displayName, std::string* name);
    void lose(const std::string& what);
    // What a port control that failed (what: "set DTR"; error: the system's code) comes to; a device
    // that went away is lost.
    Result<> controlFailed(const std::string& what, int error);

    std::unique_ptr<Device> device_;
    std::string displayName_;
};

} // namespace vantor::serial
