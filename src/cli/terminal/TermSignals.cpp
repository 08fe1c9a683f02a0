#include "cli/terminal/TermSignals.h"

#include "console/StopSignals.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#ifndef _WIN32
#include <signal.h>
#endif

namespace vantor::cli {

namespace {
std::atomic<int> interrupted{0}; // presses not taken yet: two quick ones are two
std::atomic<bool> resized{false};

extern "C" void onInterrupt(int number)
{
    const int savedErrno = errno;
#ifdef _WIN32
    std::signal(number, onInterrupt); // Windows resets a handler once it has run
#else
    static_cast<void>(number);
#endif
    interrupted.fetch_add(1);
    errno = savedErrno;
}

#ifndef _WIN32
extern "C" void onResize(int)
{
    resized.store(true);
}

void handle(int number, void (*handler)(int))
{
    // Without SA_RESTART, so that a wait on the keyboard or the port ends to look at the flag.
    struct sigaction action
    {
    };
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    ::sigaction(number, &action, nullptr);
}
#endif
} // namespace

void TermSignals::install()
{
    console::StopSignals::install();
#ifdef _WIN32
    std::signal(SIGINT, onInterrupt);
#else
    handle(SIGINT, onInterrupt);
    handle(SIGWINCH, onResize);
#endif
}

bool TermSignals::takeInterrupt()
{
    int pending = interrupted.load();
    while (pending > 0 && !interrupted.compare_exchange_weak(pending, pending - 1)) {
    }
    return pending > 0;
}

bool TermSignals::interruptPending()
{
    return interrupted.load() > 0;
}

bool TermSignals::takeResize()
{
    return resized.exchange(false);
}

serial::StopToken TermSignals::token()
{
    return serial::StopToken([] { return interrupted.load() > 0 || console::StopSignals::requested(); });
}

} // namespace vantor::cli
