// vantor upload end to end: a separate vantor process uploads into the simulated PLC served on a
// real pseudo-terminal by this test, which then checks every frame the PLC received.
#include "hostlink/Frame.h"
#include "hostlink/PlcId.h"
#include "plcsim/PtyPlcServer.h"
#include "support/RunTool.h"
#include "support/TempFile.h"

#include <gtest/gtest.h>

#include "support/ChildProcess.h"
#include <chrono>
#include <csignal>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace vantor;
using test::runTool;
using test::TempFile;

namespace {

const std::string header = "Vantor Compiled Code\r\n";
// Records, comments, empty lines, an 07: line, a prefix-only record, an LF inside a line, 8-bit bytes.
const std::string mixedFile = header + "; conveyor\r\n01:0000000C\r\n\r\n03:0010FF\r\n07:0000\r\n05:\r\n"
                                       "04:00\n20\r\n06:\xE9\xFF\r\n02:0001";
const std::vector<std::string> mixedCommands = {"CZ0000000C", "Wm0010FF",   "CT",
                                                "Wu00\n20",   "WF\xE9\xFF", "CF0001"};

std::vector<std::string> framesFor(std::int16_t id, const std::vector<std::string>& commands)
{
    std::vector<std::string> frames;
    for (const auto& c : commands)
        frames.push_back(hostlink::Frame::build(id, c));
    return frames;
}

std::vector<std::string> join(std::vector<std::string> a, const std::vector<std::string>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::vector<std::string> repeat(const std::string& command, int times)
{
    return std::vector<std::string>(static_cast<std::size_t>(times), command);
}

std::string lastLine(const std::string& out)
{
    std::string text = out;
    if (!text.empty() && text.back() == '\n')
        text.pop_back();
    return text.substr(text.rfind('\n') == std::string::npos ? 0 : text.rfind('\n') + 1);
}

plcsim::PlcFaults faults(void (*change)(plcsim::PlcFaults&))
{
    plcsim::PlcFaults f;
    change(f);
    return f;
}

// One upload, its fields set by name: Case("name", file).args(...).plc(...).receives(...).ends(...).
struct Case
{
    Case(const char* caseName, std::string fileText) : name(caseName), file(std::move(fileText)) {}
    // Arguments after --port and --timeout.
    Case& args(std::vector<std::string> given)
    {
        extraArgs = std::move(given);
        return *this;
    }
    // The simulated PLC's ID (01 unless set) and its faults.
    Case& plc(std::int16_t id, plcsim::PlcFaults shown = {})
    {
        plcId = id;
        faults = shown;
        return *this;
    }
    // What the PLC should receive, before framing, in frames for this ID.
    Case& receives(std::int16_t id, std::vector<std::string> sent)
    {
        frameId = id;
        commands = std::move(sent);
        return *this;
    }
    // The last line of standard output, the exit status and a part of standard error.
    Case& ends(std::string caption, int exitStatus, const char* stderrPart = "")
    {
        finalCaption = std::move(caption);
        status = exitStatus;
        says = stderrPart;
        return *this;
    }

    const char* name;
    std::string file;
    std::vector<std::string> extraArgs;
    std::int16_t plcId = 1;
    plcsim::PlcFaults faults;
    std::vector<std::string> commands;
    std::int16_t frameId = 1;
    std::string finalCaption;
    int status = 0;
    const char* says = "";
};

} // namespace

TEST(VantorUpload, SendsExactlyTheFramesTheProcedureCallsFor)
{
    const auto full = [](std::vector<std::string> records, std::vector<std::string> tail) {
        return join(join(join({"C2"}, records), {"CS", "IR"}), tail);
    };
    const Case cases[] = {
        Case("mixed file", mixedFile)
            .receives(1, full(mixedCommands, {"C1"}))
            .ends(" 6 Lines Uploaded!", 0, "to PLC ID 01 through /dev/pts/"),
        Case("summary without a terminal", mixedFile)
            .args({"-r", "-i", "1"})
            .receives(1, full(mixedCommands, {"CL", "C1", "CL"}))
            .ends(" 6 Lines Uploaded!", 0, "vantor: 6 records sent and echoed in "),
        Case("header only", header).receives(1, full({}, {"C1"})).ends(" 0 Lines Uploaded!", 0),
        Case("reset checked", header + "05:\r\n")
            .args({"--reset"})
            .receives(1, full({"CT"}, {"CL", "C1", "CL"}))
            .ends(" 1 Lines Uploaded!", 0),
        Case("ID without leading zero", header + "05:\r\n")
            .args({"--id", "1"})
            .receives(1, full({"CT"}, {"C1"}))
            .ends(" 1 Lines Uploaded!", 0),
        Case("ID with blanks around", header + "05:\r\n")
            .args({"--id", " 12 "})
            .plc(0x12)
            .receives(0x12, full({"CT"}, {"C1"}))
            .ends(" 1 Lines Uploaded!", 0),
        Case("ID ff", header + "05:\r\n")
            .args({"--id", "ff"})
            .plc(255)
            .receives(255, full({"CT"}, {"C1"}))
            .ends(" 1 Lines Uploaded!", 0),
        Case("ID fffe", header + "05:\r\n")
            .args({"--id", "fffe"})
            .plc(-2)
            .receives(-2, full({"CT"}, {"C1"}))
            .ends(" 1 Lines Uploaded!", 0),
        Case("ID too long", mixedFile)
            .args({"--id", "12345"})
            .receives(1, {})
            .ends("", 2, "vantor: --id must be"),
        Case("header with trailing blank", "Vantor Compiled Code \r\n05:\r\n")
            .receives(1, {})
            .ends("Invalid file content. Uploading aborted", 4),
        Case("header in lower case", "vantor compiled code\r\n05:\r\n")
            .receives(1, {})
            .ends("Invalid file content. Uploading aborted", 4),
        Case("LF-only line ends", "Vantor Compiled Code\n05:\n")
            .receives(1, {})
            .ends("Invalid file content. Uploading aborted", 4,
                  "vantor: the header line is not accepted: its lines end with LF alone"),
        Case("empty file", "").receives(1, {}).ends("The file is empty. Uploading aborted", 4),
        Case("silence on C2", mixedFile)
            .plc(1, faults([](plcsim::PlcFaults& f) { f.silent = true; }))
            .receives(1, {"C2"})
            .ends("No response from PLC", 7,
                  "vantor: link test: nothing answered @01C230* within 150 ms; nothing else was sent"),
        // What to try next, in the command line's words: its own command and options.
        Case("silence on C2, what to try", mixedFile)
            .plc(1, faults([](plcsim::PlcFaults& f) { f.silent = true; }))
            .receives(1, {"C2"})
            .ends(
                "No response from PLC", 7,
                "vantor: the usual causes, in the order to check them: the port (is it the one the PLC's "
                "cable is on?), the baud rate and settings (data bits, parity and stop bits as the PLC has "
                "them), the cable (seated at both ends; null-modem where the PLC needs one), the PLC ID (as "
                "set in the PLC) and the PLC's mode (powered, and in a mode that answers the host link); "
                "then try vantor scan to find which port, baud rate and ID answer, --attempts 3 for a PLC "
                "still starting up or --timeout 300 for one that answers late\n"),
        Case("an answer past the timeout", mixedFile)
            .plc(1, faults([](plcsim::PlcFaults& f) { f.delayMs = 250; }))
            .receives(1, {"C2"})
            .ends("No response from PLC", 7,
                  "ms after the command, past the 150 ms timeout: the PLC is there and answers late; try "
                  "--timeout 500\n"),
        // The link test alone is tried again: every record still goes out once.
        Case("a PLC still starting up, tried again", mixedFile)
            .args({"--attempts", "3"})
            .plc(1, faults([](plcsim::PlcFaults& f) { f.deafFrames = 2; }))
            .receives(1, join({"C2", "C2"}, full(mixedCommands, {"C1"})))
            .ends(" 6 Lines Uploaded!", 0, "vantor: the link test was answered at attempt 3 of 3"),
        Case("a PLC starting up for longer than the attempts", mixedFile)
            .args({"--attempts", "2"})
            .plc(1, faults([](plcsim::PlcFaults& f) { f.deafFrames = 2; }))
            .receives(1, {"C2", "C2"})
            .ends("No response from PLC", 7,
                  "vantor: link test, attempt 2 of 2: nothing answered @01C230* within 150 ms; nothing else "
                  "was sent"),
        Case("wrong ID in the echo", mixedFile)
            .plc(1, faults([](plcsim::PlcFaults& f) { f.wrongId = true; }))
            .receives(1, {"C2"})
            .ends("No response from PLC", 7,
                  "vantor: link test: a PLC answered as ID 02 (@02C20033*), not as 01: check the PLC ID"),
        Case("another PLC's ID", mixedFile)
            .args({"--id", "02"})
            .receives(2, {"C2"})
            .ends("No response from PLC", 7),
        Case("silence on record 3", mixedFile)
            .plc(1, faults([](plcsim::PlcFaults& f) { f.stopAfterFrames = 3; }))
            .receives(1, {"C2", "CZ0000000C", "Wm0010FF", "CT"})
            .ends("Error receiving PLC Response. Upload aborted.", 8,
                  "vantor: record 3 of 6 (file line 7): nothing answered @01CT56* within 150 ms. Nothing was "
                  "sent "
                  "after "
                  "it: the PLC holds a partial program that was not saved to EEPROM"),
        Case("IR busy for three polls", header + "05:\r\n")
            .plc(1, faults([](plcsim::PlcFaults& f) { f.busyPolls = 3; }))
            .receives(1, join(join({"C2", "CT", "CS"}, repeat("IR", 4)), {"C1"}))
            .ends(" 1 Lines Uploaded!", 0),
        Case("IR never echoed", header + "05:\r\n")
            .args({"--reset"})
            .plc(1, faults([](plcsim::PlcFaults& f) { f.busyPolls = 1000; }))
            .receives(1, join(join({"C2", "CT", "CS"}, repeat("IR", 20)), {"CL", "C1", "CL"}))
            .ends(" 1 Lines Uploaded! (Warning: the PLC did not confirm the EEPROM save)", 9),
        Case("answers split, CR LF", mixedFile)
            .plc(1, faults([](plcsim::PlcFaults& f) {
                     f.splitChars = 4;
                     f.splitGapMs = 5;
                     f.lineEnd = plcsim::LineEnd::CRLF;
                 }))
            .receives(1, full(mixedCommands, {"C1"}))
            .ends(" 6 Lines Uploaded!", 0),
        Case("hang-up mid-upload", mixedFile)
            .plc(1, faults([](plcsim::PlcFaults& f) { f.hangUpAfterFrames = 3; }))
            .receives(1, {"C2", "CZ0000000C", "Wm0010FF", "CT"})
            .ends(
                "Upload aborted after record 2 of 6 (file line 5): the PLC holds a partial program that was "
                "not saved to EEPROM; its saved program is unchanged.",
                10),
        Case("hang-up at the save", mixedFile)
            .plc(1, faults([](plcsim::PlcFaults& f) { f.hangUpAfterFrames = 7; }))
            .receives(1, join(join({"C2"}, mixedCommands), {"CS"}))
            .ends("The EEPROM save of 6 records was requested; whether the PLC saved them is not confirmed.",
                  10, "vantor: Lost the connection to"),
        Case("a loopback plug", mixedFile)
            .plc(1, faults([](plcsim::PlcFaults& f) { f.loopback = true; }))
            .receives(1, {"C2"})
            .ends("No response from PLC", 7,
                  "vantor: link test: the line only returned what was sent (@01C230*) and nothing answered "
                  "after it"),
        Case("a line that echoes", mixedFile)
            .plc(1, faults([](plcsim::PlcFaults& f) {
                     f.lineEcho = true;
                     f.splitChars = 3;
                 }))
            .receives(1, full(mixedCommands, {"C1"}))
            .ends(" 6 Lines Uploaded!", 0,
                  "vantor: the line returns every frame sent before the PLC's answer"),
        Case("a line that echoes, another PLC answering", mixedFile)
            .plc(1, faults([](plcsim::PlcFaults& f) {
                     f.lineEcho = true;
                     f.wrongId = true;
                 }))
            .receives(1, {"C2"})
            .ends("No response from PLC", 7, "vantor: link test: a PLC answered as ID 02"),
        Case("a reply without a line end", mixedFile)
            .plc(1, faults([](plcsim::PlcFaults& f) { f.flood = true; }))
            .receives(1, {"C2"})
            .ends(
                "No response from PLC", 7,
                "bytes came back without a line end (CR or CR LF) instead of an answer to @01C230*, starting "
                "\"AAAAAAAAAA"),
        // Every answer is ten characters: its LF comes on its own, after the next check for held-over bytes.
        Case("every answer's LF 30 ms after its CR", mixedFile)
            .plc(1, faults([](plcsim::PlcFaults& f) {
                     f.splitChars = 11;
                     f.splitGapMs = 30;
                     f.lineEnd = plcsim::LineEnd::CRLF;
                 }))
            .receives(1, full(mixedCommands, {"C1"}))
            .ends(" 6 Lines Uploaded!", 0),
        Case("a line that turns loopback after the link test", mixedFile)
            .plc(1, faults([](plcsim::PlcFaults& f) { f.loopbackAfterFrames = 3; }))
            .receives(1, {"C2", "CZ0000000C", "Wm0010FF", "CT"})
            .ends("Error receiving PLC Response. Upload aborted.", 8,
                  "vantor: record 3 of 6 (file line 7): the line returned @01CT56* as sent and no PLC "
                  "answered it. "
                  "Nothing was sent after it"),
        Case("a dry run, reset asked", mixedFile)
            .args({"--dry-run", "--reset"})
            .receives(1, {"C2"})
            .ends("The PLC answered the link test; nothing else was sent (dry run)", 15),
        Case("checked in full, a corrupted answer", mixedFile)
            .args({"--verify-replies"})
            .plc(1, faults([](plcsim::PlcFaults& f) { f.wrongFcsAnswer = 3; }))
            .receives(1, {"C2", "CZ0000000C", "Wm0010FF"})
            .ends("Error receiving PLC Response. Upload aborted.", 8,
                  "vantor: record 2 of 6 (file line 5): the answer \"@01Wm007A*\" carries the FCS 7A where "
                  "its text "
                  "gives 7B: the line corrupted it"),
        Case("checked in full, a refused record", mixedFile)
            .args({"--verify-replies"})
            .plc(1, faults([](plcsim::PlcFaults& f) { f.endCodeAnswer = 3; }))
            .receives(1, {"C2", "CZ0000000C", "Wm0010FF"})
            .ends("Error receiving PLC Response. Upload aborted.", 8,
                  "vantor: record 2 of 6 (file line 5): the PLC refused @01Wm0010FF7A* with the end code 13"),
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        plcsim::PtyPlcServer plc(plcsim::SimulatedPlc(c.plcId, c.faults));
        ASSERT_TRUE(plc.start().ok());
        TempFile file(c.file);
        std::vector<std::string> args{"upload", "--port", plc.devicePath(), "--timeout", "150"};
        args.insert(args.end(), c.extraArgs.begin(), c.extraArgs.end());
        args.push_back(file.path());

        const auto run = runTool(args);
        EXPECT_EQ(run.status, c.status) << run.out << run.err;
        if (c.status == 10) {
            EXPECT_EQ(lastLine(run.out).find("Lost the connection to " + plc.devicePath()), 0u) << run.out;
            EXPECT_NE(lastLine(run.out).find(c.finalCaption), std::string::npos) << run.out;
        } else
            EXPECT_EQ(lastLine(run.out), c.finalCaption);
        EXPECT_EQ(plc.snapshot().frames(), framesFor(c.frameId, c.commands));
        EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
        if (c.status == 0 || c.status == 9) {
            const auto saved = plc.snapshot().savedProgram();
            EXPECT_EQ(saved.size(),
                      std::count_if(c.commands.begin(), c.commands.end(), [](const std::string& cmd) {
                          return plcsim::SimulatedPlc::isRecordCode(cmd.substr(0, 2));
                      }));
        }
    }
}

TEST(VantorUpload, RefusesWhatItCannotReadOrReach)
{
    TempFile file(header + "05:\r\n");
    struct Probe
    {
        std::vector<std::string> args;
        int status;
        const char* out;
        const char* err;
        const char* notSaid = "records sent"; // of a run that never used the line
    };
    const Probe probes[] = {
        {{"upload", "--port", "SIM", "/tmp/vantor-nowhere.VQC"},
         3,
         "Cannot open /tmp/vantor-nowhere.VQC: no such file. Uploading aborted\n",
         ""},
        {{"upload", "--port", "SIM", "/tmp"},
         3,
         "Cannot open /tmp: it is a folder, not a file. Uploading aborted\n",
         ""},
        {{"upload", "--port", "/dev/ttyVANTOR-missing", file.path()},
         6,
         "Cannot open /dev/ttyVANTOR-missing: no such device. Check the port name, and that the adapter is "
         "plugged "
         "in. Upload aborted.\n",
         ""},
        {{"upload", "--port", "SIM"}, 2, "", "upload takes exactly one FILE"},
        {{"upload", "--each", "--dry-run", "--port", "SIM", file.path()},
         2,
         "",
         "--dry-run checks the PLCs connected now and --each waits for PLCs to come"},
        {{"upload", "--each", "--poll-interval", "10", "--port", "SIM", file.path()},
         2,
         "",
         "--poll-interval must be a whole number of milliseconds from 50 to 60000"},
        {{"upload", "--port", "SIM", file.path()},
         0,
         "Saving Program to EEPROM...\n 1 Lines Uploaded!\n",
         "SIM: Open at 38400,N,8,1",
         "nothing was sent"},
    };
    for (const Probe& p : probes) {
        SCOPED_TRACE(p.args.back());
        const auto run = runTool(p.args);
        EXPECT_EQ(run.status, p.status);
        EXPECT_EQ(run.out, p.out);
        EXPECT_NE(run.err.find(p.err), std::string::npos) << run.err;
        EXPECT_EQ(run.err.find(p.notSaid), std::string::npos) << run.err;
    }
}

TEST(VantorCheck, TellsWhetherTheUploadWouldStart)
{
    struct Probe
    {
        std::string bytes;
        std::vector<std::string> options;
        int status;
        std::vector<const char*> says;
    };
    const Probe probes[] = {
        {mixedFile,
         {"--frames"},
         0,
         {"Header: accepted", "Records to send: 6", "  01: CZ  1", "Skipped lines: 3",
          "  line 2: \"; conveyor\"", "  line 4: (empty)", "  line 6: \"07:0000\"",
          "  @01C230*\n  @01CZ0000000C2B*", "  @01Wu00<LF>20", "The upload would start."}},
        {"\xEF\xBB\xBFVantor Compiled Code\r\n",
         {},
         4,
         {"Header: rejected: the file starts with a byte-order mark"}},
        {"Vantor Compiled Code \r\n", {}, 4, {"trailing blanks"}},
        {"Vantor Compiled Code\n01:00\n", {}, 4, {"LF alone"}},
        {"", {}, 4, {"Header: rejected: the file is empty."}},
        {header,
         {"--id", "fffe", "--frames"},
         0,
         {"Records to send: 0", "Frames for PLC ID FFFE:", "@FFFEC2"}},
    };
    for (const Probe& p : probes) {
        SCOPED_TRACE(p.says.front());
        TempFile file(p.bytes);
        std::vector<std::string> args{"check", file.path()};
        args.insert(args.end(), p.options.begin(), p.options.end());
        const auto run = runTool(args);
        EXPECT_EQ(run.status, p.status);
        for (const char* text : p.says)
            EXPECT_NE(run.out.find(text), std::string::npos) << text << "\n" << run.out;
    }
}

// Hostile input and faults: whatever happens, the PLC saves the whole file or nothing new, no frame is
// built from bytes other than those checked, the status says which, and the run ends in bounded time.
TEST(VantorUpload, SavesTheWholeFileOrNothingUnderHostileInput)
{
    std::string records;
    std::vector<std::string> bigCommands;
    for (int i = 0; i < 30000; ++i) {
        records += "03:" + std::to_string(100000 + i) + "\r\n";
        bigCommands.push_back("Wm" + std::to_string(100000 + i));
    }
    const std::string big = header + records;
    TempFile bigFile(big);
    TempFile mixed(mixedFile);
    const std::string latin1Path = "/tmp/vantor-caf\xE9-" + std::to_string(::getpid()) + ".VQC";
    const std::string fifoPath = "/tmp/vantor-fifo-" + std::to_string(::getpid());
    const std::string statusPath = "/tmp/vantor-status-" + std::to_string(::getpid());
    ::mkfifo(fifoPath.c_str(), 0600);
    {
        std::FILE* f = std::fopen(latin1Path.c_str(), "wb");
        std::fputs(mixedFile.c_str(), f);
        std::fclose(f);
    }
    const auto flood = faults([](plcsim::PlcFaults& f) { f.flood = true; });
    const auto slow = faults([](plcsim::PlcFaults& f) { f.delayMs = 1; });
    const auto fallsSilent = faults([](plcsim::PlcFaults& f) { f.stopAfterFrames = 201; });

    // What happens to the file, or to the tool, once 200 records are in.
    enum class During { Nothing, Truncate, Rewrite, Append, Interrupt, Terminate };
    enum class Saved { Whole, Nothing };
    const std::string plain = "exec \"$0\" upload --port \"$1\" --timeout 5000 \"$(printf \"$2\")\"";
    struct Row
    {
        const char* name;
        std::string path;
        std::string stdinBytes;
        plcsim::PlcFaults faults;
        During during;
        int status;
        Saved saved;
        double maxSeconds;
        std::string shell = {}; // how the tool is started, when not plainly
    };
    const Row rows[] = {
        {"a pipe", "/dev/stdin", mixedFile, {}, During::Nothing, 0, Saved::Whole, 10},
        {"a Latin-1 file name", latin1Path, "", {}, During::Nothing, 0, Saved::Whole, 10},
        {"/dev/zero", "/dev/zero", "", {}, During::Nothing, 3, Saved::Nothing, 10},
        {"a FIFO without a writer", fifoPath, "", {}, During::Nothing, 3, Saved::Nothing, 20},
        {"a folder", "/tmp", "", {}, During::Nothing, 3, Saved::Nothing, 10},
        {"a 1 MiB line after the header",
         "/dev/stdin",
         header + std::string(1 << 20, 'A'),
         {},
         During::Nothing,
         4,
         Saved::Nothing,
         10},
        {"a PLC that floods", bigFile.path(), "", flood, During::Nothing, 7, Saved::Nothing, 10},
        {"truncated while sending", bigFile.path(), "", {}, During::Truncate, 11, Saved::Nothing, 30},
        {"changed in place, same length", bigFile.path(), "", {}, During::Rewrite, 11, Saved::Nothing, 30},
        {"grown while sending", bigFile.path(), "", {}, During::Append, 11, Saved::Nothing, 30},
        {"Ctrl+C while sending", bigFile.path(), "", slow, During::Interrupt, 130, Saved::Nothing, 30},
        {"SIGTERM while sending", bigFile.path(), "", slow, During::Terminate, 143, Saved::Nothing, 30},
        {"Ctrl+C while the PLC is silent", bigFile.path(), "", fallsSilent, During::Interrupt, 130,
         Saved::Nothing, 30},
        {"standard output on a full disk",
         mixed.path(),
         "",
         {},
         During::Nothing,
         74,
         Saved::Whole,
         10,
         plain + " >/dev/full"},
        {"standard output closed early",
         mixed.path(),
         "",
         {},
         During::Nothing,
         74,
         Saved::Whole,
         10,
         // The reader is gone before the tool starts (it closes its end, then leaves a mark), so every
         // write meets a closed pipe, however the two are scheduled.
         "rm -f \"$3.gone\"; { while [ ! -e \"$3.gone\" ]; do sleep 0.01; done; \"$0\" upload --port \"$1\" "
         "--timeout 5000 \"$(printf \"$2\")\"; echo $? >\"$3\"; } | { exec 0<&-; : >\"$3.gone\"; }; "
         "rm -f \"$3.gone\"; exit $(cat \"$3\")"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        plcsim::PtyPlcServer plc(plcsim::SimulatedPlc(1, r.faults));
        ASSERT_TRUE(plc.start().ok());
        TempFile copy(big); // what the rows that change the file change under the tool's feet
        const bool changes =
            r.during == During::Truncate || r.during == During::Rewrite || r.during == During::Append;
        const std::string path = changes ? copy.path() : r.path;

        test::ChildProcess tool;
        const auto started = std::chrono::steady_clock::now();
        // Through printf, so the shell line stays printable whatever bytes the name holds; exec keeps the
        // pid.
        std::string printfPath;
        for (const char c : path) {
            char octal[8];
            std::snprintf(octal, sizeof octal, "\\%03o", static_cast<unsigned char>(c));
            printfPath += octal;
        }
        ASSERT_TRUE(tool.start("/bin/sh", {"-c", r.shell.empty() ? plain : r.shell, VANTOR_TOOL,
                                           plc.devicePath(), printfPath, statusPath}));
        tool.write(r.stdinBytes);
        tool.closeStdin();
        auto signalled = started;
        if (r.during != During::Nothing) {
            // Well into the records, long before the end; never longer than the row's bound.
            const auto deadline = started + std::chrono::duration<double>(r.maxSeconds);
            while (plc.snapshot().records().size() < 200 && std::chrono::steady_clock::now() < deadline &&
                   !tool.waitFinished(0))
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            ASSERT_GE(plc.snapshot().records().size(), 200u) << tool.err();
            if (r.faults.stopAfterFrames >= 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(300)); // the tool is waiting now
            signalled = std::chrono::steady_clock::now();
            if (r.during == During::Truncate) {
                ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(big.size() / 4)), 0);
            } else if (r.during == During::Rewrite || r.during == During::Append) {
                // The same length with other records, three quarters in; or more records at the end.
                std::FILE* f = std::fopen(path.c_str(), r.during == During::Append ? "ab" : "r+b");
                ASSERT_NE(f, nullptr);
                if (r.during == During::Rewrite)
                    std::fseek(f, static_cast<long>(big.size() * 3 / 4 - big.size() * 3 / 4 % 11 + 1),
                               SEEK_SET);
                for (int i = 0; i < 1000; ++i)
                    std::fputs("03:999999\r\n", f);
                std::fclose(f);
            } else {
                ::kill(tool.pid(), r.during == During::Interrupt ? SIGINT : SIGTERM);
            }
        }
        ASSERT_TRUE(tool.waitFinished(60000));
        const auto finished = std::chrono::steady_clock::now();
        const std::string out = tool.out();
        EXPECT_EQ(tool.exitCode(), r.status) << out << tool.err();
        EXPECT_LT(std::chrono::duration<double>(finished - started).count(), r.maxSeconds);
        if (r.during == During::Interrupt || r.during == During::Terminate) {
            EXPECT_LT(std::chrono::duration<double>(finished - signalled).count(), 1.5)
                << "a stop request ends any wait within a slice";
        }

        const auto plcState = plc.snapshot();
        EXPECT_EQ(plcState.saveCount() > 0, r.saved == Saved::Whole);
        if (r.saved == Saved::Whole) {
            EXPECT_EQ(plcState.savedProgram(), mixedCommands);
            EXPECT_EQ(plcState.frames().back(), hostlink::Frame::build(1, "C1"))
                << "the sequence ran to its end";
        } else {
            EXPECT_TRUE(plcState.savedProgram().empty());
            const auto& got = plcState.records();
            ASSERT_LE(got.size(), bigCommands.size());
            EXPECT_TRUE(std::equal(got.begin(), got.end(), bigCommands.begin()))
                << "every record that reached the PLC is one of the file as it was checked";
        }
    }
    std::remove(latin1Path.c_str());
    std::remove(fifoPath.c_str());
    std::remove(statusPath.c_str());
}
