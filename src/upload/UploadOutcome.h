#pragma once

namespace vantor::upload {

enum class UploadOutcome {
    Completed,         // every record echoed, and the PLC echoed an "IR" poll after the save
    SaveNotConfirmed,  // every record echoed, but none of the "IR" polls was
    ResetNotConfirmed, // saved and confirmed, but nothing answered the reset that was asked for
    FileNotReadable,   // nothing sent
    FileRejected,      // empty file, wrong header or an overlong line; nothing sent
    PlcIdRejected,     // more than four hex digits; nothing sent
    PortNotOpenable,   // nothing sent
    NoLinkResponse,    // "C2" not echoed; nothing else sent
    Aborted,           // a record not echoed; nothing sent after it
    PortLost,          // the port failed midway; nothing sent after it
    FileChanged,       // the file's bytes differed between the check and the sending; no "CS" sent
    Interrupted,       // the caller asked to stop; nothing sent after that, and never "CS"
    LinkAnswered,      // a dry run: "C2" was echoed, and nothing else was sent, as asked
};

} // namespace vantor::upload
