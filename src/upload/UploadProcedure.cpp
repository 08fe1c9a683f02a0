#include "upload/UploadProcedure.h"

#include "hostlink/ControlText.h"
#include "hostlink/Frame.h"
#include "hostlink/PlcId.h"
#include "hostlink/TimeoutText.h"
#include "upload/CompiledCodeFormat.h"
#include "upload/CompiledCodeReader.h"
#include "upload/LinkAdvice.h"

#include <algorithm>

namespace vantor::upload {

using hostlink::ExchangeStatus;

namespace {

// What the upload learnt of the line (that it echoes) belongs to this upload only.
class EchoScope
{
public:
    explicit EchoScope(hostlink::CommandExchange& exchange) : exchange_(exchange) {}
    ~EchoScope() { exchange_.setLineEchoes(false); }
    EchoScope(const EchoScope&) = delete;
    EchoScope& operator=(const EchoScope&) = delete;

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

} // namespace

hostlink::PlcIdResult UploadProcedure::plcId(const UploadInput& input)
{
    return hostlink::PlcId::fromText(input.plcIdText ? input.plcIdText() : "01");
}

UploadOutcome UploadProcedure::stop(UploadOutcome outcome, const std::string& caption, bool repaint)
{
    reporter_.showCaption(caption);
    if (repaint)
        reporter_.repaint();
    return outcome;
}

UploadOutcome UploadProcedure::portFailed(ExchangeStatus status, const Progress& progress)
{
    std::string problem = link_.portProblem ? link_.portProblem() : std::string();
    if (status == ExchangeStatus::PortNotOpen) {
        if (problem.empty())
            problem = "The serial port could not be opened.";
        return stop(UploadOutcome::PortNotOpenable, problem + " Upload aborted.", true);
    }
    if (problem.empty())
        problem = "The serial port was lost.";
    const std::string records = std::to_string(linesSent_) + " records";
    if (progress.phase == Phase::Saving)
        return stop(UploadOutcome::PortLost,
                    problem + " The EEPROM save of " + records +
                        " was requested; whether the PLC saved them is not confirmed.",
                    true);
    if (progress.phase == Phase::Closing)
        return stop(UploadOutcome::PortLost,
                    problem +
                        (progress.saveConfirmed ? " The PLC had confirmed the EEPROM save of "
                                                : " The PLC had not confirmed the EEPROM save of ") +
                        records + "; the closing commands were not all sent.",
                    true);
    // Lost while sending records: how far it came, and that the PLC's saved program is untouched.
    if (progress.phase == Phase::Sending)
        return stop(UploadOutcome::PortLost, problem + " Upload aborted " + afterRecords(progress), true);
    return stop(UploadOutcome::PortLost, problem + " Upload aborted.", true);
}

UploadOutcome UploadProcedure::badPlcId(const UploadInput& input)
{
    return stop(UploadOutcome::PlcIdRejected, plcId(input).error + " Uploading aborted", true);
}

FrameReply UploadProcedure::exchange(const std::string& command, const UploadInput& input)
{
    FrameReply sent;
    if (link_.exchange.stopRequested()) {
        sent.step = Step::Interrupted;
        return sent;
    }
    const auto id = plcId(input);
    if (!id.ok) {
        sent.step = Step::BadPlcId;
        return sent;
    }
    sent.frame = hostlink::Frame::build(id.id, command);
    sent.idHex = hostlink::Frame::renderHex(id.id);
    sent.code = command.substr(0, 2);
    const hostlink::ExchangeResult result = link_.exchange.sendCommand(sent.frame);
    return receive(std::move(sent), result, input.verifyReplies);
}

FrameReply UploadProcedure::receive(FrameReply sent, const hostlink::ExchangeResult& result, bool fullCheck)
{
    sent.status = result.status;
    sent.reply = result.response;
    // A reply is one line: what follows an inner CR or LF (a second copy that came in the same read)
    // is held for the next look, as if it had come a moment later.
    if (const std::size_t end = sent.reply.find_first_of("\r\n"); end != std::string::npos) {
        std::size_t rest = end + 1;
        if (sent.reply[end] == '\r' && rest < sent.reply.size() && sent.reply[rest] == '\n')
            ++rest;
        if (rest < sent.reply.size())
            link_.exchange.holdBack(sent.reply.substr(rest) + '\r');
        sent.reply.resize(end);
    }
    sent.strayBytes = result.strayBytes;
    sent.strayStart = result.strayStart;
    sent.waitMs = result.responseWaitMs;
    sent.sinceFrameMs = result.sinceCommandMs;
    sent.verdict = ReplyCheck::Verdict::NotEcho;
    if (result.status == ExchangeStatus::Interrupted) {
        sent.step = Step::Interrupted;
        return sent;
    }
    if (result.portFailed()) {
        sent.step = Step::PortFailed;
        return sent;
    }
    return judged(std::move(sent), fullCheck);
}

FrameReply UploadProcedure::judged(FrameReply reply, bool fullCheck)
{
    reply.verdict = ReplyCheck::judge(reply.reply, reply.frame, reply.idHex, reply.code, fullCheck);
    switch (reply.verdict) {
    case ReplyCheck::Verdict::Echo:
        reply.step = Step::Echoed;
        break;
    case ReplyCheck::Verdict::NotEcho:
        reply.step = Step::NotEchoed;
        break;
    case ReplyCheck::Verdict::OwnCopy:
        reply.step = Step::OwnCopy;
        break;
    default:
        reply.step = Step::BadReply;
        break;
    }
    return reply;
}

bool UploadProcedure::answered(const FrameReply& reply, const std::string& codeBefore, bool fullCheck)
{
    if (reply.reply.empty() || reply.verdict == ReplyCheck::Verdict::OwnCopy)
        return false;
    // The echo of the command before, come late, is that command's answer, not this one's.
    if (codeBefore != reply.code && ReplyCheck::isEcho(reply.reply, reply.idHex, codeBefore))
        return false;
    return !fullCheck || reply.verdict == ReplyCheck::Verdict::Echo;
}

FrameReply UploadProcedure::lookBeforeSending(int waitMs)
{
    const auto held = link_.exchange.heldOver(waitMs);
    FrameReply look;
    look.reply = held.bytes;
    if (held.lost) {
        look.status = ExchangeStatus::PortLost;
        look.step = Step::PortFailed;
    } else {
        look.step = held.bytes.empty() ? Step::Quiet : Step::OutOfStep;
    }
    return look;
}

bool UploadProcedure::heldEchoOfPoll(const std::string& held, const UploadInput& input)
{
    const std::size_t end = held.find_first_of("\r\n");
    if (end == std::string::npos)
        return false;
    const auto id = plcId(input);
    const std::string idHex = hostlink::Frame::renderHex(id.id);
    const std::string frame = hostlink::Frame::build(id.id, "IR");
    return ReplyCheck::judge(held.substr(0, end), frame, idHex, "IR", input.verifyReplies) ==
           ReplyCheck::Verdict::Echo;
}

UploadOutcome UploadProcedure::outOfStep(const FrameReply& look, const std::string& when,
                                         const std::string& notSent)
{
    reporter_.detail(when + ": " + ReplyText::outOfStep(look.reply) + "; " + notSent);
    return stop(UploadOutcome::Aborted, recordFailedCaption, true);
}

FrameReply UploadProcedure::linkTest(const UploadInput& input)
{
    const int attempts = std::clamp(input.linkAttempts, 1, maxLinkAttempts);
    const std::string finalAttempt =
        attempts > 1 ? ", attempt " + std::to_string(attempts) + " of " + std::to_string(attempts) : "";
    for (int attempt = 1;; ++attempt) {
        const FrameReply test = linkTestOnce(input, finalAttempt, attempt == attempts);
        if (test.step != Step::NotEchoed || attempt == attempts) {
            if (test.echoed() && attempt > 1) {
                reporter_.detail("the link test was answered at attempt " + std::to_string(attempt) + " of " +
                                 std::to_string(attempts));
                dropLateAnswers(attempt - 1);
            }
            return test;
        }
        reporter_.detail("link test, attempt " + std::to_string(attempt) + " of " + std::to_string(attempts) +
                         ": " + ReplyText::problem(test) + "; trying again");
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

FrameReply UploadProcedure::linkTestOnce(const UploadInput& input, const std::string& attempt, bool last)
{
    FrameReply test = exchange("C2", input);
    const std::string frame = test.frame;
    const bool frameCameBack = !test.reply.empty() && test.reply.compare(0, frame.size(), frame) == 0;
    if (frameCameBack) {
        // The frame itself came back, "*" and all: the line returns what is sent. A PLC's answer, if
        // there is one, follows it (in the same line after a CR, or as the next line).
        if (test.reply.size() == frame.size())
            test = receive(std::move(test), link_.exchange.readFollowing(), input.verifyReplies);
        else
            test.step = Step::NotEchoed; // the frame with more after it is no answer a PLC gives
        if (test.step == Step::OwnCopy)
            test.step = Step::NotEchoed; // returned twice, and still nothing answered
        if (test.echoed()) {
            link_.exchange.setLineEchoes(true);
            reporter_.detail("the line returns every frame sent before the PLC's answer (an adapter with "
                             "local echo); that copy is skipped before each reply");
        }
    }
    // A refused or corrupted answer fails the link test as no answer does, with its own reason.
    if (test.step == Step::BadReply)
        test.step = Step::NotEchoed;
    if (test.step != Step::NotEchoed || !last)
        return test;
    if (frameCameBack && test.reply.empty() && test.strayBytes == 0) {
        reporter_.detail("link test: the line only returned what was sent (" +
                         hostlink::ControlText::escape(frame) +
                         ") and nothing answered after it: a loopback plug, or an adapter with echo and "
                         "no PLC behind it; nothing else was sent");
        return test;
    }
    reporter_.detail("link test" + attempt + ": " + ReplyText::problem(test) + "; nothing else was sent");
    adviseOnLinkFailure(test, input);
    return test;
}

void UploadProcedure::adviseOnLinkFailure(const FrameReply& test, const UploadInput& input)
{
    // Silence may be a PLC that answers past the timeout: one more wait of it tells, and then the
    // advice is the timeout alone, since the port, the settings, the cable and the ID all work.
    const bool silence =
        test.status == ExchangeStatus::NoResponse && test.reply.empty() && test.strayBytes == 0;
    if (silence) {
        const FrameReply late = receive(test, link_.exchange.readFollowing(), input.verifyReplies);
        if (late.echoed()) {
            reporter_.detail(LinkAdvice::lateAnswer(reporter_, late.sinceFrameMs, test.waitMs));
            return;
        }
    }
    if (!ReplyText::otherPlcId(test).empty()) {
        reporter_.detail(LinkAdvice::otherPlc(reporter_));
        return;
    }
    reporter_.detail(LinkAdvice::causes(reporter_, test.waitMs,
                                        std::clamp(input.linkAttempts, 1, maxLinkAttempts), maxLinkAttempts,
                                        silence));
}

UploadOutcome UploadProcedure::unreadable(const CompiledCodeReader& reader, const UploadInput& input,
                                          const Progress& progress)
{
    if (reader.problem() == FileProblem::Interrupted)
        return interrupted(whenStopped(progress));
    if (reader.problem() == FileProblem::Changed)
        return changed(input);
    const FileCheck check = unreadableFile(reader, hostlink::ControlText::escapeControls(input.filePath),
                                           progress.phase != Phase::Checking);
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

FileCheck UploadProcedure::checkFile(const std::string& path, const serial::StopToken& stopToken,
                                     std::string* keep)
{
    CompiledCodeReader reader;
    reader.keepBytes(keep != nullptr);
    FileCheck check = firstPass(reader, path, nullptr, stopToken);
    if (keep)
        *keep = check.ok() ? reader.takeBytes() : std::string();
    return check;
}

FileCheck UploadProcedure::firstPass(CompiledCodeReader& reader, const std::string& path,
                                     const std::string* contents, const serial::StopToken& stopToken)
{
    const std::string shownPath = hostlink::ControlText::escapeControls(path);
    if (contents)
        reader.openBytes(*contents);
    else if (reader.open(path, stopToken) != FileProblem::None)
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
        if (stopToken.requested()) {
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

UploadOutcome UploadProcedure::changed(const UploadInput& input)
{
    return stop(UploadOutcome::FileChanged,
                hostlink::ControlText::escapeControls(input.filePath) +
                    " changed during the upload: " + std::to_string(linesSent_) +
                    " records were sent but not saved, and the PLC's saved program is unchanged. Upload "
                    "aborted; upload the file again.",
                true);
}

UploadOutcome UploadProcedure::interrupted(const std::string& when)
{
    return stop(UploadOutcome::Interrupted, "Upload interrupted " + when, true);
}

std::string UploadProcedure::whenStopped(const Progress& progress) const
{
    const std::string records = std::to_string(linesSent_) + " records";
    switch (progress.phase) {
    case Phase::Checking:
        break;
    case Phase::LinkTest:
        return "during the link test; no record was sent.";
    case Phase::Sending:
        return afterRecords(progress);
    case Phase::Saving:
        return "during the EEPROM save: whether the PLC saved the " + records + " is not confirmed.";
    case Phase::Closing:
        return "after the EEPROM save of " + records + "; the closing commands were not all sent.";
    }
    return beforeSending;
}

std::string UploadProcedure::afterRecords(const Progress& progress) const
{
    const std::int64_t total = lastCheck_.records;
    const std::string where = linesSent_ == 0 ? "before the first record"
                                              : "after record " + std::to_string(linesSent_) + " of " +
                                                    std::to_string(total) + " (file line " +
                                                    std::to_string(progress.fileLine) + ")";
    // Every record echoed but CS not sent is the whole program, unsaved all the same.
    const std::string held =
        linesSent_ > 0 && linesSent_ == total ? "the whole program, " : "a partial program that was ";
    return where + ": the PLC holds " + held + "not saved to EEPROM; its saved program is unchanged.";
}

std::optional<UploadOutcome> UploadProcedure::linkFailure(const FrameReply& step, const Progress& progress,
                                                          const UploadInput& input)
{
    if (step.step == Step::PortFailed)
        return portFailed(step.status, progress);
    if (step.step == Step::BadPlcId)
        return badPlcId(input);
    if (step.step == Step::Interrupted)
        return interrupted(whenStopped(progress));
    return std::nullopt;
}

std::optional<UploadOutcome> UploadProcedure::refuseToStart(const UploadInput& input)
{
    const FileCheck& check = lastCheck_;
    if (!check.ok()) {
        if (!check.detail.empty())
            reporter_.detail(check.detail);
        return stop(check.outcome, check.caption, true);
    }
    if (!input.sha256.empty() && check.sha256 != input.sha256)
        return stop(UploadOutcome::FileChanged,
                    hostlink::ControlText::escapeControls(input.filePath) +
                        " changed since it was checked for the first PLC: nothing was sent to this "
                        "PLC, and its saved program is unchanged. Upload aborted; upload the file again.",
                    true);
    if (!plcId(input).ok)
        return badPlcId(input);
    if (link_.exchange.stopRequested())
        return interrupted(beforeSending);
    return std::nullopt;
}

UploadOutcome UploadProcedure::run(const UploadInput& input)
{
    linesSent_ = 0;
    Progress progress;
    const serial::StopToken& stopToken = link_.exchange.stopToken();

    // First pass: the whole file is read and checked before anything is sent.
    CompiledCodeReader reader;
    lastCheck_ = firstPass(reader, input.filePath, input.contents.get(), stopToken);
    if (const auto refused = refuseToStart(input))
        return *refused;

    // Second pass: the same bytes again, each block compared before its records go out.
    if (!reader.rewind())
        return unreadable(reader, input, progress);
    std::string line;
    if (!reader.readLine(line) || !CompiledCodeFormat::isHeader(line))
        return reader.problem() == FileProblem::Interrupted ? unreadable(reader, input, progress)
                                                            : changed(input);

    const EchoScope session(link_.exchange);
    progress.phase = Phase::LinkTest;
    const FrameReply test = linkTest(input);
    if (const auto failed = linkFailure(test, progress, input))
        return *failed;
    if (test.step == Step::NotEchoed)
        return stop(UploadOutcome::NoLinkResponse, noResponseCaption, false);
    if (input.linkOnly)
        return stop(UploadOutcome::LinkAnswered, linkAnsweredCaption, false);
    progress.phase = Phase::Sending;
    progress.lastCode = test.code;
    if (const auto stopped = sendRecords(reader, input, progress))
        return *stopped;
    reader.close();
    if (stopToken.requested())
        return interrupted(whenStopped(progress));
    return saveAndClose(input, progress);
}

std::optional<UploadOutcome> UploadProcedure::sendRecords(CompiledCodeReader& reader,
                                                          const UploadInput& input, Progress& progress)
{
    const std::int64_t total = lastCheck_.records;
    const std::uint64_t checkedBytes = reader.checkedBytes();
    const std::uint64_t checkedFingerprint = reader.checkedFingerprint();
    std::string line;
    std::int64_t lineNumber = 1;
    while (reader.readLine(line)) {
        const auto command = CompiledCodeFormat::commandFor(line);
        if (!command)
            continue;
        if (lineNumber > total)
            return changed(input);
        if (const FrameReply held = lookBeforeSending(); held.step != Step::Quiet) {
            if (const auto failed = linkFailure(held, progress, input))
                return *failed;
            const std::string record = "record " + std::to_string(lineNumber);
            return outOfStep(held,
                             "before " + record + " of " + std::to_string(total) + " (file line " +
                                 std::to_string(reader.lineNumber()) + ")",
                             record + " was not sent, nor anything after it: the PLC holds a partial program "
                                      "that was not saved to EEPROM; its saved program is unchanged");
        }
        const FrameReply sent = exchange(*command, input);
        // The text of a failure is built only for one: this loop runs once for every record.
        if (!sent.echoed()) {
            if (const auto failed = linkFailure(sent, progress, input))
                return *failed;
        }
        reporter_.recordSent(lineNumber, total, lineCaption(lineNumber));
        reporter_.repaint();
        if (!sent.echoed())
            return recordNotEchoed(sent, lineNumber, total, reader.lineNumber());
        progress.fileLine = reader.lineNumber();
        progress.lastCode = sent.code;
        linesSent_ = lineNumber++;
    }
    if (reader.problem() != FileProblem::None)
        return unreadable(reader, input, progress);
    if (lineNumber - 1 != total || reader.bytesRead() != checkedBytes ||
        reader.fingerprint() != checkedFingerprint)
        return changed(input);
    return std::nullopt;
}

UploadOutcome UploadProcedure::recordNotEchoed(const FrameReply& reply, std::int64_t record,
                                               std::int64_t total, std::int64_t fileLine)
{
    reporter_.detail("record " + std::to_string(record) + " of " + std::to_string(total) + " (file line " +
                     std::to_string(fileLine) + "): " + ReplyText::problem(reply) +
                     ". Nothing was sent after it: the PLC holds a partial program that was not saved to "
                     "EEPROM; its saved program is unchanged");
    return stop(UploadOutcome::Aborted, recordFailedCaption, false);
}

UploadOutcome UploadProcedure::saveAndClose(const UploadInput& input, Progress& progress)
{
    // The last record's echo doubled a moment late would be taken for the answer to CS: the save
    // waits for the line to be quiet a little first.
    const int settleMs = std::min(
        saveSettleMs, hostlink::TimeoutText::effectiveMs(link_.exchange.timeoutText(),
                                                         hostlink::CommandExchange::responseFallbackMs));
    if (const FrameReply held = lookBeforeSending(settleMs); held.step != Step::Quiet) {
        if (const auto failed = linkFailure(held, progress, input))
            return *failed;
        return outOfStep(held, "before the save",
                         "CS was not sent, so nothing was saved: the " + std::to_string(linesSent_) +
                             " records sit unsaved in the PLC's working memory and its saved program is "
                             "unchanged");
    }
    progress.phase = Phase::Saving;
    reporter_.showCaption(savingCaption);
    reporter_.repaint();
    if (const auto failed = save(input, progress))
        return *failed;
    reporter_.showCaption(progress.saveConfirmed ? uploadedCaption(linesSent_)
                                                 : uploadedCaption(linesSent_) + saveNotConfirmedWarning);
    progress.phase = Phase::Closing;
    return close(input, progress);
}

std::optional<UploadOutcome> UploadProcedure::save(const UploadInput& input, Progress& progress)
{
    const FrameReply cs = exchange("CS", input);
    if (const auto failed = linkFailure(cs, progress, input))
        return *failed;
    // Any answer to CS will do; silence means the PLC may never have been asked to save.
    const bool saveAnswered = answered(cs, progress.lastCode, input.verifyReplies);
    const FrameReply poll = pollAfterSave(input);
    if (const auto failed = linkFailure(poll, progress, input))
        return *failed;

    progress.saveConfirmed = saveAnswered && poll.echoed();
    // A reply that is no answer at all (the line's copy) is said as none; another one does not count.
    if (!saveAnswered)
        reporter_.detail((cs.reply.empty() || cs.verdict == ReplyCheck::Verdict::OwnCopy
                              ? "the save command got no answer ("
                              : "the answer to the save command does not count (") +
                         ReplyText::problem(cs) +
                         "); the PLC may not have saved the program: check it before relying on it");
    if (!poll.echoed())
        reporter_.detail("none of the " + std::to_string(maxSavePolls) +
                         " IR polls after the save was echoed (" + ReplyText::problem(poll) +
                         "); check that the PLC kept the program before relying on it");
    return std::nullopt;
}

FrameReply UploadProcedure::pollAfterSave(const UploadInput& input)
{
    FrameReply poll;
    for (int i = 0; i < maxSavePolls; ++i) {
        if (i > 0) {
            FrameReply held = lookBeforeSending();
            if (held.step == Step::PortFailed)
                return held;
            if (held.step == Step::OutOfStep && heldEchoOfPoll(held.reply, input)) {
                link_.exchange.takeHeldOver();
                held.step = Step::Echoed;
                return held;
            }
        }
        poll = exchange("IR", input);
        if (poll.step == Step::Echoed || poll.step == Step::PortFailed || poll.step == Step::BadPlcId ||
            poll.step == Step::Interrupted)
            return poll;
    }
    return poll;
}

UploadOutcome UploadProcedure::close(const UploadInput& input, const Progress& progress)
{
    const bool reset = input.resetChosen && input.resetChosen();
    bool closingAnswered = false;
    std::string codeBefore = "IR";
    for (const std::string command : {"CL", "C1", "CL"}) {
        if (command == "CL" && !reset)
            continue;
        const FrameReply closing = exchange(command, input);
        if (const auto failed = linkFailure(closing, progress, input))
            return *failed;
        closingAnswered = closingAnswered || answered(closing, codeBefore, input.verifyReplies);
        codeBefore = command;
    }
    if (!progress.saveConfirmed)
        return UploadOutcome::SaveNotConfirmed;
    if (reset && !closingAnswered) {
        reporter_.detail("the reset (CL, C1, CL) got no answer at all: the PLC may still be in program mode; "
                         "check it, or reset it by hand");
        return UploadOutcome::ResetNotConfirmed;
    }
    return UploadOutcome::Completed;
}

} // namespace vantor::upload
