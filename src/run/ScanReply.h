#pragma once

#include <string>

namespace vantor::run {

// What answered the link test of one ID on one line at one baud rate.
struct ScanReply
{
    std::string port;
    int baud = 0;
    std::string id;         // the ID asked for, as the frame carries it
    std::string kind;       // "echo": that PLC; "late": that PLC, answering after its wait had ended;
                            // "other-id": a PLC answered as answeredAs (two PLCs sharing an ID, or
                            // a wrong ID in the PLC); "garbled": a line that is no echo
    std::string answeredAs; // the ID in the reply, for "echo" and "other-id"
    std::string reply;      // the reply line as it came, without its line end

    bool found() const { return kind == "echo" || kind == "late"; }
};

} // namespace vantor::run
