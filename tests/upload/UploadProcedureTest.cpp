// The procedure's reporting and failure paths over a scripted link; the full protocol runs against
// the simulated PLC in the command-line tests.
#include "upload/UploadProcedure.h"
#include "hostlink/CommandExchange.h"
#include "hostlink/Frame.h"
#include "support/FakeLink.h"
#include "support/TempFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <numeric>

using namespace vantor;
using upload::UploadOutcome;
using upload::UploadProcedure;
using vantor::test::TempFile;

namespace {

struct Recorder : upload::UploadReporter
{
    std::vector<std::string> events;
    void showCaption(const std::string& c) override { events.push_back("caption " + c); }
    void repaint() override { events.push_back("repaint"); }
    void recordSent(std::int64_t n, std::int64_t total, const std::string& c) override
    {
        events.push_back("record " + std::to_string(n) + "/" + std::to_string(total) + " " + c);
    }
};

// Keeps the details too; showing a record's progress takes drawMs of the clock, when given one.
struct DetailRecorder : Recorder
{
    std::vector<std::string> details;
    test::FakeClock* clock = nullptr;
    int drawMs = 0;
    void detail(const std::string& sentence) override { details.push_back(sentence); }
    void recordSent(std::int64_t n, std::int64_t total, const std::string& caption) override
    {
        if (clock)
            clock->now += drawMs;
        Recorder::recordSent(n, total, caption);
    }
};

struct Bench
{
    test::FakeClock clock;
    test::FakeLink link{clock};
    std::function<bool()> stop; // what the exchange's stop token answers; empty: never
    hostlink::CommandExchange exchange{link, clock, serial::StopToken([this] { return stop && stop(); })};
    Recorder reporter;
    std::string problem;
    UploadProcedure procedure{{exchange, [this] { return problem; }}, reporter};

    // Echoes every frame, as a PLC with any ID would.
    void echoAll()
    {
        link.onWrite = [this](const std::string& w) { link.arrive(w.substr(0, 5) + "00\r", 2); };
    }
    std::vector<std::string> frames() const
    {
        std::vector<std::string> out;
        for (const auto& w : link.written)
            out.push_back(w.substr(0, w.size() - 1));
        return out;
    }
};

const std::string mixed = "Vantor Compiled Code\r\n01:00\r\n; note\r\n\r\n05:\r\n07:99\r\n03:0010FF\r\n";

} // namespace

TEST(UploadProcedure, ReportsAsThePanelShowsIt)
{
    Bench b;
    b.echoAll();
    TempFile file(mixed);
    const auto outcome = b.procedure.run({file.path(), [] { return "01"; }, [] { return false; }});
    EXPECT_EQ(outcome, UploadOutcome::Completed);
    EXPECT_EQ(b.reporter.events, (std::vector<std::string>{
                                     "record 1/3 Uploading Line #:  1",
                                     "repaint",
                                     "record 2/3 Uploading Line #:  2",
                                     "repaint",
                                     "record 3/3 Uploading Line #:  3",
                                     "repaint",
                                     "caption Saving Program to EEPROM...",
                                     "repaint",
                                     "caption  3 Lines Uploaded!",
                                 }));
    EXPECT_EQ(b.procedure.linesSent(), 3);
}

TEST(UploadProcedure, ReadsThePlcIdAgainForEveryFrame)
{
    Bench b;
    b.echoAll();
    TempFile file(mixed);
    int reads = 0;
    b.procedure.run({file.path(), [&] { return ++reads > 3 ? "0A" : "01"; }, [] { return false; }});
    const auto frames = b.frames();
    ASSERT_GE(frames.size(), 4u);
    EXPECT_EQ(frames[0].substr(0, 3), "@01");
    EXPECT_EQ(frames[3].substr(0, 3), "@0A") << "a changed ID reaches the next frame";
}

TEST(UploadProcedure, FailuresBeforeTheLinkTestSendNothing)
{
    struct Case
    {
        const char* name;
        std::string bytes;
        const char* id;
        bool portOpens;
        UploadOutcome outcome;
        const char* caption;
    };
    const Case cases[] = {
        {"empty file", "", "01", true, UploadOutcome::FileRejected, "The file is empty. Uploading aborted"},
        {"wrong header", "Vantor compiled code\r\n01:00\r\n", "01", true, UploadOutcome::FileRejected,
         "Invalid file content. Uploading aborted"},
        {"long PLC ID", mixed, "10000", true, UploadOutcome::PlcIdRejected,
         "The PLC ID \"10000\" has more than four hexadecimal digits. Enter the PLC's ID as 00 to FF. "
         "Uploading aborted"},
        {"port cannot open", mixed, "01", false, UploadOutcome::PortNotOpenable,
         "Cannot open COM 2 (/dev/ttyS1): no such device. Upload aborted."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bench b;
        b.link.canOpen = c.portOpens;
        b.problem = "Cannot open COM 2 (/dev/ttyS1): no such device.";
        TempFile file(c.bytes);
        const std::string id = c.id;
        EXPECT_EQ(b.procedure.run({file.path(), [&] { return id; }, [] { return true; }}), c.outcome);
        EXPECT_TRUE(b.link.written.empty());
        EXPECT_EQ(b.reporter.events,
                  (std::vector<std::string>{std::string("caption ") + c.caption, "repaint"}));
    }
}

TEST(UploadProcedure, AMissingFileIsNamed)
{
    Bench b;
    EXPECT_EQ(b.procedure.run({"/tmp/vantor-nowhere/x.VQC", [] { return "01"; }, [] { return false; }}),
              UploadOutcome::FileNotReadable);
    EXPECT_EQ(b.reporter.events.front(),
              "caption Cannot open /tmp/vantor-nowhere/x.VQC: no such file. Uploading aborted");
    EXPECT_TRUE(b.link.written.empty());
}

TEST(UploadProcedure, EchoCheckComparesTheWholeAddressAndCode)
{
    struct Case
    {
        const char* response;
        const char* idHex;
        const char* code;
        bool echo;
    };
    const Case cases[] = {
        {"@01C200", "01", "C2", true},
        {"@01C2", "01", "C2", true},
        {"@01C", "01", "C2", false},
        {"@01CS00", "01", "C2", false},
        {"@02C230*", "01", "C2", false},
        {"@01c230*", "01", "C2", false},
        {"", "01", "C2", false},
        {"@123CZ0052*", "123", "CZ", true},
        {"@123CS0052*", "123", "CZ", false},
        {"@123C", "123", "CZ", false},
        {"@FFFECS0050*", "FFFE", "CS", true},
        {"@FFFEC20050*", "FFFE", "CS", false},
        {"@FFFEC", "FFFE", "CS", false},
        {"@FFFFCS", "FFFE", "CS", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(UploadProcedure::isEcho(c.response, c.idHex, c.code), c.echo)
            << c.response << " for " << c.idHex << " " << c.code;
}

TEST(UploadProcedure, TheSaveIsConfirmedOnlyByAnAnswerToCsAndAnEchoedPoll)
{
    struct Case
    {
        const char* name;
        const char* csAnswer; // nullptr: silence
        bool pollEchoed;
        UploadOutcome outcome;
        const char* detail;
        bool resetUnanswered = false; // --reset, and nothing answers CL or C1
    };
    const Case cases[] = {
        {"CS echoed", "@01CS0051*", true, UploadOutcome::Completed, ""},
        {"a reset nothing answers", "@01CS0051*", true, UploadOutcome::ResetNotConfirmed,
         "the reset (CL, C1, CL) got no answer at all", true},
        {"CS answered with anything", "?!", true, UploadOutcome::Completed, ""},
        {"CS silent", nullptr, true, UploadOutcome::SaveNotConfirmed,
         "the save command got no answer (nothing answered @01CS51* within 500 ms)"},
        {"no poll echoed", "@01CS0051*", false, UploadOutcome::SaveNotConfirmed,
         "none of the 20 IR polls after the save was echoed"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bench b;
        DetailRecorder reporter;
        std::vector<std::string>& details = reporter.details;
        UploadProcedure procedure{{b.exchange, [] { return std::string(); }}, reporter};
        b.link.onWrite = [&](const std::string& w) {
            const std::string code = w.substr(3, 2);
            if (code == "CS" && c.csAnswer)
                b.link.arrive(std::string(c.csAnswer) + "\r", 2);
            else if (c.resetUnanswered && (code == "CL" || code == "C1"))
                return;
            else if (code != "CS" && (code != "IR" || c.pollEchoed))
                b.link.arrive(w.substr(0, 5) + "00\r", 2);
        };
        TempFile file(mixed);
        EXPECT_EQ(procedure.run({file.path(), [] { return "01"; }, [&c] { return c.resetUnanswered; }}),
                  c.outcome);
        const std::string all = std::accumulate(details.begin(), details.end(), std::string());
        EXPECT_NE(all.find(c.detail), std::string::npos) << all;
        EXPECT_EQ(reporter.events.back().find(" 3 Lines Uploaded!"), 8u)
            << "the caption still counts the records";
        EXPECT_EQ(b.frames().back(), hostlink::Frame::build(1, c.resetUnanswered ? "CL" : "C1"))
            << "the closing commands go out regardless";
    }
}

TEST(UploadProcedure, ALostPortOrAStopSaysHowFarTheUploadCame)
{
    struct Case
    {
        const char* lostAt; // or, with a stop, the frame that is never sent
        const char* captionEnd;
        bool stop = false; // asked for once the last record was echoed, instead of a lost port
    };
    const Case cases[] = {
        {"CT",
         "Lost the connection to COM 2. Upload aborted after record 1 of 3 (file line 2): the PLC holds "
         "a partial program that was not saved to EEPROM; its saved program is unchanged."},
        {"CS", "Lost the connection to COM 2. The EEPROM save of 3 records was requested; whether the PLC "
               "saved them is not confirmed."},
        {"C1",
         "Lost the connection to COM 2. The PLC had confirmed the EEPROM save of 3 records; the closing "
         "commands were not all sent."},
        {"CS",
         "Upload interrupted after record 3 of 3 (file line 7): the PLC holds the whole program, not saved "
         "to EEPROM; its saved program is unchanged.",
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lostAt);
        Bench b;
        b.problem = "Lost the connection to COM 2.";
        b.link.onWrite = [&](const std::string& w) {
            if (w.substr(3, 2) == c.lostAt && !c.stop)
                b.link.loseAfter(1);
            else
                b.link.arrive(w.substr(0, 5) + "00\r", 2);
        };
        const auto stopped = [&b, &c] {
            return c.stop && std::any_of(b.reporter.events.begin(), b.reporter.events.end(),
                                         [](const std::string& e) { return e.rfind("record 3/", 0) == 0; });
        };
        b.stop = stopped;
        TempFile file(mixed);
        EXPECT_EQ(b.procedure.run({file.path(), [] { return "01"; }, [] { return false; }}),
                  c.stop ? UploadOutcome::Interrupted : UploadOutcome::PortLost);
        EXPECT_EQ(b.reporter.events[b.reporter.events.size() - 2], std::string("caption ") + c.captionEnd);
        for (const std::string& frame : b.frames())
            EXPECT_TRUE(!c.stop || frame.substr(3, 2) != c.lostAt) << "no " << frame << " after a stop";
    }
}

// What comes back that is not the PLC's answer to the frame just sent: the frame itself, an answer
// held over from before, or (checked in full) an answer the line corrupted or the PLC refused.
TEST(UploadProcedure, OnlyThePlcsAnswerToTheFrameJustSentCounts)
{
    using Script = std::function<void(Bench&, const std::string& code, const std::string& written)>;
    // The answer the simulated PLC gives: "@01" + code + end code + FCS + "*".
    const auto answer = [](Bench& b, const std::string& code, int afterMs = 2, const char* end = "00") {
        b.link.arrive(hostlink::Frame::build(1, code + end) + "\r", afterMs);
    };
    const auto corrupted = [](Bench& b, const std::string& code) {
        std::string reply = hostlink::Frame::build(1, code + "00");
        reply[reply.size() - 2] = reply[reply.size() - 2] == '0' ? '1' : '0';
        b.link.arrive(reply + "\r", 2);
    };
    const auto plc = [answer](Bench& b, const std::string& code, const std::string&) { answer(b, code); };
    // The answer to the frame written as the twice-th comes twice, the copy a moment later; the frame
    // written as the never-th gets no answer.
    const auto doubled = [answer](std::size_t twice, std::size_t never, int copyMs) -> Script {
        return [=](Bench& b, const std::string& code, const std::string&) {
            const std::size_t n = b.link.written.size();
            if (n == twice)
                answer(b, code), answer(b, code, 2 + copyMs);
            else if (n != never)
                answer(b, code);
        };
    };
    const std::string sameCodes = "Vantor Compiled Code\r\n03:0010FF\r\n03:0011A0\r\n03:00120C\r\n";
    const std::vector<std::string> all = {"C2", "CZ", "CT", "Wm", "CS", "IR", "C1"};
    struct Case
    {
        const char* name;
        Script line;
        UploadOutcome outcome;
        std::vector<std::string> codes; // of the frames written, in order
        const char* detail;
        bool verify = false;
        int drawMs = 0; // how long showing a record's progress takes
        std::string file = {};
        bool reset = false;
        bool linkOnly = false; // a dry run
    };
    const Case cases[] = {
        // The first record's frame ("@01CZ0058*") is itself what a PLC answers to it: the second one tells.
        {"the line returns every frame after the link test",
         [plc](Bench& b, const std::string& code, const std::string& w) {
             code == "C2" ? plc(b, code, w) : b.link.arrive(w, 2);
         },
         UploadOutcome::Aborted,
         {"C2", "CZ", "CT"},
         "record 2 of 3 (file line 5): the line returned @01CT56* as sent and no PLC answered it. Nothing "
         "was "
         "sent after it"},
        {"the line returns CS",
         [plc](Bench& b, const std::string& code, const std::string& w) {
             code == "CS" ? b.link.arrive(w, 2) : plc(b, code, w);
         },
         UploadOutcome::SaveNotConfirmed, all,
         "the save command got no answer (the line returned @01CS51* as sent and no PLC answered it)"},
        {"the line returns every IR",
         [plc](Bench& b, const std::string& code, const std::string& w) {
             code == "IR" ? b.link.arrive(w, 2) : plc(b, code, w);
         },
         UploadOutcome::SaveNotConfirmed,
         {"C2", "CZ", "CT", "Wm", "CS", "IR", "IR", "IR", "IR", "IR", "IR", "IR", "IR",
          "IR", "IR", "IR", "IR", "IR", "IR", "IR", "IR", "IR", "IR", "IR", "IR", "C1"},
         "none of the 20 IR polls after the save was echoed (the line returned @01IR5A* as sent"},
        // Both copies in one read: the second follows an inner CR.
        {"an echo doubled, the next record of the same code unanswered",
         doubled(2, 3, 0),
         UploadOutcome::Aborted,
         {"C2", "Wm"},
         "before record 2 of 3 (file line 3): the line held 11 bytes that came after the answer to the "
         "previous frame (\"@01Wm007B*<CR>\"): it is out of step",
         false,
         0,
         sameCodes},
        {"the line returns each frame twice after the link test",
         [plc](Bench& b, const std::string& code, const std::string& w) {
             code == "C2" ? plc(b, code, w) : b.link.arrive(w + w, 2);
         },
         UploadOutcome::Aborted,
         {"C2", "CZ"},
         "before record 2 of 3 (file line 5): the line held 11 bytes that came after the answer to the "
         "previous frame (\"@01CZ0058*<CR>\")"},
        // The copy comes while the save waits for the line to be quiet.
        {"the last echo doubled a moment late, CS unanswered",
         doubled(4, 5, 3),
         UploadOutcome::Aborted,
         {"C2", "CZ", "CT", "Wm"},
         "before the save: the line held 11 bytes that came after the answer to the previous frame "
         "(\"@01Wm007B*<CR>\"): it is out of step with the PLC (an answer doubled, or one that came late), "
         "and "
         "the next frame would take them for its answer; CS was not sent, so nothing was saved"},
        {"CR, then LF 30 ms later, on every answer",
         [answer](Bench& b, const std::string& code, const std::string&) {
             answer(b, code, 40);
             b.link.arrive("\n", 70);
         },
         UploadOutcome::Completed, all, "", false, 50},
        {"IR answered twice, the reset unanswered",
         [answer](Bench& b, const std::string& code, const std::string&) {
             if (code == "IR")
                 answer(b, code), answer(b, code, 3);
             else if (code != "CL" && code != "C1")
                 answer(b, code);
         },
         UploadOutcome::ResetNotConfirmed,
         {"C2", "CZ", "CT", "Wm", "CS", "IR", "CL", "C1", "CL"},
         "the reset (CL, C1, CL) got no answer at all",
         false,
         0,
         {},
         true},
        {"checked in full, a PLC that answers well", plc, UploadOutcome::Completed, all, "", true},
        {"not checked in full, a corrupted answer",
         [corrupted, plc](Bench& b, const std::string& code, const std::string& w) {
             code == "CT" ? corrupted(b, code) : plc(b, code, w);
         },
         UploadOutcome::Completed, all, ""},
        {"checked in full, a corrupted answer",
         [corrupted, plc](Bench& b, const std::string& code, const std::string& w) {
             code == "CT" ? corrupted(b, code) : plc(b, code, w);
         },
         UploadOutcome::Aborted,
         {"C2", "CZ", "CT"},
         "record 2 of 3 (file line 5): the answer \"@01CT0050*\" carries the FCS 50 where its text gives 56: "
         "the line corrupted it",
         true},
        {"checked in full, a refused record",
         [answer](Bench& b, const std::string& code, const std::string&) {
             answer(b, code, 2, code == "CT" ? "13" : "00");
         },
         UploadOutcome::Aborted,
         {"C2", "CZ", "CT"},
         "record 2 of 3 (file line 5): the PLC refused @01CT56* with the end code 13 (\"@01CT1354*\")",
         true},
        {"checked in full, a refused save",
         [answer](Bench& b, const std::string& code, const std::string&) {
             answer(b, code, 2, code == "CS" ? "13" : "00");
         },
         UploadOutcome::SaveNotConfirmed, all,
         "the answer to the save command does not count (the PLC refused @01CS51* with the end code 13",
         true},
        // What to try next is said in the front end's words; these are the reporter's plain ones.
        {"a silent PLC",
         [](Bench&, const std::string&, const std::string&) {},
         UploadOutcome::NoLinkResponse,
         {"C2"},
         "the usual causes, in the order to check them: the port (is it the one the PLC's cable is on?), "
         "the baud rate and settings (data bits, parity and stop bits as the PLC has them), the cable "
         "(seated at both ends; null-modem where the PLC needs one), the PLC ID (as set in the PLC) and the "
         "PLC's mode (powered, and in a mode that answers the host link); then try a scan of the line to "
         "find which port, baud rate and ID answer, 3 link test attempts for a PLC still starting up or a "
         "timeout of 1000 ms for one that answers late"},
        {"a PLC that answers 730 ms late",
         [answer](Bench& b, const std::string& code, const std::string&) { answer(b, code, 730); },
         UploadOutcome::NoLinkResponse,
         {"C2"},
         "an answer came 730 ms after the command, past the 500 ms timeout: the PLC is there and answers "
         "late; try a timeout of 1000 ms"},
        {"a PLC that answers as another ID",
         [](Bench& b, const std::string& code, const std::string&) {
             b.link.arrive(hostlink::Frame::build(2, code + "00") + "\r", 2);
         },
         UploadOutcome::NoLinkResponse,
         {"C2"},
         "the port, the settings and the cable work, since a PLC answered; set the PLC ID to the one the PLC "
         "has, or try a scan of the line to find which IDs answer on this line"},
        // A dry run stops at the echo of the link test, even on a line that would take every record.
        {"a dry run, a PLC that answers",
         plc,
         UploadOutcome::LinkAnswered,
         {"C2"},
         "",
         false,
         0,
         {},
         true,
         true},
        {"checked in full, a corrupted link test",
         [corrupted](Bench& b, const std::string& code, const std::string&) { corrupted(b, code); },
         UploadOutcome::NoLinkResponse,
         {"C2"},
         "link test: the answer \"@01C20031*\" carries the FCS 31 where its text gives 30",
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bench b;
        DetailRecorder reporter;
        std::vector<std::string>& details = reporter.details;
        reporter.clock = &b.clock;
        reporter.drawMs = c.drawMs;
        UploadProcedure procedure{{b.exchange, [] { return std::string(); }}, reporter};
        b.link.onWrite = [&](const std::string& w) { c.line(b, w.substr(3, 2), w); };
        TempFile file(c.file.empty() ? mixed : c.file);
        upload::UploadInput input{file.path(), [] { return "01"; }, [&c] { return c.reset; }};
        input.verifyReplies = c.verify;
        input.linkOnly = c.linkOnly;
        EXPECT_EQ(procedure.run(input), c.outcome);
        std::vector<std::string> codes;
        for (const std::string& frame : b.frames())
            codes.push_back(frame.substr(3, 2));
        EXPECT_EQ(codes, c.codes);
        const std::string said = std::accumulate(details.begin(), details.end(), std::string());
        EXPECT_NE(said.find(c.detail), std::string::npos) << said;
        EXPECT_TRUE(*c.detail || details.empty()) << said;
    }
}
