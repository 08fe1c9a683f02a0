#pragma once

#include "run/ScanReply.h"
#include "serial/PortCatalog.h"
#include "serial/PortSettings.h"
#include "serial/StopToken.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vantor::console {
class SerialConsole;
}

namespace vantor::run {

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

    // The line to scan: its port, its settings but for the baud rate, and the timeout of each wait.
    struct Line
    {
        std::string port;
        serial::PortSettings settings;
        std::string timeoutText; // as the console's box takes it
        // The front end's own names (SIM), and its own set-up of the console (a trace); may be empty.
        std::function<serial::PortCatalog()> catalog;
        std::function<void(console::SerialConsole&)> setUp;
    };

    static void run(const Line& line, const std::vector<int>& bauds, const std::vector<std::int16_t>& ids,
                    const serial::StopToken& stop, const Sink& sink);

    // The reply's kind for a link test of idHex: "echo", "other-id" (with the ID in *answeredAs), or
    // "garbled".
    static std::string classify(const std::string& reply, const std::string& idHex, std::string* answeredAs);

private:
    // The reply to idHex's link test, its kind told and noise before it said.
    static ScanReply replyOf(const std::string& response, const std::string& portName, int baud,
                             const std::string& idHex, const std::string& where, const Sink& sink);
    // The IDs at one baud rate, the port open with it.
    static void scanAt(console::SerialConsole& console, const std::string& portName, int baud,
                       const std::vector<std::int16_t>& ids, const serial::StopToken& stop, const Sink& sink);
};

} // namespace vantor::run
