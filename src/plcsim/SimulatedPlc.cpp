#include "plcsim/SimulatedPlc.h"

#include "hostlink/Frame.h"

#include <algorithm>

namespace vantor::plcsim {

using hostlink::Frame;

SimulatedPlc::SimulatedPlc(std::int16_t id, PlcFaults faults)
    : SimulatedPlc(std::vector<std::int16_t>{id}, faults)
{}

SimulatedPlc::SimulatedPlc(const std::vector<std::int16_t>& ids, PlcFaults faults)
    : faults_(std::move(faults))
{
    // The PLCs share the budget, so that a line of thousands holds no more than a line of one.
    const std::size_t windowBytes = recordWindowBytes / std::max<std::size_t>(ids.size(), 1);
    plcs_.reserve(ids.size());
    for (const std::int16_t id : ids)
        plcs_.emplace_back(id, windowBytes);
    if (plcs_.empty())
        plcs_.emplace_back(1, windowBytes);
}

const RecordWindow& SimulatedPlc::saved(std::int16_t id) const
{
    static const RecordWindow none;
    for (const Plc& plc : plcs_) {
        if (plc.id == id)
            return plc.saved;
    }
    return none;
}

bool SimulatedPlc::isRecordCode(const std::string& code)
{
    static const char* const codes[] = {"CZ", "CF", "Wm", "Wu", "CT", "WF"};
    return std::any_of(std::begin(codes), std::end(codes), [&](const char* c) { return code == c; });
}

std::vector<PlcAction> SimulatedPlc::receive(const std::string& bytes,
                                             const std::function<void(const std::string&)>& seen)
{
    std::vector<PlcAction> actions;
    if (hungUp_)
        return actions;
    if (faults_.lineEcho || faults_.loopback)
        actions.push_back({PlcAction::Kind::Write, 0, bytes});
    std::vector<PlcAction> answers;
    for (char c : bytes) {
        if (hungUp_)
            break;
        if (c == '\x05' && line_.empty()) {
            ++enqCount_;
            if (!faults_.silent && !faults_.noEnqAnswer)
                answers.push_back({PlcAction::Kind::Write, faults_.delayMs, "\x05"});
        } else if (c == '\r') {
            if (seen)
                seen(line_);
            if (faults_.loopbackAfterFrames >= 0 && frameCount_ >= faults_.loopbackAfterFrames) {
                // Unplugged: the line is heard, but only the host's own bytes come back.
                count(line_);
                answers.push_back({PlcAction::Kind::Write, 0, line_ + '\r'});
                line_.clear();
                continue;
            }
            auto more = handleLine(line_);
            line_.clear();
            answers.insert(answers.end(), more.begin(), more.end());
        } else if (c == '\n' && line_.empty()) {
            // The LF of a host that ends its lines with CR LF.
        } else if (line_.size() < maxLineBytes) {
            line_ += c;
        } else {
            lineOverrun_ = true;
        }
    }
    // Behind a loopback plug the lines are still counted, but nothing answers them.
    if (!faults_.loopback)
        actions.insert(actions.end(), answers.begin(), answers.end());
    return actions;
}

void SimulatedPlc::count(const std::string& line)
{
    ++frameCount_;
    recent_.push_back(line);
    recentHeld_ += RecordWindow::costOf(line);
    while (recent_.size() > recentLines || recentHeld_ > recentBytes) {
        recentHeld_ -= RecordWindow::costOf(recent_.front());
        recent_.pop_front();
    }
}

std::vector<PlcAction> SimulatedPlc::handleLine(const std::string& line)
{
    count(line);
    const bool overrun = lineOverrun_;
    lineOverrun_ = false;
    if (faults_.hangUpAfterFrames >= 0 && frameCount_ > faults_.hangUpAfterFrames) {
        hungUp_ = true;
        return {{PlcAction::Kind::HangUp, 0, {}}};
    }
    if (faults_.flood)
        return {{PlcAction::Kind::Flood, 0, {}}};
    if (overrun || frameCount_ <= faults_.deafFrames)
        return {};
    const bool answering =
        !faults_.silent && !(faults_.stopAfterFrames >= 0 && frameCount_ > faults_.stopAfterFrames);
    // The frame is taken whether or not it is answered; only an answer gets the next number.
    const bool refusing = answering && frameAnswers_ + 1 == faults_.endCodeAnswer;
    std::string answer = answerFor(line, refusing ? faults_.endCode : "00");
    if (answer.empty() || !answering)
        return {};
    if (line.front() == '@' && ++frameAnswers_ == faults_.wrongFcsAnswer) {
        // The last hex digit of the FCS, changed, as one flipped bit on the line would.
        static const std::string hex = "0123456789ABCDEF";
        char& digit = answer[answer.size() - 2];
        digit = hex[(hex.find(digit) ^ 1) & 0xF];
    }
    std::vector<PlcAction> actions = deliver(std::move(answer));
    if (line.front() == '@' && frameAnswers_ == faults_.doubleAnswer) {
        std::vector<PlcAction> copy = actions;
        copy.front().delayMs = 0;
        actions.insert(actions.end(), copy.begin(), copy.end());
    }
    return actions;
}

std::string SimulatedPlc::answerFor(const std::string& line, const std::string& endCode)
{
    if (line.empty() || line.front() != '@')
        return line;

    if (line.back() != '*' || line.size() < 1 + 2 + 2 + 3)
        return {};
    const std::string body = line.substr(0, line.size() - 3);
    if (line.compare(line.size() - 3, 2, Frame::renderHex(Frame::computeFCS(body))) != 0)
        return {};
    // The PLC whose ID the frame starts with, the longest ID first ("0102" before "01").
    Plc* addressed = nullptr;
    std::size_t idSize = 0;
    for (Plc& plc : plcs_) {
        const std::string id = Frame::renderHex(plc.id);
        if (id.size() > idSize && body.size() >= 1 + id.size() + 2 && body.compare(1, id.size(), id) == 0) {
            addressed = &plc;
            idSize = id.size();
        }
    }
    return addressed ? answerCommand(*addressed, body.substr(1 + idSize), endCode) : std::string();
}

std::string SimulatedPlc::answerCommand(Plc& plc, const std::string& command, const std::string& endCode)
{
    const std::string code = command.substr(0, 2);
    const std::int16_t echoId = faults_.wrongId ? static_cast<std::int16_t>(plc.id + 1) : plc.id;
    if (code == "C2") {
        plc.records.clear();
        plc.overfull = false;
    } else if (isRecordCode(code)) {
        if (plc.overfull || plc.records.count() >= static_cast<std::int64_t>(programCapacity)) {
            plc.overfull = true;
            std::string refusal = memoryFullCode;
            return Frame::appendFCS(echoId, refusal);
        }
        plc.records.add(command);
    } else if (code == "CS") {
        ++plc.saveCount;
        if (!plc.overfull)
            plc.saved = plc.records;
        plc.busyLeft = faults_.busyPolls;
    } else if (code == "IR" && plc.busyLeft > 0) {
        --plc.busyLeft;
        return {};
    }
    std::string reply = code + endCode;
    return Frame::appendFCS(echoId, reply);
}

std::string SimulatedPlc::withLineEnd(std::string text) const
{
    switch (faults_.lineEnd) {
    case LineEnd::CR:
        return text + '\r';
    case LineEnd::CRLF:
        return text + "\r\n";
    case LineEnd::LF:
        return text + '\n';
    }
    return text;
}

std::string SimulatedPlc::unaskedWords() const
{
    if (hungUp_ || faults_.unaskedMs <= 0 || faults_.unaskedText[0] == '\0')
        return {};
    return withLineEnd(faults_.unaskedText);
}

std::vector<PlcAction> SimulatedPlc::deliver(std::string text) const
{
    text = withLineEnd(std::move(text));
    if (faults_.splitChars <= 0)
        return {{PlcAction::Kind::Write, faults_.delayMs, text}};
    std::vector<PlcAction> pieces;
    for (std::size_t at = 0; at < text.size(); at += static_cast<std::size_t>(faults_.splitChars)) {
        pieces.push_back({PlcAction::Kind::Write, at == 0 ? faults_.delayMs : faults_.splitGapMs,
                          text.substr(at, static_cast<std::size_t>(faults_.splitChars))});
    }
    return pieces;
}

} // namespace vantor::plcsim
