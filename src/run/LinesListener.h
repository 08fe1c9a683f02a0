#pragma once

#include "run/PlcListener.h"
#include "upload/FileCheck.h"

#include <memory>
#include <string>

namespace vantor::run {

// What a front end shows of an upload over one or several lines (FleetUpload). Called from every
// line's thread at once: an implementation keeps its output in order itself.
class LinesListener
{
public:
    virtual ~LinesListener() = default;
    // The listener for the upload to PLC id (as the frame renders it) on port; used on that line's
    // thread until its ended() returns.
    virtual std::unique_ptr<PlcListener> plc(const std::string& port, const std::string& id) = 0;
    // A line of a port's console: its opening, or a warning.
    virtual void log(const std::string& line, bool warning) = 0;
    // The file was refused before anything was sent (check says why), on the calling thread; each
    // PLC's ended() follows, explained.
    virtual void fileRefused(const upload::FileCheck& check) = 0;
    // Why a PLC's upload did not start, for its record, when the file was refused.
    virtual std::string refusedReason(const upload::FileCheck& check) const
    {
        return check.caption + " (nothing was sent)";
    }
};

} // namespace vantor::run
