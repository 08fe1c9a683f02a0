// The procedure's reporting and failure paths over a scripted link; the full protocol runs against
// the simulated PLC in the command-line tests.
#include "upload/UploadProcedure.h"
#include "hostlink/CommandExchange.h"
#include "hostlink/Frame.h"
#include "support/FakeLink.h"
#include "support/TempFile.h"

#include <gtest/gtest.h>

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

struct Bench
{
    test::FakeClock clock;
    test::FakeLink link{clock};
    hostlink::CommandExchange exchange{link, clock};
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
