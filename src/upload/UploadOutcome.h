#pragma once

namespace vantor::upload {

enum class UploadOutcome {
    Completed,        // every record echoed, and the PLC echoed an "IR" poll after the save
    SaveNotConfirmed, // every record echoed, but none of the "IR" polls was
    FileNotReadable,  // nothing sent
    FileRejected,     // empty file or wrong header; nothing sent
    PlcIdRejected,    // more than four hex digits; nothing sent
    PortNotOpenable,  // nothing sent
    NoLinkResponse,   // "C2" not echoed; nothing else sent
    Aborted,          // a record not echoed; nothing sent after it
    PortLost,         // the port failed midway; nothing sent after it
};

} // namespace vantor::upload
