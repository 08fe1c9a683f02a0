#pragma once

#include "cli/PortOptions.h"
#include "serial/StopToken.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vantor::console {
class SerialConsole;
}

namespace vantor::cli {

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

// Looks for PLCs on one line: at each baud rate in turn, the link test ("C2", which changes nothing
// in a PLC's saved program) to each ID, one after another, since a shared line is one conversation.
// Each exchange is bounded by the timeout (and a flood by the port layer's read limit), so the whole
// scan is too. Bytes that come back without a line end get one more wait of the timeout before the
// next ID is asked: an answer whose end comes then is that PLC's, late; bytes followed by quiet are
// noise, said, and the scan goes on. A flood is bytes without a line end through both waits, the
// line never quiet for a timeout: it is said, and the rest of that baud rate left. A line that hangs
// up, and a port that cannot be opened (in use included: it is never waited for), is said once and
// left. A line that echoes what is sent is followed as the upload follows it. Runs on the caller's
// thread; stop is asked before each ID and during waits.
class LineScan
{
public:
    struct Sink
    {
        std::function<void(const ScanReply&)> reply;             // every reply, as it comes
        std::function<void(const std::string&)> note;            // a diagnostic sentence, naming the line
        std::function<void(int baud, const std::string& id)> at; // about to ask this ID
    };

    static void run(const PortOptions& port, const std::vector<int>& bauds,
                    const std::vector<std::int16_t>& ids, const serial::StopToken& stop, const Sink& sink);

    // The reply's kind for a link test of idHex: "echo", "other-id" (with the ID in *answeredAs), or
    // "garbled".
    static std::string classify(const std::string& reply, const std::string& idHex, std::string* answeredAs);

private:
    // The IDs at one baud rate, the port open with it.
    static void scanAt(console::SerialConsole& console, const std::string& portName, int baud,
                       const std::vector<std::int16_t>& ids, const serial::StopToken& stop, const Sink& sink);
};

} // namespace vantor::cli
