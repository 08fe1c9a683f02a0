// vantor term as a person uses it: typed at and read from a terminal (tmux), against plc-sim.
#include "support/RunTool.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include <sys/stat.h>
#include <unistd.h>

namespace {

using vantor::test::runTool;
using vantor::test::startTool;

std::string shellQuote(const std::string& text)
{
    std::string quoted = "'";
    for (const char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// What a command prints on its standard output.
std::string output(const std::string& command)
{
    std::string text;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
            text.append(buffer, n);
        ::pclose(pipe);
    }
    return text;
}

// A shell in a tmux window of a server of its own, 220 columns wide, typed at and read as a person
// would. The shell saves `stty -g` before and after each `vantor term` it runs, and says its status.
class Screen
{
public:
    Screen() : socket_("vantor-term-test-" + std::to_string(::getpid()))
    {
        tmux("new-session -d -x 220 -y 50 'env -u TMUX bash --norc --noprofile'");
        type("PS1='$ '; clear");
        key("Enter");
    }
    ~Screen() { tmux("kill-server"); }

    // Runs vantor term ARGS in the shell, with environment settings env first; waits for it to open.
    void term(const std::string& args, const std::string& env = "")
    {
        // A clean screen and no scrollback, so that nothing of an earlier run is waited for.
        line("clear");
        waitFor("^\\$ *\n*$");
        tmux("clear-history");
        type("stty -g > " + folder("stty-before") + "; " + env + " " + VANTOR_TOOL + " term " + args +
             "; echo \"EXIT=$?\"; stty -g > " + folder("stty-after"));
        key("Enter");
    }
    void type(const std::string& text) { tmux("send-keys -l " + shellQuote(text)); }
    void key(const std::string& name) { tmux("send-keys " + name); }
    void line(const std::string& text)
    {
        type(text);
        key("Enter");
    }
    std::string text() { return output("tmux -L " + socket_ + " capture-pane -p -S -200"); }
    // Waits for the screen to show pattern (a regular expression); the screen as it is then.
    std::string waitFor(const std::string& pattern, int timeoutMs = 4000)
    {
        const std::regex wanted(pattern);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        std::string shown;
        while (!std::regex_search(shown = text(), wanted) && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_TRUE(std::regex_search(shown, wanted)) << "waited for " << pattern << " on\n" << shown;
        return shown;
    }
    // The vantor term the shell runs, or 0.
    pid_t termPid()
    {
        const std::string shell = output("tmux -L " + socket_ + " display -p '#{pane_pid}'");
        std::ifstream children("/proc/" + std::to_string(std::stoi(shell)) + "/task/" +
                               std::to_string(std::stoi(shell)) + "/children");
        pid_t pid = 0;
        children >> pid;
        return pid;
    }
    // The settings the terminal had before the last term, and after it.
    std::pair<std::string, std::string> settings()
    {
        return {output("cat " + folder("stty-before")), output("cat " + folder("stty-after"))};
    }
    std::string folder(const std::string& name) const
    {
        return (std::filesystem::temp_directory_path() / (socket_ + "-" + name)).string();
    }

private:
    void tmux(const std::string& arguments)
    {
        const std::string command = "tmux -L " + socket_ + " " + arguments;
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
    }

    std::string socket_;
};

const char* const timestamp = R"(\[[0-9]{2}:[0-9]{2}:[0-9]{2}\.[0-9]{3}\] )";

} // namespace

TEST(VantorTerm, ShowsEachReplyUnderItsCommandAndWhatCameUnaskedMarked)
{
    auto plc = startTool({"plc-sim", "--unasked-once", "150:@00ALARM"});
    const std::string device = plc.readLine();
    Screen screen;
    screen.term("--port " + device + " --timestamps");
    screen.waitFor("Open at 38400,N,8,1");
    screen.line("@01C230*");
    screen.waitFor(std::string(timestamp) + "@01C20030\\*");
    // The PLC speaks on its own after the first command: shown as it comes, marked as such, and the
    // next command still gets its own reply.
    screen.waitFor(std::string(timestamp) + "\\(unasked\\) @00ALARM");
    screen.line("RS");
    const std::string shown = screen.waitFor(std::string(timestamp) + "RS\n");
    EXPECT_EQ(shown.find("] @00ALARM"), std::string::npos) << shown;
    screen.key("C-d");
    screen.waitFor("EXIT=0");
}

TEST(VantorTerm, SaysWhenThePlcIsSilentAndFramesForTheIdAndLogsEverything)
{
    auto silent = startTool({"plc-sim", "--silent"});
    const std::string quiet = silent.readLine();
    auto plc = startTool({"plc-sim", "--id", "0A"});
    const std::string device = plc.readLine();
    Screen screen;
    const std::string log = screen.folder("log");
    std::filesystem::remove(log);
    screen.term("--port " + quiet + " --timeout 100");
    screen.line("@01C230*");
    screen.waitFor("\\(Warning: No Response from PLC\\)");
    screen.key("C-t");
    screen.key("q");
    screen.waitFor("EXIT=0");

    screen.term("--port " + device + " --frame --id 0A --log " + log);
    screen.line("C2");
    screen.waitFor("> @0AC240\\*\n@0AC20040\\*");
    // Ctrl+T i changes the ID: 01 has no PLC here.
    screen.key("C-t");
    screen.key("i");
    screen.line("01");
    screen.line("C2");
    screen.waitFor("> @01C230\\*\n\\(Warning: No Response from PLC\\)");
    screen.key("C-t");
    screen.key("q");
    screen.waitFor("EXIT=0");
    std::ifstream in(log);
    std::stringstream text;
    text << in.rdbuf();
    const std::string dated = "[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9:]{8}\\.[0-9]{3}[+-][0-9]{4} ";
    EXPECT_TRUE(std::regex_search(
        text.str(), std::regex(dated + ">> @0AC240\\*<CR>\n" + dated + "<< @0AC20040\\*<CR>\n")))
        << text.str();
    EXPECT_NE(text.str().find(">> @01C230*<CR>"), std::string::npos) << text.str();
}

TEST(VantorTerm, RestoresTheTerminalAndReleasesThePortOnEveryWayOut)
{
    auto plc = startTool({"plc-sim"});
    const std::string device = plc.readLine();
    const struct
    {
        const char* how;
        // Pressed in turn, each with what to wait for before the next (a signal would merge with one
        // still pending); none: signal is sent instead.
        std::vector<std::pair<std::string, std::string>> keys;
        int signal;
        int status;
    } ways[] = {
        {"the menu's quit", {{"C-t", ""}, {"q", ""}}, 0, 0},
        {"Ctrl+D on an empty line", {{"C-d", ""}}, 0, 0},
        {"Ctrl+C on a typed line, then on the empty one",
         {{"R", "> R"}, {"C-c", "> R\\^C"}, {"C-c", ""}},
         0,
         0},
        {"SIGTERM", {}, SIGTERM, 128 + SIGTERM},
        {"SIGHUP, the SSH session dropped", {}, SIGHUP, 128 + SIGHUP},
    };
    Screen screen;
    for (const auto& way : ways) {
        SCOPED_TRACE(way.how);
        screen.term("--port " + device);
        screen.waitFor("Ctrl\\+T \\? lists");
        for (const auto& [key, shown] : way.keys) {
            screen.key(key);
            if (!shown.empty())
                screen.waitFor(shown);
        }
        if (way.signal) {
            ASSERT_EQ(::kill(screen.termPid(), way.signal), 0);
        }
        screen.waitFor("EXIT=" + std::to_string(way.status));
        const auto [before, after] = screen.settings();
        EXPECT_FALSE(before.empty());
        EXPECT_EQ(before, after);
        // The port is free again.
        EXPECT_EQ(runTool({"send", "--port", device, "RS"}).status, 0);
    }
}

TEST(VantorTerm, KeepsEachPortsHistoryBetweenSessionsAndRefusesALinkForIt)
{
    auto plc = startTool({"plc-sim"});
    const std::string device = plc.readLine();
    Screen screen;
    const std::filesystem::path state = screen.folder("state");
    std::filesystem::remove_all(state);
    const std::string env = "XDG_STATE_HOME=" + state.string();
    screen.term("--port " + device, env);
    screen.line("@01C230*");
    screen.waitFor("@01C20030\\*");
    screen.key("C-d");
    screen.waitFor("EXIT=0");
    const auto file = state / "vantor" / "term-history" / ("%2Fdev%2Fpts%2F" + device.substr(9));
    struct stat info
    {
    };
    ASSERT_EQ(::stat(file.c_str(), &info), 0) << file;
    EXPECT_EQ(info.st_mode & 0777, 0600);

    screen.term("--port " + device, env);
    screen.waitFor("Ctrl\\+T \\? lists");
    screen.key("Up");
    screen.key("Enter");
    screen.waitFor("@01C20030\\*");
    screen.key("C-d");
    screen.waitFor("EXIT=0");

    std::filesystem::remove(file);
    std::filesystem::create_symlink("/etc/passwd", file);
    screen.term("--port " + device, env);
    screen.waitFor("cannot keep the history in .*: it is a symbolic link");
    screen.key("C-d");
    screen.waitFor("EXIT=0");
}

TEST(VantorTerm, SetsDtrFromTheMenuAndWaitsForAServerThatWentAway)
{
    auto plc = startTool({"plc-sim", "--listen", "0", "--verbose"});
    const std::string address = plc.readLine(); // socket://127.0.0.1:PORT
    const std::string port = address.substr(address.rfind(':') + 1);
    Screen screen;
    screen.term("--port rfc2217://127.0.0.1:" + port);
    screen.waitFor("Open at 38400,N,8,1");
    screen.key("C-t");
    screen.key("d");
    screen.waitFor("vantor: DTR off");
    std::string heard;
    for (int line = 0; line < 20 && heard.find("DTR off") == std::string::npos; ++line)
        heard = plc.readLine(2000);
    EXPECT_NE(heard.find("DTR off"), std::string::npos);

    plc.stop();
    screen.waitFor("Lost the connection to .*Waiting for it to come back");
    auto again = startTool({"plc-sim", "--listen", port});
    EXPECT_EQ(again.readLine(), "socket://127.0.0.1:" + port);
    screen.waitFor("is back\\.\n.*Open at 38400,N,8,1");
    screen.line("@01C230*");
    screen.waitFor("@01C20030\\*");
    screen.key("C-d");
    screen.waitFor("EXIT=0");
}

TEST(VantorTerm, ReadsAPipeLineByLineWithRepliesAloneOnStandardOutput)
{
    auto plc = startTool({"plc-sim"});
    const std::string device = plc.readLine();
    vantor::test::ChildProcess term;
    term.start(VANTOR_TOOL, {"term", "--port", device});
    term.write("@01C230*\nRS\r\n@02C230*");
    term.closeStdin();
    ASSERT_TRUE(term.waitFinished(10000));
    EXPECT_EQ(term.exitCode(), 0);
    EXPECT_EQ(term.out(), "@01C20030*\nRS\n(Warning: No Response from PLC)\n");
    EXPECT_NE(term.err().find(device + ": Open at 38400,N,8,1"), std::string::npos) << term.err();
}
