#pragma once

#include "serial/Port.h"

#include <string>

namespace vantor::serial {

// The port of a name that names no device now (a usb: name no adapter plugged in matches, or more
// than one does): never open, its opening refused with the reason it was made with.
class UnresolvedPort : public Port
{
public:
    // error and message are what every opening returns (message a full sentence).
    UnresolvedPort(OpenError error, std::string message) : error_(error), message_(std::move(message)) {}

    void close() override {}
    bool isOpen() const override { return false; }
    bool write(const std::string&) override { return false; }
    PortRead read(int) override { return {{}, true}; }
    std::optional<PortSettings> appliedSettings() const override { return std::nullopt; }

protected:
    OpenResult openDevice(const std::string&, const std::string&, const PortSettings&) override
    {
        return {error_, message_};
    }

private:
    OpenError error_;
    std::string message_;
};

} // namespace vantor::serial
