#pragma once

#include "serial/PortSettings.h"
#include "serial/Result.h"
#include "serial/StopToken.h"

#include <cstddef>
#include <string>
#include <vector>

namespace vantor::record {

// What a record file says of one program: for each PLC (port as recorded, ID) that has a result line
// for the program's SHA-256, the last such line, "last" as the file's order of lines (the order they
// were appended in, or sorted by time where records were merged). Reading is not writing: the file
// may be anyone's (a shared or merged record, another user's), and none of RecordFile's checks for
// appending apply; it is only read, and only when it is a regular file (a FIFO or device under the
// name would hold the run or feed it without end). A large file is read in pieces, never whole:
// memory grows with the PLCs, not the lines. A line that is no result line of this tool (not JSON,
// another tool's, another schema, a result without port, id, outcome or sha256, or longer than
// maxLineBytes) is skipped and counted, never fatal. Pure reading: nothing printed; blocks on the disk
// on the calling thread, asking stop between pieces.
class RecordHistory
{
public:
    static constexpr std::size_t maxLineBytes = 1024 * 1024;

    // One PLC's last result line for the program.
    struct Last
    {
        std::string port; // as the record has it
        std::string id;
        std::string outcome;           // "saved", "no-link-response", ...
        std::string time;              // as the line has it; empty when it has none
        std::size_t line = 0;          // its number in the file, from 1
        serial::PortSettings settings; // the line's, when it has them (hasSettings)
        bool hasSettings = false;
        bool saved() const { return outcome == "saved"; }
    };
    struct Read
    {
        std::vector<Last> plcs;        // in the order each PLC first appears
        std::size_t lines = 0;         // in the file
        std::size_t forProgram = 0;    // result lines of this program
        std::size_t otherPrograms = 0; // result lines of another program (or of a file not read through)
        std::size_t skipped = 0;       // no result line of this tool
        std::size_t firstSkipped = 0;  // the first of those, by its number; 0: none
        bool stopped = false;          // stop asked before the end: what was read so far
    };

    // Reads the file at path (UTF-8 on Windows) for sha256 (lower-case hex). Fails, with words that may
    // follow "cannot read the record PATH: ", when it is missing, no regular file or unreadable.
    static serial::Result<> read(const std::string& path, const std::string& sha256, Read* read,
                                 const serial::StopToken& stop = {});
    // Takes one line (without its line feed) into read, as read() does each; lineNumber from 1.
    static void take(const std::string& line, std::size_t lineNumber, const std::string& sha256, Read* read);
};

} // namespace vantor::record
