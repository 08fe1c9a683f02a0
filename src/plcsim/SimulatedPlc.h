#pragma once

#include "plcsim/PlcFaults.h"
#include "plcsim/RecordWindow.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace vantor::plcsim {

// Something the PLC does in answer to what it received.
struct PlcAction
{
    enum class Kind { Write, HangUp, Flood };
    Kind kind = Kind::Write;
    int delayMs = 0; // pause before this action
    std::string bytes;
};

// The PLC's side of the host link, as the uploader relies on it:
// - a lone ENQ (one that does not sit inside a line) is answered with ENQ;
// - a line starting with "@" is a frame; one addressed to this PLC with a correct FCS is answered
//   with "@" + ID + two-character code + "00" + FCS + "*" and the line end; a frame for another ID
//   or with a wrong FCS gets no answer, as on a multi-drop line;
// - other lines (commands typed after the ENQ handshake) are answered with the line itself;
// - record frames (CZ, CF, Wm, Wu, CT, WF) are kept in a program memory of programCapacity records;
//   "C2" starts a new program, "CS" saves it and leaves the PLC busy for PlcFaults::busyPolls "IR"
//   polls. A record beyond the capacity is refused with "@" + ID + "MF" (memory full) + FCS + "*",
//   which is no echo, and the program is marked overfull: a "CS" then saves nothing.
// - a line longer than maxLineBytes is dropped unanswered, as a receive buffer overrun would.
// Every CR-terminated line counts as one frame for the stop and hang-up faults; the answers to frames
// are counted from 1 for the wrong-FCS and end-code faults.
//
// Like a real PLC it holds bounded state whatever it is sent, a few MiB: of each of its two programs
// the counts, digests and the most recent records (recordWindowBytes for each, shared by the PLCs on
// the line), counters, the most recent lines (recentLines, at most recentBytes) and the line being
// received (maxLineBytes).
//
// It may also stand for several PLCs sharing one multi-drop line, each with its own ID and its own
// two programs; a frame is answered by the PLC it addresses, and the faults apply to the line.
class SimulatedPlc
{
public:
    static constexpr std::size_t programCapacity = 65536; // records
    static constexpr std::size_t maxLineBytes = 128 * 1024;
    static constexpr std::size_t recentLines = 256;
    static constexpr std::size_t recentBytes = 1u << 20;       // as RecordWindow counts them
    static constexpr std::size_t recordWindowBytes = 4u << 20; // of records kept, for each program
    static constexpr const char* memoryFullCode = "MF";

    explicit SimulatedPlc(std::int16_t id = 1, PlcFaults faults = {});
    // PLCs with these IDs on one line (at least one; IDs as Frame::renderHex renders them must not
    // repeat).
    SimulatedPlc(const std::vector<std::int16_t>& ids, PlcFaults faults);

    // Takes the bytes the host wrote; returns what the PLC and the line do about them. seen, if
    // given, is called with every complete line received, in order.
    std::vector<PlcAction> receive(const std::string& bytes,
                                   const std::function<void(const std::string&)>& seen = {});

    // A new client on the line (over TCP, a new connection): a line the last one left unfinished is
    // dropped, not joined to the new client's first.
    void startConnection()
    {
        line_.clear();
        lineOverrun_ = false;
    }

    // The first PLC's ID; the program accessors below are the first PLC's too.
    std::int16_t id() const { return plcs_.front().id; }
    // Every PLC's ID on the line, in order.
    std::vector<std::int16_t> ids() const
    {
        std::vector<std::int16_t> all;
        for (const Plc& plc : plcs_)
            all.push_back(plc.id);
        return all;
    }
    const PlcFaults& faults() const { return faults_; }
    // The most recent lines received (at most recentLines, as many as fit recentBytes), without their
    // CR, oldest first.
    std::vector<std::string> frames() const { return {recent_.begin(), recent_.end()}; }
    // Every line received, counted, for traffic too long for the window.
    std::int64_t frameCount() const { return frameCount_; }
    // How many "CS" frames were accepted.
    int saveCount() const { return plcs_.front().saveCount; }
    // Command texts (code and payload) of the record frames since the last "C2", oldest first: the
    // most recent of them, every one while they fit the PLC's share of recordWindowBytes (tens of
    // thousands of short records); received() counts and digests them all.
    std::vector<std::string> records() const { return received().records(); }
    // The records as of the last "CS", of the PLC with this ID (empty for an ID not on the line), as
    // records() keeps them; saved() counts and digests them all.
    std::vector<std::string> savedProgram() const { return saved().records(); }
    std::vector<std::string> savedProgram(std::int16_t id) const { return saved(id).records(); }
    // The program being received (since the last "C2") and the one saved by the last "CS", whole in
    // count and digest.
    const RecordWindow& received() const { return plcs_.front().records; }
    const RecordWindow& saved() const { return plcs_.front().saved; }
    const RecordWindow& saved(std::int16_t id) const;
    // What the PLC says when it talks unasked: the text of PlcFaults::unaskedText and its line end;
    // empty when it does not talk unasked, or hung up.
    std::string unaskedWords() const;
    int enqCount() const { return enqCount_; }
    bool hungUp() const { return hungUp_; }

    static bool isRecordCode(const std::string& code);

private:
    std::vector<PlcAction> handleLine(const std::string& line);
    // Counts a line received and keeps it among the recent ones.
    void count(const std::string& line);
    // The answer to line, with endCode in an echo of a frame.
    std::string answerFor(const std::string& line, const std::string& endCode);
    // One PLC on the line: its ID and its programs.
    struct Plc
    {
        Plc(std::int16_t plcId, std::size_t windowBytes) : id(plcId), records(windowBytes), saved(windowBytes)
        {}
        std::int16_t id;
        RecordWindow records;
        bool overfull = false;
        RecordWindow saved;
        int saveCount = 0;
        int busyLeft = 0;
    };
    // The answer of plc to a frame addressed to it with a correct FCS.
    std::string answerCommand(Plc& plc, const std::string& command, const std::string& endCode);
    std::vector<PlcAction> deliver(std::string text) const;
    // text with the line end the faults ask for.
    std::string withLineEnd(std::string text) const;

    std::vector<Plc> plcs_;
    PlcFaults faults_;
    std::string line_;
    bool lineOverrun_ = false;
    std::deque<std::string> recent_;
    std::size_t recentHeld_ = 0; // what recent_ costs, as RecordWindow counts
    std::int64_t frameCount_ = 0;
    std::int64_t frameAnswers_ = 0;
    int enqCount_ = 0;
    bool hungUp_ = false;
};

} // namespace vantor::plcsim
