#include "cli/StopSignals.h"

#include <csignal>

namespace vantor::cli {

namespace {

volatile std::sig_atomic_t received = 0;

extern "C" void onStopSignal(int number)
{
    received = number;
    std::signal(number, SIG_DFL);
}

} // namespace

void StopSignals::install()
{
    std::signal(SIGINT, onStopSignal);
    std::signal(SIGTERM, onStopSignal);
#ifdef SIGHUP
    std::signal(SIGHUP, onStopSignal);
#endif
}

bool StopSignals::requested()
{
    return received != 0;
}

int StopSignals::signal()
{
    return received;
}

} // namespace vantor::cli
