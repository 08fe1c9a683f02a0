#pragma once

#include "plcsim/PlcFaults.h"

#include <cstdint>
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
// - record frames (CZ, CF, Wm, Wu, CT, WF) are kept; "C2" starts a new program, "CS" saves it and
//   leaves the PLC busy for PlcFaults::busyPolls "IR" polls.
// Every CR-terminated line counts as one frame for the stop and hang-up faults.
class SimulatedPlc
{
public:
    explicit SimulatedPlc(std::int16_t id = 1, PlcFaults faults = {});

    std::vector<PlcAction> receive(const std::string& bytes);

    std::int16_t id() const { return id_; }
    const PlcFaults& faults() const { return faults_; }
    // Every line received, without its CR, in order.
    const std::vector<std::string>& frames() const { return frames_; }
    // Command texts (code and payload) of the record frames since the last "C2".
    const std::vector<std::string>& records() const { return records_; }
    // The records as of the last "CS".
    const std::vector<std::string>& savedProgram() const { return saved_; }
    int enqCount() const { return enqCount_; }
    bool hungUp() const { return hungUp_; }

    static bool isRecordCode(const std::string& code);

private:
    std::vector<PlcAction> handleLine(const std::string& line);
    std::string answerFor(const std::string& line);
    std::vector<PlcAction> deliver(std::string text) const;

    std::int16_t id_;
    PlcFaults faults_;
    std::string line_;
    std::vector<std::string> frames_;
    std::vector<std::string> records_;
    std::vector<std::string> saved_;
    int busyLeft_ = 0;
    int enqCount_ = 0;
    bool hungUp_ = false;
};

} // namespace vantor::plcsim
