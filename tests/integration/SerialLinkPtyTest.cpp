// The serial port layer and the exchange over real pseudo-terminals, against the simulated PLC.
#include "console/SerialConsole.h"
#include "hostlink/Frame.h"
#include "plcsim/PtyPlcServer.h"
#include "plcsim/SimulatedPlcPort.h"
#include "plcsim/TcpPlcServer.h"
#include "serial/PortLock.h"
#include "serial/TcpConnection.h"
#include "serial/TcpListener.h"
#include "support/ChildProcess.h"
#include "support/ExchangeCases.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <thread>
#include <unistd.h>

using namespace vantor;
using console::SerialConsole;
using hostlink::ExchangeStatus;
using serial::OpenError;

namespace {

struct Watched
{
    std::vector<std::string> log, errors;
    std::vector<bool> states;
    void attach(SerialConsole& c)
    {
        c.setLogSink([this](const std::string& s) { log.push_back(s); });
        c.setErrorSink([this](const std::string& s) { errors.push_back(s); });
        c.setStateSink([this](bool open) { states.push_back(open); });
    }
};

// A simulated PLC registered as SIM and chosen, as the front ends do.
std::shared_ptr<plcsim::SimulatedPlcPort>
useSimulator(SerialConsole& console, bool inProcess = !plcsim::SimulatedPlcPort::available())
{
    auto simulator = std::make_shared<plcsim::SimulatedPlcPort>(inProcess);
    console.catalog().add("SIM", "", [simulator] { return simulator; });
    console.setPortName("SIM");
    return simulator;
}

std::int64_t msSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start)
        .count();
}

plcsim::PlcFaults with(void (*change)(plcsim::PlcFaults&))
{
    plcsim::PlcFaults f;
    change(f);
    return f;
}

} // namespace

TEST(SerialLinkPty, ExchangesAsEveryLinkToThePlcMust)
{
    // SIM on a pseudo-terminal through the real port layer, and in-process as where there is none.
    for (const bool inProcess : {false, true}) {
        for (const test::ExchangeCase& c : test::exchangeCases()) {
            SCOPED_TRACE(std::string(c.name) + (inProcess ? ", in process" : ", pseudo-terminal"));
            SerialConsole console;
            Watched watched;
            watched.attach(console);
            const auto simulator = useSimulator(console, inProcess);
            simulator->setFaults(c.faults);
            test::runSteps(c, [&console](const char* timeout, const std::string& command) {
                console.setTimeoutText(timeout);
                return console.sendCommand(command);
            });
            EXPECT_EQ(watched.log, std::vector<std::string>{"SIM: Open at 38400,N,8,1"});
            EXPECT_EQ(simulator->server() == nullptr, inProcess);
            EXPECT_EQ(simulator->plc()->enqCount(), c.enqAnswers);
            if (c.faults.hangUpAfterFrames >= 0) {
                ASSERT_EQ(watched.errors.size(), 1u);
                EXPECT_NE(watched.errors[0].find("Lost the connection to SIM"), std::string::npos);
                EXPECT_FALSE(console.isOpen());
            }
        }
    }
}

TEST(SerialLinkPty, SilenceCostsTheTimeout)
{
    SerialConsole console;
    useSimulator(console)->setFaults(with([](plcsim::PlcFaults& f) { f.silent = true; }));
    console.setTimeoutText("100");
    ASSERT_TRUE(console.openPort());
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(console.sendCommand("@01C230*").status, ExchangeStatus::NoResponse);
    // The wait itself is measured on the fake clock (CommandExchange's tests); here only that a real
    // pseudo-terminal neither ends it early nor holds it up, with room for a busy machine.
    const auto waited = msSince(start);
    EXPECT_GE(waited, 100);
    EXPECT_LT(waited, 1000);
}

TEST(SerialLinkPty, AHangUpEndsTheWaitClosesThePortAndTheNextOpeningWorks)
{
    SerialConsole console;
    Watched watched;
    watched.attach(console);
    const auto simulator = useSimulator(console);
    simulator->setFaults(with([](plcsim::PlcFaults& f) { f.hangUpAfterFrames = 1; }));
    console.setTimeoutText("3000");
    EXPECT_EQ(console.sendCommand("@01C230*").response, "@01C20030*");

    const auto start = std::chrono::steady_clock::now();
    const auto lost = console.sendCommand("@01C230*");
    EXPECT_EQ(lost.status, ExchangeStatus::PortLost);
    EXPECT_LT(msSince(start), 1000) << "a hang-up must not wait out the 3 s timeout";
    EXPECT_FALSE(console.isOpen());
    ASSERT_EQ(watched.errors.size(), 1u);
    EXPECT_NE(watched.errors[0].find("Lost the connection to SIM"), std::string::npos) << watched.errors[0];
    EXPECT_EQ(watched.states, (std::vector<bool>{true, false}));

    simulator->setFaults({});
    EXPECT_EQ(console.sendCommand("@01C230*").response, "@01C20030*") << "the device is back";
    EXPECT_EQ(watched.log.size(), 2u) << "the reopening is logged again";
}

TEST(SerialLinkPty, OpeningFailuresAreToldApartAndNothingIsSent)
{
    char regularFile[] = "/tmp/vantor-test-XXXXXX";
    const int fd = ::mkstemp(regularFile);
    ASSERT_GE(fd, 0);
    ::close(fd);

    struct Case
    {
        std::string port;
        OpenError error;
        const char* says;
    };
    const Case cases[] = {
        {"/dev/ttyVANTOR-missing", OpenError::NoSuchDevice, "no such device"},
        {"COM2", OpenError::NoSuchDevice, "COM 2 (/dev/ttyS1)"},
        {"/dev/null", OpenError::NotSerialDevice, "not a serial device"},
        {regularFile, OpenError::NotSerialDevice, "not a serial device"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.port);
        SerialConsole console;
        Watched watched;
        watched.attach(console);
        console.setPortName(c.port);
        const auto result = console.sendCommand("@01C230*");
        EXPECT_EQ(result.status, ExchangeStatus::PortNotOpen);
        EXPECT_EQ(console.lastOpenResult().error, c.error);
        EXPECT_FALSE(console.isOpen());
        ASSERT_EQ(watched.errors.size(), 1u);
        EXPECT_NE(watched.errors[0].find(c.says), std::string::npos) << watched.errors[0];
        EXPECT_TRUE(watched.log.empty());
        EXPECT_TRUE(watched.states.empty());
    }
    std::remove(regularFile);
}

TEST(SerialLinkPty, APortInUseByAnyoneIsRespected)
{
    const std::string lockDir = "/run/lock";
    if (::access(lockDir.c_str(), W_OK) != 0)
        GTEST_SKIP() << lockDir << " is not writable here";
    enum class Held {
        OtherConsole,
        PlainLock,
        NamedLock,
        StaleLock,
        Alias,
        Flock,
        Text,
        Planted,
        Numbered,
        Node
    };
    const struct
    {
        const char* name;
        Held held;
        bool opens;
        std::string says;         // in the busy message; "%" stands for the holder's PID
        std::string planted = {}; // Text: the lock file's content; Planted: "symlink", "fifo", "directory"
    } rows[] = {
        {"another console of this program", Held::OtherConsole, false, "in use by"},
        {"plain lock file of a live process", Held::PlainLock, false, "in use by sleep, process %"},
        {"\"PID name user\" lock", Held::NamedLock, false, "in use by minicom, process % of user alice"},
        {"lock of a process that is gone", Held::StaleLock, true, ""},
        {"an alias of a device another console has open", Held::Alias, false, "in use by"},
        {"flock() by another program", Held::Flock, false, "in use by flock, process %"},
        // The lock directory is every user's: what is planted there is not trusted, nor followed.
        {"a PID beyond every integer", Held::Text, true, "", "99999999999999999999\n"},
        {"a PID beyond 32 bits", Held::Text, true, "", "4294967297\n"},
        {"PID 0", Held::Text, true, "", "0\n"},
        {"a negative PID", Held::Text, true, "", "-1\n"},
        {"a symbolic link planted as the lock", Held::Planted, false, "is a symbolic link, not a lock",
         "symlink"},
        {"a FIFO planted as the lock", Held::Planted, false, "is a FIFO, not a lock", "fifo"},
        {"a directory planted as the lock", Held::Planted, false, "is a directory, not a lock", "directory"},
        {"the device-number lock of a live process", Held::Numbered, false, "in use by sleep, process %"},
        {"a second device node of a device another console has open", Held::Node, false, "in use by"},
    };
    const std::string victim = "/tmp/vantor-victim-" + std::to_string(::getpid());
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        plcsim::PtyPlcServer server;
        ASSERT_TRUE(server.start().ok());
        const std::string device = server.devicePath();
        const std::string lockFile = lockDir + "/" + serial::PortLock::fileName(device);
        const std::string alias = "/tmp/vantor-alias-" + std::to_string(::getpid());
        test::ChildProcess holder;
        SerialConsole first, second;
        first.setPortName(device);
        second.setPortName(r.held == Held::Alias || r.held == Held::Node ? alias : device);
        pid_t holderPid = ::getpid();
        struct stat node
        {
        };
        struct stat dev
        {
        };
        ASSERT_EQ(::stat(device.c_str(), &node), 0);
        ASSERT_EQ(::stat("/dev", &dev), 0);
        char numbered[64];
        std::snprintf(numbered, sizeof numbered, "%s/LK.%03u.%03u.%03u", lockDir.c_str(), major(dev.st_dev),
                      major(node.st_rdev), minor(node.st_rdev));
        switch (r.held) {
        case Held::Text: {
            std::FILE* lock = std::fopen(lockFile.c_str(), "w");
            ASSERT_NE(lock, nullptr);
            std::fputs(r.planted.c_str(), lock);
            std::fclose(lock);
            break;
        }
        case Held::Planted: {
            std::FILE* file = std::fopen(victim.c_str(), "w");
            std::fputs("precious\n", file);
            std::fclose(file);
            const int made = r.planted == "symlink" ? ::symlink(victim.c_str(), lockFile.c_str())
                             : r.planted == "fifo"  ? ::mkfifo(lockFile.c_str(), 0666)
                                                    : ::mkdir(lockFile.c_str(), 0755);
            ASSERT_EQ(made, 0);
            break;
        }
        case Held::Numbered: {
            ASSERT_TRUE(holder.start("/bin/sleep", {"30"}));
            holderPid = holder.pid();
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            std::FILE* lock = std::fopen(numbered, "w");
            ASSERT_NE(lock, nullptr);
            std::fprintf(lock, "%10d\n", static_cast<int>(holderPid));
            std::fclose(lock);
            break;
        }
        case Held::Node:
            if (::mknod(alias.c_str(), S_IFCHR | 0600, node.st_rdev) != 0) {
                std::printf("no second device node here (mknod needs root); row skipped\n");
                continue;
            }
            ASSERT_TRUE(first.openPort());
            break;
        case Held::OtherConsole:
        case Held::Alias:
            ASSERT_EQ(::symlink(device.c_str(), alias.c_str()), 0);
            ASSERT_TRUE(first.openPort());
            break;
        case Held::PlainLock:
        case Held::NamedLock:
        case Held::StaleLock: {
            ASSERT_TRUE(holder.start("/bin/sleep", {"30"}));
            holderPid = r.held == Held::StaleLock ? 999999 : holder.pid();
            std::this_thread::sleep_for(std::chrono::milliseconds(200)); // exec'd: named sleep now
            std::FILE* lock = std::fopen(lockFile.c_str(), "w");
            ASSERT_NE(lock, nullptr);
            if (r.held == Held::NamedLock)
                std::fprintf(lock, "%d minicom alice\n", static_cast<int>(holderPid));
            else
                std::fprintf(lock, "%10d\n", static_cast<int>(holderPid));
            std::fclose(lock);
            break;
        }
        case Held::Flock:
            ASSERT_TRUE(holder.start("/usr/bin/flock", {device, "/bin/sleep", "30"}));
            holderPid = holder.pid();
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            break;
        }
        EXPECT_EQ(second.openPort(), r.opens) << second.lastOpenResult().message;
        if (!r.opens) {
            std::string says = r.says;
            if (const auto at = says.find('%'); at != std::string::npos)
                says.replace(at, 1, std::to_string(holderPid));
            EXPECT_EQ(second.lastOpenResult().error,
                      r.held == Held::Planted ? OpenError::Other : OpenError::Busy);
            EXPECT_NE(second.lastOpenResult().message.find(says), std::string::npos)
                << second.lastOpenResult().message;
            if (r.held == Held::Planted) {
                struct stat st
                {
                };
                EXPECT_EQ(::lstat(lockFile.c_str(), &st), 0) << "what was planted is left where it is";
                std::FILE* file = std::fopen(victim.c_str(), "r");
                char text[16] = {};
                EXPECT_TRUE(file && std::fgets(text, sizeof text, file));
                EXPECT_STREQ(text, "precious\n") << "the link was not followed";
                if (file)
                    std::fclose(file);
            }
        } else {
            std::FILE* lock = std::fopen(lockFile.c_str(), "r");
            ASSERT_NE(lock, nullptr) << "the stale lock is replaced by ours";
            int pid = 0;
            EXPECT_EQ(std::fscanf(lock, "%d", &pid), 1);
            std::fclose(lock);
            EXPECT_EQ(pid, ::getpid());
            second.closePort();
            EXPECT_NE(::access(lockFile.c_str(), F_OK), 0) << "closing removes our lock";
        }
        holder.terminate();
        first.closePort();
        std::remove(lockFile.c_str());
        std::remove(numbered);
        std::remove(alias.c_str());
        std::remove(victim.c_str());
    }
}

TEST(SerialLinkPty, OpenAndCloseActionsAreIdempotent)
{
    SerialConsole console;
    Watched watched;
    watched.attach(console);
    useSimulator(console);
    console.closePort();
    EXPECT_TRUE(console.openPort());
    EXPECT_TRUE(console.openPort());
    console.setSettings(serial::PortSettings::fromIndexes(3, 0, 1, 1));
    console.closePort();
    console.closePort();
    EXPECT_TRUE(console.openPort());
    std::vector<std::string> expected{"SIM: Open at 38400,N,8,1", "SIM: Open at 9600,E,7,2",
                                      "SIM: the device ignored parity even and 7 data bits: it runs 8N2."};
#ifdef __linux__
    // A rate termios has no name for is set and read back as itself, not as 0 or the nearest name.
    serial::PortSettings unnamed;
    unnamed.baudRate = 14400;
    console.closePort();
    console.setSettings(unnamed);
    EXPECT_TRUE(console.openPort());
    expected.push_back("SIM: Open at 14400,N,8,1");
#endif
    // A pseudo-terminal takes parity and 7 data bits without complaint, and runs 8N as before.
    EXPECT_EQ(watched.log, expected);
    EXPECT_EQ(std::vector<bool>(watched.states.begin(), watched.states.begin() + 3),
              (std::vector<bool>{true, false, true}));
}

// A PLC that answered a previous run after its timeout left that answer waiting in the driver, or at
// the serial server: an opening starts without it, so the next run does not take it for its first echo.
TEST(SerialLinkPty, AnOpeningDropsWhatTheLineHeldFromBefore)
{
    for (const char* via :
         {"a pseudo-terminal's driver", "the simulated PLC in process", "a serial server"}) {
        SCOPED_TRACE(via);
        const bool network = via == std::string("a serial server");
        SerialConsole console;
        std::shared_ptr<plcsim::SimulatedPlcPort> simulator;
        serial::TcpListener listener;
        std::thread server;
        if (network) {
            // The server hands the stale answer over at once on connecting, then answers one frame.
            ASSERT_TRUE(listener.listen("127.0.0.1", 0).ok());
            console.setPortName("socket://" + listener.address());
            server = std::thread([&listener] {
                serial::TcpConnection client;
                std::string peer;
                if (!listener.accept(5000, &client, &peer))
                    return;
                client.send("@01C20030*\r");
                std::string got;
                while (got.find('\r') == std::string::npos) {
                    const auto read = client.receive(2000);
                    if (read.lost || read.bytes.empty())
                        return;
                    got += read.bytes;
                }
                client.send("@01CS0051*\r");
                client.receive(2000);
            });
        } else {
            simulator = useSimulator(console, via == std::string("the simulated PLC in process"));
            simulator->setFaults(with([](plcsim::PlcFaults& f) { f.delayMs = 300; }));
            console.setTimeoutText("100");
            ASSERT_EQ(console.sendCommand("@01C230*").status, ExchangeStatus::NoResponse);
            console.closePort();
            std::this_thread::sleep_for(std::chrono::milliseconds(400)); // the answer comes meanwhile
        }
        console.setTimeoutText("1000");
        const auto result = console.sendCommand("@01CS51*");
        EXPECT_EQ(result.status, ExchangeStatus::Response);
        EXPECT_EQ(result.response, "@01CS0051*") << "the late answer to C2 went with the old opening";
        console.closePort();
        if (server.joinable())
            server.join();
    }
}

// The modem lines and the break, asked through the console of each kind of port: done, or refused
// with a sentence that names the port and says why, the port staying open unless it failed.
TEST(SerialLinkPty, PortControlsAreDoneOrRefusedWithTheReason)
{
    plcsim::PtyPlcServer pty;
    ASSERT_TRUE(pty.start().ok());
    serial::TcpListener raw;
    ASSERT_TRUE(raw.listen("127.0.0.1", 0).ok());
    const std::string rawName = "socket://" + raw.address();
    // A serial server's Telnet port, which tells what its line was asked to do.
    plcsim::TcpPlcServer telnet;
    std::mutex heardMutex;
    std::vector<std::string> heard;
    telnet.setMonitor([&](const std::string& event) {
        std::lock_guard<std::mutex> lock(heardMutex);
        heard.push_back(event);
    });
    ASSERT_TRUE(telnet.start("127.0.0.1", 0).ok());
    const std::string rfc2217 = "rfc2217://" + telnet.address();
    enum Control { DtrOff, RtsOn, Break };
    const struct
    {
        std::string port; // "SIM": the simulator; empty: a port never opened
        Control control;
        int breakMs;
        const char* says; // empty: done
    } rows[] = {
        {"SIM", DtrOff, 0, ""},
        {"SIM", RtsOn, 0, ""},
        {"SIM", Break, 0, ""},
        {"SIM", Break, 10000, ""},
        {"SIM", Break, -1, "SIM: a break lasts from 1 to 10000 ms (0: 250 ms), not -1 ms."},
        {"SIM", Break, 10001, "not 10001 ms"},
        {pty.devicePath(), DtrOff, 0, "has no modem lines (a pseudo-terminal has none): cannot set DTR."},
        {pty.devicePath(), Break, 5, ""}, // a pseudo-terminal takes a break and does nothing with it
        {rawName, RtsOn, 0, ": a raw TCP port cannot set RTS: the serial server's own settings hold."},
        {rfc2217, DtrOff, 0, ""},
        {rfc2217, Break, 5, ""},
        {rawName, Break, 0, "a raw TCP port cannot send a break"},
        {"", DtrOff, 0, "COM 7 is not open: open it to set DTR."},
        {"", Break, 0, "COM 7 is not open: open it to send a break."},
    };
    auto simulator = std::make_shared<plcsim::SimulatedPlcPort>();
    std::vector<std::string> simulated;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.port + " " + std::to_string(row.control) + " " + std::to_string(row.breakMs));
        SerialConsole console;
        console.catalog().add("SIM", "", [simulator] { return simulator; });
        console.setPortName(row.port.empty() ? "COM7" : row.port);
        serial::TcpConnection server; // the raw port's far end, kept until the row is done
        std::thread accepting([&raw, &row, &rawName, &server] {
            std::string peer;
            if (row.port == rawName)
                raw.accept(5000, &server, &peer);
        });
        const bool opened = row.port.empty() || console.openPort();
        accepting.join();
        ASSERT_TRUE(opened) << console.lastPortProblem();
        const serial::Result<> done =
            row.control == Break ? console.sendBreak(row.breakMs)
                                 : console.setModemLine(row.control == DtrOff ? serial::ModemLine::Dtr
                                                                              : serial::ModemLine::Rts,
                                                        row.control == RtsOn);
        EXPECT_EQ(done.ok(), std::string(row.says).empty()) << done.message;
        EXPECT_NE(done.message.find(row.says), std::string::npos) << done.message;
        EXPECT_EQ(console.isOpen(), !row.port.empty()) << "a refusal is no loss";
        if (row.port == "SIM" && done.ok())
            simulated.push_back(row.control == DtrOff ? "DTR off"
                                : row.control == RtsOn
                                    ? "RTS on"
                                    : "break " + std::to_string(row.breakMs ? row.breakMs : 250) + " ms");
        if (row.port == rfc2217) {
            const std::string told = row.control == DtrOff ? "DTR off" : "break off";
            const auto start = std::chrono::steady_clock::now();
            auto toldYet = [&] {
                std::lock_guard<std::mutex> lock(heardMutex);
                return std::find(heard.begin(), heard.end(), told) != heard.end();
            };
            while (!toldYet() && msSince(start) < 2000)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            EXPECT_TRUE(toldYet()) << told << " reached the server";
        }
        if (row.control != Break && done.ok()) {
            EXPECT_EQ(row.control == DtrOff ? console.settings().dtr : console.settings().rts,
                      row.control == RtsOn)
                << "the next opening sets the line as it was set by hand";
        }
    }
    EXPECT_EQ(simulator->controls(), simulated);
}

// A PLC that talks unasked does so on time over every transport: every period from the opening, or
// once a period after the first line it hears, and never as part of an answer.
TEST(SerialLinkPty, APlcThatTalksUnaskedSpeaksOnTimeOverEveryLink)
{
    for (const char* via : {"a pseudo-terminal", "the simulated PLC in process", "TCP"}) {
        for (const bool once : {false, true}) {
            SCOPED_TRACE(std::string(via) + (once ? ", once" : ", repeating"));
            plcsim::PlcFaults faults;
            faults.unaskedMs = 100;
            faults.unaskedOnce = once;
            std::snprintf(faults.unaskedText, sizeof faults.unaskedText, "%s", "ALARM 3");
            SerialConsole console;
            plcsim::TcpPlcServer tcp(plcsim::SimulatedPlc(1, faults));
            if (via == std::string("TCP")) {
                ASSERT_TRUE(tcp.start("127.0.0.1", 0).ok());
                console.setPortName("socket://" + tcp.address());
            } else {
                useSimulator(console, via == std::string("the simulated PLC in process"))->setFaults(faults);
            }
            ASSERT_TRUE(console.openPort()) << console.lastPortProblem();
            // How many times the words came in ms, nothing else coming.
            auto heard = [&console](int ms) {
                std::string got;
                const auto start = std::chrono::steady_clock::now();
                while (msSince(start) < ms)
                    got += console.read(10).bytes;
                std::size_t times = 0;
                for (; got.compare(0, 8, "ALARM 3\r") == 0; got.erase(0, 8))
                    ++times;
                EXPECT_EQ(got, "");
                return times;
            };
            const std::size_t first = heard(350);
            if (once)
                EXPECT_EQ(first, 0u) << "once: not before the first line";
            else
                EXPECT_TRUE(first >= 2 && first <= 4) << first;
            console.setTimeoutText("1000");
            EXPECT_EQ(console.sendCommand("@01C230*").response, "@01C20030*") << "the answer comes alone";
            const std::size_t after = heard(350);
            if (once)
                EXPECT_EQ(after, 1u) << "once, a period after the first line";
            else
                EXPECT_TRUE(after >= 2 && after <= 4) << after;
        }
    }
}
