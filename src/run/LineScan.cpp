#include "run/LineScan.h"

#include "console/SerialConsole.h"
#include "hostlink/ControlText.h"
#include "hostlink/Frame.h"
#include "hostlink/TimeoutText.h"

#include <set>
#include <utility>

namespace vantor::run {

namespace {

using hostlink::ExchangeResult;
using hostlink::ExchangeStatus;

// What a link test brought back.
struct Reply
{
    ExchangeResult result; // Response: the line, joined across both waits; else why none came
    ExchangeResult stray;  // the first wait's, when it brought bytes without a line end
    bool late = false;     // the line ended after its wait had (or never, yet is a PLC's echo)
    // Bytes without a line end through both waits, and more than a drip: the line never fell quiet for
    // a wait. A byte now and then (noise, an answer dribbling in) is not one.
    static constexpr std::uint64_t floodBytes = 32;
    bool flood() const
    {
        return stray.strayBytes > 0 && result.strayBytes > 0 &&
               stray.strayBytes + result.strayBytes >= floodBytes;
    }
};

// Where the wait brought bytes without a line end, one more wait: the rest of an answer that came a
// little late is read now and joined to its start, before the next ID is asked (and not taken for
// that ID's answer). Bytes followed by quiet stay no response.
void finishLine(console::SerialConsole& console, const std::string& idHex, Reply* reply)
{
    if (reply->result.strayBytes == 0)
        return;
    reply->stray = reply->result;
    reply->result = console.exchange().readFollowing();
    if (reply->flood() || reply->result.status == ExchangeStatus::Interrupted || reply->result.portFailed())
        return;
    // Of very many first bytes, the first strayShownBytes are kept: enough to tell a PLC's echo.
    const std::string line = reply->stray.strayStart + reply->result.response;
    std::string answeredAs;
    // A bare line end after the first wait is no response of its own; a PLC's echo before it is one.
    if (reply->result.hasResponse() || LineScan::classify(line, idHex, &answeredAs) != "garbled") {
        reply->result = {ExchangeStatus::Response, line};
        reply->late = true;
    }
}

// The link test of one ID, with the line's own copy of the frame skipped where the line echoes.
Reply ask(console::SerialConsole& console, std::int16_t id)
{
    const std::string frame = hostlink::Frame::build(id, "C2");
    const std::string idHex = hostlink::Frame::renderHex(id);
    Reply reply;
    reply.result = console.sendCommand(frame);
    finishLine(console, idHex, &reply);
    const std::string& response = reply.result.response;
    if (reply.result.status != ExchangeStatus::Response || response.compare(0, frame.size(), frame) != 0)
        return reply;
    // The frame itself came back: the line echoes. A PLC's answer, if any, follows it.
    console.exchange().setLineEchoes(true);
    if (response.size() == frame.size()) {
        reply = Reply();
        reply.result = console.exchange().readFollowing();
        finishLine(console, idHex, &reply);
        return reply;
    }
    std::size_t answer = frame.size();
    while (answer < response.size() && (response[answer] == '\r' || response[answer] == '\n'))
        ++answer;
    reply.result = {ExchangeStatus::Response, response.substr(answer)};
    return reply;
}

// Bytes without a line end while idHex was asked, in the upload's words.
std::string strayText(const std::string& where, const std::string& idHex, std::uint64_t bytes,
                      const std::string& start)
{
    return where + ": while ID " + idHex + " was asked, " + std::to_string(bytes) +
           (bytes == 1 ? " byte" : " bytes") + " came back without a line end (CR or CR LF), " +
           (bytes > start.size() ? "starting \"" : "\"") + hostlink::ControlText::escape(start) + "\"";
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

void LineScan::run(const Line& line, const std::vector<int>& bauds, const std::vector<std::int16_t>& ids,
                   const serial::StopToken& stop, const Sink& sink)
{
    console::SerialConsole console(line.catalog ? line.catalog() : serial::PortCatalog(), stop);
    console.setPortName(line.port);
    console.setSettings(line.settings);
    console.setTimeoutText(line.timeoutText);
    if (line.setUp)
        line.setUp(console);
    console.setLogSink([](const std::string&) {});
    console.setErrorSink([](const std::string&) {});
    console.setWarningSink([&sink, &line](const std::string& text) { sink.note(line.port + ": " + text); });
    for (const int baud : bauds) {
        serial::PortSettings settings = line.settings;
        settings.baudRate = baud;
        console.closePort();
        console.setSettings(settings);
        console.exchange().setLineEchoes(false);
        if (stop.requested() || !console.openPort()) {
            if (!stop.requested())
                sink.note(console.lastPortProblem());
            return;
        }
        scanAt(console, line.port, baud, ids, stop, sink);
        if (stop.requested() || !console.isOpen())
            return;
    }
}

ScanReply LineScan::replyOf(const std::string& response, const std::string& portName, int baud,
                            const std::string& idHex, const std::string& where, const Sink& sink)
{
    ScanReply reply{portName, baud, idHex, "", "", response};
    reply.kind = classify(response, idHex, &reply.answeredAs);
    // Noise just before an answer (a stray byte, then the echo) leaves the echo at its last "@".
    const std::size_t at = response.rfind('@');
    if (reply.kind != "garbled" || at == std::string::npos || at == 0)
        return reply;
    std::string answeredAs;
    const std::string kind = classify(response.substr(at), idHex, &answeredAs);
    if (kind == "garbled")
        return reply;
    sink.note(where + ": while ID " + idHex + " was asked, " + std::to_string(at) +
              (at == 1 ? " byte" : " bytes") + " of noise (\"" +
              hostlink::ControlText::escape(response.substr(0, at)) +
              "\") came before the answer; the scan goes on");
    reply.kind = kind;
    reply.answeredAs = answeredAs;
    return reply;
}

void LineScan::scanAt(console::SerialConsole& console, const std::string& portName, int baud,
                      const std::vector<std::int16_t>& ids, const serial::StopToken& stop, const Sink& sink)
{
    const std::string where = portName + " at " + std::to_string(baud);
    std::set<std::string> unanswered; // asked at this baud, no reply yet: a late reply may be theirs
    std::size_t replies = 0;
    bool saidLate = false;
    for (const std::int16_t id : ids) {
        if (stop.requested())
            return;
        const std::string idHex = hostlink::Frame::renderHex(id);
        sink.at(baud, idHex);
        const Reply got = ask(console, id);
        if (got.result.status == ExchangeStatus::Interrupted)
            return;
        if (got.result.portFailed()) {
            sink.note(console.lastPortProblem());
            return;
        }
        if (got.flood()) {
            sink.note(
                strayText(where, idHex, got.stray.strayBytes + got.result.strayBytes, got.stray.strayStart) +
                ", and more kept coming: the line floods, or its baud rate or parity is not the PLC's; "
                "the rest of the IDs at this baud rate were not asked");
            return;
        }
        if (!got.result.hasResponse()) {
            if (got.stray.strayBytes > 0)
                sink.note(strayText(where, idHex, got.stray.strayBytes, got.stray.strayStart) +
                          ", then quiet: taken for noise on the line; the scan goes on");
            unanswered.insert(idHex);
            continue;
        }
        ScanReply reply = replyOf(got.result.response, portName, baud, idHex, where, sink);
        if (reply.kind == "echo" && got.late) {
            reply.kind = "late";
        } else if (reply.kind == "other-id" && unanswered.erase(reply.answeredAs) > 0) {
            // The answer of an ID asked before, which came after its wait had ended.
            reply.kind = "late";
            reply.id = reply.answeredAs;
            unanswered.insert(idHex);
        }
        if (reply.kind == "late" && !std::exchange(saidLate, true))
            sink.note(where + ": PLC " + reply.id + " answered after its " +
                      std::to_string(hostlink::TimeoutText::effectiveMs(
                          console.exchange().timeoutText(), hostlink::CommandExchange::responseFallbackMs)) +
                      " ms had passed: give a longer --timeout");
        ++replies;
        sink.reply(reply);
    }
    if (replies == 0 && console.exchange().lineEchoes())
        sink.note(where + ": the line only returned what was sent, and nothing answered after it: a "
                          "loopback plug, or an adapter with echo and no PLC behind it");
}

} // namespace vantor::run
