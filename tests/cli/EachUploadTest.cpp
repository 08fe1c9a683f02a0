// `vantor upload --each` against PLCs that come and go on one port name, as on a production line, and
// the dry run that asks nothing but the link test.
#include "plcsim/PtyPlcServer.h"
#include "plcsim/SimulatedPlc.h"
#include "plcsim/TcpPlcServer.h"
#include "support/ChildProcess.h"
#include "support/RunTool.h"
#include "support/TempFile.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <thread>

using namespace vantor;
using json = nlohmann::json;
using test::TempFile;

namespace {

const std::string program = "Vantor Compiled Code\r\n01:0000000C\r\n03:0010FF\r\n";
const std::vector<std::string> programRecords = {"CZ0000000C", "Wm0010FF"};

// A PLC that answers the link test twice (the loop's and the upload's) and the first record, then
// nothing: one that fails mid-upload and so falls silent while still connected.
plcsim::SimulatedPlc plcFailingAfterTheFirstRecord()
{
    plcsim::PlcFaults faults;
    faults.stopAfterFrames = 3;
    return plcsim::SimulatedPlc(1, faults);
}

// One port name under which PLCs are plugged in and unplugged; each unplugged PLC's state is kept.
struct Socket
{
    std::string port;
    std::function<void(plcsim::SimulatedPlc plc)> plugIn;
    std::function<void()> unplug;
    std::vector<plcsim::SimulatedPlc> unplugged;
};

// A pseudo-terminal PLC behind a link of the test's making: the link appears with the PLC and goes
// with it, as a USB adapter's device does.
Socket ptySocket(const std::filesystem::path& link)
{
    auto server = std::make_shared<std::unique_ptr<plcsim::PtyPlcServer>>();
    Socket s;
    s.port = link.string();
    s.plugIn = [server, link](plcsim::SimulatedPlc plc) {
        *server = std::make_unique<plcsim::PtyPlcServer>(std::move(plc));
        ASSERT_TRUE((*server)->start().ok());
        std::filesystem::create_symlink((*server)->devicePath(), link);
    };
    s.unplug = [server, link, &s] {
        std::filesystem::remove(link);
        s.unplugged.push_back((*server)->snapshot());
        server->reset();
    };
    return s;
}

// A PLC behind a serial server that is started and stopped on one TCP port.
Socket tcpSocket()
{
    auto server = std::make_shared<std::unique_ptr<plcsim::TcpPlcServer>>();
    plcsim::TcpPlcServer probe;
    EXPECT_TRUE(probe.start("127.0.0.1", 0).ok());
    const std::string address = probe.address();
    probe.stop();
    const int tcpPort = std::stoi(address.substr(address.rfind(':') + 1));
    Socket s;
    s.port = "socket://" + address;
    s.plugIn = [server, tcpPort](plcsim::SimulatedPlc plc) {
        *server = std::make_unique<plcsim::TcpPlcServer>(std::move(plc));
        ASSERT_TRUE((*server)->start("127.0.0.1", tcpPort).ok());
    };
    s.unplug = [server, &s] {
        s.unplugged.push_back((*server)->snapshot());
        (*server)->stop();
        server->reset();
    };
    return s;
}

// The next JSON line of the tool's standard output whose "each" event is what; null after timeoutMs.
json nextEach(test::ChildProcess& tool, const std::string& what, int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
        const std::string line = tool.readLine(200);
        if (line.empty())
            continue;
        const json parsed = json::parse(line, nullptr, false);
        if (parsed.value("event", "") == "each" && parsed.value("what", "") == what)
            return parsed;
    }
    return nullptr;
}

std::vector<json> recordLines(const std::string& path)
{
    std::vector<json> lines;
    std::ifstream in(path);
    for (std::string text; std::getline(in, text);)
        lines.push_back(json::parse(text));
    return lines;
}

} // namespace

TEST(VantorUploadEach, EachPlcThatComesGetsOneUploadAndOneRecordLine)
{
    struct Row
    {
        const char* name;
        bool tcp;
        int firstHeldMs; // how long the first PLC stays connected after its upload
    };
    const Row rows[] = {
        {"pseudo-terminals that come and go", false, 200},
        {"a serial server started and stopped, the first PLC left connected", true, 2500},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::filesystem::path dir =
            std::filesystem::temp_directory_path() /
            ("vantor-each-" + std::to_string(::getpid()) + (row.tcp ? "t" : "p"));
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        Socket socket = row.tcp ? tcpSocket() : ptySocket(dir / "plc");
        TempFile file(program);
        const std::string record = (dir / "record.jsonl").string();
        test::ChildProcess tool;
        tool.start(VANTOR_TOOL, {"upload", "--each", "--json", "--poll-interval", "50", "--unplug-limit", "1",
                                 "--timeout", "100", "--record", record, "--port", socket.port, file.path()});
        tool.closeStdin();
        for (int plc = 1; plc <= 3; ++plc) {
            SCOPED_TRACE(plc);
            socket.plugIn(plc == 2 ? plcFailingAfterTheFirstRecord() : plcsim::SimulatedPlc(1));
            const json counted = nextEach(tool, "counted", 5000);
            ASSERT_FALSE(counted.is_null()) << tool.err();
            EXPECT_EQ(counted["count"], plc);
            EXPECT_EQ(counted["outcome"], plc == 2 ? "aborted" : "saved");
            std::this_thread::sleep_for(std::chrono::milliseconds(plc == 1 ? row.firstHeldMs : 100));
            socket.unplug();
            EXPECT_FALSE(nextEach(tool, "gone", 5000).is_null()) << tool.err();
        }
        ::kill(tool.pid(), SIGINT);
        ASSERT_TRUE(tool.waitFinished(5000));
        EXPECT_EQ(tool.exitCode(), 12) << tool.err();
        EXPECT_NE(tool.err().find("this run: saved 2, failed 1"), std::string::npos) << tool.err();
        const bool told = tool.err().find("still connected") != std::string::npos;
        EXPECT_EQ(told, row.firstHeldMs > 1000) << tool.err();

        ASSERT_EQ(socket.unplugged.size(), 3u);
        for (int plc : {0, 2}) {
            EXPECT_EQ(socket.unplugged[plc].saveCount(), 1) << plc;
            EXPECT_EQ(socket.unplugged[plc].savedProgram(), programRecords) << plc;
        }
        const std::vector<json> lines = recordLines(record);
        ASSERT_EQ(lines.size(), 3u);
        EXPECT_EQ(lines[0]["outcome"], "saved");
        EXPECT_EQ(lines[1]["outcome"], "aborted");
        EXPECT_EQ(lines[2]["outcome"], "saved");
        std::filesystem::remove_all(dir);
    }
}

TEST(VantorUploadEach, ADryRunAsksOnlyTheLinkTest)
{
    struct Row
    {
        const char* name;
        std::int16_t secondId; // of the PLC on the second line; the first holds PLC 01
        int status;
    };
    const Row rows[] = {
        {"every PLC answers", 1, 15},
        {"one of two is not there", 2, 12},
    };
    TempFile file(program);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        plcsim::PtyPlcServer one{plcsim::SimulatedPlc(1)};
        plcsim::PtyPlcServer two{plcsim::SimulatedPlc(row.secondId)};
        ASSERT_TRUE(one.start().ok() && two.start().ok());
        const auto run = test::runTool({"upload", "--dry-run", "--reset", "--timeout", "100", "--port",
                                        one.devicePath(), "--port", two.devicePath(), file.path()});
        EXPECT_EQ(run.status, row.status) << run.err;
        for (const plcsim::PtyPlcServer* server : {&one, &two}) {
            const auto frames = server->snapshot().frames();
            ASSERT_FALSE(frames.empty());
            for (const std::string& frame : frames)
                EXPECT_EQ(frame.substr(3, 2), "C2") << frame;
        }
    }
}
