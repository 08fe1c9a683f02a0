// Several PLCs in one run (ID lists, several lines side by side) and the --json output, checked
// against the schema the manual documents.
#include "cli/commands/PortsCommand.h"
#include "cli/output/FleetReporter.h"
#include "plcsim/PtyPlcServer.h"
#include "serial/TcpListener.h"
#include "support/JsonSchema.h"
#include "support/RunTool.h"
#include "support/TempFile.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <thread>

using namespace vantor;
using nlohmann::json;
using test::runTool;
using test::TempFile;

namespace {

const std::string program = "Vantor Compiled Code\r\n01:0000000C\r\n; comment\r\n03:0010FF\r\n02:0001\r\n";
// sha256sum of program.
const std::string programSha = "fb6d78f5a1069f6cae261d3db747e3a0f36fd2a3cc350c0df9c0f50515bcb5fa";

json loadSchema()
{
    std::ifstream in(VANTOR_JSON_SCHEMA);
    return json::parse(in);
}

// Every line of out as JSON, each checked against the schema (with the message of the choice its
// event names, so that a failure says which field is wrong).
std::vector<json> parseLines(const std::string& out)
{
    static const json schema = loadSchema();
    std::vector<json> lines;
    std::istringstream in(out);
    for (std::string text; std::getline(in, text);) {
        SCOPED_TRACE(text);
        const json line = json::parse(text);
        for (const json& choice : schema["oneOf"]) {
            if (choice["properties"]["event"]["const"] == line.value("event", json())) {
                EXPECT_EQ(test::schemaProblem(choice, line), "");
            }
        }
        EXPECT_EQ(test::schemaProblem(schema, line), "");
        lines.push_back(line);
    }
    return lines;
}

} // namespace

TEST(JsonOutput, EveryLineIsADocumentedObject)
{
    TempFile file(program);
    TempFile rejected("Not compiled code\r\n");
    struct Row
    {
        std::vector<std::string> args;
        int status;
        std::vector<std::string> events; // in order
    };
    const Row rows[] = {
        {{"check", "--json", "--frames", file.path()}, 0, {"check"}},
        {{"check", "--json", rejected.path()}, 4, {"check"}},
        {{"check", "--json", "/nonexistent/x.VQC"}, 3, {"check"}},
        {{"send", "--json", "--port", "SIM", "--timeout", "50", "@01C230*", "@02C230*", "RS"},
         1,
         {"reply", "reply", "reply"}},
        {{"upload", "--json", "--port", "SIM", file.path()},
         0,
         {"progress", "progress", "progress", "result", "summary"}},
        {{"upload", "--json", "--port", "SIM", "--timeout", "50", "--id", "02", file.path()},
         7,
         {"result", "summary"}},
        {{"upload", "--json", "--port", "SIM", "--id", "1,2", "/nonexistent/x.VQC"},
         3,
         {"result", "result", "summary"}},
        {{"scan", "--json", "--port", "SIM", "--id", "0-2"}, 0, {"found", "scan-summary"}},
        {{"scan", "--json", "--port", "SIM", "--id", "2", "--timeout", "20"}, 7, {"scan-summary"}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.args.front() + " " + r.args.back());
        const auto run = runTool(r.args);
        EXPECT_EQ(run.status, r.status) << run.err;
        std::vector<std::string> events;
        for (const json& line : parseLines(run.out))
            events.push_back(line["event"]);
        EXPECT_EQ(events, r.events) << run.out;
    }
    // Whatever ports this machine has, and one with everything known.
    parseLines(runTool({"ports", "--json"}).out);
    serial::PortInfo usb;
    usb.device = "/dev/ttyUSB0";
    usb.driver = "ftdi_sio";
    usb.vendorId = 0x0403;
    usb.productId = 0x6001;
    usb.serialNumber = "A10K\xff";
    usb.aliases = {"/dev/serial/by-id/usb-FTDI-if00"};
    const auto lines =
        parseLines(cli::PortsCommand::toJson(usb).dump(-1, ' ', false, json::error_handler_t::replace));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0]["usb"]["vendor_id"], "0403");

    // The checker itself: each of these breaks the schema and must be caught.
    const json schema = loadSchema();
    for (const char* wrong :
         {R"({"schema":1,"event":"summary","saved":1})",
          R"({"schema":1,"event":"summary","saved":1,"failed":0,"version":"1","extra":1})",
          R"({"schema":2,"event":"summary","saved":1,"failed":0,"version":"1"})",
          R"({"schema":1,"event":"reply","command":"RS","status":"fine","reply":null})",
          R"({"schema":1,"event":"progress","port":"p","id":"1","record":1,"total":1})",
          R"({"schema":1,"event":"check","file":"f","status":0,"records":"2",)"
          R"("records_by_command":{},"skipped":0,"sha256":null,"detail":null})"})
        EXPECT_NE(test::schemaProblem(schema, json::parse(wrong)), "") << wrong;
}

namespace {
// Simulated lines, each holding the PLCs with the given IDs, every answer late by delayMs.
struct Lines
{
    Lines(const std::vector<std::vector<std::int16_t>>& idsPerLine, int delayMs)
    {
        plcsim::PlcFaults slow;
        slow.delayMs = delayMs;
        for (const auto& ids : idsPerLine) {
            servers.push_back(std::make_unique<plcsim::PtyPlcServer>(plcsim::SimulatedPlc(ids, slow)));
            EXPECT_TRUE(servers.back()->start().ok());
        }
    }
    std::vector<std::string> uploadArgs(const std::string& ids, const std::string& file) const
    {
        std::vector<std::string> args{"upload", "--json", "--timeout", "300", "--id", ids};
        for (const auto& s : servers) {
            args.push_back("--port");
            args.push_back(s->devicePath());
        }
        args.push_back(file);
        return args;
    }
    std::vector<std::unique_ptr<plcsim::PtyPlcServer>> servers;
};
const std::vector<std::string> programRecords = {"CZ0000000C", "Wm0010FF", "CF0001"};
} // namespace

TEST(VantorUpload, SeveralLinesRunSideBySideEachPlcInTurn)
{
    TempFile file(program);
    // The third line lacks PLC 02. Answers come 30 ms late, so lines run one after another would
    // take three times as long.
    Lines lines({{1, 2, 3}, {1, 2, 3}, {1, 3}}, 30);
    const auto started = std::chrono::steady_clock::now();
    const auto run = runTool(lines.uploadArgs("01-03", file.path()));
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    EXPECT_EQ(run.status, 12) << run.err;

    double busy = 0;
    std::map<std::string, int> lastRecord;
    int results = 0;
    for (const json& line : parseLines(run.out)) {
        const std::string plc = line.value("port", "") + " " + line.value("id", "");
        if (line["event"] == "progress") {
            EXPECT_EQ(line["record"].get<int>(), lastRecord[plc] + 1) << plc;
            lastRecord[plc] = line["record"];
        } else if (line["event"] == "result") {
            ++results;
            busy += line["seconds"].get<double>();
            const bool missing = line["port"] == lines.servers[2]->devicePath() && line["id"] == "02";
            EXPECT_EQ(line["status"], missing ? 7 : 0) << plc;
            EXPECT_EQ(line["records"], missing ? 0 : 3) << plc;
            EXPECT_EQ(line["sha256"], programSha);
            // What the record needs to stand on its own.
            EXPECT_EQ(line["file"], file.path());
            EXPECT_EQ(line["timeout_ms"], 300);
            EXPECT_EQ(line["baud"], 38400);
        } else {
            EXPECT_EQ(line["saved"], 8);
            EXPECT_EQ(line["failed"], 1);
        }
    }
    EXPECT_EQ(results, 9);
    for (std::size_t s = 0; s < lines.servers.size(); ++s) {
        for (std::int16_t id : {1, 2, 3}) {
            const bool missing = s == 2 && id == 2;
            EXPECT_EQ(lines.servers[s]->snapshot().savedProgram(id),
                      missing ? std::vector<std::string>{} : programRecords)
                << s << " " << id;
        }
    }
    EXPECT_NE(run.err.find(lines.servers[2]->devicePath() + "  02  no-link-response (7)      0/3"),
              std::string::npos)
        << run.err;
    EXPECT_LT(wall, 0.6 * busy) << "the lines ran one after another";
}

TEST(VantorUpload, AStopRequestStopsEveryLine)
{
    TempFile file(program);
    Lines lines({{1, 2}, {1, 2}}, 100);
    test::ChildProcess tool;
    tool.start(VANTOR_TOOL, lines.uploadArgs("01,02", file.path()));
    tool.closeStdin();
    // Both lines are into their first PLC's records.
    for (int i = 0; i < 2; ++i)
        EXPECT_NE(tool.readLine(), "");
    ::kill(tool.pid(), SIGINT);
    const auto signalled = std::chrono::steady_clock::now();
    ASSERT_TRUE(tool.waitFinished(10000));
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - signalled).count(), 1.5);
    EXPECT_EQ(tool.exitCode(), 130) << tool.err();
    int interrupted = 0;
    for (const json& line : parseLines(tool.out()))
        interrupted += line.value("outcome", "") == "interrupted" ? 1 : 0;
    EXPECT_EQ(interrupted, 4) << tool.out();
    for (const auto& server : lines.servers) {
        EXPECT_EQ(server->snapshot().saveCount(), 0);
        EXPECT_TRUE(server->snapshot().savedProgram(2).empty());
    }
}

TEST(VantorUpload, EachIdGoesToThePortsBeforeIt)
{
    TempFile file(program);
    Lines lines({{1, 2, 3}, {2}}, 0);
    const auto run = runTool({"upload", "--json", "--port", lines.servers[0]->devicePath(), "--id", "01-03",
                              "--port", lines.servers[1]->devicePath(), "--id", "02", file.path()});
    EXPECT_EQ(run.status, 0) << run.err;
    int results = 0;
    for (const json& line : parseLines(run.out))
        results += line["event"] == "result" ? 1 : 0;
    EXPECT_EQ(results, 4);
    for (std::int16_t id : {1, 2, 3})
        EXPECT_EQ(lines.servers[0]->snapshot().savedProgram(id), programRecords) << id;
    EXPECT_EQ(lines.servers[1]->snapshot().savedProgram(2), programRecords);
}

TEST(VantorScan, FindsExactlyThePlcsThatAnswerAskingNothingButTheLinkTest)
{
    Lines lines({{1, 3, 7}, {0x1F}, {0x20}}, 0);
    // PLCs 01 and 03 whose answers end 120 ms after the frame, in pieces 60 ms apart: late, yet found.
    plcsim::PlcFaults pieces;
    pieces.splitChars = 5;
    pieces.splitGapMs = 60;
    lines.servers.push_back(std::make_unique<plcsim::PtyPlcServer>(plcsim::SimulatedPlc({1, 3}, pieces)));
    ASSERT_TRUE(lines.servers.back()->start().ok());
    // PLCs 01 and 03 on a line, served here over TCP, that brings a stray byte while ID 00 is asked.
    serial::TcpListener listener;
    ASSERT_TRUE(listener.listen("127.0.0.1", 0).ok());
    plcsim::SimulatedPlc strayLine({1, 3}, {});
    std::thread serving([&listener, &strayLine] {
        serial::TcpConnection client;
        std::string peer;
        if (!listener.accept(10000, &client, &peer))
            return;
        for (serial::PortRead got = client.receive(100); !got.lost; got = client.receive(100)) {
            bool stray = false;
            for (const auto& action : strayLine.receive(got.bytes, [&stray](const std::string& frame) {
                     stray = stray || frame.rfind("@00C2", 0) == 0;
                 }))
                client.send(action.bytes);
            if (stray)
                client.send("\x7f");
        }
    });
    const std::string strayPort = "socket://" + listener.address();
    std::vector<std::string> args{"scan", "--json", "--port", strayPort};
    for (const auto& server : lines.servers) {
        args.push_back("--port");
        args.push_back(server->devicePath());
    }
    const auto started = std::chrono::steady_clock::now();
    const auto run = runTool(args);
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    serving.join();
    EXPECT_EQ(run.status, 0) << run.err;
    std::set<std::string> found;
    for (const json& line : parseLines(run.out)) {
        if (line["event"] == "found")
            found.insert(line["port"].get<std::string>() + " " + line["id"].get<std::string>() + " " +
                         line["kind"].get<std::string>());
    }
    const auto& s = lines.servers;
    EXPECT_EQ(found, (std::set<std::string>{s[0]->devicePath() + " 01 echo", s[0]->devicePath() + " 03 echo",
                                            s[0]->devicePath() + " 07 echo", s[1]->devicePath() + " 1F echo",
                                            s[3]->devicePath() + " 01 late", s[3]->devicePath() + " 03 late",
                                            strayPort + " 01 echo", strayPort + " 03 echo"}))
        << run.err;
    EXPECT_EQ(strayLine.frames().size(), 32u) << "00-1F, each once";
    for (const auto& server : lines.servers) {
        const auto frames = server->snapshot().frames();
        EXPECT_EQ(frames.size(), 32u) << "00-1F, each once";
        for (const std::string& frame : frames)
            EXPECT_EQ(frame.substr(frame.size() - 5, 2), "C2") << frame;
        EXPECT_EQ(server->snapshot().saveCount(), 0);
    }
    // Each line: its few answers and 32 - answers waits of 100 ms, the lines side by side.
    EXPECT_LT(wall, 32 * 0.1 + 1.0) << "the lines were scanned one after another, or the waits were long";
}

TEST(VantorUpload, ConcurrentRunsRecordEveryResultAsAWholeLine)
{
    TempFile file(program);
    TempFile record("");
    // Only 01 answers: the other 39 of each run fail soon, and are recorded too.
    const std::vector<std::string> args{"upload",    "--port", "SIM",      "--id",        "01-28",
                                        "--timeout", "20",     "--record", record.path(), file.path()};
    test::ToolRun runs[2];
    std::thread other([&] { runs[1] = runTool(args); });
    runs[0] = runTool(args);
    other.join();
    for (const auto& run : runs)
        EXPECT_EQ(run.status, 12) << run.err;
    std::ifstream in(record.path());
    std::map<std::string, int> outcomes;
    for (std::string text; std::getline(in, text);) {
        const json line = json::parse(text); // throws on a broken line
        ++outcomes[line["outcome"].get<std::string>()];
        EXPECT_EQ(line["file"], file.path());
    }
    EXPECT_EQ(outcomes, (std::map<std::string, int>{{"saved", 2}, {"no-link-response", 78}}));
}

// A regular file is read again for each PLC, so memory does not grow with it; only a pipe is kept.
TEST(VantorUpload, ALargeFileGoesToSeveralPlcsInFlatMemory)
{
    std::string text = program;
    const std::string comment = "; " + std::string(1022, 'c') + "\r\n";
    while (text.size() < (40u << 20))
        text += comment;
    TempFile file(text);
    text.clear();
    text.shrink_to_fit();
    Lines lines({{1, 2}}, 0);
    test::ChildProcess tool;
    ASSERT_TRUE(tool.start(VANTOR_TOOL, {"upload", "--json", "--port", lines.servers[0]->devicePath(), "--id",
                                         "1,2", file.path()}));
    tool.closeStdin();
    ASSERT_TRUE(tool.waitFinished(60000));
    EXPECT_EQ(tool.exitCode(), 0) << tool.err();
    if (test::ChildProcess::memoryIsTheProgramsOwn) {
        EXPECT_LT(tool.peakMiB(), 24) << "the file was held in memory";
    }
    EXPECT_EQ(lines.servers[0]->snapshot().savedProgram(2), programRecords);
}

TEST(FleetReporter, LinesUpTheTableOnTheScreen)
{
    cli::PlcResult plain, wide;
    plain.port = "/dev/ttyS0";
    wide.port = "/dev/tty\xc3\x9c\xc3\x9c\x01"; // two UTF-8 characters and a control character
    plain.id = wide.id = "01";
    const std::string table = cli::FleetReporter::table({plain, wide});
    std::istringstream in(table);
    std::vector<std::size_t> idColumns;
    for (std::string line; std::getline(in, line);) {
        const std::string before =
            line.substr(0, line.find(line.find("  ID") == std::string::npos ? "  01" : "  ID") + 2);
        idColumns.push_back(static_cast<std::size_t>(std::count_if(before.begin(), before.end(), [](char c) {
            return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
        })));
    }
    EXPECT_EQ(idColumns, std::vector<std::size_t>(3, idColumns.front())) << table;
}
