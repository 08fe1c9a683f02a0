// vantor send and plc-sim as a user runs them: separate processes, real pseudo-terminals.
#include "support/RunTool.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using vantor::test::runTool;

TEST(VantorSend, PrintsWhatTheResponseLogWould)
{
    struct Case
    {
        std::vector<std::string> args;
        int status;
        const char* out;
        const char* err;
    };
    const Case cases[] = {
        {{"send", "--port", "SIM", "@01C230*", "RS"}, 0, "SIM: Open at 38400,N,8,1\n@01C20030*\nRS\n", ""},
        {{"send", "--port", "SIM", "--parity", "even", "--baud", "9600", "@01IR5A*"},
         0,
         "SIM: Open at 9600,E,8,1\n@01IR005A*\n",
         ""},
        {{"send", "--port", "SIM", "--timeout", "50", "@02C230*", "@01C230*"},
         1,
         "SIM: Open at 38400,N,8,1\n(Warning: No Response from PLC)\n@01C20030*\n",
         ""},
        {{"send", "--port", "/dev/ttyVANTOR-missing", "RS"},
         6,
         "",
         "Cannot open /dev/ttyVANTOR-missing: no such device"},
        {{"send", "--port", "SIM"}, 2, "", "no COMMAND given"},
        {{"send", "--parity", "mark", "x"}, 2, "", "--parity must be none, even or odd"},
        {{"send", "--bogus", "x"}, 2, "", "Unknown option 'bogus'"},
        {{"frobnicate"}, 2, "", "unknown command 'frobnicate'"},
        {{"--version"}, 0, "vantor 1.0.0\n", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.front() + (c.args.size() > 1 ? " " + c.args[1] : std::string()));
        const auto run = runTool(c.args);
        EXPECT_EQ(run.status, c.status);
        EXPECT_EQ(run.out, c.out);
        EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
    }
}

TEST(VantorSend, TalksToASeparatePlcSimulatorAndTracesTheBytes)
{
    auto sim = vantor::test::startTool({"plc-sim", "--verbose", "--line-end", "crlf"});
    const std::string device = sim.readLine();
    ASSERT_EQ(device.rfind("/dev/pts/", 0), 0u) << device;

    const auto run = runTool({"send", "--port", device, "--trace", "@01C230*"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, device + ": Open at 38400,N,8,1\n@01C20030*\n");
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
    EXPECT_EQ(run.out, device + ": Open at 38400,N,8,1\n@01C20030*\n");
    EXPECT_NE(run.err.find("Lost the connection to " + device), std::string::npos) << run.err;
    sim.stop();
}

TEST(VantorSend, NamesTheGroupToJoinWhenPermissionIsDenied)
{
    if (::geteuid() != 0 || ::access("/usr/sbin/runuser", X_OK) != 0)
        GTEST_SKIP() << "needs root to run the tool as another user";
    auto sim = vantor::test::startTool({"plc-sim"});
    const std::string device = sim.readLine();
    ASSERT_EQ(::chmod(device.c_str(), 0660), 0);
    QProcess process;
    process.start("/usr/sbin/runuser", {"-u", "nobody", "--", VANTOR_TOOL, "send", "--port",
                                        QString::fromStdString(device), "@01C230*"});
    ASSERT_TRUE(process.waitForFinished(30000));
    const std::string err = process.readAllStandardError().toStdString();
    EXPECT_EQ(process.exitCode(), 6);
    EXPECT_NE(err.find("Cannot open " + device + ": permission denied. Add your user to the group '"),
              std::string::npos)
        << err;
    EXPECT_NE(err.find("sudo usermod -aG"), std::string::npos) << err;
}
