// vantor-bench: figures for the serial link, against the simulated PLC on a real pseudo-terminal.
//   vantor-bench exchange [N]   time per exchange of "@01C230*" (default N = 2000)
//   vantor-bench silent [MS]    CPU time used while waiting MS ms (default 3000) on a silent PLC
#include "console/SerialConsole.h"
#include "plcsim/PtyPlcServer.h"

#include <QCoreApplication>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/resource.h>

using namespace vantor;

namespace {

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

int exchange(int count)
{
    console::SerialConsole console;
    console.setPortName("SIM");
    if (!console.openPort())
        return 1;
    const auto start = std::chrono::steady_clock::now();
    int answered = 0;
    for (int i = 0; i < count; ++i)
        answered += console.sendCommand("@01C230*").hasResponse() ? 1 : 0;
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    std::printf("%d exchanges (%d answered) in %.1f ms: %.3f ms per exchange\n", count, answered, ms, ms / count);
    return answered == count ? 0 : 1;
}

int silent(int waitMs)
{
    console::SerialConsole console;
    console.setPortName("SIM");
    plcsim::PlcFaults faults;
    faults.silent = true;
    console.setSimulatorFaults(faults);
    console.setTimeoutText(std::to_string(waitMs));
    if (!console.openPort())
        return 1;
    const double cpuBefore = cpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    const bool answered = console.sendCommand("@01C230*").hasResponse();
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("waited %.3f s on a silent PLC (answered: %s), CPU used: %.4f s\n", wall, answered ? "yes" : "no",
                cpuSeconds() - cpuBefore);
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const std::string what = argc > 1 ? argv[1] : "";
    const int n = argc > 2 ? std::atoi(argv[2]) : 0;
    if (what == "exchange")
        return exchange(n > 0 ? n : 2000);
    if (what == "silent")
        return silent(n > 0 ? n : 3000);
    std::fprintf(stderr, "usage: vantor-bench exchange [N] | silent [MS]\n");
    return 2;
}
