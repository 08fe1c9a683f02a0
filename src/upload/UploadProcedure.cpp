#include "upload/UploadProcedure.h"

#include "hostlink/ControlText.h"
#include "hostlink/Frame.h"
#include "hostlink/PlcId.h"
#include "hostlink/TimeoutText.h"
#include "upload/CompiledCodeFormat.h"
#include "upload/CompiledCodeReader.h"

#include <algorithm>

namespace vantor::upload {

using hostlink::ExchangeStatus;

namespace {

// Lends the caller's stop check to the shared exchange for the length of one upload; what the upload
// learnt of the line (that it echoes) ends with it too.
class SessionScope
{
public:
    SessionScope(hostlink::CommandExchange& exchange, std::function<bool()> check) : exchange_(exchange)
    {
        exchange_.setStopCheck(std::move(check));
    }
    ~SessionScope()
    {
        exchange_.setStopCheck({});
        exchange_.setLineEchoes(false);
    }
    SessionScope(const SessionScope&) = delete;
    SessionScope& operator=(const SessionScope&) = delete;

private:
    hostlink::CommandExchange& exchange_;
};

} // namespace

std::string UploadProcedure::lineCaption(std::int64_t lineNumber)
{
    return "Uploading Line #:  " + std::to_string(lineNumber);
}

std::string UploadProcedure::uploadedCaption(std::int64_t lines)
{
    return " " + std::to_string(lines) + " Lines Uploaded!";
}

UploadProcedure::UploadProcedure(UploadLink link, UploadReporter& reporter)
    : link_(std::move(link)), reporter_(reporter)
{}

namespace {

constexpr const char* beforeSending = "before anything was sent.";

// A reply as a diagnostic shows it: escaped, and cut short with a count when long.
std::string shownReply(const std::string& reply)
{
    if (reply.size() <= UploadProcedure::maxReplyShown)
        return hostlink::ControlText::escape(reply);
    return hostlink::ControlText::escape(reply.substr(0, UploadProcedure::maxReplyShown)) + "... " +
           std::to_string(reply.size() - UploadProcedure::maxReplyShown) + " more bytes";
}

} // namespace

UploadOutcome UploadProcedure::stop(UploadOutcome outcome, const std::string& caption, bool repaint)
{
    reporter_.showCaption(caption);
    if (repaint)
        reporter_.repaint();
    return outcome;
}

UploadOutcome UploadProcedure::portFailed()
{
    std::string problem = link_.portProblem ? link_.portProblem() : std::string();
    if (lastStatus_ == ExchangeStatus::PortNotOpen) {
        if (problem.empty())
            problem = "The serial port could not be opened.";
        return stop(UploadOutcome::PortNotOpenable, problem + " Upload aborted.", true);
    }
    if (problem.empty())
        problem = "The serial port was lost.";
    const std::string records = std::to_string(linesSent_) + " records";
    if (phase_ == Phase::Saving)
        return stop(UploadOutcome::PortLost,
                    problem + " The EEPROM save of " + records +
                        " was requested; whether the PLC saved them is not confirmed.",
                    true);
    if (phase_ == Phase::Closing)
        return stop(UploadOutcome::PortLost,
                    problem +
                        (saveConfirmed_ ? " The PLC had confirmed the EEPROM save of "
                                        : " The PLC had not confirmed the EEPROM save of ") +
                        records + "; the closing commands were not all sent.",
                    true);
    return stop(UploadOutcome::PortLost, problem + " Upload aborted.", true);
}

UploadOutcome UploadProcedure::badPlcId(const UploadInput& input)
{
    const auto id = hostlink::PlcId::fromText(input.plcIdText ? input.plcIdText() : "01");
    return stop(UploadOutcome::PlcIdRejected, id.error + " Uploading aborted", true);
}

UploadProcedure::Step UploadProcedure::exchange(const std::string& command, const UploadInput& input)
{
    if (input.stopRequested && input.stopRequested())
        return Step::Interrupted;
    const auto id = hostlink::PlcId::fromText(input.plcIdText ? input.plcIdText() : "01");
    if (!id.ok)
        return Step::BadPlcId;
    lastFrame_ = hostlink::Frame::build(id.id, command);
    lastIdHex_ = hostlink::Frame::renderHex(id.id);
    previousCode_ = lastCode_;
    lastCode_ = command.substr(0, 2);
    return judge(link_.exchange.sendCommand(lastFrame_));
}

UploadProcedure::Step UploadProcedure::judge(const hostlink::ExchangeResult& result)
{
    lastStatus_ = result.status;
    lastResponse_ = result.response;
    // A reply is one line: what follows an inner CR or LF (a second copy that came in the same read)
    // is held for the next look, as if it had come a moment later.
    if (const std::size_t end = lastResponse_.find_first_of("\r\n"); end != std::string::npos) {
        std::size_t rest = end + 1;
        if (lastResponse_[end] == '\r' && rest < lastResponse_.size() && lastResponse_[rest] == '\n')
            ++rest;
        if (rest < lastResponse_.size())
            link_.exchange.holdBack(lastResponse_.substr(rest) + '\r');
        lastResponse_.resize(end);
    }
    lastStrayBytes_ = result.strayBytes;
    lastStrayStart_ = result.strayStart;
    lastVerdict_ = ReplyCheck::Verdict::NotEcho;
    if (result.status == ExchangeStatus::Interrupted)
        return Step::Interrupted;
    if (result.portFailed())
        return Step::PortFailed;
    lastVerdict_ = ReplyCheck::judge(lastResponse_, lastFrame_, lastIdHex_, lastCode_, verify_);
    switch (lastVerdict_) {
    case ReplyCheck::Verdict::Echo:
        return Step::Echoed;
    case ReplyCheck::Verdict::NotEcho:
        return Step::NotEchoed;
    case ReplyCheck::Verdict::OwnCopy:
        return Step::OwnCopy;
    default:
        return Step::BadReply;
    }
}

bool UploadProcedure::answered() const
{
    if (lastResponse_.empty() || lastVerdict_ == ReplyCheck::Verdict::OwnCopy)
        return false;
    // The echo of the command before, come late, is that command's answer, not this one's.
    if (previousCode_ != lastCode_ && ReplyCheck::isEcho(lastResponse_, lastIdHex_, previousCode_))
        return false;
    return !verify_ || lastVerdict_ == ReplyCheck::Verdict::Echo;
}

UploadProcedure::Step UploadProcedure::lookBeforeSending(int waitMs)
{
    const auto held = link_.exchange.heldOver(waitMs);
    heldBytes_ = held.bytes;
    if (held.lost) {
        lastStatus_ = ExchangeStatus::PortLost;
        return Step::PortFailed;
    }
    return heldBytes_.empty() ? Step::Echoed : Step::OutOfStep;
}

bool UploadProcedure::heldEchoOfPoll(const UploadInput& input) const
{
    const std::size_t end = heldBytes_.find_first_of("\r\n");
    if (end == std::string::npos)
        return false;
    const auto id = hostlink::PlcId::fromText(input.plcIdText ? input.plcIdText() : "01");
    const std::string idHex = hostlink::Frame::renderHex(id.id);
    const std::string frame = hostlink::Frame::build(id.id, "IR");
    return ReplyCheck::judge(heldBytes_.substr(0, end), frame, idHex, "IR", verify_) ==
           ReplyCheck::Verdict::Echo;
}

std::string UploadProcedure::heldProblem() const
{
    return "the line held " + std::to_string(heldBytes_.size()) +
           " bytes that came after the answer to the previous frame (\"" + shownReply(heldBytes_) +
           "\"): it is out of step with the PLC (an answer doubled, or one that came late), and the next "
           "frame would take them for its answer";
}

UploadProcedure::Step UploadProcedure::linkTest(const UploadInput& input)
{
    const int attempts = std::clamp(input.linkAttempts, 1, maxLinkAttempts);
    finalAttempt_ =
        attempts > 1 ? ", attempt " + std::to_string(attempts) + " of " + std::to_string(attempts) : "";
    for (int attempt = 1;; ++attempt) {
        const Step step = linkTestOnce(input, attempt == attempts);
        if (step != Step::NotEchoed || attempt == attempts) {
            if (step == Step::Echoed && attempt > 1) {
                reporter_.detail("the link test was answered at attempt " + std::to_string(attempt) + " of " +
                                 std::to_string(attempts));
                dropLateAnswers(attempt - 1);
            }
            return step;
        }
        reporter_.detail("link test, attempt " + std::to_string(attempt) + " of " + std::to_string(attempts) +
                         ": " + replyProblem(lastFrame_) + "; trying again");
    }
}

void UploadProcedure::dropLateAnswers(int earlierAttempts)
{
    // The answer that came may have been an earlier attempt's, late; the answer to this one would then
    // still be on its way and would be taken for the first record's echo. What follows within the
    // timeout is read and dropped.
    for (int i = 0; i < earlierAttempts; ++i) {
        if (!link_.exchange.readFollowing().hasResponse())
            return;
    }
}

UploadProcedure::Step UploadProcedure::linkTestOnce(const UploadInput& input, bool last)
{
    Step step = exchange("C2", input);
    const std::string frame = lastFrame_;
    const bool frameCameBack = !lastResponse_.empty() && lastResponse_.compare(0, frame.size(), frame) == 0;
    if (frameCameBack) {
        // The frame itself came back, "*" and all: the line returns what is sent. A PLC's answer, if
        // there is one, follows it (in the same line after a CR, or as the next line).
        if (lastResponse_.size() == frame.size()) {
            step = judge(link_.exchange.readFollowing());
        } else {
            step = Step::NotEchoed; // the frame with more after it is no answer a PLC gives
        }
        if (step == Step::OwnCopy)
            step = Step::NotEchoed; // returned twice, and still nothing answered
        if (step == Step::Echoed) {
            link_.exchange.setLineEchoes(true);
            reporter_.detail("the line returns every frame sent before the PLC's answer (an adapter with "
                             "local echo); that copy is skipped before each reply");
        }
    }
    // A refused or corrupted answer fails the link test as no answer does, with its own reason.
    if (step == Step::BadReply)
        step = Step::NotEchoed;
    if (step != Step::NotEchoed || !last)
        return step;
    if (frameCameBack && lastResponse_.empty() && lastStrayBytes_ == 0)
        reporter_.detail("link test: the line only returned what was sent (" +
                         hostlink::ControlText::escape(frame) +
                         ") and nothing answered after it: a loopback plug, or an adapter with echo and "
                         "no PLC behind it; nothing else was sent");
    else
        reporter_.detail("link test" + finalAttempt_ + ": " + replyProblem(frame) +
                         "; nothing else was sent");
    return step;
}

UploadOutcome UploadProcedure::unreadable(const CompiledCodeReader& reader, bool started)
{
    if (reader.problem() == FileProblem::Interrupted)
        return interrupted(started ? afterRecords() : beforeSending);
    if (reader.problem() == FileProblem::Changed)
        return changed();
    const FileCheck check = unreadableFile(reader, shownPath_, started);
    return stop(check.outcome, check.caption, true);
}

FileCheck UploadProcedure::unreadableFile(const CompiledCodeReader& reader, const std::string& shownPath,
                                          bool started)
{
    FileCheck check;
    if (reader.problem() == FileProblem::Interrupted) {
        check.outcome = UploadOutcome::Interrupted;
        check.caption = std::string("Upload interrupted ") + beforeSending;
        return check;
    }
    // An overlong line is the file's content, not its access.
    check.outcome = reader.problem() == FileProblem::LineTooLong ? UploadOutcome::FileRejected
                                                                 : UploadOutcome::FileNotReadable;
    // Before anything is sent the panel's captions say "Uploading aborted", afterwards "Upload aborted.".
    check.caption =
        reader.describeProblem(shownPath) + (started ? ". Upload aborted." : ". Uploading aborted");
    return check;
}

FileCheck UploadProcedure::checkFile(const std::string& path, const std::function<bool()>& stopRequested,
                                     std::string* keep)
{
    CompiledCodeReader reader;
    reader.setStopCheck(stopRequested);
    reader.keepBytes(keep != nullptr);
    FileCheck check = firstPass(reader, path, nullptr, stopRequested);
    if (keep)
        *keep = check.ok() ? reader.takeBytes() : std::string();
    return check;
}

FileCheck UploadProcedure::firstPass(CompiledCodeReader& reader, const std::string& path,
                                     const std::string* contents, const std::function<bool()>& stopRequested)
{
    const std::string shownPath = hostlink::ControlText::escapeControls(path);
    if (contents)
        reader.openBytes(*contents);
    else if (reader.open(path) != FileProblem::None)
        return unreadableFile(reader, shownPath, false);
    FileCheck check;
    std::string line;
    if (!reader.readLine(line)) {
        if (reader.problem() != FileProblem::None)
            return unreadableFile(reader, shownPath, false);
        check.outcome = UploadOutcome::FileRejected;
        check.caption = "The file is empty. Uploading aborted";
        return check;
    }
    if (!CompiledCodeFormat::isHeader(line)) {
        check.outcome = UploadOutcome::FileRejected;
        check.caption = invalidFileCaption;
        check.detail = "the header line is not accepted: " + CompiledCodeFormat::headerProblem(line);
        return check;
    }
    while (reader.readLine(line)) {
        check.records += CompiledCodeFormat::codeFor(line) ? 1 : 0;
        if (stopRequested && stopRequested()) {
            check.outcome = UploadOutcome::Interrupted;
            check.caption = std::string("Upload interrupted ") + beforeSending;
            return check;
        }
    }
    if (reader.problem() != FileProblem::None)
        return unreadableFile(reader, shownPath, false);
    check.sha256 = reader.sha256();
    check.regular = !contents && reader.isRegular();
    return check;
}

UploadOutcome UploadProcedure::changed()
{
    return stop(UploadOutcome::FileChanged,
                shownPath_ + " changed during the upload: " + std::to_string(linesSent_) +
                    " records were sent but not saved, and the PLC's saved program is unchanged. Upload "
                    "aborted; upload the file again.",
                true);
}

UploadOutcome UploadProcedure::interrupted(const std::string& when)
{
    return stop(UploadOutcome::Interrupted, "Upload interrupted " + when, true);
}

std::string UploadProcedure::afterRecords() const
{
    const std::string where = linesSent_ == 0
                                  ? "before the first record"
                                  : "after record " + std::to_string(linesSent_) + " (file line " +
                                        std::to_string(lastRecordFileLine_) + ")";
    return where + ": the PLC holds a partial program that was not saved to EEPROM; its saved program is "
                   "unchanged.";
}

std::string UploadProcedure::replyProblem(const std::string& frame) const
{
    switch (lastVerdict_) {
    case ReplyCheck::Verdict::OwnCopy:
        return "the line returned " + hostlink::ControlText::escape(frame) +
               " as sent and no PLC answered it";
    case ReplyCheck::Verdict::Malformed:
        return "the answer \"" + shownReply(lastResponse_) +
               "\" does not end with an end code, an FCS and \"*\" to check";
    case ReplyCheck::Verdict::WrongFcs:
        return "the answer \"" + shownReply(lastResponse_) + "\" carries the FCS " +
               ReplyCheck::carriedFcs(lastResponse_) + " where its text gives " +
               ReplyCheck::expectedFcs(lastResponse_) +
               ": the line corrupted it (noise, a loose cable, or a baud rate or parity that does not "
               "match the PLC's)";
    case ReplyCheck::Verdict::Refused:
        return "the PLC refused " + hostlink::ControlText::escape(frame) + " with the end code " +
               hostlink::ControlText::escape(ReplyCheck::endCode(lastResponse_, lastIdHex_)) + " (\"" +
               shownReply(lastResponse_) + "\")";
    default:
        break;
    }
    if (lastResponse_.empty() && lastStrayBytes_ > 0)
        return std::to_string(lastStrayBytes_) +
               " bytes came back without a line end (CR or CR LF) instead of "
               "an answer to " +
               hostlink::ControlText::escape(frame) + ", starting \"" +
               hostlink::ControlText::escape(lastStrayStart_) + "\"" +
               (lastStrayBytes_ > lastStrayStart_.size()
                    ? "... " + std::to_string(lastStrayBytes_ - lastStrayStart_.size()) + " more bytes"
                    : std::string()) +
               ": check that the baud rate and parity match the PLC's";
    if (lastResponse_.empty())
        return "nothing answered " + hostlink::ControlText::escape(frame) + " within " +
               std::to_string(hostlink::TimeoutText::effectiveMs(
                   link_.exchange.timeoutText(), hostlink::CommandExchange::responseFallbackMs)) +
               " ms";
    // "@", another ID, the same code: a PLC with another ID answered; on a shared line that is no echo.
    // The code's letters may be hex digits too ("C2"), so try each length an ID can have.
    for (const std::size_t digits : {std::size_t{2}, std::size_t{3}, std::size_t{4}}) {
        if (lastResponse_.size() < 1 + digits + 2 || lastResponse_[0] != '@' ||
            lastResponse_.find_first_not_of("0123456789ABCDEF", 1) < 1 + digits ||
            lastResponse_.compare(1 + digits, 2, lastCode_) != 0)
            continue;
        const std::string otherId = lastResponse_.substr(1, digits);
        if (otherId != lastIdHex_)
            return "a PLC answered as ID " + otherId + " (" + shownReply(lastResponse_) + "), not as " +
                   lastIdHex_ + ": check the PLC ID";
    }
    return "the reply to " + hostlink::ControlText::escape(frame) + " was not its echo: \"" +
           shownReply(lastResponse_) + "\"";
}

std::optional<UploadOutcome> UploadProcedure::linkFailure(Step step, const UploadInput& input,
                                                          const std::string& when)
{
    if (step == Step::PortFailed)
        return portFailed();
    if (step == Step::BadPlcId)
        return badPlcId(input);
    if (step == Step::Interrupted)
        return interrupted(when);
    return std::nullopt;
}

UploadOutcome UploadProcedure::run(const UploadInput& input)
{
    linesSent_ = 0;
    lastRecordFileLine_ = 0;
    phase_ = Phase::Sending;
    saveConfirmed_ = false;
    verify_ = input.verifyReplies;
    // Names go into captions and diagnostics; a control character in one must not drive a terminal.
    shownPath_ = hostlink::ControlText::escapeControls(input.filePath);
    const auto stopRequested = [&input] { return input.stopRequested && input.stopRequested(); };

    // First pass: the whole file is read and checked before anything is sent.
    CompiledCodeReader reader;
    reader.setStopCheck(stopRequested);
    lastCheck_ = firstPass(reader, input.filePath, input.contents.get(), stopRequested);
    const FileCheck& check = lastCheck_;
    if (!check.ok()) {
        if (!check.detail.empty())
            reporter_.detail(check.detail);
        return stop(check.outcome, check.caption, true);
    }
    if (!input.sha256.empty() && check.sha256 != input.sha256)
        return stop(UploadOutcome::FileChanged,
                    shownPath_ +
                        " changed since it was checked for the first PLC: nothing was sent to this "
                        "PLC, and its saved program is unchanged. Upload aborted; upload the file again.",
                    true);
    const std::int64_t total = check.records;

    if (!hostlink::PlcId::fromText(input.plcIdText ? input.plcIdText() : "01").ok)
        return badPlcId(input);
    if (stopRequested())
        return interrupted(beforeSending);

    // Second pass: the same bytes again, each block compared before its records go out.
    if (!reader.rewind())
        return unreadable(reader, false);
    std::string line;
    if (!reader.readLine(line) || !CompiledCodeFormat::isHeader(line))
        return reader.problem() == FileProblem::Interrupted ? unreadable(reader, false) : changed();

    // The line's echo and the stop check belong to this upload only.
    SessionScope session(link_.exchange, stopRequested);
    const Step test = linkTest(input);
    if (const auto failed = linkFailure(test, input, "during the link test; no record was sent."))
        return *failed;
    if (test == Step::NotEchoed)
        return stop(UploadOutcome::NoLinkResponse, noResponseCaption, false);
    if (const auto stopped = sendRecords(reader, input, total))
        return *stopped;
    reader.close();
    if (stopRequested())
        return interrupted(afterRecords());
    return saveAndClose(input);
}

std::optional<UploadOutcome> UploadProcedure::sendRecords(CompiledCodeReader& reader,
                                                          const UploadInput& input, std::int64_t total)
{
    const std::uint64_t checkedBytes = reader.checkedBytes();
    const std::uint64_t checkedFingerprint = reader.checkedFingerprint();
    std::string line;
    std::int64_t lineNumber = 1;
    while (reader.readLine(line)) {
        const auto command = CompiledCodeFormat::commandFor(line);
        if (!command)
            continue;
        if (lineNumber > total)
            return changed();
        if (const Step held = lookBeforeSending(); held != Step::Echoed) {
            if (const auto failed = linkFailure(held, input, afterRecords()))
                return *failed;
            const std::string record = "record " + std::to_string(lineNumber);
            reporter_.detail("before " + record + " of " + std::to_string(total) + " (file line " +
                             std::to_string(reader.lineNumber()) + "): " + heldProblem() + "; " + record +
                             " was not sent, nor anything after it: the PLC holds a partial program that was "
                             "not saved to EEPROM; its saved program is unchanged");
            return stop(UploadOutcome::Aborted, recordFailedCaption, true);
        }
        const Step step = exchange(*command, input);
        // The text of a failure is built only for one: this loop runs once for every record.
        if (step != Step::Echoed) {
            if (const auto failed = linkFailure(step, input, afterRecords()))
                return *failed;
        }
        lastRecordFileLine_ = reader.lineNumber();
        reporter_.recordSent(lineNumber, total, lineCaption(lineNumber));
        reporter_.repaint();
        ++lineNumber;
        if (step != Step::Echoed) {
            reporter_.detail(
                "record " + std::to_string(lineNumber - 1) + " of " + std::to_string(total) + " (file line " +
                std::to_string(lastRecordFileLine_) + "): " + replyProblem(lastFrame_) +
                ". Nothing was sent after it: the PLC holds a partial program that was not saved to "
                "EEPROM; its saved program is unchanged");
            return stop(UploadOutcome::Aborted, recordFailedCaption, false);
        }
        linesSent_ = lineNumber - 1;
    }
    if (reader.problem() != FileProblem::None)
        return unreadable(reader, true);
    if (lineNumber - 1 != total || reader.bytesRead() != checkedBytes ||
        reader.fingerprint() != checkedFingerprint)
        return changed();
    return std::nullopt;
}

UploadOutcome UploadProcedure::saveAndClose(const UploadInput& input)
{
    // The last record's echo doubled a moment late would be taken for the answer to CS: the save
    // waits for the line to be quiet a little first.
    const int settleMs = std::min(
        saveSettleMs, hostlink::TimeoutText::effectiveMs(link_.exchange.timeoutText(),
                                                         hostlink::CommandExchange::responseFallbackMs));
    if (const Step held = lookBeforeSending(settleMs); held != Step::Echoed) {
        if (const auto failed = linkFailure(held, input, afterRecords()))
            return *failed;
        reporter_.detail(
            "before the save: " + heldProblem() + "; CS was not sent, so nothing was saved: the " +
            std::to_string(linesSent_) +
            " records sit unsaved in the PLC's working memory and its saved program is unchanged");
        return stop(UploadOutcome::Aborted, recordFailedCaption, true);
    }
    phase_ = Phase::Saving;
    reporter_.showCaption(savingCaption);
    reporter_.repaint();
    const std::string duringSave = "during the EEPROM save: whether the PLC saved the " +
                                   std::to_string(linesSent_) + " records is not confirmed.";
    if (const auto failed = linkFailure(exchange("CS", input), input, duringSave))
        return *failed;
    // Any answer to CS will do; silence means the PLC may never have been asked to save.
    const bool saveAnswered = answered();
    // A reply that is no answer at all (the line's copy) is said as none; another one does not count.
    const bool saveUnanswered = lastResponse_.empty() || lastVerdict_ == ReplyCheck::Verdict::OwnCopy;
    const std::string saveFrame = lastFrame_;
    const std::string saveProblem = saveAnswered ? std::string() : replyProblem(saveFrame);

    bool polled = false;
    for (int poll = 0; poll < maxSavePolls && !polled; ++poll) {
        if (poll > 0) {
            const Step held = lookBeforeSending();
            if (const auto failed = linkFailure(held, input, duringSave))
                return *failed;
            if (held == Step::OutOfStep && heldEchoOfPoll(input)) {
                link_.exchange.takeHeldOver();
                polled = true;
                break;
            }
        }
        const Step step = exchange("IR", input);
        if (const auto failed = linkFailure(step, input, duringSave))
            return *failed;
        polled = step == Step::Echoed;
    }

    saveConfirmed_ = saveAnswered && polled;
    if (!saveAnswered)
        reporter_.detail((saveUnanswered ? "the save command got no answer ("
                                         : "the answer to the save command does not count (") +
                         saveProblem +
                         "); the PLC may not have saved the program: check it before relying on it");
    if (!polled)
        reporter_.detail("none of the " + std::to_string(maxSavePolls) +
                         " IR polls after the save was echoed (" + replyProblem(lastFrame_) +
                         "); check that the PLC kept the program before relying on it");
    reporter_.showCaption(saveConfirmed_ ? uploadedCaption(linesSent_)
                                         : uploadedCaption(linesSent_) + saveNotConfirmedWarning);

    phase_ = Phase::Closing;
    const bool reset = input.resetChosen && input.resetChosen();
    const std::string afterSave = "after the EEPROM save of " + std::to_string(linesSent_) +
                                  " records; the closing commands were not all sent.";
    bool closingAnswered = false;
    for (const std::string command : {"CL", "C1", "CL"}) {
        if (command == "CL" && !reset)
            continue;
        if (const auto failed = linkFailure(exchange(command, input), input, afterSave))
            return *failed;
        closingAnswered = closingAnswered || answered();
    }
    if (!saveConfirmed_)
        return UploadOutcome::SaveNotConfirmed;
    if (reset && !closingAnswered) {
        reporter_.detail("the reset (CL, C1, CL) got no answer at all: the PLC may still be in program mode; "
                         "check it, or reset it by hand");
        return UploadOutcome::ResetNotConfirmed;
    }
    return UploadOutcome::Completed;
}

} // namespace vantor::upload
