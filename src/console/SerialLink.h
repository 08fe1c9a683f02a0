#pragma once

#include "console/OpenResult.h"
#include "console/ParityErrorFilter.h"
#include "console/PortSettings.h"
#include "hostlink/LinkPort.h"

#include <memory>
#include <optional>
#include <string>

class QSerialPort;

namespace vantor::console {

// The serial device under QSerialPort, used without an event loop: every wait blocks in
// waitForReadyRead / waitForBytesWritten. The port is opened for this program alone (a lock file
// and an exclusive open), with no flow control; DTR and RTS are raised, which adapters and PLCs that
// take their power or "host present" signal from them expect.
//
// Any read or write error (an unplugged adapter, a hang-up) closes the port and is reported as lost;
// the next open() starts afresh.
class SerialLink
{
public:
    SerialLink();
    ~SerialLink();

    // displayName names the port in messages ("COM 1", "/dev/ttyUSB0").
    OpenResult open(const std::string& devicePath, const std::string& displayName,
                    const PortSettings& settings);
    void close();
    bool isOpen() const;

    // Sends everything, waiting for it to leave (up to 5 s). False when the port failed or is closed.
    bool write(const std::string& bytes);
    // See hostlink::LinkPort::read.
    hostlink::PortRead read(int waitMs);

    // What the device actually runs at, read back from it after opening; nothing when it cannot tell.
    std::optional<PortSettings> appliedSettings() const;

    // Why the port was lost, as a sentence; empty until it happens.
    const std::string& lostMessage() const { return lostMessage_; }

private:
    void lose(const std::string& what);

    std::unique_ptr<QSerialPort> port_;
    std::string displayName_;
    std::string lostMessage_;
    bool markParityErrors_ = false;
    ParityErrorFilter parityFilter_;
};

} // namespace vantor::console
