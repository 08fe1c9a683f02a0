#pragma once

#include "hostlink/PlcId.h"
#include "serial/StopToken.h"
#include "upload/CompiledCodeReader.h"
#include "upload/FileCheck.h"
#include "upload/FrameReply.h"
#include "upload/ReplyCheck.h"
#include "upload/ReplyText.h"
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
    // A dry run: the file is read and checked as for an upload, then only the link test is sent; its
    // echo ends the run as LinkAnswered (linkAnsweredCaption), nothing else sent. Off: the upload.
    bool linkOnly = false;
};

// Transfers one compiled-code file into the PLC:
//   "C2" link test -> one frame per record line -> "CS" -> up to 20 "IR" polls -> ["CL"] "C1" ["CL"]
// With UploadInput::linkOnly it stops after the link test: the file checked, "C2" alone sent.
// A record that is not echoed ("@" + the PLC ID as the frame renders it + the command code) stops the
// upload at once. The save counts as confirmed only when "CS" got an answer and an "IR" poll was echoed.
// A link test whose last try heard nothing at all waits one timeout more before giving up: an echo
// then is a PLC that answers late, and the detail says so with its delay; otherwise the detail says
// what to check and try next (LinkAdvice, in the front end's words: UploadReporter::remedy).
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
    static constexpr const char* linkAnsweredCaption =
        "The PLC answered the link test; nothing else was sent (dry run)";
    static constexpr const char* saveNotConfirmedWarning =
        " (Warning: the PLC did not confirm the EEPROM save)";
    static std::string lineCaption(std::int64_t lineNumber); // "Uploading Line #:  1"
    static std::string uploadedCaption(std::int64_t lines);  // " 12 Lines Uploaded!"

    UploadProcedure(UploadLink link, UploadReporter& reporter);

    UploadOutcome run(const UploadInput& input);

    // Reads the file at path through once, as an upload's first pass does, without a port: whether
    // an upload of it would start and how many records it holds. Blocks while the file is read;
    // stopToken is asked meanwhile, as an upload asks its exchange's.
    // With keep, the bytes of input that cannot be read again (not a regular file) go there too (at
    // most ProgramFile::maxStreamBytes, else the check fails as too large), for UploadInput::contents;
    // a regular file keeps nothing (FileCheck::regular): each upload reads it again.
    static FileCheck checkFile(const std::string& path, const serial::StopToken& stopToken = {},
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
    static constexpr std::size_t maxReplyShown = ReplyText::maxShown;

private:
    using Step = FrameReply::Step;
    // Where the upload stands, for saying what a stop request or a lost port means.
    enum class Phase { Checking, LinkTest, Sending, Saving, Closing };
    // What one run has come to, handed from step to step (the records echoed are linesSent_).
    struct Progress
    {
        Phase phase = Phase::Checking;
        std::int64_t fileLine = 0; // of the last record echoed; 0 before the first
        std::string lastCode;      // of the last frame before the save, to tell its late echo
        bool saveConfirmed = false;
    };

    // The PLC ID the frames are built for; an upload without an ID text is for ID 01.
    static hostlink::PlcIdResult plcId(const UploadInput& input);
    // Sends one frame for command and returns what came back, judged.
    FrameReply exchange(const std::string& command, const UploadInput& input);
    // Takes result as the reply to sent: its first line is judged, what followed an inner CR goes
    // back to the line for the next look.
    FrameReply receive(FrameReply sent, const hostlink::ExchangeResult& result, bool fullCheck);
    // The verdict on a reply that came (not stopped, the port working) and the step it makes.
    static FrameReply judged(FrameReply reply, bool fullCheck);
    // Looks at what the line holds before the next frame: Quiet when nothing (the line is in step),
    // OutOfStep with the bytes as the reply, or PortFailed.
    FrameReply lookBeforeSending(int waitMs = 0);
    // Whether held begins with a whole echo of "IR" (a late answer to an earlier poll).
    static bool heldEchoOfPoll(const std::string& held, const UploadInput& input);
    // Whether reply counts as an answer for a command whose answer is not examined (CS, CL, C1): any
    // reply but the frame's own copy or codeBefore's late echo, and with the full check only one that
    // passes it.
    static bool answered(const FrameReply& reply, const std::string& codeBefore, bool fullCheck);
    // The link test, telling a line that returns what was sent from a PLC that echoes; tried up to
    // input.linkAttempts times while it is not echoed.
    FrameReply linkTest(const UploadInput& input);
    // After a later attempt answered: the answers of earlier ones that may still come, dropped.
    void dropLateAnswers(int earlierAttempts);
    // One try of it; says why it failed only when last (attempt: ", attempt 3 of 3" or empty).
    FrameReply linkTestOnce(const UploadInput& input, const std::string& attempt, bool last);
    // After the last try failed: what to check and try next, or, when its answer comes within one
    // more timeout, that the PLC answers late and how long to wait for it.
    void adviseOnLinkFailure(const FrameReply& test, const UploadInput& input);
    // Refusals before the second pass: a file the first pass refused, changed since the caller's
    // check, a bad PLC ID, a stop request.
    std::optional<UploadOutcome> refuseToStart(const UploadInput& input);
    // Sends the records; the outcome when the upload stops before the save.
    std::optional<UploadOutcome> sendRecords(CompiledCodeReader& reader, const UploadInput& input,
                                             Progress& progress);
    UploadOutcome recordNotEchoed(const FrameReply& reply, std::int64_t record, std::int64_t total,
                                  std::int64_t fileLine);
    UploadOutcome saveAndClose(const UploadInput& input, Progress& progress);
    // "CS" and the "IR" polls; sets progress.saveConfirmed. The outcome when the upload stops there.
    std::optional<UploadOutcome> save(const UploadInput& input, Progress& progress);
    // The "IR" polls: the first echoed one, else the last; a failed one ends them.
    FrameReply pollAfterSave(const UploadInput& input);
    // The closing commands ("CL" around "C1" when a reset is chosen) and the final outcome.
    UploadOutcome close(const UploadInput& input, const Progress& progress);
    // Ends the upload for the bytes a look found before a frame: when says before what, notSent what
    // was therefore not sent.
    UploadOutcome outOfStep(const FrameReply& look, const std::string& when, const std::string& notSent);
    UploadOutcome stop(UploadOutcome outcome, const std::string& caption, bool repaint);
    UploadOutcome portFailed(hostlink::ExchangeStatus status, const Progress& progress);
    UploadOutcome unreadable(const CompiledCodeReader& reader, const UploadInput& input,
                             const Progress& progress);
    static FileCheck unreadableFile(const CompiledCodeReader& reader, const std::string& shownPath,
                                    bool started);
    // Opens the file at path, or contents when given, and reads it through.
    static FileCheck firstPass(CompiledCodeReader& reader, const std::string& path,
                               const std::string* contents, const serial::StopToken& stopToken);
    UploadOutcome changed(const UploadInput& input);
    UploadOutcome interrupted(const std::string& when);
    // The outcome for a step that failed at the port, on the PLC ID or by a stop request; nothing
    // for the others.
    std::optional<UploadOutcome> linkFailure(const FrameReply& step, const Progress& progress,
                                             const UploadInput& input);
    UploadOutcome badPlcId(const UploadInput& input);
    // How far the upload had come, for a stop request: "before anything was sent.", "after record ...".
    std::string whenStopped(const Progress& progress) const;
    std::string afterRecords(const Progress& progress) const;

    UploadLink link_;
    UploadReporter& reporter_;
    FileCheck lastCheck_;
    std::int64_t linesSent_ = 0;
};

} // namespace vantor::upload
