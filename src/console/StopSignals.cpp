#include "console/StopSignals.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <initializer_list>
#ifndef _WIN32
#include <signal.h>
#endif

namespace vantor::console {

namespace {

// Written by the handler and read by every thread of the run (one per line in a multi-line upload):
// a lock-free atomic is safe for both, where a volatile sig_atomic_t is only safe for the thread the
// handler interrupted.
std::atomic<int> received{0};
static_assert(std::atomic<int>::is_always_lock_free, "the stop flag must be safe in a signal handler");

extern "C" void onStopSignal(int number)
{
    const int savedErrno = errno;
    received.store(number);
    // The second one ends the program at once, as usual.
    std::signal(number, SIG_DFL);
    errno = savedErrno;
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
    return received.load() != 0;
}

int StopSignals::signal()
{
    return received.load();
}

} // namespace vantor::console
