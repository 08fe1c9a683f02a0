#pragma once

#include "serial/StopToken.h"

namespace vantor::console {

// Ctrl+C (SIGINT), SIGTERM and a closed terminal (SIGHUP) ask the running command, or the desktop
// program, to stop at its next safe point instead of killing it mid-exchange: the port is then closed
// properly (its settings restored, its lock released) and the user is told where things stand. A
// second signal of the same kind ends the process at once, as usual. The handlers only set a flag,
// which requested() reads from any thread; they do not restart interrupted system calls.
class StopSignals
{
public:
    static void install();
    static bool requested();
    // The token that asks requested(), for the command line's consoles and files; any thread.
    static serial::StopToken token() { return serial::StopToken(&StopSignals::requested); }
    // The signal that asked, 0 if none.
    static int signal();
    // The conventional exit status after that signal: 128 + its number.
    static int exitStatus() { return 128 + signal(); }
};

} // namespace vantor::console
