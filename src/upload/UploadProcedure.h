#pragma once

#include "upload/CompiledCodeReader.h"
#include "upload/FileCheck.h"
#include "upload/ReplyCheck.h"
#include "upload/UploadLink.h"
#include "upload/UploadOutcome.h"
#include "upload/UploadReporter.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace vantor::upload {

// What the upload reads from the main panel. The PLC ID text is read again for every frame.
struct UploadInput
{
    std::string filePath;
    std::function<std::string()> plcIdText;
    std::function<bool()> resetChosen;
    // Asked before every step and during every wait; true stops the upload at the next safe point
    // (Interrupted). May be empty.
    std::function<bool()> stopRequested = {};
    // The program's bytes, read once by the caller (see checkFile) to go to several PLCs alike; then
    // filePath only names the file in captions. Empty: the file at filePath is read.
    std::shared_ptr<const std::string> contents = {};
    // The SHA-256 the caller's check found (FileCheck::sha256), when the file is read again for this
    // upload: other bytes now are a changed file, and nothing is sent. Empty: no such check.
    std::string sha256 = {};
    // How many times the link test is tried, each with the full timeout, before "No response from
    // PLC" (1 to maxLinkAttempts). Only the link test: a record, "CS" or a closing command is never
    // sent twice, since a PLC that took it but whose answer was lost would get it twice.
    int linkAttempts = 1;
    // Each reply is checked in full (see ReplyCheck): "*" at its end, a correct FCS and the end code
    // "00"; for PLCs known to answer so. Off: the echo alone is checked.
    bool verifyReplies = false;
};

// Transfers one compiled-code file into the PLC:
//   "C2" link test -> one frame per record line -> "CS" -> up to 20 "IR" polls -> ["CL"] "C1" ["CL"]
// A record that is not echoed ("@" + the PLC ID as the frame renders it + the command code) stops the
// upload at once. The save counts as confirmed only when "CS" got an answer and an "IR" poll was echoed.
//
// A line that returns what was sent (a loopback plug, an adapter with local echo) is told apart at the
// link test: the frame coming back byte for byte is no PLC's answer. When a PLC's echo follows it, the
// line echoes locally and the copy is skipped before every reply for the rest of the upload; when
// nothing follows, there is no PLC and the link test fails.
//
// After the link test the frame coming back byte for byte is still no answer: a record returned so
// stops the upload, and a save or closing command returned so is not answered. A reply is one line:
// what follows an inner CR in it (a second copy read with the first) is held over. Before each record
// and before "CS" the procedure looks at what the line holds beyond the previous answer: anything but
// the lone LF of a split CR LF means the line is out of step with the PLC (an answer doubled or late,
// which the next frame would take for its echo), and the upload stops there, nothing more sent. Before
// a record that look does not wait, so bytes still on their way are read as that record's answer;
// before "CS" it waits up to saveSettleMs for them. The echo of the command before is no answer to
// "CS", "CL" or "C1". During the "IR" polls a held-over echo of "IR" is a late answer to an earlier
// poll and confirms the save.
//
// What the PLC saves is the file as it was when the upload started, or nothing new:
// - The first pass reads the whole file before anything is sent: it checks the header, refuses a line
//   longer than CompiledCodeReader::maxLineBytes (naming it), counts the records and fingerprints
//   every byte. An unreadable or rejected file sends nothing.
// - The second pass reads the same open file again (input that is not a regular file was read once
//   into memory, see ProgramFile) and checks each block against the first pass before any record in
//   it is sent (see CompiledCodeReader::rewind), so no frame is ever built from changed bytes. A
//   changed block, a record beyond the first count, a read problem, or a different fingerprint or
//   length at the end stops the upload before "CS": the PLC's saved program stays as it was, and the
//   records sent sit unsaved in its working memory.
// - A stop request is honoured before the next frame and during waits; "CS" is never sent after it.
// A regular file is read one line at a time in both passes, so memory does not grow with its size.
class UploadProcedure
{
public:
    static constexpr int maxSavePolls = 20;
    static constexpr int maxLinkAttempts = 10;
    // How long the line must stay quiet after the last record's echo before "CS" (at most the timeout).
    static constexpr int saveSettleMs = 50;

    // Captions, exactly as the status label shows them.
    static constexpr const char* invalidFileCaption = "Invalid file content. Uploading aborted";
    static constexpr const char* noResponseCaption = "No response from PLC";
    static constexpr const char* recordFailedCaption = "Error receiving PLC Response. Upload aborted.";
    static constexpr const char* savingCaption = "Saving Program to EEPROM...";
    static constexpr const char* saveNotConfirmedWarning =
        " (Warning: the PLC did not confirm the EEPROM save)";
    static std::string lineCaption(std::int64_t lineNumber); // "Uploading Line #:  1"
    static std::string uploadedCaption(std::int64_t lines);  // " 12 Lines Uploaded!"

    UploadProcedure(UploadLink link, UploadReporter& reporter);

    UploadOutcome run(const UploadInput& input);

    // Reads the file at path through once, as an upload's first pass does, without a port: whether
    // an upload of it would start and how many records it holds. Blocks while the file is read.
    // With keep, the bytes of input that cannot be read again (not a regular file) go there too (at
    // most ProgramFile::maxStreamBytes, else the check fails as too large), for UploadInput::contents;
    // a regular file keeps nothing (FileCheck::regular): each upload reads it again.
    static FileCheck checkFile(const std::string& path, const std::function<bool()>& stopRequested = {},
                               std::string* keep = nullptr);

    // What the last run's first pass found: the record count and the file's SHA-256 among it.
    const FileCheck& lastCheck() const { return lastCheck_; }
    // Record lines echoed by the last run.
    std::int64_t linesSent() const { return linesSent_; }

    // Whether response echoes a frame for the PLC whose ID renders as idHex ("01", "FFFE") and the
    // two-character command code: it begins with "@" + idHex + code, however many digits the ID has.
    static bool isEcho(const std::string& response, const std::string& idHex, const std::string& code)
    {
        return ReplyCheck::isEcho(response, idHex, code);
    }

    // At most this much of a reply goes into a diagnostic sentence; the rest is counted.
    static constexpr std::size_t maxReplyShown = 200;

private:
    enum class Step {
        Echoed,
        NotEchoed, // no reply, or one that is no echo
        OwnCopy,   // the frame itself came back, and nothing else
        BadReply,  // an echo that the full reply check refused
        OutOfStep, // the line held bytes beyond the previous answer; nothing was sent
        PortFailed,
        BadPlcId,
        Interrupted,
    };
    // Where the upload stands, for saying what a lost port means.
    enum class Phase { Sending, Saving, Closing };
    Step exchange(const std::string& command, const UploadInput& input);
    // The link test, telling a line that returns what was sent from a PLC that echoes; tried up to
    // input.linkAttempts times while it is not echoed.
    Step linkTest(const UploadInput& input);
    // After a later attempt answered: the answers of earlier ones that may still come, dropped.
    void dropLateAnswers(int earlierAttempts);
    // One try of it; says why it failed only when last.
    Step linkTestOnce(const UploadInput& input, bool last);
    Step judge(const hostlink::ExchangeResult& result);
    // Looks at what the line holds before the next frame: Echoed when nothing (the line is in step),
    // OutOfStep with heldBytes_, or PortFailed.
    Step lookBeforeSending(int waitMs = 0);
    // Whether the held bytes begin with a whole echo of "IR" (a late answer to an earlier poll).
    bool heldEchoOfPoll(const UploadInput& input) const;
    // Whether the last reply counts as an answer for a command whose answer is not examined (CS, CL,
    // C1): any reply but the frame's own copy, and with the full check only one that passes it.
    bool answered() const;
    std::string heldProblem() const;
    // Sends the records; the outcome when the upload stops before the save.
    std::optional<UploadOutcome> sendRecords(CompiledCodeReader& reader, const UploadInput& input,
                                             std::int64_t total);
    UploadOutcome saveAndClose(const UploadInput& input);
    UploadOutcome stop(UploadOutcome outcome, const std::string& caption, bool repaint);
    UploadOutcome portFailed();
    UploadOutcome unreadable(const CompiledCodeReader& reader, bool started);
    static FileCheck unreadableFile(const CompiledCodeReader& reader, const std::string& shownPath,
                                    bool started);
    // Opens the file at path, or contents when given, and reads it through.
    static FileCheck firstPass(CompiledCodeReader& reader, const std::string& path,
                               const std::string* contents, const std::function<bool()>& stopRequested);
    UploadOutcome changed();
    UploadOutcome interrupted(const std::string& when);
    // The outcome for a step that failed at the port, on the PLC ID or by a stop request; nothing
    // for the others. when says, for a stop request, how far the upload had come.
    std::optional<UploadOutcome> linkFailure(Step step, const UploadInput& input, const std::string& when);
    UploadOutcome badPlcId(const UploadInput& input);
    std::string afterRecords() const;
    // What came back instead of the echo of frame, in words.
    std::string replyProblem(const std::string& frame) const;

    UploadLink link_;
    UploadReporter& reporter_;
    FileCheck lastCheck_;
    std::int64_t linesSent_ = 0;
    std::int64_t lastRecordFileLine_ = 0;
    hostlink::ExchangeStatus lastStatus_ = hostlink::ExchangeStatus::NoResponse;
    std::string lastFrame_;
    std::string lastIdHex_;
    std::string lastCode_;
    std::string previousCode_; // of the exchange before the last
    std::string lastResponse_;
    ReplyCheck::Verdict lastVerdict_ = ReplyCheck::Verdict::NotEcho;
    std::string heldBytes_;
    bool verify_ = false;
    std::uint64_t lastStrayBytes_ = 0;
    std::string lastStrayStart_;
    std::string shownPath_;
    std::string finalAttempt_; // ", attempt 3 of 3" when the link test is tried more than once
    Phase phase_ = Phase::Sending;
    bool saveConfirmed_ = false;
};

} // namespace vantor::upload
