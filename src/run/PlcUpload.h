#pragma once

#include "record/UploadRecord.h"
#include "run/PlcListener.h"
#include "run/RunRecord.h"
#include "serial/PortSettings.h"
#include "upload/UploadProcedure.h"

#include <string>

namespace vantor::console {
class SerialConsole;
}

namespace vantor::run {

// One PLC's upload and its record, the same for every front end: the upload runs, the listener is
// told how it ended, then the result goes into the run's record file.
class PlcUpload
{
public:
    // The record of an upload as it starts, with now as its time: which port and PLC (its ID as the
    // frame renders it), which file (as given, and absolute: see absolutePath), the port's settings,
    // the response timeout in effect in ms, whether a reset was asked for, this machine's host and
    // user (record::MachineIdentity) and the run's stamp (its profile and tags).
    static record::UploadRecord newRecord(const std::string& port, const std::string& id,
                                          const std::string& file, const serial::PortSettings& settings,
                                          int timeoutMs, bool reset, const record::RecordStamp& stamp);
    // file made absolute against the working folder, without "." parts; ".." and links are left as
    // they are, since which file they reach is the system's to say. Empty for an empty file.
    static std::string absolutePath(const std::string& file);

    // Runs input's upload over console's exchange (the port is opened when it is not open yet),
    // reporting to listener, fills started in (outcome, records sent of the total, the file's SHA-256,
    // seconds, and why when it was not saved), tells listener.ended() and appends it to record when
    // given. Blocks on the calling thread for the whole upload and the record's lock wait.
    static record::UploadRecord run(console::SerialConsole& console, const upload::UploadInput& input,
                                    record::UploadRecord started, PlcListener& listener, RunRecord* record);

    // How every PLC's upload ends, run or not (the file was refused, the port was not openable for the
    // PLC before): listener.ended(result, explained), the record file when given, listener.recorded().
    static void end(const record::UploadRecord& result, bool explained, PlcListener& listener,
                    RunRecord* record);
};

} // namespace vantor::run
