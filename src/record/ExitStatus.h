#pragma once

namespace vantor::record::exitstatus {

// Exit statuses of the vantor tool; documented in the README. They are here, beside the record,
// because a record's status is the exit status an upload of that PLC alone would have had.
enum ExitStatus : int {
    Success = 0,
    NoResponse = 1,         // send: at least one command got no response
    UsageError = 2,         // bad command line
    FileNotReadable = 3,    // upload/check: the file cannot be opened or read
    FileRejected = 4,       // upload/check: empty file, or the header line is not accepted
    PlcIdRejected = 5,      // upload: the PLC ID has more than four hex digits
    PortNotOpenable = 6,    // the serial port cannot be opened
    NoLinkResponse = 7,     // upload: the PLC did not echo the link test
    UploadAborted = 8,      // upload: a record was not echoed; the upload stopped there
    SaveNotConfirmed = 9,   // upload: all records sent, but the PLC never confirmed the EEPROM save
    PortLost = 10,          // the port failed during the run (cable pulled, device gone)
    FileChanged = 11,       // upload: the file changed while it was being sent; the save was not asked for
    SomePlcsFailed = 12,    // upload to several PLCs: at least one was not saved (see the table or --json)
    ResetNotConfirmed = 13, // upload --reset: saved and confirmed, but nothing answered the reset
    RecordNotWritten = 14,  // upload --record: every upload went as its status says, but the record file
                            // could not be written (full disk, lock held by another process) during the run
    LinkAnswered = 15,      // upload --dry-run: the PLC echoed the link test; nothing else was sent (with
                            // several PLCs: every one of them did)
    InternalError = 70,
    OutputFailed = 74, // the command ran to its end, but standard output or error could not be written
    // A record's status for an upload the user stopped: Ctrl+C or another stop signal on the command
    // line, Stop, Esc or closing the window in the desktop program. One status for all of them, so a
    // record says "stopped by the user" whichever front end and whichever signal it was.
    StoppedByUser = 130,
    // The process stopped by a signal exits 128 + its number (130 for Ctrl+C, 143 for SIGTERM), see
    // StopSignals; its records still say StoppedByUser.
};

} // namespace vantor::record::exitstatus
