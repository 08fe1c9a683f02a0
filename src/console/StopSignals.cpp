#include "console/StopSignals.h"

#include <csignal>
#include <initializer_list>
#ifndef _WIN32
#include <signal.h>
#endif

namespace vantor::console {

namespace {

volatile std::sig_atomic_t received = 0;

extern "C" void onStopSignal(int number)
{
    received = number;
    // The second one ends the program at once, as usual.
    std::signal(number, SIG_DFL);
}

} // namespace

void StopSignals::install()
{
#ifdef _WIN32
    std::signal(SIGINT, onStopSignal);
    std::signal(SIGTERM, onStopSignal);
#else
    // Without SA_RESTART: a signal breaks off a blocking read (a file such as /proc/kmsg that never
    // returns), whose caller then finds the stop request instead of waiting on.
    struct sigaction action
    {
    };
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    for (const int number : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(number, &action, nullptr);
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

} // namespace vantor::console
