// vantor-bench: figures for the serial link, against the simulated PLC on a real pseudo-terminal.
//   vantor-bench exchange [N]   time per exchange of "@01C230*" (default N = 2000)
//   vantor-bench silent [MS]    CPU time used while waiting MS ms (default 3000) on a silent PLC
//   vantor-bench upload [N [PORT]]        uploads an N-record file (default 20000): time per record,
//                                         peak memory; through PORT (socket://HOST:PORT) when given
//   vantor-bench floor [N [HOST:PORT]]    the same N record exchanges by a minimal poll() loop on the
//                                         pty, or through a serial server's raw TCP port
// For upload and floor the PLC runs in a child process, so its memory is not counted.
// scripts/bench-network.sh compares the two through ser2net.
#include "BenchProgram.h"
#include "console/SerialConsole.h"
#include "hostlink/Frame.h"
#include "plcsim/PtyPlcServer.h"
#include "plcsim/SimulatedPlcPort.h"
#include "upload/UploadProcedure.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <string>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

using namespace vantor;

namespace {

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// The simulated PLC on a pseudo-terminal, registered as SIM and chosen.
std::shared_ptr<plcsim::SimulatedPlcPort> useSimulator(console::SerialConsole& console)
{
    auto simulator = std::make_shared<plcsim::SimulatedPlcPort>(false);
    console.catalog().add("SIM", "", [simulator] { return simulator; });
    console.setPortName("SIM");
    return simulator;
}

int exchange(int count)
{
    console::SerialConsole console;
    useSimulator(console);
    if (!console.openPort())
        return 1;
    const auto start = std::chrono::steady_clock::now();
    int answered = 0;
    for (int i = 0; i < count; ++i)
        answered += console.sendCommand("@01C230*").hasResponse() ? 1 : 0;
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    std::printf("%d exchanges (%d answered) in %.1f ms: %.3f ms per exchange\n", count, answered, ms,
                ms / count);
    return answered == count ? 0 : 1;
}

int silent(int waitMs)
{
    console::SerialConsole console;
    plcsim::PlcFaults faults;
    faults.silent = true;
    useSimulator(console)->setFaults(faults);
    console.setTimeoutText(std::to_string(waitMs));
    if (!console.openPort())
        return 1;
    const double cpuBefore = cpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    const bool answered = console.sendCommand("@01C230*").hasResponse();
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("waited %.3f s on a silent PLC (answered: %s), CPU used: %.4f s\n", wall,
                answered ? "yes" : "no", cpuSeconds() - cpuBefore);
    return 0;
}

// Serves a simulated PLC in a child process; returns its device path and pid.
std::string forkPlc(pid_t* child)
{
    int fds[2];
    if (::pipe(fds) != 0)
        return {};
    *child = ::fork();
    if (*child == 0) {
        ::close(fds[0]);
        plcsim::PtyPlcServer server;
        if (!server.start().ok())
            ::_exit(1);
        const std::string path = server.devicePath() + "\n";
        [[maybe_unused]] auto w = ::write(fds[1], path.data(), path.size());
        ::close(fds[1]);
        for (;;)
            ::pause();
    }
    ::close(fds[1]);
    char buffer[256] = {};
    [[maybe_unused]] auto n = ::read(fds[0], buffer, sizeof buffer - 1);
    ::close(fds[0]);
    std::string path = buffer;
    if (!path.empty() && path.back() == '\n')
        path.pop_back();
    return path;
}

void stopPlc(pid_t child)
{
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
}

long peakKiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

struct NullReporter : upload::UploadReporter
{
    void showCaption(const std::string& caption) override { last = caption; }
    void recordSent(std::int64_t, std::int64_t, const std::string&) override {}
    std::string last;
};

// port: where the PLC is ("socket://127.0.0.1:2000"); empty for one of our own on a pseudo-terminal.
int uploadFile(int records, const std::string& port)
{
    const std::string program = bench::makeProgram(records);
    pid_t child = 0;
    const std::string device = port.empty() ? forkPlc(&child) : port;
    const long baseline = peakKiB();
    console::SerialConsole console;
    console.setPortName(device);
    NullReporter reporter;
    upload::UploadProcedure procedure({console.exchange(), [] { return std::string(); }}, reporter);
    // The clock runs from the opening, as the minimal loop's runs from connecting: a whole upload is
    // compared, the opening's cost included.
    const auto start = std::chrono::steady_clock::now();
    if (!console.openPort())
        return 1;
    const auto outcome = procedure.run({program, [] { return "01"; }, [] { return false; }});
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    if (child)
        stopPlc(child);
    std::remove(program.c_str());
    std::printf("%d records: \"%s\" (outcome %d) in %.1f ms: %.4f ms per record line; peak memory %ld KiB "
                "(%ld KiB before the upload)\n",
                records, reporter.last.c_str(), static_cast<int>(outcome), ms, ms / records, peakKiB(),
                baseline);
    return outcome == upload::UploadOutcome::Completed ? 0 : 1;
}

// A TCP connection to HOST:PORT with Nagle's delay off, as a minimal network uploader has it.
int connectTo(const std::string& hostPort)
{
    const std::size_t colon = hostPort.rfind(':');
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (colon == std::string::npos || ::getaddrinfo(hostPort.substr(0, colon).c_str(),
                                                    hostPort.substr(colon + 1).c_str(), &hints, &found) != 0)
        return -1;
    const int fd = ::socket(found->ai_family, SOCK_STREAM, 0);
    const int on = 1;
    if (::connect(fd, found->ai_addr, found->ai_addrlen) != 0)
        return ::close(fd), ::freeaddrinfo(found), -1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    ::freeaddrinfo(found);
    return fd;
}

// The least any uploader can do on this line: write a frame, poll() until the CR of the echo. On our
// own PLC's pseudo-terminal, or through a serial server's raw port at hostPort ("127.0.0.1:2000").
int floorLoop(int records, const std::string& hostPort)
{
    pid_t child = 0;
    int fd = -1;
    const auto start = std::chrono::steady_clock::now();
    if (hostPort.empty()) {
        fd = ::open(forkPlc(&child).c_str(), O_RDWR | O_NOCTTY);
        termios tio{};
        ::tcgetattr(fd, &tio);
        ::cfmakeraw(&tio);
        ::tcsetattr(fd, TCSANOW, &tio);
    } else {
        fd = connectTo(hostPort);
    }
    if (fd < 0)
        return 1;
    int echoed = 0;
    char buffer[256];
    for (int i = 0; i < records; ++i) {
        char command[32];
        std::snprintf(command, sizeof command, "Wm%04X%02X", i & 0xFFFF, i & 0xFF);
        const std::string frame = hostlink::Frame::build(1, command) + "\r";
        [[maybe_unused]] auto w = ::write(fd, frame.data(), frame.size());
        for (;;) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 500) <= 0)
                break;
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n > 0 && buffer[n - 1] == '\r') {
                ++echoed;
                break;
            }
        }
    }
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    ::close(fd);
    if (child)
        stopPlc(child);
    std::printf("%d exchanges (%d echoed) by a bare poll() loop in %.1f ms: %.4f ms per record line\n",
                records, echoed, ms, ms / records);
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    const std::string what = argc > 1 ? argv[1] : "";
    const int n = argc > 2 ? std::atoi(argv[2]) : 0;
    const std::string where = argc > 3 ? argv[3] : "";
    if (what == "exchange")
        return exchange(n > 0 ? n : 2000);
    if (what == "silent")
        return silent(n > 0 ? n : 3000);
    if (what == "upload")
        return uploadFile(n > 0 ? n : 20000, where);
    if (what == "floor")
        return floorLoop(n > 0 ? n : 20000, where);
    std::fprintf(
        stderr,
        "usage: vantor-bench exchange [N] | silent [MS] | upload [N [PORT]] | floor [N [HOST:PORT]]\n");
    return 2;
}
