#include "cli/LineScan.h"

#include "console/SerialConsole.h"
#include "hostlink/ControlText.h"
#include "hostlink/Frame.h"
#include "hostlink/TimeoutText.h"

#include <set>
#include <utility>

namespace vantor::cli {

namespace {

using hostlink::ExchangeResult;
using hostlink::ExchangeStatus;

// The link test of one ID, with the line's own copy of the frame skipped where the line echoes.
ExchangeResult linkTest(console::SerialConsole& console, const std::string& frame)
{
    ExchangeResult result = console.sendCommand(frame);
    if (result.status != ExchangeStatus::Response || result.response.compare(0, frame.size(), frame) != 0)
        return result;
    // The frame itself came back: the line echoes. A PLC's answer, if any, follows it.
    console.exchange().setLineEchoes(true);
    if (result.response.size() == frame.size())
        return console.exchange().readFollowing();
    std::size_t answer = frame.size();
    while (answer < result.response.size() &&
           (result.response[answer] == '\r' || result.response[answer] == '\n'))
        ++answer;
    return {ExchangeStatus::Response, result.response.substr(answer)};
}

// What came back when no line ended, in the upload's words.
std::string strayText(const std::string& where, const ExchangeResult& result)
{
    return where + ": " + std::to_string(result.strayBytes) +
           " bytes came back without a line end (CR or CR LF), starting \"" +
           hostlink::ControlText::escape(result.strayStart) +
           "\": check that the baud rate and parity match the PLC's; the rest of the IDs at this baud rate "
           "were not asked";
}

} // namespace

std::string LineScan::classify(const std::string& reply, const std::string& idHex, std::string* answeredAs)
{
    // "@", an ID of 2 to 4 hex digits, the code. The code's letters may be hex digits too ("C2"), so
    // the asked-for ID's own length is tried first.
    std::vector<std::size_t> lengths{idHex.size()};
    for (const std::size_t digits : {std::size_t{2}, std::size_t{3}, std::size_t{4}})
        lengths.push_back(digits);
    for (const std::size_t digits : lengths) {
        if (reply.size() < 1 + digits + 2 || reply[0] != '@' ||
            reply.find_first_not_of("0123456789ABCDEF", 1) < 1 + digits ||
            reply.compare(1 + digits, 2, "C2") != 0)
            continue;
        *answeredAs = reply.substr(1, digits);
        return *answeredAs == idHex ? "echo" : "other-id";
    }
    answeredAs->clear();
    return "garbled";
}

void LineScan::run(const PortOptions& port, const std::vector<int>& bauds,
                   const std::vector<std::int16_t>& ids, const std::function<bool()>& stop, const Sink& sink)
{
    console::SerialConsole console(PortOptions::catalog());
    port.applyTo(console);
    console.setLogSink([](const std::string&) {});
    console.setErrorSink([](const std::string&) {});
    console.setWarningSink(
        [&sink, &port](const std::string& line) { sink.note(port.portName + ": " + line); });
    console.exchange().setStopCheck(stop);
    for (const int baud : bauds) {
        serial::PortSettings settings = port.settings;
        settings.baudRate = baud;
        console.closePort();
        console.setSettings(settings);
        console.exchange().setLineEchoes(false);
        if (stop() || !console.openPort()) {
            if (!stop())
                sink.note(console.lastPortProblem());
            return;
        }
        scanAt(console, port.portName, baud, ids, stop, sink);
        if (stop() || !console.isOpen())
            return;
    }
}

void LineScan::scanAt(console::SerialConsole& console, const std::string& portName, int baud,
                      const std::vector<std::int16_t>& ids, const std::function<bool()>& stop,
                      const Sink& sink)
{
    const std::string where = portName + " at " + std::to_string(baud);
    std::set<std::string> unanswered; // asked at this baud, no reply yet: a late reply may be theirs
    std::size_t replies = 0;
    bool saidLate = false;
    for (const std::int16_t id : ids) {
        if (stop())
            return;
        const std::string idHex = hostlink::Frame::renderHex(id);
        sink.at(baud, idHex);
        const ExchangeResult result = linkTest(console, hostlink::Frame::build(id, "C2"));
        if (result.status == ExchangeStatus::Interrupted)
            return;
        if (result.portFailed()) {
            sink.note(console.lastPortProblem());
            return;
        }
        if (result.strayBytes > 0) {
            sink.note(strayText(where, result));
            return;
        }
        if (!result.hasResponse()) {
            unanswered.insert(idHex);
            continue;
        }
        ScanReply reply{portName, baud, idHex, "", "", result.response};
        reply.kind = classify(result.response, idHex, &reply.answeredAs);
        if (reply.kind == "other-id" && unanswered.erase(reply.answeredAs) > 0) {
            // The answer of an ID asked before, which came after its wait had ended.
            reply.kind = "late";
            reply.id = reply.answeredAs;
            unanswered.insert(idHex);
            if (!std::exchange(saidLate, true))
                sink.note(
                    where + ": PLC " + reply.id + " answered after its " +
                    std::to_string(hostlink::TimeoutText::effectiveMs(
                        console.exchange().timeoutText(), hostlink::CommandExchange::responseFallbackMs)) +
                    " ms had passed, while the next ID was asked: give a longer --timeout");
        }
        ++replies;
        sink.reply(reply);
    }
    if (replies == 0 && console.exchange().lineEchoes())
        sink.note(where + ": the line only returned what was sent, and nothing answered after it: a "
                          "loopback plug, or an adapter with echo and no PLC behind it");
}

} // namespace vantor::cli
