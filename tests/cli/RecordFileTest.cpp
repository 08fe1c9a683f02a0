// The record file (--record) where others can reach it: a folder anyone can write, a reader that holds
// a lock on it, a rotation that moves it mid-run. vantor runs as a separate process against a simulated
// PLC on a pseudo-terminal; this test plays the other user.
#include "plcsim/PtyPlcServer.h"
#include "support/ChildProcess.h"
#include "support/JsonSchema.h"
#include "support/RunTool.h"
#include "support/TempFile.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <thread>
#include <unistd.h>

using namespace vantor;
using nlohmann::json;
using test::runTool;
using test::TempFile;

namespace {

const std::string program = "Vantor Compiled Code\r\n01:0000000C\r\n03:0010FF\r\n02:0001\r\n";
const std::string forged = R"({"schema":1,"event":"result","id":"01","status":0,"outcome":"saved"})"
                           "\n";

std::string contents(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void write(const std::string& path, const std::string& bytes, mode_t mode)
{
    std::ofstream(path, std::ios::binary) << bytes;
    ASSERT_EQ(::chmod(path.c_str(), mode), 0);
}

// The result lines in text (a record file, or standard error among other lines), each held to the
// schema.
std::vector<json> resultLines(const std::string& text)
{
    static const json schema = json::parse(std::ifstream(VANTOR_JSON_SCHEMA));
    std::vector<json> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("{", 0) != 0)
            continue;
        SCOPED_TRACE(line);
        lines.push_back(json::parse(line));
        EXPECT_EQ(test::schemaProblem(schema, lines.back()), "");
    }
    return lines;
}

// A folder anyone can write (as /tmp is), emptied and removed at the end.
class SharedFolder
{
public:
    SharedFolder()
        : path_((std::filesystem::temp_directory_path() / ("vantor-record-" + std::to_string(::getpid())))
                    .string())
    {
        std::filesystem::remove_all(path_);
        std::filesystem::create_directory(path_);
        ::chmod(path_.c_str(), 01777);
    }
    ~SharedFolder() { std::filesystem::remove_all(path_); }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Environment variables set for the tool this test starts, as they were again at the end.
class Environment
{
public:
    explicit Environment(const std::map<std::string, std::string>& values)
    {
        for (const auto& [name, value] : values) {
            const char* before = std::getenv(name.c_str());
            before_.emplace_back(name, before ? std::optional<std::string>(before) : std::nullopt);
            ::setenv(name.c_str(), value.c_str(), 1);
        }
    }
    ~Environment()
    {
        for (const auto& [name, value] : before_)
            value ? ::setenv(name.c_str(), value->c_str(), 1) : ::unsetenv(name.c_str());
    }

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> before_;
};

} // namespace

TEST(RecordFile, RefusesANameThatLeadsElsewhereOrAFileOthersCouldHaveWritten)
{
    TempFile file(program);
    plcsim::PtyPlcServer plc;
    ASSERT_TRUE(plc.start().ok());
    const SharedFolder folder;
    const std::string record = folder / "line3.jsonl", mine = folder / "private.txt",
                      nowhere = folder / "nowhere.txt";
    const mode_t umaskBefore = ::umask(022);
    const std::string dotted =
        file.path().substr(0, file.path().rfind('/')) + "/./." + file.path().substr(file.path().rfind('/'));
    utsname machine{};
    ASSERT_EQ(::uname(&machine), 0);
    // What anyone who starts the tool can set says nothing of who and where.
    const Environment lies({{"USER", "mallory"},
                            {"LOGNAME", "mallory"},
                            {"HOSTNAME", "forged.example"},
                            {"XDG_CONFIG_HOME", folder / "config"}});
    std::filesystem::create_directories(folder / "config/vantor");
    write(folder / "config/vantor/vantor.toml",
          "[profiles.line3]\ntags = { order = \"WO-1\", site = \"north\" }\n"
          "[profiles.bad]\ntags = { \"work order\" = \"WO-1\" }\n",
          0644);
    struct Row
    {
        const char* name;
        std::function<void()> plant; // what another user left under the name
        int status;
        std::string says; // on standard error
        bool needsRoot = false;
        std::vector<std::string> more = {}; // further options; the file named as dotted
        json fields = json::object();       // in the line written
    };
    const Row rows[] = {
        {"a link to a file no one else may read",
         [&] { ASSERT_EQ(::symlink(mine.c_str(), record.c_str()), 0); }, 2,
         "it is a symbolic link to " + mine},
        {"a link to a file not there yet", [&] { ASSERT_EQ(::symlink(nowhere.c_str(), record.c_str()), 0); },
         2, "it is a symbolic link to " + nowhere},
        {"a file anyone may write, holding a forged line", [&] { write(record, forged, 0666); }, 2,
         "anyone may write to it (mode 0666)"},
        {"another user's file, holding a forged line",
         [&] {
             write(record, forged, 0644);
             ASSERT_EQ(::chown(record.c_str(), 1, 1), 0);
         },
         2, "it is owned by user ", true},
        {"a second name of a file no one else may read",
         [&] { ASSERT_EQ(::link(mine.c_str(), record.c_str()), 0); }, 2,
         "it has another name too (a hard link)"},
        {"nothing: a new file, which only its group may read", [] {}, 0, ""},
        {"nothing, and a file named with '.' parts",
         [] {},
         0,
         "",
         false,
         {},
         {{"file", dotted},
          {"absolute_path", file.path()},
          {"host", machine.nodename},
          {"profile", nullptr},
          {"tags", json::object()}}},
        {"nothing, and a profile's tags with the command line's, its order winning",
         [] {},
         0,
         "",
         false,
         {"--profile", "line3", "--tag", "order=WO-2", "--tag", "cabinet=7 \"left\""},
         {{"profile", "line3"}, {"tags", {{"order", "WO-2"}, {"site", "north"}, {"cabinet", "7 \"left\""}}}}},
        {"an empty record of ours, and a tag whose key is no key",
         [&] { write(record, "", 0640); },
         2,
         "--tag 'work order=WO-1': the key 'work order' must be",
         false,
         {"--tag", "work order=WO-1"}},
        {"an empty record of ours, and a profile's tag whose key is no key",
         [&] { write(record, "", 0640); },
         2,
         "vantor.toml:4: tags.work order: a tag's key must be",
         false,
         {"--profile", "bad"}},
    };
    int saved = 0;
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        if (r.needsRoot && ::geteuid() != 0)
            continue; // only root can give a file to another user
        std::filesystem::remove(record);
        std::filesystem::remove(nowhere);
        write(mine, "private\n", 0600);
        r.plant();
        const std::string before = contents(record);
        std::vector<std::string> args{"upload", "--port", plc.devicePath(), "--record", record};
        args.insert(args.end(), r.more.begin(), r.more.end());
        args.push_back(r.fields.empty() ? file.path() : dotted);
        const auto run = runTool(args);
        EXPECT_EQ(run.status, r.status) << run.err;
        EXPECT_NE(run.err.find(r.says), std::string::npos) << run.err;
        EXPECT_EQ(contents(mine), "private\n") << "nothing written through a link";
        EXPECT_FALSE(std::filesystem::exists(nowhere)) << "nothing created where a link points";
        struct stat info
        {
        };
        ASSERT_EQ(::lstat(record.c_str(), &info), 0);
        if (r.status == 2) {
            EXPECT_EQ(run.out, "") << "refused before anything was sent";
            EXPECT_EQ(contents(record), before);
        } else {
            EXPECT_EQ(info.st_mode & 0777, 0640u);
            const auto lines = resultLines(contents(record));
            ASSERT_EQ(lines.size(), 1u);
            for (const auto& [key, value] : r.fields.items())
                EXPECT_EQ(lines[0][key], value) << key;
            EXPECT_NE(lines[0].value("user", "mallory"), "mallory");
            EXPECT_NE(lines[0].value("user", ""), "");
            ++saved;
        }
    }
    ::umask(umaskBefore);
    EXPECT_EQ(plc.snapshot().saveCount(), saved) << "only the runs that were not refused reached the PLC";
}

TEST(RecordFile, ALockHeldByAReaderHoldsTheRunBoundedAndNotPastCtrlC)
{
    TempFile file(program);
    const SharedFolder folder;
    const std::string record = folder / "line3.jsonl";
    struct Row
    {
        const char* name;
        bool interrupt; // Ctrl+C a second in, while the first result waits for the lock
        int status;
        double minSeconds, maxSeconds; // the run's
    };
    // Each PLC's upload takes milliseconds: the run's time is its wait for the lock. The second result
    // waits one slice only, the holder having kept the lock through the first one's whole wait.
    const Row rows[] = {
        {"held for the whole run", false, 14, 5.0, 6.5},
        {"Ctrl+C during the wait", true, 130, 1.0, 2.0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        plcsim::PtyPlcServer plc(plcsim::SimulatedPlc({1, 2}, {}));
        ASSERT_TRUE(plc.start().ok());
        write(record, "", 0644);
        const int holder = ::open(record.c_str(), O_RDONLY | O_CLOEXEC); // as any reader of it may
        ASSERT_EQ(::flock(holder, LOCK_SH), 0);
        test::ChildProcess tool;
        const auto started = std::chrono::steady_clock::now();
        ASSERT_TRUE(tool.start(VANTOR_TOOL, {"upload", "--port", plc.devicePath(), "--id", "01,02",
                                             "--record", record, file.path()}));
        tool.closeStdin();
        if (r.interrupt) {
            tool.waitFinished(1000);
            ::kill(tool.pid(), SIGINT);
        }
        const bool ended = tool.waitFinished(15000);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        ::close(holder);
        if (!ended) {
            ADD_FAILURE() << "never ended";
            continue;
        }
        EXPECT_EQ(tool.exitCode(), r.status) << tool.err();
        EXPECT_GE(seconds, r.minSeconds);
        EXPECT_LT(seconds, r.maxSeconds);
        EXPECT_EQ(contents(record), "");
        // The file, the holder, and each result on standard error so that none is lost.
        EXPECT_NE(tool.err().find("cannot write the record file " + record + ": another process, PID " +
                                  std::to_string(::getpid()) + " (cli_tests)"),
                  std::string::npos)
            << tool.err();
        const auto lines = resultLines(tool.err());
        ASSERT_EQ(lines.size(), 2u) << tool.err();
        EXPECT_EQ(lines[0]["outcome"], "saved");
        EXPECT_EQ(lines[1]["outcome"], r.interrupt ? "interrupted" : "saved");
    }
}

TEST(RecordFile, ARotatedRecordGetsTheRestOfTheRunUnderItsName)
{
    TempFile file(program);
    const SharedFolder folder;
    const std::string record = folder / "line3.jsonl", rotated = folder / "line3.jsonl.1",
                      mine = folder / "private.txt";
    enum class Rotation { Moved, Removed, MovedAndALinkPlanted };
    struct Row
    {
        const char* name;
        Rotation rotation;
        int status;
        std::size_t underTheName, moved, onStandardError; // result lines
        std::string says;
    };
    const Row rows[] = {
        {"moved away", Rotation::Moved, 0, 2, 1, 0, "was moved or removed during the run"},
        {"removed", Rotation::Removed, 0, 2, 0, 0, "was moved or removed during the run"},
        {"moved, and a link planted under its name", Rotation::MovedAndALinkPlanted, 14, 0, 1, 2,
         "opening it again failed: it is a symbolic link to " + mine},
    };
    plcsim::PlcFaults slow;
    slow.delayMs = 20; // about 150 ms for each PLC: time to rotate after the first
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        std::filesystem::remove(record);
        std::filesystem::remove(rotated);
        write(mine, "private\n", 0600);
        plcsim::PtyPlcServer plc(plcsim::SimulatedPlc({1, 2, 3}, slow));
        ASSERT_TRUE(plc.start().ok());
        test::ChildProcess tool;
        ASSERT_TRUE(tool.start(VANTOR_TOOL, {"upload", "--port", plc.devicePath(), "--id", "01-03",
                                             "--record", record, file.path()}));
        tool.closeStdin();
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (contents(record).empty() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        if (r.rotation == Rotation::Removed)
            std::filesystem::remove(record);
        else
            std::filesystem::rename(record, rotated);
        if (r.rotation == Rotation::MovedAndALinkPlanted) {
            ASSERT_EQ(::symlink(mine.c_str(), record.c_str()), 0);
        }
        ASSERT_TRUE(tool.waitFinished(30000));
        EXPECT_EQ(tool.exitCode(), r.status) << tool.err();
        EXPECT_NE(tool.err().find(r.says), std::string::npos) << tool.err();
        EXPECT_EQ(contents(mine), "private\n");
        EXPECT_EQ(resultLines(contents(record)).size(), r.underTheName);
        EXPECT_EQ(resultLines(contents(rotated)).size(), r.moved);
        EXPECT_EQ(resultLines(tool.err()).size(), r.onStandardError) << tool.err();
    }
}

TEST(RecordFile, LinesOfEarlierVersionsStayValidAndTheStampIsChecked)
{
    static const json schema = json::parse(std::ifstream(VANTOR_JSON_SCHEMA));
    // A line as version 1.0.0 wrote it, before host, user, absolute_path, profile and tags.
    const std::string old =
        R"({"schema":1,"event":"result","time":"2026-11-02T08:15:00.120Z","port":"/dev/ttyUSB0","id":"01",)"
        R"("status":0,"outcome":"saved","records":3,"total":3,"sha256":")" +
        std::string(64, 'a') +
        R"(","seconds":0.4,"detail":null,"file":"a.VQC","baud":38400,"parity":"none","data_bits":8,)"
        R"("stop_bits":1,"timeout_ms":500,"reset":false,"version":"1.0.0"})";
    const std::string stamped = old.substr(0, old.size() - 1) +
                                R"(,"absolute_path":"/srv/a.VQC","host":"gw3","user":"tech","profile":)";
    struct Row
    {
        std::string line;
        bool valid;
    };
    const Row rows[] = {
        {old, true},
        {stamped + R"("line3","tags":{"order":"WO-1","cabinet":""}})", true},
        {stamped + R"(null,"tags":{}})", true},
        {stamped + R"(null,"tags":{"order":1}})", false},
        {stamped + R"(null,"tags":["order=WO-1"]})", false},
        {stamped + R"(3,"tags":{}})", false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.line);
        EXPECT_EQ(test::schemaProblem(schema, json::parse(r.line)).empty(), r.valid)
            << test::schemaProblem(schema, json::parse(r.line));
    }
}

TEST(RecordFile, ARetryAsksOnlyThePlcsWhoseLastLineForTheProgramIsNotSaved)
{
    TempFile file(program);
    const SharedFolder folder;
    const std::string record = folder / "line3.jsonl", line = folder / "ttyLINE3";
    // Another program's failures and what is no result line of ours must not count.
    write(record,
          "not json\n" + forged + R"({"schema":1,"event":"result","port":")" + line +
              R"(","id":"01","outcome":"aborted","sha256":")" + std::string(64, 'b') + "\"}\n",
          0644);
    {
        plcsim::PtyPlcServer first(plcsim::SimulatedPlc({1, 3, 5}, {})); // 02 and 04 are not plugged in
        ASSERT_TRUE(first.start().ok());
        ASSERT_TRUE(first.linkAs(line).ok());
        const auto run = runTool(
            {"upload", "--port", line, "--id", "1-5", "--timeout", "30", "--record", record, file.path()});
        ASSERT_EQ(run.status, 12) << run.err;
    }
    {
        // A saved PLC checked afterwards by a dry run still holds the program: it is not asked again.
        std::ifstream in(record);
        std::string text, dryRun;
        while (std::getline(in, text)) {
            if (text.find("\"id\":\"01\"") != std::string::npos &&
                text.find("\"saved\"") != std::string::npos)
                dryRun = text.replace(text.find("\"saved\""), 7, "\"link-ok\"");
        }
        ASSERT_FALSE(dryRun.empty());
        std::ofstream(record, std::ios::app) << dryRun << "\n";
    }
    struct Row
    {
        std::vector<std::string> narrowing;
        int status;
        std::vector<std::string> asked; // the IDs the PLCs on the line heard from
        std::string says;
    };
    // In turn: the line now holds all five; each retry appends to the record it reads.
    const Row rows[] = {
        {{"--port", folder / "elsewhere"}, 0, {}, "nothing to retry (3 saved, 2 left out by --port/--id)"},
        {{"--id", "4"}, 0, {"04"}, "retrying " + line + " 04: its last result (line 7, "},
        {{}, 0, {"02"}, "skipped 2 lines of " + record},
        {{}, 0, {}, "nothing to retry (5 saved)"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.says);
        plcsim::PtyPlcServer plc(plcsim::SimulatedPlc({1, 2, 3, 4, 5}, {}));
        ASSERT_TRUE(plc.start().ok());
        ASSERT_TRUE(plc.linkAs(line).ok());
        std::vector<std::string> args{"upload", "--retry-failed", record, "--record", record};
        args.insert(args.end(), r.narrowing.begin(), r.narrowing.end());
        args.push_back(file.path());
        const auto run = runTool(args);
        EXPECT_EQ(run.status, r.status) << run.err;
        EXPECT_NE(run.err.find(r.says), std::string::npos) << run.err;
        std::set<std::string> asked;
        for (const std::string& frame : plc.snapshot().frames())
            asked.insert(frame.substr(1, 2));
        EXPECT_EQ(asked, std::set<std::string>(r.asked.begin(), r.asked.end()));
    }
}
