// vantor send and plc-sim as a user runs them: separate processes, real pseudo-terminals.
#include "support/RunTool.h"
#include "support/TempFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

using vantor::test::runTool;

TEST(VantorSend, PrintsWhatTheResponseLogWould)
{
    // Profiles for the rows that name one, where the tool looks for them.
    const auto config =
        std::filesystem::temp_directory_path() / ("vantor-test-config-" + std::to_string(getpid()));
    std::filesystem::create_directories(config / "vantor");
    std::ofstream(config / "vantor" / "vantor.toml")
        << "[profiles.sim]\nport = \"SIM\"\nbaud = 9600\n"
           "parity = \"even\"\n\n[profiles.broken]\nport = 5\n\n"
           "[profiles.gone]\nport = \"/dev/ttyVANTOR-missing\"\n";
    // Profiles files of their own for the rows about the file itself, each in the folder a row names.
    const auto own = [&config](const char* folder) {
        std::filesystem::create_directories(config / folder / "vantor");
        return config / folder / "vantor" / "vantor.toml";
    };
    std::string deep = "a";
    for (int part = 1; part < 300000; ++part)
        deep += ".a";
    std::ofstream(own("deep-key")) << "[profiles.deep]\nport = \"SIM\"\n" << deep << " = 1\n";
    std::ofstream(own("deep-table")) << "[profiles.deep]\nport = \"SIM\"\n[" << deep << "]\n";
    std::filesystem::create_symlink("/proc/kmsg", own("kmsg"));
    // Commands one per line: CR LF, an empty line, a last line without an end; and one too long.
    const vantor::test::TempFile commands("@01C230*\r\n\nRS\n@01CS51*", ".txt");
    const vantor::test::TempFile endless(std::string(70000, 'A'), ".txt");
    struct Case
    {
        std::vector<std::string> args;
        int status;
        const char* out;
        const char* err;
        const char* config = ""; // the folder under config that XDG_CONFIG_HOME names
    };
    const Case cases[] = {
        {{"send", "--port", "SIM", "@01C230*", "RS"}, 0, "@01C20030*\nRS\n", "SIM: Open at 38400,N,8,1"},
        {{"send", "--port", "SIM", "--parity", "even", "--baud", "9600", "@01IR5A*"},
         0,
         "@01IR005A*\n",
         "SIM: Open at 9600,E,8,1"},
        {{"send", "--port", "SIM", "--timeout", "50", "@02C230*", "@01C230*"},
         1,
         "(Warning: No Response from PLC)\n@01C20030*\n",
         "SIM: Open at 38400,N,8,1"},
        {{"send", "--port", "/dev/ttyVANTOR-missing", "RS"},
         6,
         "",
         "Cannot open /dev/ttyVANTOR-missing: no such device"},
        {{"send", "--port", "SIM"}, 2, "", "no COMMAND given"},
        {{"send", "--port", "SIM", "--file", commands.path()},
         0,
         "@01C20030*\nRS\n@01CS0051*\n",
         "SIM: Open at"},
        {{"send", "--port", "SIM", "-"}, 0, "", "SIM: Open at"}, // standard input is empty here
        {{"send", "--port", "SIM", "--file", endless.path()}, 3, "", "line 1 is longer than 65536 bytes"},
        {{"send", "--port", "SIM", "--file", "/tmp/vantor-nowhere.txt"},
         3,
         "",
         "vantor: cannot read the commands"},
        {{"send", "--port", "SIM", "--file", "/tmp"}, 3, "", "/tmp: cannot be read"},
        {{"send", "--port", "SIM", "-", "RS"}, 2, "", "'-' reads every command from standard input"},
        {{"send", "--port", "SIM", "--file", "x", "RS"}, 2, "", "--file gives every command"},
        {{"send", "-p", "SIM", "--parity", "mark", "x"}, 2, "", "vantor: --parity must be none, even or odd"},
        {{"send", "--bogus", "x"}, 2, "", "vantor: unknown option 'bogus'\n"},
        {{"frobnicate"}, 2, "", "vantor: unknown command 'frobnicate'"},
        {{"--version"}, 0, "vantor 1.0.0\n", ""},
        // Help is only help, wherever it stands; nothing is opened or sent.
        {{"upload", "--help-all", "/tmp/vantor-nowhere.VQC"}, 0, "~Usage: vantor upload [options] FILE", ""},
        {{"send", "--port", "SIM", "--help-all", "@01C230*"}, 0, "~Usage: vantor send", ""},
        {{"plc-sim", "--help-all"}, 0, "~Usage: vantor plc-sim", ""},
        {{"help", "upload"}, 0, "~Usage: vantor upload", ""},
        {{"upload", "-V", "--bogus"}, 0, "vantor 1.0.0\n", ""},
        // Strict values: a typo never becomes another PLC's address or a silent default.
        {{"upload", "-p", "SIM", "--id", "ZZ", "x.VQC"}, 2, "", "vantor: --id must be"},
        {{"upload", "-p", "SIM", "--id", "0x01", "x.VQC"}, 2, "", "vantor: --id must be"},
        {{"upload", "-p", "SIM", "--id", "", "x.VQC"}, 2, "", "vantor: --id must be"},
        {{"upload", "-p", "SIM", "--id", "12345", "x.VQC"}, 2, "", "vantor: --id must be"},
        {{"upload", "-p", "SIM", "-t", "abc", "x.VQC"}, 2, "", "vantor: --timeout must be"},
        {{"upload", "-p", "/dev/ttyVANTOR-missing", "--id", "01,,02", "x.VQC"},
         2,
         "",
         "vantor: --id has an empty"},
        {{"upload", "-p", "SIM", "--id", "05,0A-05", "x.VQC"},
         2,
         "",
         "vantor: --id has a range from high to low"},
        {{"upload", "-p", "SIM", "--id", "01-03,2", "x.VQC"}, 2, "", "vantor: --id names PLC 02 twice"},
        {{"upload", "-p", "SIM", "--id", "01,", "x.VQC"}, 2, "", "vantor: --id has an empty"},
        {{"upload", "-p", "SIM", "-p", "SIM", "x.VQC"}, 2, "", "vantor: --port SIM is given twice"},
        {{"upload", "-p", "COM1", "-p", "/dev/../dev/ttyS0", "x.VQC"},
         2,
         "",
         "names the same port as --port COM1"},
        {{"upload", "-p", "socket://127.0.0.1:4001", "-p", "rfc2217://localhost:4001", "x.VQC"},
         2,
         "",
         "names the same port as --port socket://127.0.0.1:4001"},
        {{"upload", "-p", "SIM", "--id", "01", "-p", "/dev/ttyVANTOR-missing", "--id", "02", "-p", "COM1",
          "x.VQC"},
         2,
         "",
         "vantor: --port COM1 has no --id after it"},
        {{"upload", "--id", "01", "-p", "SIM", "--id", "02", "x.VQC"},
         2,
         "",
         "vantor: --id 01 follows no --port"},
        {{"upload", "x.VQC"}, 2, "", "vantor: no port given: name one with --port PORT (or set VANTOR_PORT)"},
        {{"send", "-p", "SIM", "-t", " 50.5 ", "-b", "9600", "@01C230*"},
         0,
         "@01C20030*\n",
         "SIM: Open at 9600,N,8,1"},
        // The line's conventions: a word after one dash is a long option, values after "=" or as the
        // next argument (a leading dash included), everything after "--" an argument, and every
        // argument taken as it stands.
        {{"send", "-port", "SIM", "--dtr", "off", "--rts=OFF", "@01C230*"},
         0,
         "@01C20030*\n",
         "SIM: Open at 38400,N,8,1"},
        {{"send", "--port=SIM", "--dtr", "maybe", "x"}, 2, "", "vantor: --dtr must be on or off\n"},
        {{"send", "--port", "SIM", "--baud", "-5", "x"},
         2,
         "",
         "vantor: --baud must be a positive whole number"},
        {{"send", "--port", "SIM", "--trace=yes", "x"}, 2, "", "vantor: unexpected value after '--trace'\n"},
        {{"send", "--port"}, 2, "", "vantor: missing value after '--port'\n"},
        {{"send", "-pSIM", "x"}, 2, "", "vantor: unknown option 'pSIM'\n"},
        {{"send", "--port", "SIM", "[@01C230*,RS]", "[]"},
         0,
         "[@01C230*,RS]\n[]\n",
         "SIM: Open at 38400,N,8,1"},
        {{"upload", "--port", "SIM", "--", "--help"},
         3,
         "~Cannot open --help: no such file",
         "Cannot open --help"},
        // Frames built as the upload builds them, and only such.
        {{"send", "--port", "SIM", "--id", "1", "--frame", "C2", "--frame", "CL"},
         0,
         "@01C20030*\n@01CL004E*\n",
         "SIM: Open at 38400,N,8,1"},
        {{"send", "--port", "SIM", "--frame", "C2*"}, 2, "", "vantor: --frame C2*: a command is"},
        {{"send", "--port", "SIM", "--id", "01", "RS"}, 2, "", "vantor: --id is for --frame"},
        // A profile under the command line's own options; a port given replaces the profile's.
        {{"send", "--profile", "sim", "@01C230*"}, 0, "@01C20030*\n", "SIM: Open at 9600,E,8,1"},
        {{"send", "--profile", "sim", "-b", "19200", "@01C230*"},
         0,
         "@01C20030*\n",
         "SIM: Open at 19200,E,8,1"},
        {{"send", "--profile", "sim", "-p", "/dev/ttyVANTOR-missing", "RS"},
         6,
         "",
         "Cannot open /dev/ttyVANTOR-"},
        {{"send", "--profile", "broken", "RS"},
         2,
         "",
         "vantor.toml:7: [profiles.broken] port must be a string or a list of strings"},
        {{"send", "--profile", "gone", "RS"}, 6, "", "/dev/ttyVANTOR-missing comes from profile 'gone' in "},
        {{"upload", "--profile", "nope", "x.VQC"}, 2, "", "there is no profile 'nope' in "},
        // Keys the parser would recurse into until the stack overflows, and a file that never ends.
        {{"upload", "--profile", "deep", "x.VQC"},
         2,
         "",
         "vantor.toml:3: a key or table name of more than 32 dotted parts",
         "deep-key"},
        {{"scan", "--profile", "deep"},
         2,
         "",
         "vantor.toml:3: a key or table name of more than 32",
         "deep-table"},
        {{"send", "--profile", "kmsg", "RS"}, 2, "", "kmsg/vantor/vantor.toml", "kmsg"},
    };
    for (const Case& c : cases) {
        std::string line;
        for (const auto& a : c.args)
            line += a + " ";
        SCOPED_TRACE(line);
        setenv("XDG_CONFIG_HOME", (*c.config ? config / c.config : config).c_str(), 1);
        const auto run = runTool(c.args);
        EXPECT_EQ(run.status, c.status) << run.err;
        if (c.out[0] == '~') // contains
            EXPECT_NE(run.out.find(c.out + 1), std::string::npos) << run.out;
        else
            EXPECT_EQ(run.out, c.out);
        EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
    }
    unsetenv("XDG_CONFIG_HOME");
    std::filesystem::remove_all(config);
}

TEST(VantorSend, TalksToASeparatePlcSimulatorAndTracesTheBytes)
{
    auto sim = vantor::test::startTool({"plc-sim", "--verbose", "--line-end", "crlf"});
    const std::string device = sim.readLine();
    ASSERT_EQ(device.rfind("/dev/pts/", 0), 0u) << device;

    const auto run = runTool({"send", "--port", device, "--trace", "@01C230*"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "@01C20030*\n") << "replies alone";
    EXPECT_NE(run.err.find(device + ": Open at 38400,N,8,1\n"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find(">> @01C230*<CR>"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("<< @01C20030*<CR><LF>"), std::string::npos) << run.err;
    EXPECT_EQ(sim.readLine(), "received @01C230*");
    EXPECT_EQ(sim.readLine(), "sent @01C20030*<CR><LF>");
    EXPECT_EQ(sim.stop(), 0);
}

TEST(VantorSend, ReportsAPlcThatHangsUp)
{
    auto sim = vantor::test::startTool({"plc-sim", "--hang-up-after", "1"});
    const std::string device = sim.readLine();
    const auto run =
        runTool({"send", "--port", device, "--timeout", "3000", "@01C230*", "@01C230*", "@01C230*"});
    EXPECT_EQ(run.status, 10);
    EXPECT_EQ(run.out, "@01C20030*\n");
    EXPECT_NE(run.err.find("Lost the connection to " + device), std::string::npos) << run.err;
    sim.stop();
}

TEST(VantorSend, GivesSoundAdviceWhenPermissionIsDenied)
{
    if (::geteuid() != 0 || ::access("/usr/sbin/runuser", X_OK) != 0)
        GTEST_SKIP() << "needs root to run the tool as another user";
    const struct
    {
        mode_t mode;
        const char* says;
    } cases[] = {
        {0660, "permission denied. Add your user to the group 'dialout' that owns the device (sudo usermod "
               "-aG dialout"},
        {0600, "permission denied, and no group may use it. Ask the administrator"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.says);
        auto sim = vantor::test::startTool({"plc-sim"});
        const std::string device = sim.readLine();
        const group* dialout = ::getgrnam("dialout");
        ASSERT_NE(dialout, nullptr);
        ASSERT_EQ(::chown(device.c_str(), static_cast<uid_t>(-1), dialout->gr_gid), 0);
        ASSERT_EQ(::chmod(device.c_str(), c.mode), 0);
        vantor::test::ChildProcess process;
        process.start("/usr/sbin/runuser",
                      {"-u", "nobody", "--", VANTOR_TOOL, "send", "--port", device, "@01C230*"});
        process.closeStdin();
        ASSERT_TRUE(process.waitFinished(30000));
        const std::string err = process.err();
        EXPECT_EQ(process.exitCode(), 6);
        EXPECT_NE(err.find("Cannot open " + device + ": " + c.says), std::string::npos) << err;
    }
}
